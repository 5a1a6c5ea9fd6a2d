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

// Field `index` of /proc/self/statm in bytes (0: the address space, 5:
// private writable memory, as the data limit counts it); -1 when the
// system does not tell.
long long inUse(int index)
{
    std::ifstream statm("/proc/self/statm");
    long long fields[6] = {};
    for (long long &field : fields) {
        if (!(statm >> field))
            return -1;
    }
    return fields[index] * ::sysconf(_SC_PAGESIZE);
}

long long dataInUse()
{
    return inUse(5);
}

// Half of what the soft limit `resource` leaves beyond what the process uses
// of it now (`index` as for inUse()); -1 when no such limit is set. The
// other half is the program's own: its libraries' mappings, its threads'
// stacks and what allocators reserve beyond what they hand out, so that a
// failed allocation within the share comes before the system's limit ends
// a library that cannot report one.
long long halfOfWhatIsLeft(int resource, int index)
{
    struct rlimit limit;
    if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -1;
    const long long used = std::max(inUse(index), 0LL);
    const long long soft = (long long)std::min<rlim_t>(limit.rlim_cur, rlim_t(1) << 62);
    return std::max(soft - used, 0LL) / 2;
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
    long long share = machine / 4;
    for (const long long left : {halfOfWhatIsLeft(RLIMIT_AS, 0), halfOfWhatIsLeft(RLIMIT_DATA, 5)}) {
        if (left >= 0)
            share = std::min(share, left);
    }
    return share;
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
