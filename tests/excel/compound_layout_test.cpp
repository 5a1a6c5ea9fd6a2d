// Exact bytes of the documents this container writes: header, tables,
// directory and data placement for the worked sizes.

#include "compound/compoundfile.h"
#include "compound_testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using CompoundDoc::CompoundFile;
using namespace compoundtest;

namespace {

const std::uint32_t FREE = 0xFFFFFFFFu;
const std::uint32_t END = 0xFFFFFFFEu;
const std::uint32_t TABLE = 0xFFFFFFFDu;

struct NewDoc {
    std::string path = TempPath("doc.xls");
    CompoundFile cf;
    NewDoc() { EXPECT_TRUE(cf.Create(path.c_str())); }
    ~NewDoc() { std::remove(path.c_str()); }
    std::vector<unsigned char> Bytes() { return FileBytes(path); }
};

void ExpectEntry(const std::vector<unsigned char>& b, std::size_t at, const std::string& name, std::uint8_t type,
                 std::uint32_t left, std::uint32_t right, std::uint32_t child, std::uint32_t start, std::uint32_t size)
{
    SCOPED_TRACE(name);
    EXPECT_EQ(EntryName(b, at), name);
    EXPECT_EQ(U16(b, at + 64), (name.size() + 1) * 2);
    EXPECT_EQ(b[at + 66], type);
    EXPECT_EQ(b[at + 67], 1); // colour
    EXPECT_EQ(U32(b, at + 68), left);
    EXPECT_EQ(U32(b, at + 72), right);
    EXPECT_EQ(U32(b, at + 76), child);
    for (std::size_t i = 80; i < 116; ++i)
        EXPECT_EQ(b[at + i], 0) << "class id, flags and times stay zero, byte " << i;
    EXPECT_EQ(U32(b, at + 116), start);
    EXPECT_EQ(U32(b, at + 120), size);
    EXPECT_EQ(U32(b, at + 124), 0u);
    // the name's tail after its terminator is zero
    for (std::size_t i = name.size() * 2; i < 64; ++i)
        EXPECT_EQ(b[at + i], 0);
}

} // namespace

TEST(CompoundRecords, DefaultHeaderBytes)
{
    CompoundFile::Header h;
    std::vector<char> buf(512, 0x55);
    h.Write(buf.data());
    std::vector<unsigned char> b(buf.begin(), buf.end());
    const unsigned char sig[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    EXPECT_EQ(0, std::memcmp(b.data(), sig, 8));
    const unsigned char at24[] = {0x3B, 0x00, 0x03, 0x00, 0xFE, 0xFF, 0x09, 0x00, 0x06, 0x00};
    EXPECT_EQ(0, std::memcmp(b.data() + 24, at24, 10));
    for (int i = 8; i < 24; ++i)
        EXPECT_EQ(b[i], 0);
    EXPECT_EQ(U32(b, 44), 1u);
    EXPECT_EQ(U32(b, 48), 1u);
    EXPECT_EQ(U32(b, 56), 4096u);
    EXPECT_EQ(U32(b, 60), END);
    EXPECT_EQ(U32(b, 64), 0u);
    EXPECT_EQ(U32(b, 68), END);
    EXPECT_EQ(U32(b, 72), 0u);
    EXPECT_EQ(U32(b, 76), 0u);
    for (std::size_t at = 80; at < 512; at += 4)
        EXPECT_EQ(U32(b, at), FREE) << at;
    EXPECT_EQ(h.bigBlockSize, 512u);
    EXPECT_EQ(h.smallBlockSize, 64u);

    CompoundFile::Header back;
    back.batCount = 77;
    back.Read(buf.data());
    EXPECT_EQ(back.batCount, 1u);
    EXPECT_EQ(back.fileType, h.fileType);
    EXPECT_EQ(back.batBlocks[108], FREE);

    // A shift of 12 gives 4096-byte blocks in the decoded header.
    b[30] = 12;
    std::vector<char> raw(b.begin(), b.end());
    back.Read(raw.data());
    EXPECT_EQ(back.bigBlockSize, 4096u);
}

TEST(CompoundRecords, DirectoryEntryBytesAndOrder)
{
    CompoundFile::DirectoryEntry e;
    EXPECT_EQ(e.type, 1);
    EXPECT_EQ(e.colour, 1);
    EXPECT_EQ(e.leftSibling, FREE);
    EXPECT_EQ(e.startBlock, END);
    const wchar_t* name = L"Workbook";
    std::wcscpy(e.name, name);
    e.nameSize = 18;
    e.type = 2;
    e.size = 0x01020304;
    std::vector<char> buf(128, 0x77);
    e.Write(buf.data());
    std::vector<unsigned char> b(buf.begin(), buf.end());
    EXPECT_EQ(EntryName(b, 0), "Workbook");
    EXPECT_EQ(U16(b, 16), 0); // terminator written
    EXPECT_EQ(U16(b, 64), 18);
    EXPECT_EQ(b[66], 2);
    EXPECT_EQ(U32(b, 120), 0x01020304u);
    EXPECT_EQ(b[126], 0x77) << "the last two bytes are not written by the entry";

    CompoundFile::DirectoryEntry back;
    back.Read(buf.data());
    EXPECT_EQ(std::wstring(back.name), L"Workbook");
    EXPECT_EQ(back.size, 0x01020304u);
    EXPECT_EQ(back.child, FREE);

    // A 31-character name fills the field with its terminator last.
    CompoundFile::DirectoryEntry longName;
    for (int i = 0; i < 31; ++i)
        longName.name[i] = L'x';
    longName.Write(buf.data());
    EXPECT_EQ(static_cast<unsigned char>(buf[60]), 'x');
    EXPECT_EQ(buf[62], 0);
    EXPECT_EQ(buf[63], 0);

    auto named = [](const wchar_t* n) {
        CompoundFile::DirectoryEntry d;
        std::wcscpy(d.name, n);
        return d;
    };
    EXPECT_TRUE(named(L"zzzz") < named(L"aaaaaa")) << "length decides first";
    EXPECT_FALSE(named(L"aaaaaa") < named(L"zzzz"));
    EXPECT_TRUE(named(L"abc") < named(L"abd"));
    EXPECT_FALSE(named(L"abd") < named(L"abc"));
    EXPECT_TRUE(named(L"Abc") < named(L"abc")) << "character codes, case-sensitive";
    EXPECT_TRUE(named(L"same") < named(L"same"));
    EXPECT_TRUE(named(L"same") > named(L"same"));
    EXPECT_TRUE(named(L"aaaaaa") > named(L"zzzz"));
}

TEST(CompoundLayout, NewDocumentIs1536Bytes)
{
    NewDoc d;
    const auto b = d.Bytes();
    ASSERT_EQ(b.size(), 1536u);
    CompoundFile::Header h;
    std::vector<char> expect(512, 0);
    h.Write(expect.data());
    EXPECT_EQ(0, std::memcmp(b.data(), expect.data(), 512));
    EXPECT_EQ(BatEntry(b, 0), TABLE);
    EXPECT_EQ(BatEntry(b, 1), END);
    for (std::uint32_t i = 2; i < 128; ++i)
        EXPECT_EQ(BatEntry(b, i), FREE);
    ExpectEntry(b, EntryOffset(1, 0), "Root Entry", 5, FREE, FREE, FREE, END, 0);
    for (std::size_t i = EntryOffset(1, 1); i < 1536; ++i)
        ASSERT_EQ(b[i], 0) << i;
    EXPECT_TRUE(d.cf.IsOpen());
}

TEST(CompoundLayout, MakeFileAndResultCodes)
{
    NewDoc d;
    EXPECT_EQ(d.cf.MakeFile("Workbook"), 1);
    auto b = d.Bytes();
    ASSERT_EQ(b.size(), 1536u);
    ExpectEntry(b, EntryOffset(1, 0), "Root Entry", 5, FREE, FREE, 1, END, 0);
    ExpectEntry(b, EntryOffset(1, 1), "Workbook", 2, FREE, FREE, FREE, END, 0);

    EXPECT_EQ(d.cf.MakeFile("Workbook"), CompoundFile::DUPLICATE_NAME);
    EXPECT_EQ(d.cf.MakeFile(std::string(32, 'n').c_str()), CompoundFile::NAME_TOO_LONG);
    EXPECT_EQ(d.cf.MakeFile(std::string(31, 'n').c_str()), 1);
    EXPECT_EQ(d.cf.MakeFile(""), CompoundFile::FILE_NOT_FOUND);
    EXPECT_EQ(d.cf.MakeDirectory(L"Workbook"), CompoundFile::DUPLICATE_NAME) << "names are unique whatever the type";

    const auto before = d.Bytes();
    EXPECT_EQ(d.cf.WriteFile("Nothing", "abc", 3), CompoundFile::FILE_NOT_FOUND);
    EXPECT_EQ(d.Bytes(), before) << "a write to no entry changes nothing";
    std::vector<char> data;
    EXPECT_EQ(d.cf.ReadFile("Nothing", data), CompoundFile::FILE_NOT_FOUND);
    unsigned int size = 99;
    EXPECT_EQ(d.cf.FileSize("Nothing", size), CompoundFile::FILE_NOT_FOUND);
    EXPECT_EQ(d.cf.FileSize("Workbook", size), 1);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(d.cf.ReadFile("Workbook", data), 1);
    EXPECT_TRUE(data.empty());
}

TEST(CompoundLayout, SmallStreamOf100Bytes)
{
    NewDoc d;
    ASSERT_EQ(d.cf.MakeFile("Workbook"), 1);
    const auto data = Pattern(100, 1);
    ASSERT_EQ(d.cf.WriteFile("Workbook", data, 100), 1);
    const auto b = d.Bytes();
    ASSERT_EQ(b.size(), 512u * 5);
    EXPECT_EQ(U32(b, 60), 3u); // small-block table start
    EXPECT_EQ(U32(b, 64), 1u); // and count
    EXPECT_EQ(BatEntry(b, 0), TABLE);
    EXPECT_EQ(BatEntry(b, 1), END);
    EXPECT_EQ(BatEntry(b, 2), END);
    EXPECT_EQ(BatEntry(b, 3), END);
    EXPECT_EQ(BatEntry(b, 4), FREE);
    ExpectEntry(b, EntryOffset(1, 0), "Root Entry", 5, FREE, FREE, 1, 2, 128);
    ExpectEntry(b, EntryOffset(1, 1), "Workbook", 2, FREE, FREE, FREE, 0, 100);
    // small-block table: 0 -> 1 -> end
    EXPECT_EQ(U32(b, BlockOffset(3)), 1u);
    EXPECT_EQ(U32(b, BlockOffset(3) + 4), END);
    for (std::size_t i = 2; i < 128; ++i)
        EXPECT_EQ(U32(b, BlockOffset(3) + 4 * i), FREE);
    EXPECT_EQ(0, std::memcmp(b.data() + BlockOffset(2), data.data(), 100));
    for (std::size_t i = 100; i < 512; ++i)
        ASSERT_EQ(b[BlockOffset(2) + i], 0);

    std::vector<char> back;
    EXPECT_EQ(d.cf.ReadFile("Workbook", back), 1);
    EXPECT_EQ(back, data);
    unsigned int size = 0;
    EXPECT_EQ(d.cf.FileSize("\\", size), 1);
    EXPECT_EQ(size, 128u) << "the lone backslash names the mini stream";
    EXPECT_EQ(d.cf.ReadFile("\\", back), 1);
    EXPECT_EQ(back.size(), 128u);
}

TEST(CompoundLayout, BigStreamOf5000Bytes)
{
    NewDoc d;
    ASSERT_EQ(d.cf.MakeFile("Workbook"), 1);
    const auto data = Pattern(5000, 2);
    ASSERT_EQ(d.cf.WriteFile("Workbook", data.data(), 5000), 1);
    const auto b = d.Bytes();
    ASSERT_EQ(b.size(), 512u * 13);
    for (std::uint32_t k = 2; k < 11; ++k)
        EXPECT_EQ(BatEntry(b, k), k + 1);
    EXPECT_EQ(BatEntry(b, 11), END);
    EXPECT_EQ(BatEntry(b, 12), FREE);
    EXPECT_EQ(U32(b, 44), 1u) << "one table block still";
    EXPECT_EQ(U32(b, 64), 0u);
    ExpectEntry(b, EntryOffset(1, 1), "Workbook", 2, FREE, FREE, FREE, 2, 5000);
    EXPECT_EQ(0, std::memcmp(b.data() + BlockOffset(2), data.data(), 5000));
    for (std::size_t i = 392; i < 512; ++i)
        ASSERT_EQ(b[BlockOffset(11) + i], 0);
}

TEST(CompoundLayout, Rewrite3000With5000DropsTheMiniStream)
{
    NewDoc d;
    ASSERT_EQ(d.cf.MakeFile("Workbook"), 1);
    ASSERT_EQ(d.cf.WriteFile("Workbook", Pattern(3000, 3), 3000), 1);
    auto b = d.Bytes();
    ASSERT_EQ(b.size(), 512u * 10);
    ExpectEntry(b, EntryOffset(1, 0), "Root Entry", 5, FREE, FREE, 1, 2, 47 * 64);
    // 47 small blocks chained in order
    for (std::uint32_t k = 0; k < 46; ++k)
        EXPECT_EQ(U32(b, BlockOffset(3) + 4 * k), k + 1);
    EXPECT_EQ(U32(b, BlockOffset(3) + 4 * 46), END);
    // the mini stream: block 2, then blocks 4 to 8 after the small-block table
    EXPECT_EQ(BatEntry(b, 2), 4u);
    for (std::uint32_t k = 4; k < 8; ++k)
        EXPECT_EQ(BatEntry(b, k), k + 1);
    EXPECT_EQ(BatEntry(b, 8), END);

    const auto data = Pattern(5000, 4);
    ASSERT_EQ(d.cf.WriteFile("Workbook", data, 5000), 1);
    b = d.Bytes();
    ASSERT_EQ(b.size(), 512u * 13);
    EXPECT_EQ(U32(b, 60), END);
    EXPECT_EQ(U32(b, 64), 0u);
    ExpectEntry(b, EntryOffset(1, 0), "Root Entry", 5, FREE, FREE, 1, END, 0);
    ExpectEntry(b, EntryOffset(1, 1), "Workbook", 2, FREE, FREE, FREE, 2, 5000);
    for (std::uint32_t k = 2; k < 11; ++k)
        EXPECT_EQ(BatEntry(b, k), k + 1);
    EXPECT_EQ(BatEntry(b, 11), END);
    EXPECT_EQ(BatEntry(b, 12), FREE);
    std::vector<char> back;
    EXPECT_EQ(d.cf.ReadFile("Workbook", back), 1);
    EXPECT_EQ(back, data);
}

TEST(CompoundLayout, CutoffBetween4095And4096)
{
    NewDoc small;
    ASSERT_EQ(small.cf.MakeFile("Workbook"), 1);
    ASSERT_EQ(small.cf.WriteFile("Workbook", Pattern(4095, 5), 4095), 1);
    auto b = small.Bytes();
    EXPECT_EQ(b.size(), 512u * 12) << "header, table, directory, 8 mini stream blocks, small-block table";
    EXPECT_EQ(U32(b, 64), 1u);
    ExpectEntry(b, EntryOffset(1, 0), "Root Entry", 5, FREE, FREE, 1, 2, 4096);
    ExpectEntry(b, EntryOffset(1, 1), "Workbook", 2, FREE, FREE, FREE, 0, 4095);

    NewDoc big;
    ASSERT_EQ(big.cf.MakeFile("Workbook"), 1);
    ASSERT_EQ(big.cf.WriteFile("Workbook", Pattern(4096, 5), 4096), 1);
    b = big.Bytes();
    EXPECT_EQ(b.size(), 512u * 11);
    EXPECT_EQ(U32(b, 64), 0u);
    ExpectEntry(b, EntryOffset(1, 0), "Root Entry", 5, FREE, FREE, 1, END, 0);
    ExpectEntry(b, EntryOffset(1, 1), "Workbook", 2, FREE, FREE, FREE, 2, 4096);
}

TEST(CompoundLayout, ChainOf127BlocksAddsASecondTableBlock)
{
    NewDoc d;
    ASSERT_EQ(d.cf.MakeFile("Workbook"), 1);
    const auto data = Pattern(127 * 512, 6);
    ASSERT_EQ(d.cf.WriteFile("Workbook", data, static_cast<unsigned int>(data.size())), 1);
    const auto b = d.Bytes();
    ASSERT_EQ(b.size(), 512u * 131);
    EXPECT_EQ(U32(b, 44), 2u);
    EXPECT_EQ(U32(b, 76), 0u);
    EXPECT_EQ(U32(b, 80), 128u) << "slot 1 names the new table block at the end";
    EXPECT_EQ(U32(b, 84), FREE);
    for (std::uint32_t k = 2; k < 127; ++k)
        ASSERT_EQ(BatEntry(b, k), k + 1);
    EXPECT_EQ(BatEntry(b, 127), 129u) << "the chain steps over the table block";
    // entries 128 and up live in the second table block
    EXPECT_EQ(BatEntry(b, 0, 128), TABLE);
    EXPECT_EQ(BatEntry(b, 1, 128), END);
    for (std::uint32_t i = 2; i < 128; ++i)
        EXPECT_EQ(BatEntry(b, i, 128), FREE);

    // Shrinking to 9 blocks removes the freed blocks and the empty table block.
    const auto nine = Pattern(9 * 512, 7);
    ASSERT_EQ(d.cf.WriteFile("Workbook", nine, 9 * 512), 1);
    const auto c = d.Bytes();
    ASSERT_EQ(c.size(), 512u * 12);
    EXPECT_EQ(U32(c, 44), 1u);
    EXPECT_EQ(U32(c, 80), FREE);
    for (std::uint32_t k = 2; k < 10; ++k)
        EXPECT_EQ(BatEntry(c, k), k + 1);
    EXPECT_EQ(BatEntry(c, 10), END);
    for (std::uint32_t i = 11; i < 128; ++i)
        EXPECT_EQ(BatEntry(c, i), FREE);
    std::vector<char> back;
    EXPECT_EQ(d.cf.ReadFile("Workbook", back), 1);
    EXPECT_EQ(back, nine);
}

TEST(CompoundLayout, ShrinkingRenumbersTheBlocksAfter)
{
    NewDoc d;
    ASSERT_EQ(d.cf.MakeFile("A"), 1);
    ASSERT_EQ(d.cf.MakeFile("B"), 1);
    const auto a = Pattern(16 * 512, 8);
    const auto bdata = Pattern(9 * 512, 9);
    ASSERT_EQ(d.cf.WriteFile("A", a, static_cast<unsigned int>(a.size())), 1);
    ASSERT_EQ(d.cf.WriteFile("B", bdata, static_cast<unsigned int>(bdata.size())), 1);
    auto b = d.Bytes();
    ASSERT_EQ(b.size(), 512u * 28);
    ExpectEntry(b, EntryOffset(1, 2), "B", 2, 1, FREE, FREE, 18, 4608);

    const auto a9 = Pattern(9 * 512, 10);
    ASSERT_EQ(d.cf.WriteFile("A", a9, static_cast<unsigned int>(a9.size())), 1);
    b = d.Bytes();
    ASSERT_EQ(b.size(), 512u * 21);
    ExpectEntry(b, EntryOffset(1, 1), "A", 2, FREE, FREE, FREE, 2, 4608);
    ExpectEntry(b, EntryOffset(1, 2), "B", 2, 1, FREE, FREE, 11, 4608);
    for (std::uint32_t k = 11; k < 19; ++k)
        EXPECT_EQ(BatEntry(b, k), k + 1);
    EXPECT_EQ(BatEntry(b, 19), END);
    EXPECT_EQ(BatEntry(b, 20), FREE);
    std::vector<char> back;
    EXPECT_EQ(d.cf.ReadFile("B", back), 1);
    EXPECT_EQ(back, bdata);
    EXPECT_EQ(d.cf.ReadFile("A", back), 1);
    EXPECT_EQ(back, a9);
}

TEST(CompoundLayout, ShrinkingDropsATableBlockThatOthersFollow)
{
    // A fills the first table block, the second table block lands at 128
    // and B follows it. Shrinking A to 8 blocks empties the second table
    // block, which is cut out of the middle: B moves down over it.
    NewDoc d;
    ASSERT_EQ(d.cf.MakeFile("A"), 1);
    ASSERT_EQ(d.cf.MakeFile("B"), 1);
    const auto a = Pattern(126 * 512, 30);
    const auto bdata = Pattern(20 * 512, 31);
    ASSERT_EQ(d.cf.WriteFile("A", a, static_cast<unsigned int>(a.size())), 1);
    ASSERT_EQ(d.cf.WriteFile("B", bdata, static_cast<unsigned int>(bdata.size())), 1);
    auto b = d.Bytes();
    ASSERT_EQ(U32(b, 44), 2u);
    ASSERT_EQ(U32(b, 80), 128u);
    ExpectEntry(b, EntryOffset(1, 2), "B", 2, 1, FREE, FREE, 129, 20 * 512);

    const auto a8 = Pattern(8 * 512, 32);
    ASSERT_EQ(d.cf.WriteFile("A", a8, 8 * 512), 1);
    b = d.Bytes();
    ASSERT_EQ(b.size(), 512u * (1 + 2 + 8 + 20));
    EXPECT_EQ(U32(b, 44), 1u);
    EXPECT_EQ(U32(b, 80), FREE);
    ExpectEntry(b, EntryOffset(1, 1), "A", 2, FREE, FREE, FREE, 2, 8 * 512);
    ExpectEntry(b, EntryOffset(1, 2), "B", 2, 1, FREE, FREE, 10, 20 * 512);
    EXPECT_EQ(BatEntry(b, 9), END);
    for (std::uint32_t k = 10; k < 29; ++k)
        EXPECT_EQ(BatEntry(b, k), k + 1);
    EXPECT_EQ(BatEntry(b, 29), END);
    EXPECT_EQ(BatEntry(b, 30), FREE);
    EXPECT_EQ(0, std::memcmp(b.data() + BlockOffset(10), bdata.data(), bdata.size()));
}

TEST(CompoundLayout, FiveSiblingsAndNameOrder)
{
    NewDoc d;
    ASSERT_EQ(d.cf.MakeDirectory("A"), 1);
    ASSERT_EQ(d.cf.MakeDirectory("B"), 1);
    for (const char* n : {"B\\c3", "B\\c1", "B\\c5", "B\\c2", "B\\c4"})
        ASSERT_EQ(d.cf.MakeFile(n), 1) << n;
    const auto b = d.Bytes();
    ASSERT_EQ(U32(b, 48), 1u);
    // entries 0-3 in block 1, 4-7 in the directory's second block
    const std::uint32_t second = BatEntry(b, 1);
    ASSERT_NE(second, END);
    auto at = [&](std::uint32_t i) { return i < 4 ? EntryOffset(1, i) : EntryOffset(second, i - 4); };
    ExpectEntry(b, at(0), "Root Entry", 5, FREE, FREE, 2, END, 0);
    ExpectEntry(b, at(1), "A", 1, FREE, FREE, FREE, END, 0);
    ExpectEntry(b, at(2), "B", 1, 1, FREE, 5, END, 0);
    ExpectEntry(b, at(3), "c1", 2, FREE, FREE, FREE, END, 0);
    ExpectEntry(b, at(4), "c2", 2, 3, FREE, FREE, END, 0);
    ExpectEntry(b, at(5), "c3", 2, 4, 6, FREE, END, 0);
    ExpectEntry(b, at(6), "c4", 2, FREE, 7, FREE, END, 0);
    ExpectEntry(b, at(7), "c5", 2, FREE, FREE, FREE, END, 0);
}

TEST(CompoundLayout, InsertingBeforeRaisesIndicesAndLinks)
{
    NewDoc d;
    ASSERT_EQ(d.cf.MakeDirectory("st"), 1);
    ASSERT_EQ(d.cf.MakeFile("Workbook"), 1);
    auto b = d.Bytes();
    ExpectEntry(b, EntryOffset(1, 1), "st", 1, FREE, FREE, FREE, END, 0);
    ExpectEntry(b, EntryOffset(1, 2), "Workbook", 2, 1, FREE, FREE, END, 0);
    ASSERT_EQ(d.cf.MakeFile("st\\zz"), 1);
    ASSERT_EQ(d.cf.MakeFile("ab"), 1) << "lower than \"st\": goes to place 1";
    b = d.Bytes();
    ExpectEntry(b, EntryOffset(1, 0), "Root Entry", 5, FREE, FREE, 2, END, 0);
    ExpectEntry(b, EntryOffset(1, 1), "ab", 2, FREE, FREE, FREE, END, 0);
    ExpectEntry(b, EntryOffset(1, 2), "st", 1, 1, 4, 3, END, 0);
    ExpectEntry(b, EntryOffset(1, 3), "zz", 2, FREE, FREE, FREE, END, 0);
    const std::uint32_t second = BatEntry(b, 1);
    ExpectEntry(b, EntryOffset(second, 0), "Workbook", 2, FREE, FREE, FREE, END, 0);

    // Everything is still found after the renumbering.
    ASSERT_EQ(d.cf.WriteFile("st\\zz", "zz-data", 7), 1);
    CompoundFile again;
    ASSERT_TRUE(again.Open(d.path.c_str()));
    std::vector<char> back;
    EXPECT_EQ(again.ReadFile("\\st\\zz", back), 1);
    EXPECT_EQ(std::string(back.begin(), back.end()), "zz-data");
}

TEST(CompoundPaths, SplitPath)
{
    CompoundFile cf;
    struct Case {
        const wchar_t* path;
        const wchar_t* parent;
        const wchar_t* name;
    } cases[] = {
        {L"a\\b\\c", L"a\\b", L"c"}, {L"\\x", nullptr, L"x"}, {L"x", nullptr, L"x"},
        {L"\\a\\b", L"\\a", L"b"},   {L"", nullptr, L""},     {L"a\\", L"a", L""},
    };
    for (const Case& c : cases) {
        wchar_t* parent = nullptr;
        wchar_t* name = nullptr;
        cf.SplitPath(c.path, parent, name);
        if (c.parent) {
            ASSERT_NE(parent, nullptr);
            EXPECT_EQ(std::wstring(parent), c.parent);
        } else {
            EXPECT_EQ(parent, nullptr);
        }
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(std::wstring(name), c.name);
        delete[] parent;
        delete[] name;
    }
}

TEST(CompoundPaths, ChangeDirectoryAndMakeDirectory)
{
    NewDoc d;
    CompoundFile& cf = d.cf;
    EXPECT_EQ(cf.ChangeDirectory(".."), 1) << "at the root, .. stays there";
    EXPECT_EQ(cf.MakeDirectory("a\\b"), 1) << "missing levels are made";
    EXPECT_EQ(cf.MakeDirectory("a\\b"), CompoundFile::DUPLICATE_NAME);
    EXPECT_EQ(cf.MakeDirectory(("a\\" + std::string(32, 'q')).c_str()), CompoundFile::NAME_TOO_LONG);
    EXPECT_EQ(cf.ChangeDirectory("\\a\\b"), 1);
    EXPECT_EQ(cf.MakeFile("inner"), 1) << "relative to the current directory";
    EXPECT_EQ(cf.ChangeDirectory("missing"), CompoundFile::DIRECTORY_NOT_FOUND);
    unsigned int size = 1;
    EXPECT_EQ(cf.FileSize("inner", size), 1) << "a failed change leaves the current directory";
    EXPECT_EQ(cf.ChangeDirectory(".."), 1);
    EXPECT_EQ(cf.FileSize("b\\inner", size), 1);
    EXPECT_EQ(cf.ChangeDirectory("\\"), 1);
    EXPECT_EQ(cf.FileSize("a\\b\\inner", size), 1);
    EXPECT_EQ(cf.FileSize("\\a\\b\\inner", size), 1);
    EXPECT_EQ(cf.FileSize("a\\missing\\inner", size), CompoundFile::FILE_NOT_FOUND);
    EXPECT_EQ(cf.ChangeDirectory("a\\b\\"), 1) << "a trailing backslash is ignored";
    EXPECT_EQ(cf.ChangeDirectory("."), 1);
    EXPECT_EQ(cf.FileSize("inner", size), 1);
    EXPECT_EQ(cf.ChangeDirectory("inner"), CompoundFile::DIRECTORY_NOT_FOUND) << "a stream is no storage";
    EXPECT_EQ(cf.MakeFile("inner\\x"), CompoundFile::DUPLICATE_NAME) << "no storage can replace the stream";
    EXPECT_EQ(cf.MakeFile(L"\\top"), 1);
    EXPECT_EQ(cf.FileSize("\\top", size), 1);

    std::vector<std::wstring> paths;
    cf.StreamPaths(paths);
    std::sort(paths.begin(), paths.end());
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0], L"\\a\\b\\inner");
    EXPECT_EQ(paths[1], L"\\top");
}

TEST(CompoundPaths, ClosedObjectAndClosingTwice)
{
    CompoundFile cf;
    EXPECT_FALSE(cf.IsOpen());
    EXPECT_EQ(cf.MakeFile("x"), CompoundFile::NOT_OPEN);
    EXPECT_EQ(cf.WriteFile("x", "a", 1), CompoundFile::NOT_OPEN);
    std::vector<char> data(3, 'z');
    EXPECT_EQ(cf.ReadFile("x", data), CompoundFile::NOT_OPEN);
    EXPECT_TRUE(data.empty());
    unsigned int size = 0;
    EXPECT_EQ(cf.FileSize("x", size), CompoundFile::NOT_OPEN);
    EXPECT_EQ(cf.ChangeDirectory("\\"), CompoundFile::NOT_OPEN);
    EXPECT_EQ(cf.Close(), 1);
    EXPECT_EQ(cf.Close(), 1);
    EXPECT_FALSE(cf.IsOpen());
}

TEST(CompoundPaths, NonAsciiNames)
{
    NewDoc d;
    // UTF-8 names and code points beyond 16 bits are stored as UTF-16.
    ASSERT_EQ(d.cf.MakeFile("\xC3\xA9t\xC3\xA9"), 1);
    ASSERT_EQ(d.cf.WriteFile(L"\u00e9t\u00e9", "x", 1), 1);
    ASSERT_EQ(d.cf.MakeFile(L"\U0001F600"), 1);
    const auto b = d.Bytes();
    std::size_t found = 0;
    for (std::uint32_t i = 1; i < 3; ++i) {
        const std::size_t at = EntryOffset(1, i);
        if (U16(b, at) == 0xD83D) {
            EXPECT_EQ(U16(b, at + 2), 0xDE00);
            EXPECT_EQ(U16(b, at + 64), 6);
            ++found;
        } else if (U16(b, at) == 0xE9) {
            EXPECT_EQ(U16(b, at + 64), 8);
            ++found;
        }
    }
    EXPECT_EQ(found, 2u);
    unsigned int size = 0;
    EXPECT_EQ(d.cf.FileSize("\xF0\x9F\x98\x80", size), 1);
}
