// Exact bytes of the documents this container writes: header, tables,
// directory and data placement for the worked sizes, and the paths API.

#include "compound/compoundfile.h"
#include "compound_testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

using CompoundDoc::CompoundFile;
using namespace compoundtest;

namespace {

struct NewDoc {
    std::string path = TempPath("doc.xls");
    CompoundFile cf;
    NewDoc() { EXPECT_TRUE(cf.Create(path.c_str())); }
    ~NewDoc() { std::remove(path.c_str()); }
    compoundtest::Bytes File() { return FileBytes(path); }
};

std::string EntryName(const Bytes& b, std::size_t at)
{
    std::string s;
    for (std::size_t i = 0; i < 32 && U16(b, at + 2 * i) != 0; ++i)
        s += static_cast<char>(U16(b, at + 2 * i));
    return s;
}

void ExpectEntry(const Bytes& b, std::size_t at, const std::string& name, std::uint8_t type, std::uint32_t left,
                 std::uint32_t right, std::uint32_t child, std::uint32_t start, std::uint32_t size)
{
    SCOPED_TRACE(name);
    EXPECT_EQ(EntryName(b, at), name);
    EXPECT_EQ(U16(b, at + 64), (name.size() + 1) * 2);
    EXPECT_EQ(U16(b, at + 66), type + 0x100u) << "type, then colour 1";
    // Links (left, right, child), then start, size and a zero high size word.
    EXPECT_EQ((std::vector<std::uint32_t>{U32(b, at + 68), U32(b, at + 72), U32(b, at + 76)}), (std::vector<std::uint32_t>{left, right, child}));
    EXPECT_EQ((std::vector<std::uint32_t>{U32(b, at + 116), U32(b, at + 120), U32(b, at + 124)}), (std::vector<std::uint32_t>{start, size, 0}));
    EXPECT_EQ(std::count(b.begin() + static_cast<long>(at + 80), b.begin() + static_cast<long>(at + 116), 0), 36) << "class id, flags and times stay zero";
    EXPECT_EQ(std::count(b.begin() + static_cast<long>(at + name.size() * 2), b.begin() + static_cast<long>(at + 64), 0),
              static_cast<long>(64 - name.size() * 2)) << "the name's tail after its terminator";
}

// Big-block table entries first..last chain in order and end there.
void ExpectRun(const Bytes& b, std::uint32_t first, std::uint32_t last, std::uint32_t tableBlock = 0)
{
    for (std::uint32_t k = first; k < last; ++k)
        ASSERT_EQ(BatEntry(b, k, tableBlock), k + 1) << k;
    EXPECT_EQ(BatEntry(b, last, tableBlock), END) << last;
}

} // namespace

TEST(CompoundRecords, HeaderAndDirectoryEntryBytes)
{
    CompoundFile::Header h;
    std::vector<char> buf(512, 0x55);
    h.Write(buf.data());
    Bytes b(buf.begin(), buf.end());
    const Bytes start = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                         0,    0,    0,    0x3B, 0x00, 0x03, 0x00, 0xFE, 0xFF, 0x09, 0x00, 0x06, 0x00};
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 34), start);
    const std::uint32_t fields[] = {0, 1, 1, 0, 4096, END, 0, END, 0, 0}; // offsets 40..76
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(U32(b, 40 + 4 * i), fields[i]) << 40 + 4 * i;
    for (std::size_t at = 80; at < 512; at += 4)
        EXPECT_EQ(U32(b, at), FREE) << at;
    CompoundFile::Header back;
    back.batCount = 77;
    buf[30] = 12; // a shift of 12 gives 4096-byte blocks
    back.Read(buf.data());
    EXPECT_TRUE(back.batCount == 1u && back.batBlocks[108] == FREE && back.bigBlockSize == 4096u);

    // A 31-character name fills the field with its terminator last; the last
    // two bytes of an entry are not written by it.
    CompoundFile::DirectoryEntry e;
    std::wmemset(e.name, L'x', 31);
    e.size = 0x01020304;
    std::vector<char> entry(128, 0x77);
    e.Write(entry.data());
    EXPECT_TRUE(entry[60] == 'x' && entry[62] == 0 && entry[63] == 0 && entry[126] == 0x77);
    CompoundFile::DirectoryEntry r;
    r.Read(entry.data());
    EXPECT_TRUE(std::wstring(r.name) == std::wstring(31, L'x') && r.size == 0x01020304u);

}

TEST(CompoundLayout, NewDocumentAndResultCodes)
{
    NewDoc d;
    auto b = d.File();
    ASSERT_EQ(b.size(), 1536u);
    std::vector<char> header(512);
    CompoundFile::Header().Write(header.data());
    EXPECT_EQ(0, std::memcmp(b.data(), header.data(), 512));
    for (std::uint32_t i = 0; i < 128; ++i)
        EXPECT_EQ(BatEntry(b, i), i == 0 ? TABLE : i == 1 ? END : FREE);
    ExpectEntry(b, EntryOffset(1, 0), "Root Entry", 5, FREE, FREE, FREE, END, 0);
    EXPECT_EQ(std::count(b.begin() + EntryOffset(1, 1), b.end(), 0), 1536 - EntryOffset(1, 1));

    EXPECT_EQ(d.cf.MakeFile("Workbook"), 1);
    b = d.File();
    ASSERT_EQ(b.size(), 1536u);
    ExpectEntry(b, EntryOffset(1, 0), "Root Entry", 5, FREE, FREE, 1, END, 0);
    ExpectEntry(b, EntryOffset(1, 1), "Workbook", 2, FREE, FREE, FREE, END, 0);
    EXPECT_EQ(d.cf.MakeFile("Workbook"), CompoundFile::DUPLICATE_NAME);
    EXPECT_EQ(d.cf.MakeFile(std::string(32, 'n').c_str()), CompoundFile::NAME_TOO_LONG);
    EXPECT_EQ(d.cf.MakeFile(std::string(31, 'n').c_str()), 1);
    EXPECT_EQ(d.cf.MakeFile(""), CompoundFile::FILE_NOT_FOUND);

    const auto before = d.File();
    EXPECT_EQ(d.cf.WriteFile("Nothing", "abc", 3), CompoundFile::FILE_NOT_FOUND);
    EXPECT_EQ(d.File(), before) << "a write to no entry changes nothing";
    std::vector<char> data;
    unsigned int size = 99;
    EXPECT_TRUE(d.cf.ReadFile("Nothing", data) == CompoundFile::FILE_NOT_FOUND && d.cf.FileSize("Nothing", size) == CompoundFile::FILE_NOT_FOUND);
    EXPECT_TRUE(d.cf.FileSize("Workbook", size) == 1 && size == 0u);
    EXPECT_TRUE(d.cf.ReadFile("Workbook", data) == 1 && data.empty());
}

TEST(CompoundLayout, OneStreamAtTheWorkedSizes)
{
    // Small streams live in the mini stream (root entry start and size) with
    // a small-block table after its first block; from 4096 bytes on a stream
    // is big. Each is written over a stream of 3000 bytes: nothing of that
    // one's layout is left.
    const struct {
        unsigned int size, fileBlocks, sbatCount, rootStart, rootSize, start;
    } cases[] = {
        {100, 5, 1, 2, 128, 0}, {4095, 12, 1, 2, 4096, 0}, {4096, 11, 0, END, 0, 2}, {5000, 13, 0, END, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        NewDoc d;
        ASSERT_TRUE(d.cf.MakeFile("Workbook") == 1 && d.cf.WriteFile("Workbook", Pattern(3000, 3), 3000) == 1);
        const auto data = Pattern(c.size + 512, c.size); // what follows the stream in the buffer stays out of the file
        ASSERT_EQ(d.cf.WriteFile("Workbook", data, c.size), 1);
        const auto b = d.File();
        ASSERT_EQ(b.size(), 512u * c.fileBlocks);
        // One table block; where the small-block table starts and its length.
        EXPECT_EQ((std::vector<std::uint32_t>{U32(b, 44), U32(b, 60), U32(b, 64)}), (std::vector<std::uint32_t>{1, c.sbatCount ? 3 : END, c.sbatCount}));
        ExpectEntry(b, EntryOffset(1, 0), "Root Entry", 5, FREE, FREE, 1, c.rootStart, c.rootSize);
        ExpectEntry(b, EntryOffset(1, 1), "Workbook", 2, FREE, FREE, FREE, c.start, c.size);
        EXPECT_EQ(BatEntry(b, c.fileBlocks - 1), FREE);
        // The data blocks: block 2, then (for the mini stream, stepping over
        // the small-block table in block 3) the run up to the last block.
        std::vector<char> stored;
        for (std::uint32_t k = 2; k < c.fileBlocks - 1; ++k)
            if (k != 3 || !c.sbatCount)
                stored.insert(stored.end(), b.begin() + static_cast<long>(BlockOffset(k)), b.begin() + static_cast<long>(BlockOffset(k + 1)));
        ASSERT_EQ(stored.size(), ((c.sbatCount ? c.rootSize : c.size) + 511) / 512 * 512);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + c.size, stored.begin()));
        EXPECT_EQ(std::count(stored.begin() + c.size, stored.end(), 0), static_cast<long>(stored.size() - c.size));
        if (!c.sbatCount || c.fileBlocks > 5)
            ExpectRun(b, c.sbatCount ? 4 : 2, c.fileBlocks - 2);
        if (c.sbatCount) {
            EXPECT_TRUE(BatEntry(b, 2) == (c.fileBlocks > 5 ? 4u : END) && BatEntry(b, 3) == END) << "block 3: the small-block table";
            for (std::uint32_t k = 0; k < 128; ++k)
                EXPECT_EQ(U32(b, BlockOffset(3) + 4 * k), k + 1 < c.rootSize / 64 ? k + 1 : k + 1 == c.rootSize / 64 ? END : FREE);
        }
        unsigned int mini = 0;
        EXPECT_TRUE(!c.sbatCount || (d.cf.FileSize("\\", mini) == 1 && mini == c.rootSize)) << "the lone backslash names the mini stream";
    }
}

TEST(CompoundLayout, ChainOf127BlocksAddsASecondTableBlock)
{
    NewDoc d;
    ASSERT_TRUE(d.cf.MakeFile("Workbook") == 1 && d.cf.WriteFile("Workbook", Pattern(127 * 512, 6), 127 * 512) == 1);
    const auto b = d.File();
    ASSERT_EQ(b.size(), 512u * 131);
    // Two table blocks; slot 1 names the new one at the end.
    EXPECT_EQ((std::vector<std::uint32_t>{U32(b, 44), U32(b, 76), U32(b, 80), U32(b, 84)}), (std::vector<std::uint32_t>{2, 0, 128, FREE}));
    for (std::uint32_t k = 2; k < 127; ++k)
        ASSERT_EQ(BatEntry(b, k), k + 1);
    EXPECT_EQ(BatEntry(b, 127), 129u) << "the chain steps over the table block";
    for (std::uint32_t i = 0; i < 128; ++i)
        EXPECT_EQ(BatEntry(b, i, 128), i == 0 ? TABLE : i == 1 ? END : FREE);

}

TEST(CompoundLayout, ShrinkingRenumbersTheBlocksAfter)
{
    // A before B; shrinking A moves B down. In the second row A fills the
    // first table block, the second table block lands at 128 with B after
    // it, and shrinking A cuts that table block out of the middle too.
    const struct {
        unsigned int aBlocks, bBlocks, bStart, aShrunk;
    } cases[] = {{16, 9, 18, 9}, {126, 20, 129, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.aBlocks);
        NewDoc d;
        ASSERT_TRUE(d.cf.MakeFile("A") == 1 && d.cf.MakeFile("B") == 1);
        const auto bdata = Pattern(c.bBlocks * 512, 9);
        ASSERT_EQ(d.cf.WriteFile("A", Pattern(c.aBlocks * 512, 8), c.aBlocks * 512), 1);
        ASSERT_EQ(d.cf.WriteFile("B", bdata, c.bBlocks * 512), 1);
        auto b = d.File();
        ExpectEntry(b, EntryOffset(1, 2), "B", 2, 1, FREE, FREE, c.bStart, c.bBlocks * 512);

        const auto a2 = Pattern(c.aShrunk * 512, 10);
        ASSERT_EQ(d.cf.WriteFile("A", a2, c.aShrunk * 512), 1);
        b = d.File();
        ASSERT_EQ(b.size(), 512u * (3 + c.aShrunk + c.bBlocks));
        EXPECT_TRUE(U32(b, 44) == 1u && U32(b, 80) == FREE) << "the second table block is gone";
        ExpectEntry(b, EntryOffset(1, 2), "B", 2, 1, FREE, FREE, 2 + c.aShrunk, c.bBlocks * 512);
        ExpectStreams(d.path, {{"A", a2}, {"B", bdata}}); // read back by olefile too
    }
}

TEST(CompoundLayout, SiblingTreesAndInsertionBefore)
{
    NewDoc d;
    ASSERT_EQ(d.cf.MakeFile("A"), 1);
    for (const char* n : {"B\\c3", "B\\c1", "B\\c5", "B\\c2", "B\\c4"})
        ASSERT_EQ(d.cf.MakeFile(n), 1) << n;
    auto b = d.File();
    ASSERT_EQ(U32(b, 48), 1u);
    std::uint32_t second = BatEntry(b, 1); // entries 0-3 in block 1, 4-7 in the directory's second block
    ASSERT_NE(second, END);
    auto at = [&](std::uint32_t i) { return i < 4 ? EntryOffset(1, i) : EntryOffset(second, i - 4); };
    ExpectEntry(b, at(0), "Root Entry", 5, FREE, FREE, 2, END, 0);
    ExpectEntry(b, at(1), "A", 2, FREE, FREE, FREE, END, 0);
    ExpectEntry(b, at(2), "B", 1, 1, FREE, 5, END, 0);
    ExpectEntry(b, at(3), "c1", 2, FREE, FREE, FREE, END, 0);
    ExpectEntry(b, at(4), "c2", 2, 3, FREE, FREE, END, 0);
    ExpectEntry(b, at(5), "c3", 2, 4, 6, FREE, END, 0);
    ExpectEntry(b, at(6), "c4", 2, FREE, 7, FREE, END, 0);
    ExpectEntry(b, at(7), "c5", 2, FREE, FREE, FREE, END, 0);

    // A name lower than "A" goes to place 1: every index and link after it rises.
    ASSERT_EQ(d.cf.MakeFile("0"), 1);
    b = d.File();
    second = BatEntry(b, 1);
    ExpectEntry(b, at(0), "Root Entry", 5, FREE, FREE, 2, END, 0);
    ExpectEntry(b, at(1), "0", 2, FREE, FREE, FREE, END, 0);
    ExpectEntry(b, at(2), "A", 2, 1, 3, FREE, END, 0);
    ExpectEntry(b, at(3), "B", 1, FREE, FREE, 6, END, 0);
    ExpectEntry(b, at(6), "c3", 2, 5, 7, FREE, END, 0);
    ASSERT_EQ(d.cf.WriteFile("B\\c5", "c5-data", 7), 1);
    CompoundFile again;
    ASSERT_TRUE(again.Open(d.path.c_str()));
    std::vector<char> back;
    EXPECT_TRUE(again.ReadFile("\\B\\c5", back) == 1 && std::string(back.begin(), back.end()) == "c5-data");
}

TEST(CompoundPaths, DirectoriesAndTheClosedObject)
{
    NewDoc d;
    CompoundFile& cf = d.cf;
    EXPECT_EQ(cf.MakeFile("a\\b\\inner"), 1) << "missing levels are made";
    EXPECT_EQ(cf.MakeFile(("a\\" + std::string(32, 'q') + "\\x").c_str()), CompoundFile::NAME_TOO_LONG);
    EXPECT_EQ(cf.ChangeDirectory("\\a\\b\\"), 1) << "a trailing backslash is ignored";
    EXPECT_EQ(cf.MakeFile("inner2"), 1) << "relative to the current directory";
    EXPECT_EQ(cf.ChangeDirectory("missing"), CompoundFile::DIRECTORY_NOT_FOUND);
    EXPECT_EQ(cf.ChangeDirectory("inner"), CompoundFile::DIRECTORY_NOT_FOUND) << "a stream is no storage";
    unsigned int size = 1;
    EXPECT_EQ(cf.FileSize("inner", size), 1) << "a failed change leaves the current directory";
    EXPECT_TRUE(cf.ChangeDirectory("..") == 1 && cf.FileSize("b\\inner", size) == 1);
    EXPECT_TRUE(cf.ChangeDirectory("\\") == 1 && cf.FileSize("a\\missing\\inner", size) == CompoundFile::FILE_NOT_FOUND);
    EXPECT_EQ(cf.MakeFile("a\\b\\inner\\x"), CompoundFile::DUPLICATE_NAME) << "no storage can replace the stream";
    EXPECT_EQ(cf.MakeFile(L"\\top"), 1);
    std::vector<std::wstring> paths;
    cf.StreamPaths(paths);
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"\\a\\b\\inner", L"\\a\\b\\inner2", L"\\top"}));

    CompoundFile closed;
    std::vector<char> data(3, 'z');
    for (int result : {closed.MakeFile("x"), closed.WriteFile("x", "a", 1), closed.ReadFile("x", data),
                       closed.FileSize("x", size), closed.ChangeDirectory("\\")})
        EXPECT_EQ(result, CompoundFile::NOT_OPEN);
    EXPECT_TRUE(data.empty() && closed.Close() == 1);
}

TEST(CompoundPaths, NonAsciiNamesAreUtf16)
{
    NewDoc d;
    ASSERT_EQ(d.cf.MakeFile("\xC3\xA9t\xC3\xA9"), 1);
    ASSERT_EQ(d.cf.WriteFile(L"\u00e9t\u00e9", "x", 1), 1);
    ASSERT_EQ(d.cf.MakeFile(L"\U0001F600"), 1);
    const auto b = d.File();
    // Name order: the shorter name (one pair, two units) first.
    const std::size_t e1 = EntryOffset(1, 1), e2 = EntryOffset(1, 2);
    EXPECT_EQ((std::vector<std::uint32_t>{U16(b, e1), U16(b, e1 + 2), U16(b, e1 + 64), U16(b, e2), U16(b, e2 + 64)}),
              (std::vector<std::uint32_t>{0xD83D, 0xDE00, 6, 0xE9, 8}));
    unsigned int size = 0;
    EXPECT_EQ(d.cf.FileSize("\xF0\x9F\x98\x80", size), 1);
}
