#ifndef MEMORYBUDGET_H
#define MEMORYBUDGET_H

#include <QSize>
#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

// Keeps a conversion within a fixed share of the machine's memory. Page
// images rendered at once share half of it: a worker reserves its page's
// image before rendering and waits while the others' images fill that half,
// so the number of pages in flight follows their size. The process as a
// whole is limited to what it uses at the start plus the share, so a page
// whose drawing needs more (deeply nested graphics states, say) ends in an
// allocation failure that is reported, not in the machine running out.
class MemoryBudget
{
public:
    explicit MemoryBudget(qint64 shareBytes);
    // Ends what onExhaustion() set up: allocation failures throw again.
    ~MemoryBudget();
    MemoryBudget(const MemoryBudget &) = delete;
    MemoryBudget &operator=(const MemoryBudget &) = delete;

    // The share: RENDRIX_MEMORY_MB megabytes when set (lets tests make it
    // small), else a quarter of the physical memory or of the container's
    // memory limit, whichever is less.
    static qint64 shareOfThisMachine();

    // Bytes a page image of `pixels` occupies while it is rendered and
    // encoded: the library's bitmap and our copy of it, 4 bytes a pixel each.
    static qint64 imageBytes(const QSize &pixels);

    qint64 share() const { return share_; }
    qint64 imageShare() const { return share_ / 2; }

    // Limits the process's data to its present size plus the share and the
    // stacks of `threads` workers, where the system tells its present size.
    void limitProcess(int threads) const;

    // While this budget lives, the first allocation that fails runs `action`
    // in the thread that failed, after raising the limit by a reserve so that
    // it can tidy up and report, and then ends the process with status 1.
    // Other threads whose allocations fail meanwhile wait for that end.
    // Throwing instead is not safe: the PDF library's destructors allocate
    // while unwinding, which then ends the process by std::terminate. The
    // same holds where the library itself aborts on a failed allocation.
    void onExhaustion(std::function<void()> action);

    // Waits until `bytes` fit beside the images in flight, then takes them.
    // False, taking nothing, when `stop` is set first or when `bytes` alone
    // exceed the image share.
    bool reserve(qint64 bytes, const std::atomic<bool> &stop);
    void release(qint64 bytes);

private:
    const qint64 share_;
    qint64 inUse_ = 0;
    std::mutex lock_;
    std::condition_variable freed_;
};

#endif
