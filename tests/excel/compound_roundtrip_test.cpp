// Round trips: what we write we read back, and so does an independent reader
// (olefile, strict about format defects), across the small/big cutoff, the
// table-growth points and the DIFAT threshold (109 table blocks, ~7 MB).

#include "compound/compoundfile.h"
#include "compound_testutil.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using CompoundDoc::CompoundFile;
using namespace compoundtest;

namespace {

using RoundTrip = FileTest;

} // namespace

TEST_F(RoundTrip, SizesAcrossTheCutoffAndTableGrowth)
{
    const unsigned int sizes[] = {0,    1,    63,    64,    65,    100,   511,    512,    513,   3000,
                                  4095, 4096, 4097,  5000,  8192,  65023, 65024,  65025,  65536, 126 * 512,
                                  126 * 512 + 1, 127 * 512, 254 * 512, 1000000};
    for (unsigned int size : sizes) {
        SCOPED_TRACE(size);
        CompoundFile cf;
        ASSERT_TRUE(cf.Create(path_.c_str()));
        ASSERT_EQ(cf.MakeFile("Workbook"), 1);
        const auto data = Pattern(size, size);
        ASSERT_EQ(cf.WriteFile("Workbook", data, size), 1);
        cf.Close();
        ExpectStreams({{"Workbook", data}});
    }
}

TEST_F(RoundTrip, RewritesGrowAndShrinkInPlace)
{
    // One stream rewritten through every kind of transition, with a second
    // small and a second big stream that must survive every renumbering.
    CompoundFile cf;
    ASSERT_TRUE(cf.Create(path_.c_str()));
    ASSERT_EQ(cf.MakeFile("Workbook"), 1);
    ASSERT_EQ(cf.MakeFile("Small"), 1);
    ASSERT_EQ(cf.MakeFile("\\Store\\Big"), 1);
    const auto small = Pattern(1234, 77);
    const auto big = Pattern(70000, 78);
    ASSERT_EQ(cf.WriteFile("Small", small, 1234), 1);
    ASSERT_EQ(cf.WriteFile("Store\\Big", big, 70000), 1);
    const unsigned int steps[] = {100,  3000, 200,   5000,  4096, 4095,  70000, 10, 0,
                                  4096, 0,    66000, 66000, 700,  20000, 64,    1};
    unsigned int n = 0;
    for (unsigned int size : steps) {
        SCOPED_TRACE(size);
        const auto data = Pattern(size, 1000 + n++);
        ASSERT_EQ(cf.WriteFile("Workbook", data, size), 1);
        ExpectStreams({{"Workbook", data}, {"Small", small}, {"Store/Big", big}});
    }
    // and back to small for the other streams too
    ASSERT_EQ(cf.WriteFile("Store\\Big", small, 1234), 1);
    ASSERT_EQ(cf.WriteFile("Small", big, 70000), 1);
    ExpectStreams({{"Workbook", Pattern(1, 1000 + n - 1)}, {"Small", big}, {"Store/Big", small}}, false);
}

TEST_F(RoundTrip, ManySmallStreamsNeedSeveralSmallTableBlocks)
{
    // 40 streams of 4000 bytes in three storages: 2520 small blocks, 20
    // small-table blocks kept as one run, a mini stream that covers all of
    // them, and a directory over several blocks.
    CompoundFile cf;
    ASSERT_TRUE(cf.Create(path_.c_str()));
    Streams expected;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "d" + std::to_string(i % 3) + "\\s" + std::to_string(i);
        const auto data = Pattern(4000 - static_cast<unsigned int>(i), 500 + static_cast<unsigned int>(i));
        ASSERT_EQ(cf.MakeFile(name.c_str()), 1);
        ASSERT_EQ(cf.WriteFile(name.c_str(), data, static_cast<unsigned int>(data.size())), 1);
        expected["d" + std::to_string(i % 3) + "/s" + std::to_string(i)] = data;
        if (i == 3) {
            // a big stream between them, so table blocks go into the middle
            ASSERT_EQ(cf.MakeFile("big"), 1);
            ASSERT_EQ(cf.WriteFile("big", Pattern(9000, 9), 9000), 1);
            expected["big"] = Pattern(9000, 9);
        }
    }
    const auto bytes = FileBytes(path_);
    const std::uint32_t sbatStart = U32(bytes, 60);
    const std::uint32_t sbatCount = U32(bytes, 64);
    EXPECT_EQ(sbatCount, 20u);
    std::uint32_t k = sbatStart;
    for (std::uint32_t i = 0; i + 1 < sbatCount; ++i) {
        const std::uint32_t next = BatEntry(bytes, k);
        EXPECT_EQ(next, k + 1) << "the small-block table is one run, chained in order";
        k = next;
    }
    ExpectStreams(expected);

    // Shrinking every other stream closes up the mini stream.
    for (int i = 0; i < 40; i += 2) {
        const std::string name = "d" + std::to_string(i % 3) + "\\s" + std::to_string(i);
        ASSERT_EQ(cf.WriteFile(name.c_str(), "x", 1), 1);
        expected["d" + std::to_string(i % 3) + "/s" + std::to_string(i)] = std::vector<char>(1, 'x');
    }
    ExpectStreams(expected);
    unsigned int miniSize = 0;
    ASSERT_EQ(cf.FileSize("\\", miniSize), 1);
    std::size_t blocks = 0;
    for (const auto& kv : expected)
        if (kv.second.size() < 4096)
            blocks += (kv.second.size() + 63) / 64;
    EXPECT_EQ(miniSize, blocks * 64);
}

TEST_F(RoundTrip, AcrossTheDifatThreshold)
{
    // 109 table blocks hold 13952 blocks (~7.1 MB). Sizes just below, at and
    // above need 0, 1 and 2 DIFAT blocks.
    const unsigned int sizes[] = {108 * 127 * 512, 109 * 127 * 512 - 4 * 512, 109 * 127 * 512,
                                  110 * 127 * 512, (109 + 127 + 3) * 127 * 512};
    for (unsigned int size : sizes) {
        SCOPED_TRACE(size);
        CompoundFile cf;
        ASSERT_TRUE(cf.Create(path_.c_str()));
        ASSERT_EQ(cf.MakeFile("Workbook"), 1);
        const auto data = Pattern(size, size);
        ASSERT_EQ(cf.WriteFile("Workbook", data, size), 1);
        cf.Close();
        const auto bytes = FileBytes(path_);
        const std::uint32_t tables = U32(bytes, 44);
        const std::uint32_t difat = U32(bytes, 72);
        EXPECT_EQ(difat, tables > 109 ? (tables - 109 + 126) / 127 : 0u);
        EXPECT_EQ(bytes.size() % 512, 0u);
        ExpectStreams({{"Workbook", data}}); // olefile follows the DIFAT chain too
        if (difat > 0) {
            const std::uint32_t first = U32(bytes, 68);
            Bytes patched = bytes;
            PutU32(patched, BlockOffset(first), first);
            WriteBytes(path_, patched);
            EXPECT_FALSE(cf.Open(path_.c_str(), std::ios_base::in)) << "a DIFAT block listed as a table block";
            PutU32(patched, 68, 0x00FFFFFF);
            WriteBytes(path_, patched);
            EXPECT_FALSE(cf.Open(path_.c_str(), std::ios_base::in)) << "the DIFAT chain starting past the end";
            WriteBytes(path_, bytes);
        }

        // Shrink below the threshold again: the DIFAT goes away.
        ASSERT_TRUE(cf.Open(path_.c_str()));
        const auto small = Pattern(5000, 1);
        ASSERT_EQ(cf.WriteFile("Workbook", small, 5000), 1);
        cf.Close();
        const auto after = FileBytes(path_);
        EXPECT_EQ(after.size(), 512u * 13);
        EXPECT_EQ(U32(after, 72), 0u);
        EXPECT_EQ(U32(after, 44), 1u);
        ExpectStreams({{"Workbook", small}}, false);
    }
}

TEST_F(RoundTrip, TwoHundredFiftySixMegabytesWithOtherStreams)
{
    CompoundFile cf;
    ASSERT_TRUE(cf.Create(path_.c_str()));
    ASSERT_EQ(cf.MakeFile("Workbook"), 1);
    ASSERT_EQ(cf.MakeFile("Early"), 1);
    Streams expected = {{"Early", Pattern(300, 3)}, {"Workbook", Pattern(256u << 20, 256)}, {"Late", Pattern(9000, 4)}};
    ASSERT_EQ(cf.WriteFile("Early", expected["Early"], 300), 1);
    ASSERT_EQ(cf.WriteFile("Workbook", expected["Workbook"], 256u << 20), 1);
    ASSERT_EQ(cf.MakeFile("Late"), 1);
    ASSERT_EQ(cf.WriteFile("Late", expected["Late"], 9000), 1);
    cf.Close();
    ExpectStreams(expected);

    // Rewriting the big stream shorter keeps the others intact.
    ASSERT_TRUE(cf.Open(path_.c_str()));
    expected["Workbook"] = Pattern(9u << 20, 21);
    ASSERT_EQ(cf.WriteFile("Workbook", expected["Workbook"], 9u << 20), 1);
    cf.Close();
    ExpectStreams(expected);
}
