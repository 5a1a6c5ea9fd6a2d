// Shared string table: split planning, one-pass writing, reading across
// CONTINUE pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "biff/textconversion.h"
#include "biff/workbook.h"

#include "biff_testutil.h"

using Biff::LargeString;
typedef Biff::Workbook::SharedStringTable SST;

using namespace biffTest;

namespace {

LargeString Narrow(std::size_t n, char c = 'a')
{
    LargeString s;
    s = std::string(n, c).c_str();
    return s;
}

LargeString Wide(std::size_t n, wchar_t c = L'\u0416')
{
    LargeString s;
    s = std::wstring(n, c).c_str();
    return s;
}

std::vector<std::wstring> Texts(const SST& t)
{
    std::vector<std::wstring> out;
    for (const LargeString& s : t.strings)
        out.push_back(Biff::wstringFromLargeString(s));
    return out;
}

// Writes the table: pieces of at most 8224 bytes, an SST then CONTINUEs,
// sized as written; reads it back and compares. Returns the pieces.
std::vector<Piece> RoundTrip(SST& t)
{
    const Bytes stream = writeExact(t);
    const std::vector<Piece> pieces = Pieces(stream);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_EQ(pieces[i].code, i == 0 ? 0x00FC : 0x003C) << "piece " << i;
        EXPECT_LE(pieces[i].payload.size(), 8224u) << "piece " << i;
    }
    SST back;
    EXPECT_EQ(readExact(back, stream), stream.size());
    EXPECT_EQ(back.totalStrings, t.totalStrings);
    EXPECT_EQ(back.uniqueStrings, t.strings.size());
    EXPECT_EQ(Texts(back), Texts(t));
    EXPECT_EQ(back.RecordSize(), t.RecordSize());
    return pieces;
}

} // namespace

TEST(BiffSst, SmallTables)
{
    SST empty;
    EXPECT_EQ(writeExact(empty), (Bytes{0xFC, 0x00, 0x08, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}));
    SST abc;
    abc.strings.push_back(Narrow(3));
    abc.strings.back() = "abc";
    abc.totalStrings = 2;
    abc.uniqueStrings = 40; // the unique count always follows the strings actually written
    EXPECT_EQ(writeExact(abc), (Bytes{0xFC, 0x00, 0x0E, 0x00, 2, 0, 0, 0, 1, 0, 0, 0, 0x03, 0x00, 0x00, 'a', 'b', 'c'}));
}

TEST(BiffSst, PiecesEndWhereTheFormatSays)
{
    // The table's strings, the planned piece offsets, the piece sizes and the
    // first byte of each CONTINUE piece (an option byte when a string
    // resumes, a character count's low byte when a fresh string starts).
    const struct {
        const char* what;
        std::vector<LargeString> strings;
        std::vector<unsigned int> offsets, sizes;
        std::vector<unsigned char> firstBytes;
    } cases[] = {
        {"8 + 3 + 8213 fill the first piece exactly", {Narrow(8213)}, {}, {8224}, {}},
        {"a fresh string after a full piece, no option byte", {Narrow(8213), Narrow(2, 'x')}, {8224}, {8224, 5}, {2}},
        {"the second string cut at its very end: an empty piece closes the record",
         {Narrow(8213), Narrow(8221, 'c')}, {8224, 16448}, {8224, 8224, 0}, {0x1D}},
        {"11 bytes left end the piece early", {Narrow(8202), Narrow(20, 'b')}, {8213}, {8213, 23}, {20}},
        {"12 bytes left: the string is cut there, resuming with 00", {Narrow(8201), Narrow(20, 'b')}, {8224},
         {8224, 12}, {0x00}},
        {"a whole-piece string after an early end", {Narrow(8208), Narrow(8221, 'b'), Narrow(4, 'c')},
         {8219, 8219 + 8224}, {8219, 8224, 7}, {0x1D, 4}},
        {"ten thousand wide characters, cut on even counts", {Wide(10000)}, {8223, 16446}, {8223, 8223, 3567},
         {0x01, 0x01}},
        {"twenty thousand narrow characters", {Narrow(20000)}, {8224, 16448}, {8224, 8224, 3565}, {0x00, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SST t;
        t.strings = c.strings;
        EXPECT_EQ(t.RecordSize(), t.DataSize() + 4 * (c.offsets.size() + 1));
        EXPECT_EQ(t.continueOffsets, c.offsets);
        const std::vector<Piece> pieces = RoundTrip(t);
        ASSERT_EQ(pieces.size(), c.sizes.size());
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            EXPECT_EQ(pieces[i].payload.size(), c.sizes[i]) << i;
            if (i > 0 && !pieces[i].payload.empty()) {
                EXPECT_EQ(pieces[i].payload[0], c.firstBytes[i - 1]) << i;
            }
        }
    }

    // A 16-bit string that does not fit is cut on an even byte count.
    SST t;
    t.strings = {Narrow(7), Wide(5000)};
    t.DataSize();
    ASSERT_EQ(t.continueOffsets.size(), 1u);
    EXPECT_EQ((t.continueOffsets[0] - 18 - 3) % 2, 0u);
    EXPECT_GE(t.continueOffsets[0], 8223u);
    EXPECT_EQ(RoundTrip(t)[1].payload[0], 0x01);
}

TEST(BiffSst, SurrogatePairsAreNeverParted)
{
    // The first cut would fall after unit 4106, the next after a further
    // 4111: a pair across each.
    std::wstring text(10000, L'x');
    text[4105] = static_cast<wchar_t>(0xD83D);
    text[4106] = static_cast<wchar_t>(0xDE00);
    text[4105 + 4110] = static_cast<wchar_t>(0xD83D);
    text[4105 + 4111] = static_cast<wchar_t>(0xDE01);
    SST t;
    t.strings.resize(1);
    t.strings[0] = text.c_str();
    t.DataSize();
    ASSERT_EQ(t.continueOffsets.size(), 2u);
    EXPECT_EQ(t.continueOffsets[0], 8221u) << "moved back one unit";
    const std::vector<Piece> ps = RoundTrip(t);
    for (std::size_t i = 0; i + 1 < ps.size(); ++i) {
        const Bytes& a = ps[i].payload;
        const unsigned last = a[a.size() - 2] | (a[a.size() - 1] << 8);
        EXPECT_FALSE(last >= 0xD800 && last <= 0xDBFF) << "piece " << i << " ends inside a pair";
    }
}

TEST(BiffSst, ForeignPiecesAndHostileTables)
{
    // Another writer's table: "ab" starts 8-bit, resumes 16-bit in a CONTINUE.
    Bytes stream{0xFC, 0x00, 0x0D, 0x00, 1, 0, 0, 0, 1, 0, 0, 0, 0x04, 0x00, 0x00, 'a', 'b',
                 0x3C, 0x00, 0x05, 0x00, 0x01, 0xAC, 0x20, 0x21, 0x00};
    SST t;
    EXPECT_EQ(readExact(t, stream), stream.size());
    EXPECT_EQ(Texts(t), std::vector<std::wstring>{L"ab\u20AC!"});
    // A first piece of 9011 bytes (over 8224), then a CONTINUE resuming the
    // string with its option byte 00: read, and written in pieces of our plan.
    stream = {0xFC, 0x00, 0x33, 0x23, 1, 0, 0, 0, 1, 0, 0, 0, 0x2D, 0x23, 0x00};
    stream.insert(stream.end(), 9000, 'a');
    const Bytes cont{0x3C, 0x00, 0x06, 0x00, 0x00, 'b', 'b', 'b', 'b', 'b'};
    stream.insert(stream.end(), cont.begin(), cont.end());
    EXPECT_EQ(readExact(t, stream), stream.size());
    EXPECT_EQ(Texts(t), std::vector<std::wstring>{std::wstring(9000, L'a') + L"bbbbb"});
    RoundTrip(t);

    const Bytes hostile[] = {
        {0xFC, 0x00, 0x08, 0x00, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF},                      // unique count beyond the data
        {0xFC, 0x00, 0x0E, 0x00, 0, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 'a', 0, 0},               // two counted, one there
        {0xFC, 0x00, 0x0B, 0x00, 0, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0},                          // a string past the record
        {0xFC, 0x00, 0x04, 0x00, 0, 0, 0, 0},                                               // shorter than the counts
        {0xFC, 0x00, 0x0C, 0x00, 0, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 'a', 0x3C, 0x00, 0x00, 0x00}, // no option byte
    };
    for (const Bytes& b : hostile) {
        SST h;
        EXPECT_EQ(readExact(h, b), 0u);
    }
}
