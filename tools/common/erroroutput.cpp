#include "erroroutput.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GRIDMOLT_ERROROUTPUT_SANITIZED 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define GRIDMOLT_ERROROUTPUT_SANITIZED 1
#endif
#ifdef GRIDMOLT_ERROROUTPUT_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

namespace ErrorOutput
{
namespace
{
// Set once at the start, before any other thread; -1 while the caller gave
// no error output (or before takeOver()).
int callerOutput = -1;
const char *programName = "";

// "program: message" and the line's end.
void write(const char *message, size_t size)
{
    if (callerOutput < 0)
        return;
    // No allocation: this also reports that memory ran out. One call keeps
    // the line whole beside other writers; what a full pipe leaves follows.
    iovec parts[] = {{const_cast<char *>(programName), std::strlen(programName)},
                     {const_cast<char *>(": "), 2},
                     {const_cast<char *>(message), size},
                     {const_cast<char *>("\n"), 1}};
    iovec *part = parts;
    int left = 4;
    while (left > 0) {
        ssize_t written = ::writev(callerOutput, part, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        for (; left > 0 && size_t(written) >= part->iov_len; --left, ++part)
            written -= ssize_t(part->iov_len);
        if (left > 0) {
            part->iov_base = static_cast<char *>(part->iov_base) + written;
            part->iov_len -= size_t(written);
        }
    }
}
}

void takeOver(const char *program)
{
    programName = program;
    // Above the standard three, so no later open takes its number.
    callerOutput = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int nothing = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nothing >= 0 && nothing != STDERR_FILENO) {
        ::dup2(nothing, STDERR_FILENO);
        ::close(nothing);
    }
#ifdef GRIDMOLT_ERROROUTPUT_SANITIZED
    if (callerOutput >= 0)
        __sanitizer_set_report_fd(reinterpret_cast<void *>(static_cast<long>(callerOutput)));
#endif
}

void say(const std::string &message)
{
    write(message.data(), message.size());
}

void say(const char *message)
{
    write(message, std::strlen(message));
}
}
