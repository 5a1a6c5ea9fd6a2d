#include "signalshutdown.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{
const int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

volatile std::sig_atomic_t caught = 0;
int wakePipe[2] = {-1, -1};

pid_t owner = 0;

extern "C" void noteSignal(int signal)
{
    // Only what is safe in a signal handler: a flag, a byte, the default
    // action back for the next signal.
    const int saved = errno;
    if (::getpid() != owner) {
        // A child forked by a program start, not yet running its program:
        // it ends as it would without us, and the program is not told.
        std::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    caught = signal;
    const char byte = char(signal);
    if (wakePipe[1] >= 0)
        (void)::write(wakePipe[1], &byte, 1);
    for (int s : handledSignals)
        std::signal(s, SIG_DFL);
    errno = saved;
}
}

SignalShutdown::SignalShutdown(QObject *parent) : QObject(parent)
{
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        wakePipe[0] = wakePipe[1] = -1;
        return;   // the signals keep their default: the program ends at once
    }
    owner = ::getpid();
    notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SignalShutdown::wake);
    struct sigaction action = {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : handledSignals)
        sigaction(s, &action, nullptr);
}

SignalShutdown::~SignalShutdown()
{
    for (int s : handledSignals)
        std::signal(s, SIG_DFL);
    if (wakePipe[0] >= 0) {
        delete notifier;
        ::close(wakePipe[0]);
        ::close(wakePipe[1]);
        wakePipe[0] = wakePipe[1] = -1;
    }
}

bool SignalShutdown::requested()
{
    return caught != 0;
}

void SignalShutdown::wake()
{
    char bytes[16];
    while (::read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
    // Leaves the main loop and any modal loop inside it.
    QCoreApplication::exit(exitStatus(caught));
}
