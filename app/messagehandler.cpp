#include "messagehandler.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

#include <cstdlib>

#include <sys/stat.h>

namespace {

// Kept open between messages: a save traces every cell, and reopening the
// file for each line would dominate its cost. The open file's identity tells
// when the path no longer names it (deleted, moved or replaced while the
// program runs); the path is then opened again, as if every line opened it.
struct LogTarget
{
    QMutex mutex;
    QString path;
    QByteArray encodedPath;
    QFile file;
    dev_t device = 0;
    ino_t inode = 0;
};

LogTarget &logTarget()
{
    static LogTarget target;
    return target;
}

bool pathNamesOpenFile(const LogTarget &target)
{
    struct stat named;
    return ::stat(target.encodedPath.constData(), &named) == 0 && named.st_dev == target.device
           && named.st_ino == target.inode;
}

bool openLog(LogTarget &target)
{
    target.file.setFileName(target.path);
    if (!target.file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    struct stat opened;
    if (::fstat(target.file.handle(), &opened) != 0) {
        target.file.close();
        return false;
    }
    target.device = opened.st_dev;
    target.inode = opened.st_ino;
    return true;
}

} // namespace

QString logLineFor(QtMsgType type, const QString &message)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("Debug: %1").arg(message);
    case QtWarningMsg:
        return QStringLiteral("Warning: %1").arg(message);
    case QtCriticalMsg:
        return QStringLiteral("Critical: %1").arg(message);
    default:
        return QString();
    }
}

void setLogFilePath(const QString &path)
{
    LogTarget &target = logTarget();
    QMutexLocker lock(&target.mutex);
    target.file.close();
    target.path = path;
    target.encodedPath = QFile::encodeName(path);
}

QString logFilePath()
{
    LogTarget &target = logTarget();
    QMutexLocker lock(&target.mutex);
    return target.path;
}

QString defaultLogFilePath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return folder + QStringLiteral("/excellog.txt");
}

void customMessageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        abort();

    const QString line = logLineFor(type, message);
    // One lock around open, write and close, so two threads' lines never mix.
    LogTarget &target = logTarget();
    QMutexLocker lock(&target.mutex);
    if (target.path.isEmpty())
        return;
    if (target.file.isOpen() && !pathNamesOpenFile(target))
        target.file.close();
    if (!target.file.isOpen() && !openLog(target))
        return;
    target.file.write((line + QLatin1Char('\n')).toUtf8());
    target.file.flush();
}
