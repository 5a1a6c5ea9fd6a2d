// Loaded into a program under test (LD_PRELOAD): the first write into a
// temporary output file (".gm..." as the programs name them, or a page file
// in the converter's "-partial-" folder) writes half its bytes and then stops
// the process (SIGSTOP), so a test can signal it while its file is half
// written, the same way every time.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <dlfcn.h>
#include <unistd.h>

extern "C" ssize_t write(int fd, const void *data, size_t size)
{
    using Write = ssize_t (*)(int, const void *, size_t);
    static const Write real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    // Once only, also where two workers reach their first write together: a
    // second stop after the test's SIGCONT would hold the program for good.
    static std::atomic<bool> stopped{false};
    if (!stopped.load() && fd > 2 && size > 1) {
        char link[64], target[4096];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t length = readlink(link, target, sizeof target - 1);
        target[length > 0 ? length : 0] = '\0';
        const char *name = std::strrchr(target, '/');
        if (name && (std::strncmp(name, "/.gm", 4) == 0 || std::strstr(target, "-partial-")) && !stopped.exchange(true)) {
            const ssize_t half = real(fd, data, size / 2);
            raise(SIGSTOP);
            return half;   // the caller writes the rest, if it lives
        }
    }
    return real(fd, data, size);
}
