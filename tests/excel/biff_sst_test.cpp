// Shared string table: split planning, one-pass writing, reading across
// CONTINUE pieces, EXTSST.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "biff/textconversion.h"
#include "biff/workbook.h"

#include "biff_testutil.h"

using Biff::LargeString;
typedef Biff::Workbook::SharedStringTable SST;
typedef Biff::Workbook::ExtSST ExtSST;

using namespace biffTest;

namespace {

void expectWellFormed(const std::vector<Piece>& ps)
{
    ASSERT_FALSE(ps.empty());
    EXPECT_EQ(ps[0].code, 0x00FC);
    for (std::size_t i = 0; i < ps.size(); ++i) {
        EXPECT_LE(ps[i].payload.size(), 8224u) << "piece " << i;
        if (i > 0) {
            EXPECT_EQ(ps[i].code, 0x003C) << "piece " << i;
        }
    }
}

LargeString narrowOf(std::size_t n, char c = 'a')
{
    LargeString s;
    s = std::string(n, c).c_str();
    return s;
}

LargeString wideOf(std::size_t n, wchar_t c = L'\u0416')
{
    LargeString s;
    s = std::wstring(n, c).c_str();
    return s;
}

std::vector<std::wstring> texts(const SST& t)
{
    std::vector<std::wstring> out;
    for (const LargeString& s : t.strings)
        out.push_back(Biff::wstringFromLargeString(s));
    return out;
}

// Writes the table, checks the stream form, reads it back and compares.
void roundTrip(SST& t)
{
    const Bytes stream = writeExact(t);
    expectWellFormed(Pieces(stream));
    SST back;
    EXPECT_EQ(readExact(back, stream), stream.size());
    EXPECT_EQ(back.totalStrings, t.totalStrings);
    EXPECT_EQ(back.uniqueStrings, t.strings.size());
    EXPECT_EQ(texts(back), texts(t));
    EXPECT_EQ(back.RecordSize(), t.RecordSize());
}

} // namespace

TEST(BiffSst, SmallTables)
{
    SST empty;
    EXPECT_EQ(empty.RecordSize(), 12u);
    EXPECT_EQ(writeExact(empty), (Bytes{0xFC, 0x00, 0x08, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}));

    SST abc;
    abc.strings.push_back(narrowOf(0));
    abc.strings.back() = "abc";
    abc.totalStrings = 2;
    EXPECT_EQ(abc.DataSize(), 14u);
    EXPECT_EQ(writeExact(abc), (Bytes{0xFC, 0x00, 0x0E, 0x00, 2, 0, 0, 0, 1, 0, 0, 0, 0x03, 0x00, 0x00, 'a', 'b', 'c'}));

    // The unique count always follows the strings actually written.
    abc.uniqueStrings = 40;
    EXPECT_EQ(writeExact(abc)[8], 1);
}

TEST(BiffSst, StringsFillingTheFirstPieceExactly)
{
    SST t;
    t.strings.push_back(narrowOf(8213)); // 8 + 3 + 8213 = 8224
    EXPECT_EQ(t.DataSize(), 8224u);
    EXPECT_TRUE(t.continueOffsets.empty());
    EXPECT_EQ(t.RecordSize(), 8228u);

    LargeString xy;
    xy = "xy";
    t.strings.push_back(xy);
    EXPECT_EQ(t.DataSize(), 8229u);
    EXPECT_EQ(t.continueOffsets, (std::vector<unsigned int>{8224}));
    const std::vector<Piece> ps = Pieces(writeExact(t));
    ASSERT_EQ(ps.size(), 2u);
    EXPECT_EQ(ps[1].payload, (Bytes{0x02, 0x00, 0x00, 'x', 'y'})) << "a fresh string, no option byte";
    roundTrip(t);

    // Data of exactly two full pieces; the second string fails the strict
    // fresh-piece test and is cut at its very end, so an empty piece closes
    // the record. Sized exactly as written.
    SST two;
    two.strings.push_back(narrowOf(8213));
    two.strings.push_back(narrowOf(8221, 'c'));
    EXPECT_EQ(two.DataSize(), 16448u);
    EXPECT_EQ(two.continueOffsets, (std::vector<unsigned int>{8224, 16448}));
    EXPECT_EQ(two.RecordSize(), 16448u + 12u);
    const std::vector<Piece> twoPieces = Pieces(writeExact(two));
    ASSERT_EQ(twoPieces.size(), 3u);
    EXPECT_EQ(twoPieces[1].payload.size(), 8224u);
    EXPECT_TRUE(twoPieces[2].payload.empty());
    roundTrip(two);
}

TEST(BiffSst, FewerThanTwelveBytesLeftEndsThePieceEarly)
{
    // 8 + 3 + 8202 = 8213: 11 bytes left, the next string needs more.
    SST t;
    t.strings.push_back(narrowOf(8202));
    t.strings.push_back(narrowOf(20, 'b'));
    t.DataSize();
    EXPECT_EQ(t.continueOffsets, (std::vector<unsigned int>{8213}));
    std::vector<Piece> ps = Pieces(writeExact(t));
    ASSERT_EQ(ps.size(), 2u);
    EXPECT_EQ(ps[0].payload.size(), 8213u);
    EXPECT_EQ(ps[1].payload.size(), 23u);
    EXPECT_EQ(ps[1].payload[0], 20);
    roundTrip(t);

    // 12 bytes left: the string is cut there instead, resuming with 00.
    SST c;
    c.strings.push_back(narrowOf(8201));
    c.strings.push_back(narrowOf(20, 'b'));
    c.DataSize();
    EXPECT_EQ(c.continueOffsets, (std::vector<unsigned int>{8224}));
    ps = Pieces(writeExact(c));
    ASSERT_EQ(ps.size(), 2u);
    EXPECT_EQ(ps[1].payload.size(), 1u + 11u);
    EXPECT_EQ(ps[1].payload[0], 0x00);
    roundTrip(c);
}

TEST(BiffSst, WholePieceStringAfterAnEarlyEnd)
{
    // 5 bytes left, then an 8-bit string of exactly 8224 bytes with its
    // header: the cut falls at its end and the next string starts fresh.
    SST t;
    t.strings.push_back(narrowOf(8208));       // ends at 8219
    t.strings.push_back(narrowOf(8221, 'b'));  // 3 + 8221 = 8224
    t.strings.push_back(narrowOf(4, 'c'));
    t.DataSize();
    EXPECT_EQ(t.continueOffsets, (std::vector<unsigned int>{8219, 8219 + 8224}));
    const std::vector<Piece> ps = Pieces(writeExact(t));
    ASSERT_EQ(ps.size(), 3u);
    EXPECT_EQ(ps[1].payload.size(), 8224u);
    EXPECT_EQ(ps[2].payload, (Bytes{0x04, 0x00, 0x00, 'c', 'c', 'c', 'c'}));
    roundTrip(t);

    // As the last string: an empty final piece, still sized as written.
    SST last;
    last.strings.push_back(narrowOf(8208));
    last.strings.push_back(narrowOf(8221, 'b'));
    roundTrip(last);
}

TEST(BiffSst, WideStringIsCutOnAnEvenByteCount)
{
    // 8 + 3 + 7 = 18 bytes used; a 16-bit string that does not fit.
    SST t;
    t.strings.push_back(narrowOf(7));
    t.strings.push_back(wideOf(5000));
    t.DataSize();
    ASSERT_EQ(t.continueOffsets.size(), 1u);
    const unsigned int cut = t.continueOffsets[0];
    EXPECT_EQ((cut - 18 - 3) % 2, 0u);
    EXPECT_LE(cut, 8224u);
    EXPECT_GE(cut, 8223u);
    const std::vector<Piece> ps = Pieces(writeExact(t));
    ASSERT_EQ(ps.size(), 2u);
    EXPECT_EQ(ps[1].payload[0], 0x01);
    roundTrip(t);
}

TEST(BiffSst, TenThousandWideCharacters)
{
    SST t;
    t.strings.push_back(wideOf(10000));
    EXPECT_EQ(t.DataSize(), 8u + 3u + 20000u + 2u);
    EXPECT_EQ(t.continueOffsets, (std::vector<unsigned int>{8223, 16446}));
    EXPECT_EQ(t.RecordSize(), t.DataSize() + 12u);
    const std::vector<Piece> ps = Pieces(writeExact(t));
    ASSERT_EQ(ps.size(), 3u);
    EXPECT_EQ(ps[0].payload.size(), 8223u);
    EXPECT_EQ(ps[1].payload.size(), 8223u);
    EXPECT_EQ(ps[2].payload.size(), t.DataSize() - 16446u);
    EXPECT_EQ(ps[1].payload[0], 0x01);
    EXPECT_EQ(ps[2].payload[0], 0x01);
    EXPECT_EQ(ps[1].payload[1], 0x16);
    EXPECT_EQ(ps[1].payload[2], 0x04);
    roundTrip(t);
}

TEST(BiffSst, TwentyThousandNarrowCharacters)
{
    SST t;
    t.strings.push_back(narrowOf(20000));
    t.DataSize();
    EXPECT_EQ(t.continueOffsets, (std::vector<unsigned int>{8224, 16448}));
    const std::vector<Piece> ps = Pieces(writeExact(t));
    ASSERT_EQ(ps.size(), 3u);
    EXPECT_EQ(ps[0].payload.size(), 8224u);
    EXPECT_EQ(ps[1].payload.size(), 8224u);
    EXPECT_EQ(ps[1].payload[0], 0x00);
    EXPECT_EQ(ps[2].payload[0], 0x00);
    EXPECT_EQ(ps[2].payload.size(), 1u + (20000u - 8213u - 8223u));
    roundTrip(t);
}

TEST(BiffSst, SurrogatePairsAreNeverParted)
{
    // The first cut would fall after unit 4106: put a pair across it.
    std::wstring text(10000, L'x');
    text[4105] = static_cast<wchar_t>(0xD83D);
    text[4106] = static_cast<wchar_t>(0xDE00);
    // And one across the whole-piece cut after a further 4111 units.
    text[4105 + 4110] = static_cast<wchar_t>(0xD83D);
    text[4105 + 4111] = static_cast<wchar_t>(0xDE01);
    SST t;
    LargeString s;
    s = text.c_str();
    t.strings.push_back(s);
    t.DataSize();
    ASSERT_EQ(t.continueOffsets.size(), 2u);
    EXPECT_EQ(t.continueOffsets[0], 8221u) << "moved back one unit";
    const Bytes stream = writeExact(t);
    const std::vector<Piece> ps = Pieces(stream);
    expectWellFormed(ps);
    for (std::size_t i = 0; i + 1 < ps.size(); ++i) {
        const Bytes& a = ps[i].payload;
        const Bytes& b = ps[i + 1].payload;
        const unsigned last = a[a.size() - 2] | (a[a.size() - 1] << 8);
        const unsigned first = b[1] | (b[2] << 8);
        EXPECT_FALSE(last >= 0xD800 && last <= 0xDBFF && first >= 0xDC00 && first <= 0xDFFF) << "piece " << i;
    }
    roundTrip(t);
}

TEST(BiffSst, RandomTablesRoundTripWithSizesMatchingWrite)
{
    std::mt19937 rng(1234);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        SST t;
        const int count = 1 + static_cast<int>(rng() % 60);
        for (int i = 0; i < count; ++i) {
            const unsigned pick = rng() % 10;
            const std::size_t n = pick < 6 ? rng() % 40 : (pick < 9 ? rng() % 9000 : rng() % 30000);
            LargeString s;
            if (rng() % 2) {
                std::wstring w(n, L'\0');
                for (auto& c : w) {
                    c = static_cast<wchar_t>(0x20 + rng() % 0xD000);
                }
                // Sprinkle surrogate pairs.
                for (std::size_t k = 0; k + 1 < n; k += 1 + rng() % 50) {
                    w[k] = static_cast<wchar_t>(0xD800 + rng() % 0x400);
                    w[k + 1] = static_cast<wchar_t>(0xDC00 + rng() % 0x400);
                }
                s = w.c_str();
            } else {
                std::string b(n, '\0');
                for (auto& c : b)
                    c = static_cast<char>(1 + rng() % 255);
                s = b.c_str();
            }
            t.strings.push_back(s);
        }
        t.totalStrings = static_cast<unsigned int>(count * 3);
        roundTrip(t);
    }
}

TEST(BiffSst, ReadsPiecesThatSwitchWidth)
{
    // A foreign table: "ab" starts 8-bit, resumes 16-bit in a CONTINUE piece.
    Bytes stream{0xFC, 0x00, 0x0D, 0x00, 1, 0, 0, 0, 1, 0, 0, 0, 0x04, 0x00, 0x00, 'a', 'b'};
    const Bytes cont{0x3C, 0x00, 0x05, 0x00, 0x01, 0xAC, 0x20, 0x21, 0x00};
    stream.insert(stream.end(), cont.begin(), cont.end());
    SST t;
    EXPECT_EQ(readExact(t, stream), stream.size());
    ASSERT_EQ(t.strings.size(), 1u);
    EXPECT_EQ(Biff::wstringFromLargeString(t.strings[0]), std::wstring(L"ab\u20AC!"));
}

TEST(BiffSst, PiecesLongerThanAStreamPieceStillResumeWithTheirOptionByte)
{
    // Another writer's table: a first piece of 9011 bytes (over 8224) holding
    // the counts and 9000 of "a...ab", then a CONTINUE piece resuming the
    // string with its option byte 00 and 5 more characters.
    Bytes stream{0xFC, 0x00, 0x33, 0x23, 1, 0, 0, 0, 1, 0, 0, 0, 0x2D, 0x23, 0x00};
    stream.insert(stream.end(), 9000, 'a');
    const Bytes cont{0x3C, 0x00, 0x06, 0x00, 0x00, 'b', 'b', 'b', 'b', 'b'};
    stream.insert(stream.end(), cont.begin(), cont.end());
    SST t;
    EXPECT_EQ(readExact(t, stream), stream.size());
    ASSERT_EQ(t.strings.size(), 1u);
    EXPECT_EQ(Biff::wstringFromLargeString(t.strings[0]), std::wstring(9000, L'a') + L"bbbbb");
    // Written back in pieces of its own plan.
    roundTrip(t);
}

TEST(BiffSst, HostileTablesFailCleanly)
{
    SST t;
    // Unique count far larger than the data.
    EXPECT_EQ(readExact(t, Bytes{0xFC, 0x00, 0x08, 0x00, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), 0u);
    EXPECT_TRUE(t.strings.empty());
    // Count of two, data for one.
    EXPECT_EQ(readExact(t, Bytes{0xFC, 0x00, 0x0E, 0x00, 0, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 'a', 0, 0}), 0u);
    // A string longer than the record.
    EXPECT_EQ(readExact(t, Bytes{0xFC, 0x00, 0x0B, 0x00, 0, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0}), 0u);
    // Shorter than the two counts.
    EXPECT_EQ(readExact(t, Bytes{0xFC, 0x00, 0x04, 0x00, 0, 0, 0, 0}), 0u);
    // A CONTINUE piece without room for its option byte.
    EXPECT_EQ(readExact(t, Bytes{0xFC, 0x00, 0x0C, 0x00, 0, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 'a', 0x3C, 0x00, 0x00, 0x00}),
              0u);
}

TEST(BiffExtSst, SizesAndRoundTrip)
{
    ExtSST e;
    EXPECT_EQ(e.RecordSize(), 6u);
    EXPECT_EQ(writeExact(e), (Bytes{0xFF, 0x00, 0x02, 0x00, 0x00, 0x00}));

    e.stringsPerBucket = 10;
    e.streamPositions = {0x01020304, 77};
    e.recordOffsets = {12, 300};
    e.reservedWords = {0, 0};
    const Bytes stream = writeExact(e);
    EXPECT_EQ(stream.size(), 4u + 2u + 16u);
    ExtSST back;
    EXPECT_EQ(readExact(back, stream), stream.size());
    EXPECT_EQ(back.stringsPerBucket, 10);
    EXPECT_EQ(back.streamPositions, e.streamPositions);
    EXPECT_EQ(back.recordOffsets, e.recordOffsets);

    // 1027 buckets still fit one piece; 1028 need a CONTINUE header.
    ExtSST full;
    full.streamPositions.assign(1027, 5);
    EXPECT_EQ(full.DataSize(), 8218u);
    EXPECT_EQ(full.RecordSize(), 8222u);
    full.streamPositions.assign(1028, 5);
    EXPECT_EQ(full.DataSize(), 8226u);
    EXPECT_EQ(full.RecordSize(), 8226u + 8u);
    writeExact(full);

    EXPECT_EQ(readExact(back, Bytes{0xFF, 0x00, 0x01, 0x00, 0x00}), 0u);
}
