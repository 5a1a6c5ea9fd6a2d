#include "memorybudget.h"

#include <QFile>

#include <chrono>
#include <cstdlib>
#include <new>

#include <sys/resource.h>
#include <unistd.h>

namespace
{
const qint64 kMegabyte = 1024 * 1024;
// Room for one worker's stack and its allocator's first blocks.
const qint64 kPerThread = 16 * kMegabyte;

// What a failed allocation gets to report and remove its files.
const qint64 kReserve = 64 * kMegabyte;

// The new-handler's state: one per process, as the handler is.
std::function<void()> exhaustionAction;
std::atomic<bool> exhausted{false};

void handleExhaustion()
{
    if (exhausted.exchange(true)) {
        for (;;)
            ::pause();
    }
    struct rlimit limit;
    if (::getrlimit(RLIMIT_DATA, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        limit.rlim_cur += kReserve;
        if (limit.rlim_max != RLIM_INFINITY)
            limit.rlim_cur = qMin(limit.rlim_cur, limit.rlim_max);
        ::setrlimit(RLIMIT_DATA, &limit);
    }
    exhaustionAction();
    std::_Exit(1);
}

// Private writable memory of this process now, as the data limit counts it.
qint64 dataInUse()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().simplified().split(' ');
    bool ok = false;
    const qint64 pages = fields.size() > 5 ? fields.at(5).toLongLong(&ok) : 0;
    return ok ? pages * ::sysconf(_SC_PAGESIZE) : -1;
}
}

MemoryBudget::MemoryBudget(qint64 shareBytes) : share_(qMax<qint64>(shareBytes, kMegabyte))
{
}

qint64 MemoryBudget::shareOfThisMachine()
{
    bool ok = false;
    const qint64 megabytes = qEnvironmentVariable("RENDRIX_MEMORY_MB").toLongLong(&ok);
    if (ok && megabytes > 0)
        return megabytes * kMegabyte;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    qint64 machine = pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : 4096 * kMegabyte;
    // A container's own memory limit, where it has one, is the machine.
    QFile cgroupLimit(QStringLiteral("/sys/fs/cgroup/memory.max"));
    if (cgroupLimit.open(QIODevice::ReadOnly)) {
        const qint64 limit = cgroupLimit.readAll().trimmed().toLongLong(&ok);
        if (ok && limit > 0)
            machine = qMin(machine, limit);
    }
    return machine / 4;
}

qint64 MemoryBudget::imageBytes(const QSize &pixels)
{
    return 8 * qint64(qMax(pixels.width(), 1)) * qMax(pixels.height(), 1);
}

void MemoryBudget::limitProcess(int threads) const
{
    const qint64 now = dataInUse();
    struct rlimit limit;
    if (now < 0 || ::getrlimit(RLIMIT_DATA, &limit) != 0)
        return;
    rlim_t wanted = rlim_t(now + share_ + threads * kPerThread);
    if (limit.rlim_max != RLIM_INFINITY)
        wanted = qMin(wanted, limit.rlim_max);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted)
        return;   // already tighter
    limit.rlim_cur = wanted;
    ::setrlimit(RLIMIT_DATA, &limit);
}

MemoryBudget::~MemoryBudget()
{
    std::set_new_handler(nullptr);
    exhaustionAction = nullptr;
}

void MemoryBudget::onExhaustion(std::function<void()> action)
{
    exhaustionAction = std::move(action);
    std::set_new_handler(handleExhaustion);
}

bool MemoryBudget::reserve(qint64 bytes, const std::atomic<bool> &stop)
{
    if (bytes > imageShare())
        return false;
    std::unique_lock<std::mutex> guard(lock_);
    // Polled as well, as `stop` is set without this lock.
    while (inUse_ + bytes > imageShare()) {
        if (stop.load())
            return false;
        freed_.wait_for(guard, std::chrono::milliseconds(50));
    }
    if (stop.load())
        return false;
    inUse_ += bytes;
    return true;
}

void MemoryBudget::release(qint64 bytes)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        inUse_ -= bytes;
    }
    freed_.notify_all();
}
