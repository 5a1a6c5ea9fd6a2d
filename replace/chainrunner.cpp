#include "chainrunner.h"

#include <QTimer>

ChainRunner::ChainRunner(QObject *parent) : QObject(parent) {}

void ChainRunner::begin(Kind kind)
{
    stop();
    for (const QPointer<ToolRun> &stopped : qAsConst(ending)) {
        if (stopped)
            stopped->waitForEnd();
    }
    ending.clear();
    chainKind = kind;
}

void ChainRunner::stop()
{
    ++gen;
    if (run) {
        // Deletes itself once its program has gone.
        run->stop();
        ending.append(run);
        run = nullptr;
    }
    chainKind = NoChain;
    fileIndex = 0;
    workRow = -1;
    outPath.clear();
    failure.clear();
    notStarted.clear();
}

void ChainRunner::later(std::function<void()> step)
{
    const quint64 mine = gen;
    QTimer::singleShot(0, this, [this, mine, step] {
        if (isCurrent(mine))
            step();
    });
}

void ChainRunner::start(const QString &program, const QStringList &arguments, const QString &outputFile,
                        int limitMs, std::function<void(const ToolRun::Result &)> then)
{
    if (!running() || run)
        return;
    run = new ToolRun(program, arguments, outputFile, limitMs, this);
    const quint64 mine = gen;
    connect(run, &ToolRun::ended, this, [this, mine, then](const ToolRun::Result &result) {
        if (!isCurrent(mine))
            return;
        run = nullptr;
        then(result);
    });
}

bool ChainRunner::firstNotStarted(const QString &program)
{
    if (notStarted.contains(program))
        return false;
    notStarted << program;
    return true;
}
