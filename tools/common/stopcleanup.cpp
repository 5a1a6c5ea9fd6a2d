#include "stopcleanup.h"

#include "erroroutput.h"

#include <csignal>
#include <cstdlib>
#include <exception>
#include <vector>

#include <signal.h>
#include <unistd.h>

namespace StopCleanup
{
namespace
{
const int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Set up outside any handler; the handler only reads them.
std::vector<char> pathBuffer;
volatile std::sig_atomic_t armed = 0;

void removeArmed()
{
    if (armed)   // only ever set once the buffer holds the name
        ::unlink(pathBuffer.data());
    armed = 0;
}

void onStop(int sig)
{
    removeArmed();
    // SA_RESETHAND put the default action back; SA_NODEFER lets it act now.
    ::raise(sig);
    ::_exit(128 + sig);
}

void onTerminate()
{
    removeArmed();
    ErrorOutput::say("stopped by an unexpected internal error; nothing was written");
    std::_Exit(1);
}

sigset_t stopSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kStopSignals)
        sigaddset(&set, sig);
    return set;
}
}

void prepare(const char *program)
{
    ErrorOutput::takeOver(program);
    std::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action = {};
    action.sa_handler = onStop;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int sig : kStopSignals)
        ::sigaction(sig, &action, nullptr);
    std::set_terminate(onTerminate);
}

Hold::Hold()
{
    const sigset_t set = stopSet();
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

Hold::~Hold()
{
    const sigset_t set = stopSet();
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

char *buffer(unsigned long capacity)
{
    armed = 0;
    pathBuffer.assign(capacity, '\0');
    return pathBuffer.data();
}

void arm()
{
    armed = 1;
}

void disarm()
{
    armed = 0;
}
}
