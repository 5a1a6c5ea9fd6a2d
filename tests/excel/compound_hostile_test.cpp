// Damaged and hostile documents fail cleanly, and failures of the file system
// are reported, never taken for success.

#include "compound/compoundfile.h"
#include "compound_testutil.h"
#include "../filesizelimit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using CompoundDoc::CompoundFile;
using namespace compoundtest;

namespace {

const int DAMAGED = CompoundFile::DAMAGED;

// A document with a big stream, a small stream and a storage holding one:
//   entries in name order: 0 root, 1 "s" (300 bytes, small), 2 "t" (100
//   bytes, small, in "st"), 3 "st" (storage), 4 "Workbook" (10000 bytes, big).
class Hostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        base_ = TempPath("base.xls");
        path_ = TempPath("hostile.xls");
        CompoundFile cf;
        ASSERT_TRUE(cf.Create(base_.c_str()));
        const struct { const char* name; unsigned size, seed; } streams[] = {{"Workbook", 10000, 1}, {"s", 300, 2}, {"st\\t", 100, 3}};
        for (const auto& s : streams) // all made before any is written: the layout the offsets below assume
            ASSERT_EQ(cf.MakeFile(s.name), 1);
        for (const auto& s : streams)
            ASSERT_EQ(cf.WriteFile(s.name, Pattern(s.size, s.seed), s.size), 1);
        cf.Close();
        good_ = FileBytes(base_);
    }
    void TearDown() override { std::remove(base_.c_str()), std::remove(path_.c_str()); }

    std::size_t DirEntry(std::uint32_t i) const { return EntryOffset(U32(good_, 48), i); }
    Bytes With(std::size_t at, std::uint32_t v) const { Bytes b = good_; return PutU32(b, at, v), b; }

    // Opens the bytes and reads every stream the directory lists; every
    // result must be success or a failure code, with no crash.
    bool OpenAndReadAll(const Bytes& bytes, std::vector<int>* results = nullptr)
    {
        WriteBytes(path_, bytes);
        CompoundFile cf;
        if (!cf.Open(path_.c_str(), std::ios_base::in)) {
            EXPECT_FALSE(cf.IsOpen()) << "a failed open leaves the object closed";
            return false;
        }
        std::vector<std::wstring> paths;
        cf.StreamPaths(paths);
        paths.push_back(L"\\");
        for (const std::wstring& p : paths) {
            std::vector<char> data;
            const int r = cf.ReadFile(p.c_str(), data);
            EXPECT_TRUE(r == 1 || r == DAMAGED || r == CompoundFile::IO_ERROR) << r;
            unsigned int size = 0;
            EXPECT_TRUE(r == 1 ? cf.FileSize(p.c_str(), size) != 1 || data.size() == size : data.empty()) << r;
            if (results)
                results->push_back(r);
        }
        return true;
    }

    int ReadOne(const Bytes& bytes, const char* name)
    {
        WriteBytes(path_, bytes);
        CompoundFile cf;
        std::vector<char> data;
        return cf.Open(path_.c_str(), std::ios_base::in) ? cf.ReadFile(name, data) : 999;
    }

    std::string base_, path_;
    Bytes good_;
};

} // namespace

TEST_F(Hostile, TruncatedFiles)
{
    std::vector<int> results;
    ASSERT_TRUE(OpenAndReadAll(good_, &results));
    EXPECT_EQ(results, std::vector<int>(4, 1));
    for (std::size_t len = 0; len < good_.size(); len += (len < 600 ? 1 : 97)) {
        SCOPED_TRACE(len);
        results.clear();
        const bool opened = OpenAndReadAll(Bytes(good_.begin(), good_.begin() + static_cast<long>(len)), &results);
        EXPECT_FALSE(opened && len < 512 * 3) << "header, table and directory are needed";
        EXPECT_TRUE(!opened || std::count(results.begin(), results.end(), DAMAGED) != 0) << "some stream lost bytes, and says so";
    }
}

TEST_F(Hostile, HeaderFields)
{
    // Offsets 28..33 hold byte order, big and small block shifts, 16 bits each.
    EXPECT_FALSE(OpenAndReadAll(With(0, 0))) << "signature";
    for (std::uint32_t shift : {0, 7, 8, 10, 12, 31, 32, 63, 0xFFFF})
        EXPECT_FALSE(OpenAndReadAll(With(30, shift | 6u << 16))) << "big block shift " << shift;
    for (std::uint32_t shift : {0, 5, 7, 9, 0xFFFF})
        EXPECT_FALSE(OpenAndReadAll(With(30, 9 | shift << 16))) << "small block shift " << shift;
    EXPECT_FALSE(OpenAndReadAll(With(28, 0xFEFF | 9u << 16))) << "byte order";
    const struct { std::size_t at; std::uint32_t value; const char* what; } fields[] = {
        {44, 0, "no table block"}, {44, 200, "table block count"}, {44, 0x7FFFFFFF, "table block count"},
        {44, 0xFFFFFFFF, "table block count"}, {76, 0x00FFFFFF, "table block past the end"},
        {76, 0xFFFFFFFF, "table block free"}, {48, 0x00FFFFFF, "directory past the end"}, {48, END, "no directory"},
        {60, 0x00FFFFFF, "small-block table past the end"}, {64, 0x7FFFFFFF, "small-block table count"},
        {72, 0x7FFFFFFF, "extension count beyond the file"}, {44, 110, "more table blocks than the file has"},
    };
    for (const auto& f : fields)
        EXPECT_FALSE(OpenAndReadAll(With(f.at, f.value))) << f.what << " " << f.value;
    auto ext = With(72, 1);
    PutU32(ext, 68, 0);
    EXPECT_FALSE(OpenAndReadAll(ext)) << "extension blocks named with fewer than 109 table blocks";
    auto twice = With(44, 2);
    PutU32(twice, 80, 0);
    EXPECT_FALSE(OpenAndReadAll(twice)) << "the same block listed twice as a table block";
}

TEST_F(Hostile, ChainsThatLoopLeaveOrRunShort)
{
    const std::uint32_t start = U32(good_, DirEntry(4) + 116);
    const std::size_t bat = BlockOffset(0), sbat = BlockOffset(U32(good_, 60));
    const std::uint32_t sStart = U32(good_, DirEntry(1) + 116);
    const struct { std::size_t at; std::uint32_t value; const char* stream; const char* what; } patches[] = {
        {bat + 4 * (start + 5), start, "Workbook", "back to the start"},
        {bat + 4 * (start + 2), start + 2, "Workbook", "onto itself"},
        {bat + 4 * start, 0x7FFFFFF0, "Workbook", "out of the table"},
        {bat + 4 * start, 100, "Workbook", "inside the table, past the file"},
        {bat + 4 * (start + 3), END, "Workbook", "short chain"},
        {DirEntry(4) + 120, 0xFFFFFF00u, "Workbook", "huge stated size, not allocated before the chain is checked"},
        {sbat + 4 * (sStart + 1), sStart, "s", "small chain loop"},
        {sbat + 4 * sStart, 0x12345, "s", "small chain out of the table"},
        {DirEntry(1) + 116, 100, "s", "a free small block past the mini stream"},
        {DirEntry(0) + 116, 0x7FFFFF, "s", "mini stream start out of range"},
    };
    for (const auto& p : patches) {
        const Bytes b = With(p.at, p.value);
        EXPECT_EQ(ReadOne(b, p.stream), DAMAGED) << p.what;
        EXPECT_TRUE(OpenAndReadAll(b)) << p.what;
    }
    EXPECT_EQ(ReadOne(With(DirEntry(0) + 116, 0x7FFFFF), "Workbook"), 1) << "big streams need no mini stream";

    // A chain through blocks past the end of the file, long enough for a
    // stated size beyond the file's: refused before the vector is sized by it.
    auto b = good_;
    const std::uint32_t fileBlocks = static_cast<std::uint32_t>(good_.size() / 512 - 1);
    PutU32(b, bat + 4 * (start + 19), fileBlocks);
    for (std::uint32_t k = fileBlocks; k < 128; ++k)
        PutU32(b, bat + 4 * k, k + 1 < 128 ? k + 1 : END);
    const std::uint32_t stated = static_cast<std::uint32_t>(good_.size()) + 5000;
    ASSERT_LT(stated, (20 + 128 - fileBlocks) * 512u);
    PutU32(b, DirEntry(4) + 120, stated);
    WriteBytes(path_, b);
    CompoundFile cf;
    std::vector<char> data;
    ASSERT_TRUE(cf.Open(path_.c_str(), std::ios_base::in));
    EXPECT_TRUE(cf.ReadFile("Workbook", data) == DAMAGED && data.capacity() < good_.size()) << "nothing sized by a length the file cannot hold";
}

TEST_F(Hostile, Directories)
{
    auto unterminated = good_;
    std::fill(unterminated.begin() + static_cast<long>(DirEntry(4)), unterminated.begin() + static_cast<long>(DirEntry(4)) + 64, 'A');
    EXPECT_FALSE(OpenAndReadAll(unterminated)) << "no terminator within 32 units";
    // Entry 0 typed as a storage, not the root; entry 4 (linked to) typed unused.
    for (const auto& retype : {std::make_pair(DirEntry(0) + 66, 1), std::make_pair(DirEntry(4) + 66, 0)}) {
        auto b = good_;
        b[retype.first] = static_cast<unsigned char>(retype.second);
        EXPECT_FALSE(OpenAndReadAll(b)) << retype.first;
    }
    // Links (68 left sibling, 72 right sibling, 76 child) that break the tree.
    const struct { std::uint32_t entry, field, value; const char* what; } links[] = {
        {0, 76, 40, "child link past the list"},     {4, 68, 4, "sibling link to itself"},
        {2, 72, 0, "sibling link back to the root"}, {3, 76, 3, "storage containing itself"},
        {2, 68, 3, "storage's child linking to the storage"},
    };
    for (const auto& link : links)
        EXPECT_FALSE(OpenAndReadAll(With(DirEntry(link.entry) + link.field, link.value))) << link.what;
    EXPECT_FALSE(OpenAndReadAll(With(BlockOffset(0) + 4 * U32(good_, 48), U32(good_, 48)))) << "directory chain loops";

    // Sibling links on the root are dropped: they are gone once the document is written.
    WriteBytes(path_, With(DirEntry(0) + 68, 4));
    {
        CompoundFile cf;
        ASSERT_TRUE(cf.Open(path_.c_str()));
        ASSERT_EQ(cf.MakeFile("new"), 1);
    }
    const Bytes rewritten = FileBytes(path_);
    EXPECT_EQ(U32(rewritten, EntryOffset(U32(rewritten, 48), 0) + 68), FREE);
    // A stream has no children: a child link on one is not followed.
    std::vector<int> results;
    EXPECT_TRUE(OpenAndReadAll(With(DirEntry(4) + 76, 1), &results) && results == std::vector<int>(4, 1));
    // Entries that nothing links to are dropped, the rest still read.
    auto b = With(DirEntry(0) + 76, 4);
    PutU32(b, DirEntry(4) + 68, FREE);
    PutU32(b, DirEntry(4) + 72, FREE);
    results.clear();
    EXPECT_TRUE(OpenAndReadAll(b, &results) && results.size() == 2u) << "Workbook and the mini stream";
    EXPECT_EQ(std::make_pair(ReadOne(b, "Workbook"), ReadOne(b, "s")), std::make_pair(1, int(CompoundFile::FILE_NOT_FOUND)));
}

TEST_F(Hostile, DeepNestingIsReadWithoutRecursion)
{
    // 20000 storages each inside the previous one, written by hand.
    const std::uint32_t entries = 20001, dirBlocks = (entries + 3) / 4;
    const std::uint32_t batBlocks = (dirBlocks + 1 + 127) / 128 + 1;
    Bytes b(512 * (1 + batBlocks + dirBlocks), 0);
    CompoundFile::Header h;
    h.batCount = batBlocks;
    for (std::uint32_t s = 0; s < 109; ++s)
        h.batBlocks[s] = s < batBlocks ? s : FREE;
    h.directoryStart = batBlocks;
    h.Write(reinterpret_cast<char*>(b.data()));
    for (std::uint32_t k = 0, last = batBlocks + dirBlocks - 1; k < batBlocks * 128; ++k)
        PutU32(b, BlockOffset(k / 128) + 4 * (k % 128), k < batBlocks ? TABLE : k < last ? k + 1 : k == last ? END : FREE);
    for (std::uint32_t i = 0; i < entries; ++i) {
        CompoundFile::DirectoryEntry e;
        e.name[0] = i == 0 ? L'R' : L'a';
        e.type = i == 0 ? 5 : 1;
        e.child = i + 1 < entries ? i + 1 : FREE;
        e.Write(reinterpret_cast<char*>(&b[EntryOffset(batBlocks, i)]));
    }
    WriteBytes(path_, b);
    CompoundFile cf;
    ASSERT_TRUE(cf.Open(path_.c_str(), std::ios_base::in));
    EXPECT_EQ(cf.ChangeDirectory("a\\a\\a\\a"), 1);
}

TEST_F(Hostile, OpenFailuresLeaveTheObjectClosed)
{
    CompoundFile cf;
    // No file, a folder, neither in nor out.
    EXPECT_FALSE(cf.Open((TempDir() + "/no/such/file.xls").c_str()) || cf.Open(TempDir().c_str()) ||
                 cf.Open(base_.c_str(), std::ios_base::openmode()));
    // Opening never empties the document, whatever the mode says, nor creates one.
    EXPECT_TRUE(cf.Open(base_.c_str(), std::ios_base::out | std::ios_base::trunc));
    cf.Close();
    EXPECT_EQ(FileBytes(base_), good_);
    EXPECT_FALSE(cf.Open((TempDir() + "/not-there.xls").c_str(), std::ios_base::out));
    EXPECT_FALSE(std::ifstream(TempDir() + "/not-there.xls").good());
    EXPECT_FALSE(cf.Create((TempDir() + "/no/such/dir/x.xls").c_str()));
    EXPECT_FALSE(cf.IsOpen());
    // An open document is closed by a failed Open.
    ASSERT_TRUE(cf.Open(base_.c_str()));
    WriteBytes(path_, With(0, 0));
    EXPECT_FALSE(cf.Open(path_.c_str()));
    EXPECT_FALSE(cf.IsOpen());
}

TEST_F(Hostile, FilesOf4GiBAreRefused)
{
    WriteBytes(path_, good_);
    ASSERT_EQ(::truncate(path_.c_str(), 0x100000000ll + 512), 0); // sparse
    CompoundFile cf;
    EXPECT_FALSE(cf.Open(path_.c_str(), std::ios_base::in));
    std::remove(path_.c_str());

    ASSERT_TRUE(cf.Create(path_.c_str()));
    ASSERT_EQ(cf.MakeFile("Workbook"), 1);
    const char tiny[8] = {0};
    // Refused before a byte of the (nonexistent) data is touched.
    EXPECT_EQ(cf.WriteFile("Workbook", tiny, 0xFFFFF000u), CompoundFile::TOO_LARGE);
    EXPECT_EQ(FileBytes(path_).size(), 1536u);
}

TEST_F(Hostile, ReadOnlyDocuments)
{
    CompoundFile cf;
    ASSERT_TRUE(cf.Open(base_.c_str(), std::ios_base::in));
    EXPECT_EQ(cf.MakeFile("new"), CompoundFile::IO_ERROR);
    EXPECT_EQ(cf.WriteFile("Workbook", "abc", 3), CompoundFile::IO_ERROR);
    std::vector<char> back;
    EXPECT_EQ(cf.ReadFile("Workbook", back), 1);
    EXPECT_EQ(back, Pattern(10000, 1)) << "a refused write changes nothing";
    cf.Close();
    EXPECT_EQ(FileBytes(base_), good_);

    // Without write permission a document still opens for reading, even
    // when asked for in | out (the workbook loader does).
    ASSERT_EQ(::chmod(base_.c_str(), 0444), 0);
    const bool canStillWrite = ::access(base_.c_str(), W_OK) == 0; // e.g. running as root
    ASSERT_TRUE(cf.Open(base_.c_str(), std::ios_base::in | std::ios_base::out));
    EXPECT_EQ(cf.ReadFile("Workbook", back), 1);
    EXPECT_TRUE(canStillWrite || cf.WriteFile("Workbook", "abc", 3) == CompoundFile::IO_ERROR);
    cf.Close();
    ::chmod(base_.c_str(), 0644);

    // That proves nothing for root; an immutable file refuses writing to root too.
    const int fd = ::open(base_.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 || (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)) {
        ::close(fd);
        GTEST_SKIP() << "no immutable files here";
    }
    const bool opened = cf.Open(base_.c_str(), std::ios_base::in | std::ios_base::out);
    const int read = opened ? cf.ReadFile("Workbook", back) : 0;
    const int written = opened ? cf.WriteFile("Workbook", "abc", 3) : 0;
    cf.Close();
    flags &= ~FS_IMMUTABLE_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    ::close(fd);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(read == 1 && written == CompoundFile::IO_ERROR) << read << " " << written;
    EXPECT_EQ(FileBytes(base_), good_);
}

TEST_F(Hostile, FullDiskIsReported)
{
    // A file size limit makes writes fail the way a full disk does.
    FileSizeLimit limit(64 * 1024);
    ASSERT_TRUE(limit.ok());
    CompoundFile cf;
    const bool created = cf.Create(path_.c_str());
    const int made = created ? cf.MakeFile("Workbook") : 0;
    const int written = created ? cf.WriteFile("Workbook", Pattern(1000000, 5), 1000000) : 0;
    cf.Close();
    const bool lowered = limit.lower(1000);
    const bool createdTiny = cf.Create((path_ + "2").c_str());
    limit.restore();
    std::remove((path_ + "2").c_str());

    ASSERT_TRUE(created && lowered);
    EXPECT_TRUE(made == 1 && written == CompoundFile::IO_ERROR) << made << " " << written;
    EXPECT_FALSE(createdTiny) << "1536 bytes do not fit in 1000";
    EXPECT_FALSE(cf.IsOpen());
}
