#include "toolrun.h"

#include "converterstop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace
{
// The programs say what went wrong in a line or two, and one line per rule
// they skipped; more than this is not read into memory.
constexpr int maxErrorBytes = 256 * 1024;
}

ToolRun::ToolRun(const QString &program, const QStringList &arguments, const QString &outputFile, int limitMs,
                 QObject *parent)
    : QObject(parent), programPath(program), outputPath(outputFile), process(new QProcess(this)),
      limit(new QTimer(this)), grace(new QTimer(this))
{
    // Standard output is not read; it must not fill a pipe.
    process->setStandardOutputFile(QProcess::nullDevice());
    limit->setSingleShot(true);
    grace->setSingleShot(true);
    connect(limit, &QTimer::timeout, this, [this] { endProgram(TimedOut); });
    connect(grace, &QTimer::timeout, process, &QProcess::kill);
    connect(process, &QProcess::readyReadStandardError, this, &ToolRun::readErrors);
    connect(process, &QProcess::started, this, [this] {
        pid = process->processId();
        // A signal must not reach the forked program before it runs its own
        // code, so an end asked for while it started is carried out now.
        if (endedBy != Ended)
            terminate();
    });
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(endedBy == Stopped ? Stopped : NotStarted);
    });
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this, [this] {
        readErrors();
        if (endedBy != Ended)
            removeLeftovers();
        finish(endedBy);
    });
    // Started from the event loop, so ended() never comes before the caller
    // has connected to it.
    QTimer::singleShot(0, this, [this, arguments, limitMs] {
        if (endedBy == Stopped) {
            finish(Stopped);
            return;
        }
        limit->start(limitMs);
        process->start(programPath, arguments, QIODevice::ReadOnly);
    });
}

ToolRun::~ToolRun()
{
    // The receiver may be going away with us: no ended() from here on.
    process->disconnect(this);
    if (process->state() == QProcess::NotRunning)
        return;
    if (process->state() == QProcess::Starting)
        process->waitForStarted(graceMs);
    if (process->state() == QProcess::Running)
        process->terminate();
    if (!process->waitForFinished(graceMs)) {
        process->kill();
        process->waitForFinished(5000);
    }
    removeLeftovers();
}

void ToolRun::stop()
{
    endProgram(Stopped);
}

void ToolRun::waitForEnd()
{
    if (process->state() == QProcess::Starting)
        process->waitForStarted(graceMs);   // the start then sends the terminate signal
    if (process->state() == QProcess::NotRunning)
        return;
    if (!process->waitForFinished(graceMs)) {
        process->kill();
        process->waitForFinished(5000);
    }
}

void ToolRun::endProgram(Outcome why)
{
    if (done || endedBy != Ended)
        return;
    endedBy = why;
    limit->stop();
    // Not started yet: the start finds the run stopped. Starting: once it
    // has started.
    if (process->state() == QProcess::Running)
        terminate();
}

void ToolRun::terminate()
{
    process->terminate();
    grace->start(graceMs);
}

void ToolRun::readErrors()
{
    const QByteArray more = process->readAllStandardError();
    if (errors.size() < maxErrorBytes)
        errors += more.left(maxErrorBytes - errors.size());
}

void ToolRun::removeLeftovers()
{
    if (outputPath.isEmpty())
        return;
    const QFileInfo output(outputPath);
    // The output was free when the run was made: whatever stands there now
    // is this run's unfinished work.
    if (output.isFile() && !output.isSymLink())
        QFile::remove(outputPath);
    if (pid <= 0)
        return;
    const QString prefix = QStringLiteral(".gm") + QString::number(pid) + QLatin1Char('.');
    const QDir folder = output.absoluteDir();
    for (const QFileInfo &f : folder.entryInfoList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden)) {
        if (f.fileName().startsWith(prefix) && f.isFile() && !f.isSymLink())
            QFile::remove(f.filePath());
    }
    // A page converter's private folder of pages named after the output's base.
    ConverterStop::removeLeftovers(folder.path(), output.completeBaseName(), pid);
}

void ToolRun::finish(Outcome outcome)
{
    if (done)
        return;
    done = true;
    limit->stop();
    grace->stop();
    Result result;
    result.outcome = outcome;
    if (outcome == Ended) {
        result.exitCode = process->exitCode();
        result.crashed = process->exitStatus() == QProcess::CrashExit;
    }
    for (const QByteArray &line : errors.split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (!text.isEmpty())
            result.errorLines << text;
    }
    emit ended(result);
    deleteLater();
}

QString ToolRun::commandLine(const QString &program, const QStringList &arguments)
{
    auto shown = [](const QString &s) {
        const bool plain = !s.isEmpty() && !s.contains(QLatin1Char(' ')) && !s.contains(QLatin1Char('/'));
        return plain ? s : QLatin1Char('"') + s + QLatin1Char('"');
    };
    QString line = shown(program);
    for (const QString &a : arguments)
        line += QLatin1Char(' ') + shown(a);
    return line;
}
