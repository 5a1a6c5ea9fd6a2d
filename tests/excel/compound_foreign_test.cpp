// Documents laid out by other writers (tests/excel/data/make_foreign_cfb.py):
// table blocks at the end, free blocks in the middle, chains out of order,
// unused directory entries, a small-block table with a free block, DIFAT
// blocks. We read them, and writing into them keeps every stream intact.

#include "compound/compoundfile.h"
#include "compound_testutil.h"

#include <gtest/gtest.h>

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

class Foreign : public ::testing::Test {
protected:
    void SetUp() override { path_ = TempPath("foreign.cfb"); }
    void TearDown() override { std::remove(path_.c_str()); }

    void ExpectStreams(const std::map<std::string, std::vector<char>>& expected, bool olefileToo = true)
    {
        CompoundFile cf;
        ASSERT_TRUE(cf.Open(path_.c_str(), std::ios_base::in));
        std::vector<std::wstring> paths;
        cf.StreamPaths(paths);
        EXPECT_EQ(paths.size(), expected.size());
        for (const auto& kv : expected) {
            std::string ours = "\\" + kv.first;
            for (char& c : ours)
                if (c == '/')
                    c = '\\';
            std::vector<char> back;
            EXPECT_EQ(cf.ReadFile(ours.c_str(), back), 1) << kv.first;
            EXPECT_TRUE(back == kv.second) << kv.first;
        }
        if (olefileToo && HaveOlefile()) {
            EXPECT_EQ(OlefileListing(path_), ExpectedListing(expected));
        }
    }

    std::string path_;
};

} // namespace

TEST_F(Foreign, ReadsEveryStream)
{
    WriteBytes(path_, FileBytes(DataDir() + "/foreign_small.cfb"));
    ASSERT_GT(FileBytes(path_).size(), 512u);
    ExpectStreams({{"Workbook", Content(5000, 1)},
                   {summary, Content(200, 2)},
                   {docSummary, Content(300, 3)},
                   {"ObjectPool/Ole", Content(20, 4)}});
    CompoundFile cf;
    ASSERT_TRUE(cf.Open(path_.c_str(), std::ios_base::in));
    unsigned int size = 0;
    EXPECT_EQ(cf.FileSize("\\ObjectPool\\Ole", size), 1);
    EXPECT_EQ(size, 20u);
    EXPECT_EQ(cf.ChangeDirectory("ObjectPool"), 1);
    std::vector<char> back;
    EXPECT_EQ(cf.ReadFile("Ole", back), 1);
}

TEST_F(Foreign, WritingIntoItKeepsEveryStream)
{
    WriteBytes(path_, FileBytes(DataDir() + "/foreign_small.cfb"));
    std::map<std::string, std::vector<char>> expected = {{"Workbook", Content(5000, 1)},
                                                         {summary, Content(200, 2)},
                                                         {docSummary, Content(300, 3)},
                                                         {"ObjectPool/Ole", Content(20, 4)}};
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

TEST_F(Foreign, DifatListedTableBlocks)
{
    const std::string script = DataDir() + "/make_foreign_cfb.py";
    const std::string cmd = "/usr/bin/python3 '" + script + "' difat '" + path_ + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
        GTEST_SKIP() << "python3 missing: the DIFAT document cannot be made";
    const auto big = Content(15000 * 512 + 100, 5);
    ExpectStreams({{"Big", big}});

    // Writing into it: the DIFAT chain is rewritten in the published form.
    CompoundFile cf;
    ASSERT_TRUE(cf.Open(path_.c_str()));
    ASSERT_EQ(cf.MakeFile("Workbook"), 1);
    const auto wb = Content(9000, 6);
    ASSERT_EQ(cf.WriteFile("Workbook", wb, 9000), 1);
    cf.Close();
    ExpectStreams({{"Big", big}, {"Workbook", wb}});

    ASSERT_TRUE(cf.Open(path_.c_str()));
    const auto shorter = Content(100, 7);
    ASSERT_EQ(cf.WriteFile("Big", shorter, 100), 1);
    cf.Close();
    ExpectStreams({{"Big", shorter}, {"Workbook", wb}});
    const auto bytes = FileBytes(path_);
    EXPECT_LE(U32(bytes, 44), 109u) << "table blocks no longer needed are gone";
    EXPECT_EQ(U32(bytes, 72), 0u);
}
