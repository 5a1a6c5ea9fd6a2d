#ifndef TOOLRUN_H
#define TOOLRUN_H

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

class QTimer;

// One run of an external program with a time limit. The program gets its
// arguments as a list (no command-line parsing, so any path works). ended()
// comes exactly once, from the event loop: when the program has ended, when
// it could not be started, when it passed its limit, or when stop() ended it.
// The run then deletes itself (later, so whatever its listeners do in ended()
// never frees it under its own feet).
//
// A program is ended gently: a terminate signal first, so it can remove its
// temporary file, and a kill only when it is still there after graceMs. A
// program ended so leaves nothing behind: its output file (named when the run
// was made, and free before it) and its temporary files, which by the
// programs' convention lie beside the output and are named ".gm", the
// program's decimal process id, "." and a random suffix, are removed, and
// so is a page converter's private folder of pages (ConverterStop).
class ToolRun : public QObject
{
    Q_OBJECT

public:
    enum Outcome { Ended, NotStarted, TimedOut, Stopped };

    struct Result
    {
        Outcome outcome = Ended;
        int exitCode = 0;          // for Ended only
        bool crashed = false;      // Ended by a signal the run did not send
        QStringList errorLines;    // the program's standard error, non-empty lines, bounded
    };

    static constexpr int graceMs = 2000;

    ToolRun(const QString &program, const QStringList &arguments, const QString &outputFile, int limitMs,
            QObject *parent);
    // A run still going ends its program here, waiting at most the grace and
    // a kill's end.
    ~ToolRun() override;

    // Ends the program (or keeps it from starting); ended(Stopped) follows.
    void stop();
    // After stop(): waits until the program has gone, killing it when the
    // grace passes, so nothing it writes can meet the next run's files.
    void waitForEnd();

    QString program() const { return programPath; }

    // The command line as the log shows it: paths and anything with a blank
    // quoted, options as they stand.
    static QString commandLine(const QString &program, const QStringList &arguments);

signals:
    void ended(const ToolRun::Result &result);

private:
    void endProgram(Outcome why);
    void terminate();
    void readErrors();
    void removeLeftovers();
    void finish(Outcome outcome);

    QString programPath;
    QString outputPath;
    QProcess *process;
    QTimer *limit;
    QTimer *grace;
    QByteArray errors;
    qint64 pid = 0;
    Outcome endedBy = Ended;   // TimedOut or Stopped once the run ends the program itself
    bool done = false;
};

#endif
