#include "memorylimit.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace
{
const long long kMegabyte = 1024 * 1024;
// What a failed allocation gets to unwind, remove its files and report.
const long long kReserve = 64 * kMegabyte;

std::atomic<bool> failed{false};

// The first failure raises the limit once by the reserve.
void raiseOnce()
{
    if (failed.exchange(true))
        return;
    struct rlimit limit;
    if (::getrlimit(RLIMIT_DATA, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        limit.rlim_cur += kReserve;
        if (limit.rlim_max != RLIM_INFINITY)
            limit.rlim_cur = std::min(limit.rlim_cur, limit.rlim_max);
        ::setrlimit(RLIMIT_DATA, &limit);
    }
}

void onFailedAllocation()
{
    raiseOnce();
    std::set_new_handler(nullptr);   // the next failure throws at once
    throw std::bad_alloc();
}

// Private writable memory of this process now, as the data limit counts it;
// -1 when the system does not tell.
long long dataInUse()
{
    std::ifstream statm("/proc/self/statm");
    long long fields[6] = {};
    for (long long &field : fields) {
        if (!(statm >> field))
            return -1;
    }
    return fields[5] * ::sysconf(_SC_PAGESIZE);
}
}

long long MemoryLimit::shareOfThisMachine(const char *variable)
{
    if (const char *set = std::getenv(variable)) {
        char *end = nullptr;
        const long long megabytes = std::strtoll(set, &end, 10);
        if (end != set && *end == '\0' && megabytes > 0 && megabytes < (1LL << 40))
            return megabytes * kMegabyte;
    }
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    long long machine = pages > 0 && pageSize > 0 ? (long long)pages * pageSize : 4096 * kMegabyte;
    // A container's own memory limit, where it has one, is the machine.
    std::ifstream cgroupLimit("/sys/fs/cgroup/memory.max");
    long long limit = 0;
    if (cgroupLimit >> limit && limit > 0)
        machine = std::min(machine, limit);
    return machine / 4;
}

void MemoryLimit::limitProcess(long long bytes)
{
    const long long now = dataInUse();
    struct rlimit limit;
    if (now < 0 || ::getrlimit(RLIMIT_DATA, &limit) != 0)
        return;
    rlim_t wanted = rlim_t(now + bytes);
    if (limit.rlim_max != RLIM_INFINITY)
        wanted = std::min(wanted, limit.rlim_max);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted)
        return;   // already tighter
    limit.rlim_cur = wanted;
    ::setrlimit(RLIMIT_DATA, &limit);
}

MemoryLimit::MemoryLimit(long long shareBytes) : share_(std::max(shareBytes, kMegabyte))
{
    limitProcess(share_);
    std::set_new_handler(onFailedAllocation);
}

MemoryLimit::~MemoryLimit()
{
    std::set_new_handler(nullptr);
}

bool MemoryLimit::exhausted()
{
    return failed.load();
}

void MemoryLimit::noteExhaustion()
{
    raiseOnce();
}
