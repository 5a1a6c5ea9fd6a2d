#include "messagehandler.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

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

// Kept open between messages: a save traces every cell, and reopening the
// file for each line would dominate its cost.
QFile &logFile()
{
    static QFile file;
    return file;
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
    logFile().close();
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
    QFile &file = logFile();
    if (!file.isOpen()) {
        file.setFileName(logPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
    }
    file.write((line + QLatin1Char('\n')).toUtf8());
    file.flush();
}
