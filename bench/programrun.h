#ifndef BENCH_PROGRAMRUN_H
#define BENCH_PROGRAMRUN_H

// Starting the application's external programs from a benchmark: where they
// are, the page count asked for, a folder of the benchmark's own, and one run
// to its end with its peak memory.

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
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

// GRIDMOLT_BENCH_PAGES, or `fallback` when it is unset or not a positive number.
inline int pageCount(int fallback)
{
    const char *pages = std::getenv("GRIDMOLT_BENCH_PAGES");
    const int n = pages ? std::atoi(pages) : 0;
    return n > 0 ? n : fallback;
}

// A private folder in TMPDIR (or /tmp), removed with the files in it at exit.
class WorkFolder
{
public:
    explicit WorkFolder(const std::string &prefix)
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + ".XXXXXX";
        if (mkdtemp(&pattern[0]))
            path_ = pattern;
    }
    ~WorkFolder()
    {
        if (path_.empty())
            return;
        if (DIR *dir = opendir(path_.c_str())) {
            while (const dirent *e = readdir(dir))
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                    unlink((path_ + "/" + e->d_name).c_str());
            closedir(dir);
        }
        rmdir(path_.c_str());
    }
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

// Runs a program (found on PATH when the name has no "/") to its end, with
// `env` ("NAME=value") in place of those variables and its standard output
// discarded; its peak resident memory in KB, or -1 when it could not run or
// failed.
inline long run(std::vector<std::string> args, std::vector<std::string> env = {})
{
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(&e[0]);
    for (char **e = environ; *e; ++e) {
        const size_t nameEnd = std::strcspn(*e, "=") + 1;
        bool replaced = false;
        for (const std::string &mine : env)
            replaced = replaced || mine.compare(0, nameEnd, *e, nameEnd) == 0;
        if (!replaced)
            envp.push_back(*e);
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}
}

#endif
