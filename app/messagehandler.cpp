#include "messagehandler.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTextStream>

#include <cstdlib>

namespace {

QMutex &logMutex()
{
    static QMutex mutex;
    return mutex;
}

QString &logPath()
{
    static QString path;
    return path;
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
    QMutexLocker lock(&logMutex());
    logPath() = path;
}

QString logFilePath()
{
    QMutexLocker lock(&logMutex());
    return logPath();
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
    QMutexLocker lock(&logMutex());
    if (logPath().isEmpty())
        return;
    QFile file(logPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    QTextStream out(&file);
    out.setCodec("UTF-8");
    out << line << '\n';
    out.flush();
    file.close();
}
