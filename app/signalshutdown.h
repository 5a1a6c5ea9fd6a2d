#ifndef SIGNALSHUTDOWN_H
#define SIGNALSHUTDOWN_H

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (a logout sends them) into an ordinary
// end of the program: the handler only notes the signal and wakes the event
// loop, which then leaves every loop it runs. The windows are then destroyed
// as at any other exit, ending the programs they started, and the private
// temporary folder is removed. A second signal ends the program at once.
// One per process, made after the application object.
class SignalShutdown : public QObject
{
    Q_OBJECT

public:
    explicit SignalShutdown(QObject *parent = nullptr);
    ~SignalShutdown() override;

    // Whether one of the signals has come; a blocking wait asks this to give
    // up early. Safe to call before any SignalShutdown exists.
    static bool requested();

    // The exit status for a program ended by `signal`, as a shell reports it.
    static int exitStatus(int signal) { return 128 + signal; }

private:
    void wake();

    QSocketNotifier *notifier = nullptr;
};

#endif
