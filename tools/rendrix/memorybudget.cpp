#include "memorybudget.h"

#include "memorylimit.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <new>

#include <unistd.h>

namespace
{
const qint64 kMegabyte = 1024 * 1024;
// Room for one worker's stack and its allocator's first blocks.
const qint64 kPerThread = 16 * kMegabyte;

// The new-handler's state: one per process, as the handler is.
std::function<void()> exhaustionAction;
std::atomic<bool> exhausted{false};

void handleExhaustion()
{
    if (exhausted.exchange(true)) {
        for (;;)
            ::pause();
    }
    MemoryLimit::noteExhaustion();   // raises the limit by a reserve to tidy up and report
    exhaustionAction();
    std::_Exit(1);
}

// The drawing library ends the process when an allocation of its own fails,
// the failure's ENOMEM still set: that is the share running out too. Any
// other end goes on as it would.
void abortOnExhaustion(int)
{
    if (errno == ENOMEM && exhaustionAction)
        handleExhaustion();
}
}

MemoryBudget::MemoryBudget(qint64 shareBytes) : share_(qMax<qint64>(shareBytes, kMegabyte))
{
}

qint64 MemoryBudget::shareOfThisMachine()
{
    return MemoryLimit::shareOfThisMachine("RENDRIX_MEMORY_MB");
}

qint64 MemoryBudget::imageBytes(const QSize &pixels)
{
    return 8 * qint64(qMax(pixels.width(), 1)) * qMax(pixels.height(), 1);
}

void MemoryBudget::limitProcess(int threads) const
{
    MemoryLimit::limitProcess(share_ + threads * kPerThread);
}

MemoryBudget::~MemoryBudget()
{
    std::set_new_handler(nullptr);
    std::signal(SIGABRT, SIG_DFL);
    exhaustionAction = nullptr;
}

void MemoryBudget::onExhaustion(std::function<void()> action)
{
    exhaustionAction = std::move(action);
    std::set_new_handler(handleExhaustion);
    std::signal(SIGABRT, abortOnExhaustion);
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
