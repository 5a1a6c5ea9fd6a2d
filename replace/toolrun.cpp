#include "toolrun.h"

#include <QTimer>

ToolRun::ToolRun(const QString &program, const QStringList &arguments, int limitMs, QObject *parent)
    : QObject(parent), programPath(program), process(new QProcess(this)), limit(new QTimer(this))
{
    // Nothing is read from the programs; their output must not fill a pipe.
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, this, [this] {
        timedOut = true;
        process->kill();   // finished() follows
    });
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(NotStarted);
    });
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this] { finish(timedOut ? TimedOut : Ended); });
    // Started from the event loop, so ended() never comes before the caller
    // has connected to it.
    QTimer::singleShot(0, this, [this, arguments, limitMs] {
        limit->start(limitMs);
        process->start(programPath, arguments, QIODevice::ReadOnly);
    });
}

ToolRun::~ToolRun()
{
    // The receiver may be going away with us: no ended() from here on.
    process->disconnect(this);
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(5000);
    }
}

void ToolRun::finish(Outcome outcome)
{
    if (done)
        return;
    done = true;
    limit->stop();
    emit ended(outcome);
    deleteLater();
}
