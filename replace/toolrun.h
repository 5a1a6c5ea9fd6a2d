#ifndef TOOLRUN_H
#define TOOLRUN_H

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

class QTimer;

// One run of an external program with a time limit. The program gets its
// arguments as a list (no command-line parsing, so any path works). ended()
// comes exactly once: when the program has ended, when it could not be
// started, or when it passed the limit and was ended. The run then deletes
// itself; a run deleted earlier (with its parent window) ends its program.
class ToolRun : public QObject
{
    Q_OBJECT

public:
    enum Outcome { Ended, NotStarted, TimedOut };

    ToolRun(const QString &program, const QStringList &arguments, int limitMs, QObject *parent);
    ~ToolRun() override;

    QString program() const { return programPath; }

signals:
    void ended(ToolRun::Outcome outcome);

private:
    void finish(Outcome outcome);

    QString programPath;
    QProcess *process;
    QTimer *limit;
    bool timedOut = false;
    bool done = false;
};

#endif
