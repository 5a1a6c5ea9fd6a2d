// Documents laid out by other writers: an office suite's, and
// foreign_small.cfb with table blocks at the end, free blocks (holding junk)
// in the middle, chains out of order, unused directory entries, a sibling
// tree of both colours and a small-block table chained through a free block
// (stream k holds bytes (k * 31 + seed) & 0xFF). We read them as olefile
// does, and writing into them keeps every stream intact.

#include "compound/compoundfile.h"
#include "compound_testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

using CompoundDoc::CompoundFile;
using namespace compoundtest;

namespace {

std::string DataDir()
{
    std::string here = __FILE__;
    return here.substr(0, here.find_last_of('/')) + "/data";
}

std::vector<char> Content(std::size_t size, unsigned int seed)
{
    std::vector<char> v(size);
    for (std::size_t k = 0; k < size; ++k)
        v[k] = static_cast<char>((k * 31 + seed) & 0xFF);
    return v;
}

const char* const summary = "\x05SummaryInformation";
const char* const docSummary = "\x05" "DocumentSummaryInformation";

using Foreign = FileTest;

} // namespace

TEST_F(Foreign, ReadsAndWritesIntoItKeepingEveryStream)
{
    WriteBytes(path_, FileBytes(DataDir() + "/foreign_small.cfb"));
    Streams expected = {{"Workbook", Content(5000, 1)},
                        {summary, Content(200, 2)},
                        {docSummary, Content(300, 3)},
                        {"ObjectPool/Ole", Content(20, 4)}};
    ExpectStreams(expected);
    struct Step {
        const char* path;
        const char* key;
        std::size_t size;
        bool make;
    } steps[] = {
        {"Workbook", "Workbook", 20000, false},          // grows into free blocks and past the end
        {docSummary, docSummary, 10, false},             // shrinks inside the mini stream
        {"ObjectPool\\New", "ObjectPool/New", 6000, true}, // a new big stream in a storage
        {summary, summary, 5000, false},                 // small to big
        {"Workbook", "Workbook", 700, false},             // big to small
        {"Tiny", "Tiny", 3, true},
    };
    unsigned int seed = 40;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.key);
        CompoundFile cf;
        ASSERT_TRUE(cf.Open(path_.c_str()));
        if (s.make) {
            ASSERT_EQ(cf.MakeFile(s.path), 1);
        }
        const auto data = Content(s.size, seed++);
        ASSERT_EQ(cf.WriteFile(s.path, data, static_cast<unsigned int>(s.size)), 1);
        cf.Close();
        expected[s.key] = data;
        ExpectStreams(expected);
    }
}

TEST_F(Foreign, OfficeSuiteDocumentsReadWhole)
{
    const struct { const char* file; const char* mainStream; std::size_t streams; } fixtures[] = {
        {"office_sheet.xls", "Workbook", 5}, {"office_rows.xls", "Workbook", 5}, {"office_note.doc", "WordDocument", 6}};
    for (const auto& f : fixtures) {
        SCOPED_TRACE(f.file);
        WriteBytes(path_, FileBytes(DataDir() + "/" + f.file));
        Streams expected;
        {
            CompoundFile cf;
            ASSERT_TRUE(cf.Open(path_.c_str(), std::ios_base::in));
            std::vector<std::wstring> paths;
            cf.StreamPaths(paths);
            ASSERT_EQ(paths.size(), f.streams);
            for (const std::wstring& p : paths) {
                std::vector<char> back;
                ASSERT_EQ(cf.ReadFile(p.c_str(), back), 1);
                std::string slashed(p.begin() + 1, p.end());
                std::replace(slashed.begin(), slashed.end(), '\\', '/');
                expected[slashed] = back;
            }
        }
        ExpectStreams(expected); // what olefile reads
        // Saving into such a document keeps every stream it had: a new big
        // stream in the middle of the name order, and the main stream
        // rewritten across the small/big cutoff.
        const auto added = Content(9000, 11);
        const auto rewritten = Content(expected[f.mainStream].size() < 4096 ? 6000 : 3000, 12);
        {
            CompoundFile cf;
            ASSERT_TRUE(cf.Open(path_.c_str()));
            ASSERT_EQ(cf.MakeFile("Added"), 1);
            ASSERT_EQ(cf.WriteFile("Added", added, 9000), 1);
            ASSERT_EQ(cf.WriteFile(f.mainStream, rewritten, static_cast<unsigned int>(rewritten.size())), 1);
        }
        expected["Added"] = added;
        expected[f.mainStream] = rewritten;
        ExpectStreams(expected);
    }
}

TEST_F(Foreign, TableBlocksInARunAfterTheHeaderSlots)
{
    // The older layout of large documents: all 109 header slots in use and
    // the further table entries in a run of blocks named by the header's
    // extension start and count, without a DIFAT chain.
    const std::uint32_t total = 14000; // blocks after the header
    const std::uint32_t runStart = 109 * 128;
    std::vector<std::uint32_t> bat(110 * 128, 0xFFFFFFFFu);
    std::vector<std::uint32_t> data;
    for (std::uint32_t k = 0; k < total; ++k) {
        if (k < runStart && k % 128 == 0)
            bat[k] = 0xFFFFFFFDu; // a table block
        else if (k == runStart)
            bat[k] = 0xFFFFFFFDu; // the run's one block
        else if (k == 1)
            bat[k] = 0xFFFFFFFEu; // the directory
        else
            data.push_back(k);
    }
    for (std::size_t i = 0; i < data.size(); ++i)
        bat[data[i]] = i + 1 < data.size() ? data[i + 1] : 0xFFFFFFFEu;
    const auto stream = Content(data.size() * 512 - 100, 9);

    std::vector<unsigned char> b(512 * (total + 1), 0);
    CompoundFile::Header h;
    h.batCount = 109;
    for (std::uint32_t s = 0; s < 109; ++s)
        h.batBlocks[s] = 128 * s;
    h.xbatStart = runStart;
    h.xbatCount = 1;
    std::vector<char> raw(512);
    h.Write(raw.data());
    std::copy(raw.begin(), raw.end(), b.begin());
    for (std::uint32_t t = 0; t < 110; ++t) {
        const std::uint32_t block = t < 109 ? 128 * t : runStart;
        for (std::uint32_t j = 0; j < 128; ++j)
            PutU32(b, BlockOffset(block) + 4 * j, bat[128 * t + j]);
    }
    CompoundFile::DirectoryEntry root, entry;
    std::wcscpy(root.name, L"Root Entry");
    root.nameSize = 22;
    root.type = 5;
    root.child = 1;
    std::wcscpy(entry.name, L"Workbook");
    entry.nameSize = 18;
    entry.type = 2;
    entry.startBlock = data[0];
    entry.size = static_cast<unsigned int>(stream.size());
    root.Write(raw.data());
    std::copy(raw.begin(), raw.begin() + 128, b.begin() + static_cast<std::ptrdiff_t>(BlockOffset(1)));
    entry.Write(raw.data());
    std::copy(raw.begin(), raw.begin() + 128, b.begin() + static_cast<std::ptrdiff_t>(BlockOffset(1) + 128));
    for (std::size_t i = 0; i < data.size(); ++i)
        for (std::size_t j = 0; j < 512 && i * 512 + j < stream.size(); ++j)
            b[BlockOffset(data[i]) + j] = static_cast<unsigned char>(stream[i * 512 + j]);
    WriteBytes(path_, b);
    ExpectStreams({{"Workbook", stream}}, false);

    // Writing into it leaves the published form that other readers take.
    CompoundFile cf;
    ASSERT_TRUE(cf.Open(path_.c_str()));
    ASSERT_EQ(cf.MakeFile("Tiny"), 1);
    ASSERT_EQ(cf.WriteFile("Tiny", "tiny", 4), 1);
    cf.Close();
    const auto after = FileBytes(path_);
    EXPECT_EQ(U32(after, 44), 110u) << "every table block counted";
    EXPECT_EQ(U32(after, 72), 1u) << "one DIFAT block";
    ExpectStreams({{"Workbook", stream}, {"Tiny", std::vector<char>{'t', 'i', 'n', 'y'}}});
}
