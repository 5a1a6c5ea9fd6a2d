// The block file under the container (its moves are checked through the
// container's exact layouts), and the little-endian codec's bounds.

#include "compound/block.h"
#include "compound/littleendian.h"
#include "compound_testutil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using CompoundDoc::Block;
using CompoundDoc::LittleEndian;
using namespace compoundtest;

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
}

using BlockFile = FileTest;

TEST_F(BlockFile, BlockSizesAndReadOnly)
{
    WriteBytes(path_, Bytes(1536, 1));
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
    WriteBytes(path_, Bytes(1537, 1));
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
    // A lone low half, and a high half followed by the first character past the low halves.
    const wchar_t lone[] = {L'x', static_cast<wchar_t>(0xDC00), 0}, unpaired[] = {0xDBFF, 0xE000, 0};
    EXPECT_TRUE(Block::ToUtf8(lone, ok).empty() && !ok && Block::ToUtf8(unpaired, ok).empty() && !ok) << "no valid file name";
    const std::wstring longName(300, L'\u00e9'); // 600 bytes: no truncation at the character count
    EXPECT_EQ(Block::ToUtf8(longName.c_str(), ok).size(), 600u);
}
