#include "converterstop.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

void ConverterStop::end(QProcess *process, const QString &folder, const QString &base)
{
    if (process->state() == QProcess::Starting)
        process->waitForStarted(graceMs);
    const qint64 pid = process->processId();
    if (process->state() == QProcess::Running) {
        process->terminate();
        if (!process->waitForFinished(graceMs)) {
            process->kill();
            process->waitForFinished(graceMs);
        }
    }
    removeLeftovers(folder, base, pid);
}

void ConverterStop::removeLeftovers(const QString &folder, const QString &base, qint64 pid)
{
    if (pid <= 0)
        return;
    // The process id ends at a "-": that of process 12 is no prefix of 123's.
    const QString prefix = QLatin1Char('.') + base + QStringLiteral("-partial-") + QString::number(pid) + QLatin1Char('-');
    const QDir dir(folder);
    for (const QFileInfo &entry : dir.entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (entry.fileName().startsWith(prefix) && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
    }
}
