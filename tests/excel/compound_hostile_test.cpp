// Damaged and hostile documents fail cleanly, and failures of the file system
// are reported, never taken for success.

#include "compound/compoundfile.h"
#include "compound_testutil.h"
#include "../filesizelimit.h"

#include <gtest/gtest.h>

#include <functional>
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
        ASSERT_EQ(cf.MakeFile("Workbook"), 1);
        ASSERT_EQ(cf.MakeFile("s"), 1);
        ASSERT_EQ(cf.MakeFile("st\\t"), 1);
        ASSERT_EQ(cf.WriteFile("Workbook", Pattern(10000, 1), 10000), 1);
        ASSERT_EQ(cf.WriteFile("s", Pattern(300, 2), 300), 1);
        ASSERT_EQ(cf.WriteFile("st\\t", Pattern(100, 3), 100), 1);
        cf.Close();
        good_ = FileBytes(base_);
    }
    void TearDown() override
    {
        std::remove(base_.c_str());
        std::remove(path_.c_str());
    }

    // Locations in the base document.
    std::size_t DirEntry(std::uint32_t i) const { return EntryOffset(U32(good_, 48), i); }
    std::uint32_t WorkbookStart() const { return U32(good_, DirEntry(4) + 116); }

    // Opens the bytes and reads every stream the directory lists; every
    // result must be success or a failure code, with no crash.
    bool OpenAndReadAll(const std::vector<unsigned char>& bytes, std::vector<int>* results = nullptr)
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
            if (r != 1) {
                EXPECT_TRUE(data.empty());
            }
            unsigned int size = 0;
            if (r == 1 && cf.FileSize(p.c_str(), size) == 1) {
                EXPECT_EQ(data.size(), size);
            }
            if (results)
                results->push_back(r);
        }
        return true;
    }

    int ReadOne(const std::vector<unsigned char>& bytes, const char* name)
    {
        WriteBytes(path_, bytes);
        CompoundFile cf;
        if (!cf.Open(path_.c_str(), std::ios_base::in))
            return 999;
        std::vector<char> data;
        return cf.ReadFile(name, data);
    }

    std::string base_, path_;
    std::vector<unsigned char> good_;
};

} // namespace

TEST_F(Hostile, BaseDocumentReadsBack)
{
    std::vector<int> results;
    ASSERT_TRUE(OpenAndReadAll(good_, &results));
    for (int r : results)
        EXPECT_EQ(r, 1);
    EXPECT_EQ(ReadOne(good_, "st\\t"), 1);
}

TEST_F(Hostile, TruncatedFiles)
{
    for (std::size_t len = 0; len < good_.size(); len += (len < 600 ? 1 : 97)) {
        SCOPED_TRACE(len);
        std::vector<unsigned char> cut(good_.begin(), good_.begin() + static_cast<std::ptrdiff_t>(len));
        std::vector<int> results;
        const bool opened = OpenAndReadAll(cut, &results);
        if (len < 512 * 3) {
            EXPECT_FALSE(opened) << "header, table and directory are needed";
        }
        if (opened) {
            bool anyDamaged = false;
            for (int r : results)
                anyDamaged = anyDamaged || r == DAMAGED;
            EXPECT_TRUE(anyDamaged) << "some stream lost bytes, and says so";
        }
    }
}

TEST_F(Hostile, HeaderFields)
{
    auto withU16 = [&](std::size_t at, std::uint16_t v) {
        auto b = good_;
        PutU16(b, at, v);
        return b;
    };
    auto withU32 = [&](std::size_t at, std::uint32_t v) {
        auto b = good_;
        PutU32(b, at, v);
        return b;
    };
    auto bad = good_;
    bad[0] = 0;
    EXPECT_FALSE(OpenAndReadAll(bad)) << "signature";
    for (std::uint16_t shift : {0, 7, 8, 10, 12, 31, 32, 63, 0xFFFF})
        EXPECT_FALSE(OpenAndReadAll(withU16(30, shift))) << "big block shift " << shift;
    for (std::uint16_t shift : {0, 5, 7, 9, 0xFFFF})
        EXPECT_FALSE(OpenAndReadAll(withU16(32, shift))) << "small block shift " << shift;
    EXPECT_FALSE(OpenAndReadAll(withU16(28, 0xFEFF))) << "byte order";
    for (std::uint32_t count : {0u, 200u, 0x7FFFFFFFu, 0xFFFFFFFFu})
        EXPECT_FALSE(OpenAndReadAll(withU32(44, count))) << "table block count " << count;
    EXPECT_FALSE(OpenAndReadAll(withU32(76, 0x00FFFFFF))) << "table block past the end";
    EXPECT_FALSE(OpenAndReadAll(withU32(76, 0xFFFFFFFF)));
    EXPECT_FALSE(OpenAndReadAll(withU32(48, 0x00FFFFFF))) << "directory past the end";
    EXPECT_FALSE(OpenAndReadAll(withU32(48, 0xFFFFFFFE))) << "no directory";
    EXPECT_FALSE(OpenAndReadAll(withU32(60, 0x00FFFFFF))) << "small-block table past the end";
    EXPECT_FALSE(OpenAndReadAll(withU32(64, 0x7FFFFFFF))) << "small-block table count";
    EXPECT_FALSE(OpenAndReadAll(withU32(72, 0x7FFFFFFF))) << "extension count beyond the file";
    // Extension blocks named with fewer than 109 table blocks.
    auto ext = withU32(72, 1);
    PutU32(ext, 68, 0);
    EXPECT_FALSE(OpenAndReadAll(ext));
    // The same block listed twice as a table block.
    auto twice = withU32(44, 2);
    PutU32(twice, 80, 0);
    EXPECT_FALSE(OpenAndReadAll(twice));
}

TEST_F(Hostile, DifatChains)
{
    // 110 table blocks claimed, DIFAT chain looping on itself or leaving the
    // file: refused.
    auto b = good_;
    PutU32(b, 44, 110);
    EXPECT_FALSE(OpenAndReadAll(b)) << "more table blocks than the file has";
    // A file big enough for 110 claimed blocks, DIFAT block naming itself.
    std::vector<unsigned char> big(good_);
    big.resize(512 * 200, 0);
    PutU32(big, 44, 110);
    for (std::uint32_t s = 0; s < 109; ++s)
        PutU32(big, 76 + 4 * s, 20 + s);
    PutU32(big, 68, 150);
    PutU32(big, 72, 3);
    for (std::uint32_t t = 0; t < 128; ++t)
        PutU32(big, BlockOffset(150) + 4 * t, 150);
    EXPECT_FALSE(OpenAndReadAll(big)) << "table blocks listed twice";
    PutU32(big, BlockOffset(150), 0x00FFFFFF);
    EXPECT_FALSE(OpenAndReadAll(big)) << "DIFAT names a block past the end";
}

TEST_F(Hostile, ChainsThatLoopLeaveOrRunShort)
{
    const std::uint32_t start = WorkbookStart();
    const std::size_t bat = BlockOffset(0);
    {
        auto b = good_;
        PutU32(b, bat + 4 * (start + 5), start); // back to the start
        EXPECT_EQ(ReadOne(b, "Workbook"), DAMAGED);
        EXPECT_TRUE(OpenAndReadAll(b));
    }
    {
        auto b = good_;
        PutU32(b, bat + 4 * (start + 2), start + 2); // onto itself
        EXPECT_EQ(ReadOne(b, "Workbook"), DAMAGED);
    }
    {
        auto b = good_;
        PutU32(b, bat + 4 * start, 0x7FFFFFF0); // out of the table
        EXPECT_EQ(ReadOne(b, "Workbook"), DAMAGED);
    }
    {
        auto b = good_;
        PutU32(b, bat + 4 * start, 100); // inside the table, past the file
        PutU32(b, bat + 4 * 100, 0xFFFFFFFE);
        EXPECT_EQ(ReadOne(b, "Workbook"), DAMAGED);
    }
    {
        auto b = good_;
        PutU32(b, bat + 4 * (start + 3), 0xFFFFFFFE); // short chain
        EXPECT_EQ(ReadOne(b, "Workbook"), DAMAGED);
    }
    {
        // A huge stated size must not be allocated before the chain is checked.
        auto b = good_;
        PutU32(b, DirEntry(4) + 120, 0xFFFFFF00u);
        EXPECT_EQ(ReadOne(b, "Workbook"), DAMAGED);
    }
    {
        // A chain through blocks past the end of the file, long enough for a
        // stated size beyond the file's: refused before the vector is sized
        // by that length.
        auto b = good_;
        const std::uint32_t fileBlocks = static_cast<std::uint32_t>(good_.size() / 512 - 1);
        PutU32(b, bat + 4 * (start + 19), fileBlocks);
        for (std::uint32_t k = fileBlocks; k < 128; ++k)
            PutU32(b, bat + 4 * k, k + 1 < 128 ? k + 1 : 0xFFFFFFFEu);
        const std::uint32_t stated = static_cast<std::uint32_t>(good_.size()) + 5000;
        ASSERT_LT(stated, (20 + 128 - fileBlocks) * 512u);
        PutU32(b, DirEntry(4) + 120, stated);
        WriteBytes(path_, b);
        CompoundFile cf;
        ASSERT_TRUE(cf.Open(path_.c_str(), std::ios_base::in));
        std::vector<char> data;
        EXPECT_EQ(cf.ReadFile("Workbook", data), DAMAGED);
        EXPECT_LT(data.capacity(), good_.size()) << "nothing sized by a length the file cannot hold";
    }
    {
        // Small chains: loop, out of the table, beyond the mini stream.
        const std::size_t sbat = BlockOffset(U32(good_, 60));
        const std::uint32_t sStart = U32(good_, DirEntry(1) + 116);
        auto b = good_;
        PutU32(b, sbat + 4 * (sStart + 1), sStart);
        EXPECT_EQ(ReadOne(b, "s"), DAMAGED);
        b = good_;
        PutU32(b, sbat + 4 * sStart, 0x12345);
        EXPECT_EQ(ReadOne(b, "s"), DAMAGED);
        b = good_;
        PutU32(b, DirEntry(1) + 116, 100); // a free small block past the mini stream
        EXPECT_EQ(ReadOne(b, "s"), DAMAGED);
        b = good_;
        PutU32(b, DirEntry(0) + 116, 0x7FFFFF); // mini stream start out of range
        EXPECT_EQ(ReadOne(b, "s"), DAMAGED);
        EXPECT_EQ(ReadOne(b, "Workbook"), 1) << "big streams do not depend on the mini stream";
    }
}

TEST_F(Hostile, Directories)
{
    {
        auto b = good_;
        for (std::size_t i = 0; i < 64; ++i)
            b[DirEntry(4) + i] = 'A'; // no terminator within 32 units
        EXPECT_FALSE(OpenAndReadAll(b)) << "unterminated name";
    }
    {
        auto b = good_;
        b[DirEntry(0) + 66] = 1;
        EXPECT_FALSE(OpenAndReadAll(b)) << "entry 0 is no root";
    }
    // Links (68 left sibling, 72 right sibling, 76 child) that break the tree.
    const struct {
        std::uint32_t entry, field, value;
        const char* what;
    } links[] = {
        {0, 76, 40, "child link past the list"},
        {4, 68, 4, "sibling link to itself"},
        {2, 72, 0, "sibling link back to the root"},
        {3, 76, 3, "storage containing itself"},
        {2, 68, 3, "storage's child linking to the storage"},
    };
    for (const auto& link : links) {
        auto b = good_;
        PutU32(b, DirEntry(link.entry) + link.field, link.value);
        EXPECT_FALSE(OpenAndReadAll(b)) << link.what;
    }
    {
        // A stream has no children: a child link on one is not followed.
        auto b = good_;
        PutU32(b, DirEntry(4) + 76, 1);
        std::vector<int> results;
        ASSERT_TRUE(OpenAndReadAll(b, &results));
        EXPECT_EQ(results, std::vector<int>(4, 1));
    }
    {
        auto b = good_;
        b[DirEntry(4) + 66] = 0;
        EXPECT_FALSE(OpenAndReadAll(b)) << "a link to an unused entry";
    }
    {
        auto b = good_;
        PutU32(b, BlockOffset(0) + 4 * U32(good_, 48), U32(good_, 48));
        EXPECT_FALSE(OpenAndReadAll(b)) << "directory chain loops";
    }
    {
        // Entries that nothing links to are dropped, the rest still read.
        auto b = good_;
        PutU32(b, DirEntry(0) + 76, 4);
        PutU32(b, DirEntry(4) + 68, 0xFFFFFFFF);
        PutU32(b, DirEntry(4) + 72, 0xFFFFFFFF);
        std::vector<int> results;
        ASSERT_TRUE(OpenAndReadAll(b, &results));
        EXPECT_EQ(results.size(), 2u) << "Workbook and the mini stream";
        EXPECT_EQ(ReadOne(b, "Workbook"), 1);
        EXPECT_EQ(ReadOne(b, "s"), CompoundFile::FILE_NOT_FOUND);
    }
}

TEST_F(Hostile, DeepNestingIsReadWithoutRecursion)
{
    // 20000 storages each inside the previous one, written by hand.
    const std::uint32_t depth = 20000;
    const std::uint32_t entries = depth + 1;
    const std::uint32_t dirBlocks = (entries + 3) / 4;
    const std::uint32_t batBlocks = (dirBlocks + 1 + 127) / 128 + 1;
    std::vector<unsigned char> b(512 * (1 + batBlocks + dirBlocks), 0);
    CompoundFile::Header h;
    h.batCount = batBlocks;
    for (std::uint32_t s = 0; s < 109; ++s)
        h.batBlocks[s] = s < batBlocks ? s : 0xFFFFFFFF;
    h.directoryStart = batBlocks;
    std::vector<char> raw(512);
    h.Write(raw.data());
    std::copy(raw.begin(), raw.end(), b.begin());
    for (std::uint32_t k = 0; k < batBlocks * 128; ++k) {
        std::uint32_t v = 0xFFFFFFFF;
        if (k < batBlocks)
            v = 0xFFFFFFFD;
        else if (k < batBlocks + dirBlocks)
            v = k + 1 < batBlocks + dirBlocks ? k + 1 : 0xFFFFFFFE;
        PutU32(b, BlockOffset(k / 128) + 4 * (k % 128), v);
    }
    for (std::uint32_t i = 0; i < entries; ++i) {
        CompoundFile::DirectoryEntry e;
        e.name[0] = i == 0 ? L'R' : L'a';
        e.type = i == 0 ? 5 : 1;
        e.child = i + 1 < entries ? i + 1 : 0xFFFFFFFF;
        std::vector<char> slot(128);
        e.Write(slot.data());
        std::copy(slot.begin(), slot.end(), b.begin() + static_cast<std::ptrdiff_t>(EntryOffset(batBlocks, i)));
    }
    WriteBytes(path_, b);
    CompoundFile cf;
    ASSERT_TRUE(cf.Open(path_.c_str(), std::ios_base::in));
    EXPECT_EQ(cf.ChangeDirectory("a\\a\\a\\a"), 1);
    cf.Close();
}

TEST_F(Hostile, RandomMutationsNeverCrash)
{
    // Deterministic byte flips over the structural blocks; the sanitizer
    // build turns any out-of-bounds access into a failure.
    std::uint32_t x = 2463534242u;
    auto next = [&x]() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    const std::size_t structural = std::min<std::size_t>(good_.size(), 512 * 6);
    int opened = 0;
    for (int round = 0; round < 1500; ++round) {
        auto b = good_;
        const int flips = 1 + static_cast<int>(next() % 6);
        for (int f = 0; f < flips; ++f) {
            const std::size_t at = next() % structural;
            b[at] = static_cast<unsigned char>(next() % 3 == 0 ? 0xFF : next());
        }
        if (next() % 8 == 0)
            b.resize(next() % b.size());
        opened += OpenAndReadAll(b) ? 1 : 0;
    }
    EXPECT_GT(opened, 0);
}

TEST_F(Hostile, OpenFailuresLeaveTheObjectClosed)
{
    CompoundFile cf;
    EXPECT_FALSE(cf.Open((TempDir() + "/no/such/file.xls").c_str()));
    EXPECT_FALSE(cf.IsOpen());
    EXPECT_FALSE(cf.Open(TempDir().c_str())) << "a folder is no document";
    EXPECT_FALSE(cf.Open(base_.c_str(), std::ios_base::openmode())) << "neither in nor out";
    // Opening never empties the document, whatever the mode says.
    EXPECT_TRUE(cf.Open(base_.c_str(), std::ios_base::out | std::ios_base::trunc));
    cf.Close();
    EXPECT_EQ(FileBytes(base_), good_);
    EXPECT_FALSE(cf.Open((TempDir() + "/not-there.xls").c_str(), std::ios_base::out)) << "nor creates one";
    EXPECT_FALSE(std::ifstream(TempDir() + "/not-there.xls").good());
    EXPECT_FALSE(cf.Create((TempDir() + "/no/such/dir/x.xls").c_str()));
    EXPECT_FALSE(cf.IsOpen());
    // An open document is closed by a failed Open.
    ASSERT_TRUE(cf.Open(base_.c_str()));
    auto b = good_;
    b[3] = 0;
    WriteBytes(path_, b);
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
    std::vector<char> back;
    EXPECT_EQ(cf.ReadFile("Workbook", back), 1);
    EXPECT_TRUE(back.empty());
}

TEST_F(Hostile, ReadOnlyDocuments)
{
    CompoundFile cf;
    ASSERT_TRUE(cf.Open(base_.c_str(), std::ios_base::in));
    EXPECT_EQ(cf.MakeFile("new"), CompoundFile::IO_ERROR);
    EXPECT_EQ(cf.MakeDirectory("new"), CompoundFile::IO_ERROR);
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
    if (!canStillWrite) {
        EXPECT_EQ(cf.WriteFile("Workbook", "abc", 3), CompoundFile::IO_ERROR);
    }
    cf.Close();
    ::chmod(base_.c_str(), 0644);
}

TEST_F(Hostile, ImmutableDocumentsOpenForReading)
{
    // The permission check above proves nothing for root; an immutable file
    // refuses writing to root too.
    const int fd = ::open(base_.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    int flags = 0;
    const bool marked = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0
        && (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    if (!marked) {
        ::close(fd);
        GTEST_SKIP() << "no immutable files here";
    }
    CompoundFile cf;
    const bool opened = cf.Open(base_.c_str(), std::ios_base::in | std::ios_base::out);
    std::vector<char> back;
    const int read = opened ? cf.ReadFile("Workbook", back) : 0;
    const int written = opened ? cf.WriteFile("Workbook", "abc", 3) : 0;
    cf.Close();
    flags &= ~FS_IMMUTABLE_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    ::close(fd);

    ASSERT_TRUE(opened);
    EXPECT_EQ(read, 1);
    EXPECT_EQ(back, Pattern(10000, 1));
    EXPECT_EQ(written, CompoundFile::IO_ERROR);
    EXPECT_EQ(FileBytes(base_), good_);
}

TEST_F(Hostile, FullDiskIsReported)
{
    // A file size limit makes writes fail the way a full disk does.
    FileSizeLimit limit(64 * 1024);
    ASSERT_TRUE(limit.ok());

    CompoundFile cf;
    const bool created = cf.Create(path_.c_str());
    int mk = 0, wr = 0;
    if (created) {
        mk = cf.MakeFile("Workbook");
        wr = cf.WriteFile("Workbook", Pattern(1000000, 5), 1000000);
        cf.Close();
    }
    const bool lowered = limit.lower(1000);
    const bool createdTiny = cf.Create((path_ + "2").c_str());

    limit.restore();
    std::remove((path_ + "2").c_str());

    ASSERT_TRUE(created);
    EXPECT_EQ(mk, 1);
    EXPECT_EQ(wr, CompoundFile::IO_ERROR);
    ASSERT_TRUE(lowered);
    EXPECT_FALSE(createdTiny) << "1536 bytes do not fit in 1000";
    EXPECT_FALSE(cf.IsOpen());
}
