#ifndef GRIDMOLT_MEMORYLIMIT_H
#define GRIDMOLT_MEMORYLIMIT_H

// Keeps a program within a share of the machine's memory, so that a small
// hostile file (a page tree claiming two billion pages, a picture of
// 20,000 x 20,000 pixels, a stream that inflates without end) ends in a
// failed allocation that is reported, not in the machine running out. The
// process's data is limited to what it uses at the start plus the share.
class MemoryLimit
{
public:
    // The share in bytes: the environment variable `variable` in megabytes
    // when it is set to a positive number (lets tests make it small), else a
    // quarter of the physical memory or of the container's memory limit,
    // whichever is less, and no more than half of what the process's soft
    // limits on its address space and its data (ulimit -v, -d) leave it.
    static long long shareOfThisMachine(const char *variable);

    // Limits the process's data to its present size plus `bytes`, where the
    // system tells its present size; a tighter limit already set is kept.
    static void limitProcess(long long bytes);

    // Applies `shareBytes` with limitProcess() and, while this object lives,
    // makes the first failed C++ allocation raise the limit by a reserve (so
    // the program can unwind, tidy up and report) before it throws
    // std::bad_alloc as usual.
    explicit MemoryLimit(long long shareBytes);
    ~MemoryLimit();
    MemoryLimit(const MemoryLimit &) = delete;
    MemoryLimit &operator=(const MemoryLimit &) = delete;

    long long shareMegabytes() const { return share_ >> 20; }

    // Whether an allocation failed since the start: a result made after one
    // may be missing parts, as libraries skip what they could not allocate.
    static bool exhausted();
    // For allocators other than operator new (a C library's hook).
    static void noteExhaustion();

private:
    const long long share_;
};

#endif
