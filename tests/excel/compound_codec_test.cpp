// The little-endian field codec and the block file.

#include "compound/block.h"
#include "compound/littleendian.h"
#include "compound_testutil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using CompoundDoc::Block;
using CompoundDoc::LittleEndian;
using namespace compoundtest;

namespace {

std::vector<unsigned char> Bytes(const char* b, std::size_t n)
{
    return std::vector<unsigned char>(b, b + n);
}

} // namespace

TEST(LittleEndianCodec, WritesLeastSignificantByteFirst)
{
    char b[8];
    std::fill(b, b + 8, '\x55');
    LittleEndian::Write(b, static_cast<unsigned short>(4660), 5, 0);
    EXPECT_EQ(Bytes(b, 8), (std::vector<unsigned char>{0x55, 0x55, 0x55, 0x55, 0x55, 0x34, 0x12, 0x55}));

    LittleEndian::Write(b, -2, 0, 0);
    EXPECT_EQ(Bytes(b, 4), (std::vector<unsigned char>{0xFE, 0xFF, 0xFF, 0xFF}));
    std::fill(b, b + 8, 0);
    LittleEndian::Write(b, 4294967294u, 0, 2);
    EXPECT_EQ(Bytes(b, 4), (std::vector<unsigned char>{0xFE, 0xFF, 0, 0}));
    // signed values fill extra bytes with FF, unsigned ones with 0
    LittleEndian::Write(b, static_cast<short>(-1), 0, 4);
    EXPECT_EQ(Bytes(b, 4), (std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF}));
    LittleEndian::Write(b, static_cast<unsigned short>(0xFFFF), 0, 4);
    EXPECT_EQ(Bytes(b, 4), (std::vector<unsigned char>{0xFF, 0xFF, 0, 0}));
    LittleEndian::Write(b, 0x0102030405060708ll, 0, 0);
    EXPECT_EQ(Bytes(b, 8), (std::vector<unsigned char>{8, 7, 6, 5, 4, 3, 2, 1}));
}

TEST(LittleEndianCodec, ReadsZeroExtendedBytes)
{
    const char fe[] = {'\xFE', '\xFF', '\x12', '\x34'};
    unsigned int u = 0xAAAAAAAA;
    LittleEndian::Read(fe, u, 0, 2);
    EXPECT_EQ(u, 0xFFFEu) << "the upper bytes are not read";
    const char neg[] = {'\x80', '\xFF'};
    short s = 0;
    LittleEndian::Read(neg, s, 0, 0);
    EXPECT_EQ(s, -128);
    const char ff00[] = {'\xFF', '\x00'};
    unsigned short us = 0;
    LittleEndian::Read(ff00, us, 0, 0);
    EXPECT_EQ(us, 255);
    int i = -1;
    LittleEndian::Read(neg, i, 0, 2);
    EXPECT_EQ(i, 0xFF80) << "no sign extension from a short read";
    unsigned long ul = 0;
    const char eight[] = {1, 2, 3, 4, 5, 6, 7, '\x88'};
    LittleEndian::Read(eight, ul, 0, 0);
    EXPECT_EQ(ul, 0x8807060504030201ul);
    long long ll = 0;
    LittleEndian::Read(eight, ll, 0, 0);
    EXPECT_EQ(static_cast<unsigned long long>(ll), 0x8807060504030201ull);
    char c = 0;
    LittleEndian::Read(eight, c, 7, 0);
    EXPECT_EQ(static_cast<unsigned char>(c), 0x88);
}

TEST(LittleEndianCodec, WideCharactersAreOneSixteenBitUnit)
{
    char b[8] = {0};
    LittleEndian::Write(b, static_cast<wchar_t>(0x1F600), 0, 0);
    EXPECT_EQ(Bytes(b, 3), (std::vector<unsigned char>{0x00, 0xF6, 0}));
    wchar_t w = L'x';
    LittleEndian::Read(b, w, 0, 0);
    EXPECT_EQ(static_cast<unsigned>(w), 0xF600u);

    const wchar_t abc[] = L"abc";
    char out[8];
    std::fill(out, out + 8, '\x55');
    LittleEndian::WriteString(out, abc, 0, 3);
    EXPECT_EQ(Bytes(out, 8), (std::vector<unsigned char>{0x61, 0, 0x62, 0, 0x63, 0, 0x55, 0x55}));
    wchar_t back[3] = {0, 0, 0};
    LittleEndian::ReadString(out, back, 0, 3);
    EXPECT_EQ(std::wstring(back, 3), L"abc");

    const char text[] = "hey";
    std::vector<char> v(6, 0);
    LittleEndian::WriteString(v, text, 1, 3);
    EXPECT_EQ(std::string(v.begin() + 1, v.begin() + 4), "hey");
    unsigned char ub[3];
    LittleEndian::ReadString(v, ub, 1, 3);
    EXPECT_EQ(ub[2], 'y');
}

TEST(LittleEndianCodec, VectorAccessStaysInsideTheVector)
{
    std::vector<char> v = {'\x41'};
    wchar_t w = 0;
    LittleEndian::Read(v, w, 0, 0);
    EXPECT_EQ(w, L'A') << "the byte past the end contributes nothing";
    unsigned int u = 7;
    LittleEndian::Read(v, u, 5, 4);
    EXPECT_EQ(u, 0u);
    LittleEndian::Write(v, 0x11223344u, 0, 4);
    ASSERT_EQ(v.size(), 1u) << "never resized";
    EXPECT_EQ(v[0], 0x44);
    std::vector<char> w2(4, 0);
    LittleEndian::Write(w2, static_cast<unsigned long>(0x0102030405060708ul), 0, 4);
    EXPECT_EQ(Bytes(w2.data(), 4), (std::vector<unsigned char>{8, 7, 6, 5}));
}

class BlockFile : public ::testing::Test {
protected:
    void SetUp() override { path_ = TempPath("blocks.bin"); }
    void TearDown() override { std::remove(path_.c_str()); }

    // Makes blocks b0..b(n-1), each filled with its number.
    void MakeBlocks(Block& f, unsigned int n)
    {
        ASSERT_TRUE(f.Create(path_.c_str()));
        std::vector<char> buf(512);
        for (unsigned int i = 0; i < n; ++i) {
            std::fill(buf.begin(), buf.end(), static_cast<char>('0' + i));
            ASSERT_TRUE(f.Write(i, buf.data()));
        }
    }

    std::string Order(Block& f)
    {
        std::string s;
        std::vector<char> buf(512);
        for (unsigned int i = 0; i < f.BlockCount(); ++i) {
            EXPECT_TRUE(f.Read(i, buf.data()));
            EXPECT_EQ(std::count(buf.begin(), buf.end(), buf[0]), 512);
            s += buf[0];
        }
        EXPECT_EQ(FileBytes(path_).size(), f.BlockCount() * 512u) << "no stale bytes after the end";
        return s;
    }

    std::string path_;
};

TEST_F(BlockFile, CreateWriteRead)
{
    Block f;
    EXPECT_EQ(f.BlockSize(), 512u);
    ASSERT_TRUE(f.Create(path_.c_str()));
    EXPECT_EQ(f.BlockCount(), 0u);
    EXPECT_EQ(f.FileSize(), 0u);
    std::vector<char> buf(512, 'x');
    ASSERT_TRUE(f.Write(0, buf.data()));
    EXPECT_EQ(f.BlockCount(), 1u);
    EXPECT_EQ(f.FileSize(), 512u);
    EXPECT_FALSE(f.Read(1, buf.data())) << "block blockCount does not exist";
    EXPECT_TRUE(f.Swap(0, 0));
    EXPECT_TRUE(f.Close());
    EXPECT_FALSE(f.IsOpen());
    EXPECT_FALSE(f.Open(path_.c_str(), std::ios_base::openmode()));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.BlockSize(), 512u);
}

TEST_F(BlockFile, InsertMoveErase)
{
    Block f;
    MakeBlocks(f, 4);
    std::vector<char> x(512, 'x');
    ASSERT_TRUE(f.Insert(2, x.data()));
    EXPECT_EQ(Order(f), "01x23");
    ASSERT_TRUE(f.Insert(5, x.data()));
    EXPECT_EQ(Order(f), "01x23x");

    MakeBlocks(f, 4);
    ASSERT_TRUE(f.Move(3, 1));
    EXPECT_EQ(Order(f), "0312");
    MakeBlocks(f, 4);
    ASSERT_TRUE(f.Move(1, 3));
    EXPECT_EQ(Order(f), "0231");
    EXPECT_FALSE(f.Move(1, 4));

    MakeBlocks(f, 5);
    std::vector<unsigned int> gone = {3, 1};
    ASSERT_TRUE(f.Erase(gone));
    EXPECT_EQ(Order(f), "024");
    EXPECT_EQ(f.BlockCount(), 3u);
    EXPECT_FALSE(f.Erase(3u));
    ASSERT_TRUE(f.Erase(2u));
    EXPECT_EQ(Order(f), "02");
    std::vector<unsigned int> twice = {0, 0};
    EXPECT_FALSE(f.Erase(twice));
    ASSERT_TRUE(f.Swap(0, 1));
    EXPECT_EQ(Order(f), "20");

    // many blocks: shifting costs whole-chunk copies, results stay exact
    MakeBlocks(f, 40);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(f.Insert(1, x.data()));
    std::vector<unsigned int> firstFive = {1, 2, 3, 4, 5};
    ASSERT_TRUE(f.Erase(firstFive));
    std::string expected;
    for (unsigned int i = 0; i < 40; ++i)
        expected += static_cast<char>('0' + i);
    EXPECT_EQ(Order(f), expected);
}

TEST_F(BlockFile, BlockSizesAndReadOnly)
{
    {
        std::vector<unsigned char> bytes(1536, 1);
        WriteBytes(path_, bytes);
    }
    Block f;
    ASSERT_TRUE(f.Open(path_.c_str(), std::ios_base::in));
    EXPECT_EQ(f.BlockCount(), 3u);
    f.SetBlockSize(4096);
    EXPECT_EQ(f.BlockCount(), 1u);
    std::vector<char> buf(4096);
    EXPECT_FALSE(f.Read(0, buf.data())) << "the file holds only part of that block";
    f.SetBlockSize(512);
    EXPECT_TRUE(f.Read(2, buf.data()));
    EXPECT_FALSE(f.Write(0, buf.data())) << "opened for reading only";
    EXPECT_FALSE(f.Insert(0, buf.data()));
    f.Close();
    std::vector<unsigned char> bytes(1537, 1);
    WriteBytes(path_, bytes);
    ASSERT_TRUE(f.Open(path_.c_str(), std::ios_base::in | std::ios_base::out));
    EXPECT_EQ(f.BlockCount(), 4u);
    EXPECT_FALSE(f.Read(3, buf.data())) << "a cut-off block is no block";
    EXPECT_TRUE(f.ReadBytes(1536, 1, buf.data()));
    EXPECT_FALSE(f.ReadBytes(1536, 2, buf.data()));
}

TEST_F(BlockFile, WidePathsBecomeUtf8)
{
    bool ok = false;
    EXPECT_EQ(Block::ToUtf8(L"a\u00e9\u6587\U0001F600", ok), "a\xC3\xA9\xE6\x96\x87\xF0\x9F\x98\x80");
    EXPECT_TRUE(ok);
    const wchar_t pair[] = {L'x', static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00), 0};
    EXPECT_EQ(Block::ToUtf8(pair, ok), "x\xF0\x9F\x98\x80") << "UTF-16 pairs in wide strings";
    const wchar_t lone[] = {L'x', static_cast<wchar_t>(0xDC00), 0};
    Block::ToUtf8(lone, ok);
    EXPECT_FALSE(ok) << "no valid file name";
    const std::wstring longName(300, L'\u00e9'); // 600 bytes: no truncation at the character count
    EXPECT_EQ(Block::ToUtf8(longName.c_str(), ok).size(), 600u);
}
