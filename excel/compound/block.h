#ifndef COMPOUNDDOC_BLOCK_H
#define COMPOUNDDOC_BLOCK_H

// A file of equal-sized blocks. The compound document reads and writes its
// header, tables, directory and stream data only through this class.
//
// Paths: an 8-bit path is handed to the file system byte for byte (UTF-8 on
// this platform); a wide path is converted to UTF-8 first, independent of the
// process locale. Offsets are 64-bit; files of 4 GiB or more are refused.

#include <cstdint>
#include <ios>
#include <string>
#include <vector>

namespace CompoundDoc {

class Block {
public:
    Block();
    ~Block();
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    // New or emptied file, opened for reading and writing.
    bool Create(const wchar_t* path);
    bool Create(const char* path);
    // With the out bit but no trunc bit an existing file is opened for
    // reading and writing; when the file may only be read, it is opened
    // read-only and every changing operation then fails.
    bool Open(const wchar_t* path, std::ios_base::openmode mode);
    bool Open(const char* path, std::ios_base::openmode mode);
    bool Close();
    bool IsOpen() const;

    void SetBlockSize(unsigned int size);
    bool Read(unsigned int index, char* buffer);
    bool Write(unsigned int index, const char* buffer);
    bool Swap(unsigned int a, unsigned int b);
    bool Move(unsigned int from, unsigned int to);
    bool Insert(unsigned int index, const char* buffer);
    bool Erase(std::vector<unsigned int>& indices);
    bool Erase(unsigned int index);

    // Runs of consecutive blocks in one system call; the compound document
    // uses them to move stream data at the speed of the disk.
    bool ReadRun(unsigned int first, unsigned int count, char* buffer);
    bool WriteRun(unsigned int first, unsigned int count, const char* buffer);
    // Any byte range inside the file (used for small blocks).
    bool ReadBytes(std::uint64_t offset, std::size_t size, char* buffer);
    bool WriteBytes(std::uint64_t offset, std::size_t size, const char* buffer);

    unsigned int BlockSize() const { return blockSize; }
    unsigned int BlockCount() const { return blockCount; }
    std::uint64_t FileSize() const { return fileSize; }
    bool CanWrite() const;

    // Largest file this class handles (offsets beyond it are refused).
    static constexpr std::uint64_t maxFileSize = 0xFFFFFFFFull;

    static std::string ToUtf8(const wchar_t* path, bool& ok);

private:
    bool OpenNarrow(const std::string& path, std::ios_base::openmode mode);
    bool PositionOk(unsigned int index, unsigned int count) const;
    bool WriteAll(std::uint64_t offset, const char* data, std::size_t size);
    bool ReadAll(std::uint64_t offset, char* data, std::size_t size, bool padShort = false);
    bool CopyRange(unsigned int from, unsigned int to, unsigned int count);

    std::string fileName;
    std::ios_base::openmode openMode;
    int fd;
    bool writable;
    unsigned int blockSize;
    unsigned int blockCount;
    std::uint64_t fileSize;
};

} // namespace CompoundDoc

#endif
