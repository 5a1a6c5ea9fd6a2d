// The programs' error output: only their own lines reach the caller, whatever
// the libraries print.

#include "erroroutput.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// Runs `body` in a child whose error output is a pipe; what came through it,
// or "(no exit)" when the child did not exit with status 0.
std::string errorOutputOf(const std::function<void()> &body)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return "(no pipe)";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeEnds[1], STDERR_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        body();
        std::_Exit(0);
    }
    ::close(pipeEnds[1]);
    std::string got;
    char chunk[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0;)
        got.append(chunk, size_t(n));
    ::close(pipeEnds[0]);
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? got : "(no exit)";
}

// Descriptors this process holds open (the listing's own among them).
long openDescriptors()
{
    return long(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// What a library does: prints on the error output by itself.
void libraryNoise()
{
    std::fputs("Bogus memory allocation size\n", stderr);
    std::fflush(stderr);
    const char raw[] = "Corrupt JPEG data\n";
    if (::write(STDERR_FILENO, raw, sizeof raw - 1) < 0)
        std::_Exit(3);
}
}

TEST(ErrorOutput, OnlyOurLinesReachTheCaller)
{
    const std::string longMessage(200000, 'x');
    std::string varied(1 << 20, ' ');
    for (size_t i = 0; i < varied.size(); ++i)
        varied[i] = char('!' + i % 89);
    const struct { const char *what; std::function<void()> body; std::string expected; } rows[] = {
        {"before the take-over, a library's words pass", [] { libraryNoise(); },
         "Bogus memory allocation size\nCorrupt JPEG data\n"},
        {"after it, nothing of theirs", [] { ErrorOutput::takeOver("prog"); libraryNoise(); }, ""},
        {"our lines, among theirs",
         [] {
             ErrorOutput::takeOver("prog");
             libraryNoise();
             ErrorOutput::say("cannot open \"a.pdf\": it is damaged");
             libraryNoise();
             ErrorOutput::say(std::string("a\0b", 3));
         },
         "prog: cannot open \"a.pdf\": it is damaged\nprog: " + std::string("a\0b", 3) + "\n"},
        {"a line longer than a pipe holds", [&longMessage] { ErrorOutput::takeOver("p"); ErrorOutput::say(longMessage); },
         "p: " + longMessage + "\n"},
        {"a line whose writes signals cut short goes on where each part ended",
         [&varied] {
             // Without SA_RESTART, a signal ends a blocked write with what it wrote.
             struct sigaction quiet = {};
             quiet.sa_handler = [](int) {};
             ::sigaction(SIGALRM, &quiet, nullptr);
             ::fcntl(STDERR_FILENO, F_SETPIPE_SZ, 4096);
             const itimerval often = {{0, 200}, {0, 200}}, never = {};
             ::setitimer(ITIMER_REAL, &often, nullptr);
             ErrorOutput::takeOver("p");
             ErrorOutput::say(varied);
             ::setitimer(ITIMER_REAL, &never, nullptr);
         },
         "p: " + varied + "\n"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(errorOutputOf(row.body), row.expected) << row.what;
}

TEST(ErrorOutput, WithoutAnErrorOutputNoFileTakesItsPlace)
{
    // The caller closed it: lines go nowhere, and a file opened later is not
    // where the libraries' words would land.
    EXPECT_EQ(errorOutputOf([] {
                  ::close(STDERR_FILENO);
                  ErrorOutput::takeOver("prog");
                  ErrorOutput::say("lost");
                  const int file = ::open("/dev/zero", O_RDONLY);
                  if (file == STDERR_FILENO)
                      std::_Exit(4);
              }),
              "");
}

TEST(ErrorOutput, TheTakeOverHoldsOneDescriptorMore)
{
    // The caller's output is kept; the stand-in that replaces it is not.
    const long before = openDescriptors();
    ASSERT_GT(before, 0);
    EXPECT_EQ(errorOutputOf([before] {
                  ErrorOutput::takeOver("prog");
                  if (openDescriptors() != before + 1)
                      std::_Exit(5);
              }),
              "");
}
