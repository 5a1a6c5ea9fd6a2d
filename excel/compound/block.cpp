#include "compound/block.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "compound/widetext.h"

namespace CompoundDoc {

namespace {

// Bytes moved per system call when blocks are shifted inside the file.
const std::size_t copyChunk = 1u << 20;

} // namespace

Block::Block()
    : openMode(std::ios_base::openmode()), fd(-1), writable(false), blockSize(512), blockCount(0), fileSize(0)
{
}

Block::~Block()
{
    Close();
}

std::string Block::ToUtf8(const wchar_t* path, bool& ok)
{
    ok = true;
    std::string out;
    if (!path)
        return out;
    for (std::size_t i = 0; path[i] != 0; ++i) {
        unsigned long c = static_cast<unsigned long>(path[i]) & 0xFFFFFFFFul;
        if (c >= 0xD800 && c <= 0xDBFF) {
            // A UTF-16 pair stored in two wide characters.
            const unsigned long low = static_cast<unsigned long>(path[i + 1]) & 0xFFFFFFFFul;
            if (low < 0xDC00 || low > 0xDFFF) {
                ok = false;
                return std::string();
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if ((c >= 0xDC00 && c <= 0xDFFF) || c > 0x10FFFF) {
            ok = false;
            return std::string();
        }
        CompoundDoc::AppendUtf8(out, c);
    }
    return out;
}

bool Block::Create(const wchar_t* path)
{
    return Open(path, std::ios_base::in | std::ios_base::out | std::ios_base::trunc);
}

bool Block::Create(const char* path)
{
    return Open(path, std::ios_base::in | std::ios_base::out | std::ios_base::trunc);
}

bool Block::Open(const wchar_t* path, std::ios_base::openmode mode)
{
    bool ok = false;
    const std::string narrow = ToUtf8(path, ok);
    if (!ok) {
        Close();
        return false;
    }
    return OpenNarrow(narrow, mode);
}

bool Block::Open(const char* path, std::ios_base::openmode mode)
{
    return OpenNarrow(path ? std::string(path) : std::string(), mode);
}

bool Block::OpenNarrow(const std::string& path, std::ios_base::openmode mode)
{
    Close();
    const bool in = (mode & std::ios_base::in) != 0;
    const bool out = (mode & std::ios_base::out) != 0;
    const bool trunc = (mode & std::ios_base::trunc) != 0;
    if (path.empty() || (!in && !out))
        return false;

    int flags = O_CLOEXEC;
    bool canWrite = out;
    if (!out) {
        flags |= O_RDONLY;
    } else if (trunc || !in) {
        // Like a stream opened for output: a new or emptied file.
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    } else {
        flags |= O_RDWR;
    }
    int handle = ::open(path.c_str(), flags, 0666);
    if (handle < 0 && out && in && !trunc && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        // Reading an existing document must not need write permission.
        handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        canWrite = false;
    }
    if (handle < 0)
        return false;

    struct stat st;
    if (::fstat(handle, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0
        || static_cast<std::uint64_t>(st.st_size) > maxFileSize) {
        ::close(handle);
        return false;
    }
    fd = handle;
    fileName = path;
    openMode = mode;
    writable = canWrite;
    fileSize = static_cast<std::uint64_t>(st.st_size);
    blockCount = static_cast<unsigned int>((fileSize + blockSize - 1) / blockSize);
    return true;
}

bool Block::Close()
{
    bool ok = true;
    if (fd >= 0) {
        ok = ::close(fd) == 0;
        fd = -1;
    }
    fileName.clear();
    openMode = std::ios_base::openmode();
    writable = false;
    fileSize = 0;
    blockCount = 0;
    blockSize = 512;
    return ok;
}

bool Block::IsOpen() const
{
    return fd >= 0;
}

bool Block::CanWrite() const
{
    return fd >= 0 && writable;
}

void Block::SetBlockSize(unsigned int size)
{
    if (size == 0)
        return;
    blockSize = size;
    blockCount = static_cast<unsigned int>((fileSize + size - 1) / size);
}

bool Block::PositionOk(unsigned int index, unsigned int count) const
{
    return static_cast<std::uint64_t>(index) + count <= blockCount;
}

bool Block::ReadAll(std::uint64_t offset, char* data, std::size_t size, bool padShort)
{
    // A read must find every byte in the file: a cut-off file is damaged.
    // Only moves inside the file may pass over its end, where a short last
    // block (left by another writer) is taken as padded with zeros.
    if (!padShort && (offset > fileSize || size > fileSize - offset))
        return false;
    std::size_t done = 0;
    while (done < size) {
        if (offset + done >= fileSize)
            break;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, fileSize - (offset + done)));
        const ssize_t got = ::pread(fd, data + done, want, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return false; // the file shrank under us
        done += static_cast<std::size_t>(got);
    }
    if (done < size)
        std::memset(data + done, 0, size - done);
    return true;
}

bool Block::WriteAll(std::uint64_t offset, const char* data, std::size_t size)
{
    if (offset + size > maxFileSize)
        return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::pwrite(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (put == 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    if (offset + size > fileSize) {
        fileSize = offset + size;
        blockCount = static_cast<unsigned int>((fileSize + blockSize - 1) / blockSize);
    }
    return true;
}

bool Block::Read(unsigned int index, char* buffer)
{
    return ReadRun(index, 1, buffer);
}

bool Block::ReadRun(unsigned int first, unsigned int count, char* buffer)
{
    if (fd < 0 || !(openMode & std::ios_base::in) || !PositionOk(first, count))
        return false;
    return ReadAll(static_cast<std::uint64_t>(first) * blockSize, buffer, static_cast<std::size_t>(count) * blockSize);
}

bool Block::ReadBytes(std::uint64_t offset, std::size_t size, char* buffer)
{
    if (fd < 0 || !(openMode & std::ios_base::in) || offset > fileSize || size > fileSize - offset)
        return false;
    return ReadAll(offset, buffer, size);
}

bool Block::WriteBytes(std::uint64_t offset, std::size_t size, const char* buffer)
{
    if (!CanWrite() || !(openMode & std::ios_base::out))
        return false;
    return WriteAll(offset, buffer, size);
}

bool Block::Write(unsigned int index, const char* buffer)
{
    return WriteRun(index, 1, buffer);
}

bool Block::WriteRun(unsigned int first, unsigned int count, const char* buffer)
{
    if (!CanWrite() || !(openMode & std::ios_base::out))
        return false;
    return WriteAll(static_cast<std::uint64_t>(first) * blockSize, buffer, static_cast<std::size_t>(count) * blockSize);
}

bool Block::Swap(unsigned int a, unsigned int b)
{
    if (!CanWrite() || !PositionOk(a, 1) || !PositionOk(b, 1))
        return false;
    if (a == b)
        return true;
    std::vector<char> first(blockSize), second(blockSize);
    return ReadAll(static_cast<std::uint64_t>(a) * blockSize, first.data(), blockSize, true)
        && ReadAll(static_cast<std::uint64_t>(b) * blockSize, second.data(), blockSize, true)
        && WriteAll(static_cast<std::uint64_t>(a) * blockSize, second.data(), blockSize)
        && WriteAll(static_cast<std::uint64_t>(b) * blockSize, first.data(), blockSize);
}

bool Block::CopyRange(unsigned int from, unsigned int to, unsigned int count)
{
    // Like memmove over blocks, in large pieces so a shift costs one pass.
    if (count == 0 || from == to)
        return true;
    const std::size_t perChunk = std::max<std::size_t>(1, copyChunk / blockSize);
    std::vector<char> buffer(perChunk * blockSize);
    if (to < from) {
        for (unsigned int done = 0; done < count;) {
            const unsigned int n = static_cast<unsigned int>(std::min<std::size_t>(perChunk, count - done));
            const std::size_t bytes = static_cast<std::size_t>(n) * blockSize;
            if (!ReadAll(static_cast<std::uint64_t>(from + done) * blockSize, buffer.data(), bytes, true)
                || !WriteAll(static_cast<std::uint64_t>(to + done) * blockSize, buffer.data(), bytes))
                return false;
            done += n;
        }
    } else {
        for (unsigned int left = count; left > 0;) {
            const unsigned int n = static_cast<unsigned int>(std::min<std::size_t>(perChunk, left));
            left -= n;
            const std::size_t bytes = static_cast<std::size_t>(n) * blockSize;
            if (!ReadAll(static_cast<std::uint64_t>(from + left) * blockSize, buffer.data(), bytes, true)
                || !WriteAll(static_cast<std::uint64_t>(to + left) * blockSize, buffer.data(), bytes))
                return false;
        }
    }
    return true;
}

bool Block::Move(unsigned int from, unsigned int to)
{
    if (!CanWrite() || !PositionOk(from, 1) || !PositionOk(to, 1))
        return false;
    if (from == to)
        return true;
    // The same result as a run of neighbour swaps, in one pass.
    std::vector<char> moving(blockSize);
    if (!ReadAll(static_cast<std::uint64_t>(from) * blockSize, moving.data(), blockSize, true))
        return false;
    const bool shifted = to < from ? CopyRange(to, to + 1, from - to) : CopyRange(from + 1, from, to - from);
    return shifted && WriteAll(static_cast<std::uint64_t>(to) * blockSize, moving.data(), blockSize);
}

bool Block::Insert(unsigned int index, const char* buffer)
{
    if (!CanWrite())
        return false;
    if (index >= blockCount)
        return Write(index, buffer);
    if (static_cast<std::uint64_t>(blockCount + 1ull) * blockSize > maxFileSize)
        return false;
    return CopyRange(index, index + 1, blockCount - index) && Write(index, buffer);
}

bool Block::Erase(std::vector<unsigned int>& indices)
{
    if (!CanWrite())
        return false;
    if (indices.empty())
        return true;
    std::vector<unsigned int> sorted(indices);
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < sorted.size(); ++i)
        if (sorted[i] >= blockCount || (i > 0 && sorted[i] == sorted[i - 1]))
            return false;
    // Close up the gaps one kept run at a time: one pass over the tail.
    unsigned int write = sorted[0];
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const unsigned int runStart = sorted[i] + 1;
        const unsigned int runEnd = i + 1 < sorted.size() ? sorted[i + 1] : blockCount;
        if (runEnd > runStart) {
            if (!CopyRange(runStart, write, runEnd - runStart))
                return false;
            write += runEnd - runStart;
        }
    }
    const unsigned int removed = static_cast<unsigned int>(sorted.size());
    const bool lastKept = sorted.back() != blockCount - 1;
    const unsigned int newCount = blockCount - removed;
    const std::uint64_t newSize = lastKept ? fileSize - static_cast<std::uint64_t>(removed) * blockSize
                                           : static_cast<std::uint64_t>(newCount) * blockSize;
    // Cut the file so that no stale blocks stay behind its end.
    if (::ftruncate(fd, static_cast<off_t>(newSize)) != 0)
        return false;
    fileSize = newSize;
    blockCount = newCount;
    return true;
}

bool Block::Erase(unsigned int index)
{
    if (index >= blockCount)
        return false;
    std::vector<unsigned int> one(1, index);
    return Erase(one);
}

} // namespace CompoundDoc
