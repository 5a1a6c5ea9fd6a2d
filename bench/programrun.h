#ifndef BENCH_PROGRAMRUN_H
#define BENCH_PROGRAMRUN_H

// Starting the application's external programs from a benchmark: where they
// are, and one run to its end with its peak memory.

#include <string>
#include <vector>

#include <limits.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace ProgramRun
{
// The path of `name` in the application folder; benchmarks are built beside it.
inline std::string appProgram(const std::string &name)
{
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return std::string();
    const std::string dir(self, static_cast<size_t>(n));
    return dir.substr(0, dir.rfind('/')) + "/../bin/" + name;
}

// Runs a program (found on PATH when the name has no "/") to its end; its
// peak resident memory in KB, or -1 when it could not run or failed.
inline long run(std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}
}

#endif
