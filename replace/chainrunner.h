#ifndef CHAINRUNNER_H
#define CHAINRUNNER_H

#include "toolrun.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

// The one chain of program runs of the replacement window (a batch, the
// split chain or the page counting), without widgets: what kind of chain
// runs, the row in work, the output path of the run started last, the one
// program running and why the file in work failed. The window keeps the
// widgets and asks the runner.
//
// Every step a chain leaves for later (a step from the event loop, the end of
// a program) carries the generation it was made in and is dropped when the
// generation has changed since: stop() and every begin() make a new one, so
// after a stop nothing of the stopped chain runs again.
class ChainRunner : public QObject
{
    Q_OBJECT

public:
    enum Kind { NoChain, CountChain, PositionChain, ContentChain, SplitChain };

    explicit ChainRunner(QObject *parent = nullptr);

    Kind kind() const { return chainKind; }
    bool running() const { return chainKind != NoChain; }
    quint64 generation() const { return gen; }
    bool isCurrent(quint64 generation) const { return running() && generation == gen; }

    // Starts a chain of `kind` at row 0 with a new generation, once every
    // program of a stopped chain has gone (they share files such as the
    // page-count file and the rendered pages).
    void begin(Kind kind);
    // The split chain hands its next file on to the batch by content.
    void handOver(Kind kind) { chainKind = kind; }
    // Ends the chain: a new generation, no chain, row 0. A program still
    // running is ended in the background and reports to nobody.
    void stop();

    // Runs `step` from the event loop unless the chain has ended or begun
    // anew by then, so a list of failing files never nests calls.
    void later(std::function<void()> step);

    // Starts `program` with `arguments`, writing `outputFile`, ended after
    // limitMs; `then` gets the result while the chain still stands. Does
    // nothing while no chain runs or another program runs: that program's
    // end goes on with the chain.
    void start(const QString &program, const QStringList &arguments, const QString &outputFile, int limitMs,
               std::function<void(const ToolRun::Result &)> then);
    bool hasRun() const { return !run.isNull(); }

    // Whether this is the first time in the chain that `program` could not
    // be started (the window says why once, not for every file).
    bool firstNotStarted(const QString &program);

    int fileIndex = 0;   // the row whose run comes next
    int workRow = -1;    // the row in work, -1 when none
    QString outPath;     // output path of the run started last for the file in work
    QString failure;     // why the file in work failed; empty while it has not

private:
    Kind chainKind = NoChain;
    quint64 gen = 0;
    QPointer<ToolRun> run;
    QList<QPointer<ToolRun>> ending;   // stopped, their programs not yet gone
    QStringList notStarted;
};

#endif
