// BIFF short and unicode strings and the Latin-1 text conversions.
#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>
#include <vector>

#include "biff/largestring.h"
#include "biff/smallstring.h"
#include "biff/textconversion.h"

#include "biff_testutil.h"

using Biff::LargeString;
using Biff::SmallString;

using namespace biffTest;

namespace {

// Strings are parts of records: they write DataSize() bytes, no header.
template <typename S>
Bytes writeData(S& s)
{
    return writeGuarded(s, s.DataSize(), "DataSize()");
}

Bytes asciiUtf16(const char* text)
{
    Bytes out;
    for (const char* c = text; *c; ++c) {
        out.push_back(static_cast<unsigned char>(*c));
        out.push_back(0);
    }
    return out;
}

Bytes concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(BiffSmallString, StreamForms)
{
    SmallString wide;
    wide = L"Sheet1";
    EXPECT_EQ(wide.DataSize(), 14u);
    EXPECT_EQ(writeData(wide), concat(Bytes{0x06, 0x01}, asciiUtf16("Sheet1")));

    SmallString narrow;
    narrow = "Sheet1";
    EXPECT_EQ(narrow.DataSize(), 8u);
    EXPECT_EQ(writeData(narrow), (Bytes{0x06, 0x00, 'S', 'h', 'e', 'e', 't', '1'}));

    SmallString none;
    EXPECT_EQ(writeData(none), (Bytes{0x00, 0x00}));

    SmallString back;
    EXPECT_EQ(readExact(back, concat(Bytes{0x06, 0x01}, asciiUtf16("Sheet1"))), 14u);
    EXPECT_EQ(Biff::wstringFromSmallString(back), L"Sheet1");
    EXPECT_EQ(readExact(back, Bytes{0x02, 0x00, 0xE9, 'x'}), 4u);
    EXPECT_EQ(Biff::wstringFromSmallString(back), std::wstring(L"\u00E9x"));
    for (const Bytes& cut : {Bytes{}, Bytes{0x01}, Bytes{0x03, 0x00, 'a', 'b'}, Bytes{0x02, 0x01, 'a', 0, 'b'},
                             Bytes{0xFF, 0x01}})
        EXPECT_EQ(readExact(back, cut), 0u);
}

TEST(BiffSmallString, CopiesAreDeepAndSelfAssignmentIsSafe)
{
    SmallString a;
    a = L"first";
    SmallString b(a);
    a = "second";
    EXPECT_EQ(Biff::wstringFromSmallString(b), L"first");
    EXPECT_EQ(Biff::wstringFromSmallString(a), L"second");

    SmallString fresh;
    fresh = b; // target's pointers start null
    EXPECT_EQ(Biff::wstringFromSmallString(fresh), L"first");

    SmallString& alias = fresh;
    fresh = alias;
    EXPECT_EQ(Biff::wstringFromSmallString(fresh), L"first");

    // Assigning the string's own text to itself.
    fresh = fresh.wideText;
    EXPECT_EQ(Biff::wstringFromSmallString(fresh), L"first");

}

TEST(BiffSmallString, OverlongNamesAreRefusedOrCut)
{
    const std::wstring longName(256, L'n');
    SmallString s;
    s = L"keep";
    EXPECT_FALSE(s.Assign(longName.c_str()));
    EXPECT_EQ(Biff::wstringFromSmallString(s), L"keep");
    EXPECT_TRUE(s.Assign(longName.substr(0, 255).c_str()));

    s = longName.c_str();
    EXPECT_EQ(s.StringSize(), 255u);
    const Bytes out = writeData(s);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out.size(), 2u + 2u * 255u);

    const std::string narrowLong(300, 'x');
    SmallString n;
    EXPECT_FALSE(n.Assign(narrowLong.c_str()));
    n = narrowLong.c_str();
    EXPECT_EQ(writeData(n).size(), 257u);
}

TEST(BiffLargeString, ReadsFlagsRunsAndPhoneticData)
{
    LargeString s;
    EXPECT_EQ(readExact(s, Bytes{0x00, 0x00, 0x00}), 3u);
    EXPECT_TRUE(s.wideText.empty());
    EXPECT_TRUE(s.narrowText.empty());

    EXPECT_EQ(readExact(s, Bytes{0x02, 0x00, 0x00, 0xE9, 'a', 0xFF}), 5u);
    EXPECT_FALSE(s.IsWide());
    EXPECT_EQ(s.narrowText, (std::vector<char>{'\xE9', 'a'}));
    EXPECT_EQ(Biff::wstringFromLargeString(s), std::wstring(L"\u00E9a"));

    // Rich text: run count after the option byte, 4 bytes per run skipped
    // after the characters.
    const Bytes rich{0x02, 0x00, 0x08, 0x02, 0x00, 'h', 'i', 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(readExact(s, rich), rich.size());
    EXPECT_EQ(Biff::wstringFromLargeString(s), L"hi");
    // Kept plain, so its size is what Write emits.
    EXPECT_EQ(s.DataSize(), 5u);
    EXPECT_EQ(writeData(s), (Bytes{0x02, 0x00, 0x00, 'h', 'i'}));

    // Rich text and phonetic data on a 16-bit string.
    const Bytes both = concat(Bytes{0x01, 0x00, 0x0D, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 'Z', 0x00},
                              Bytes{9, 9, 9, 9, 7, 7, 7});
    EXPECT_EQ(readExact(s, both), both.size());
    EXPECT_EQ(Biff::wstringFromLargeString(s), L"Z");
    EXPECT_EQ(s.richRuns, 0);
    EXPECT_EQ(s.phoneticSize, 0u);
}

TEST(BiffLargeString, PromisesBeyondTheDataFail)
{
    const struct { Bytes bytes; const char* what; } cases[] = {
        {{}, "empty"}, {{0x01, 0x00}, "no option byte"}, {{0x05, 0x00, 0x00, 'a'}, "count beyond the data"},
        {{0x01, 0x00, 0x01, 'a'}, "half a 16-bit character"}, {{0x01, 0x00, 0x08, 0x05}, "run count cut"},
        {{0x01, 0x00, 0x08, 0x05, 0x00, 'a', 1, 2, 3, 4}, "runs beyond the data"},
        {{0x01, 0x00, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}, "huge phonetic block"}, {{0xFF, 0xFF, 0x01, 'a', 0}, "count"},
    };
    for (const auto& c : cases) {
        LargeString s;
        EXPECT_EQ(readExact(s, c.bytes), 0u) << c.what;
    }
}

TEST(BiffLargeString, PiecesSwitchWidthAndPromoteToWide)
{
    // "ab" 8-bit, then a piece with option 01 carrying U+20AC and U+00E9.
    const Bytes joined{0x04, 0x00, 0x00, 'a', 'b', 0x01, 0xAC, 0x20, 0xE9, 0x00, 'X'};
    const std::vector<unsigned int> boundaries{5};
    LargeString s;
    std::size_t cursor = 0;
    EXPECT_EQ(s.ReadPieces(reinterpret_cast<const char*>(joined.data()), 10, 0, boundaries, cursor), 10u);
    EXPECT_TRUE(s.IsWide());
    EXPECT_EQ(Biff::wstringFromLargeString(s), std::wstring(L"ab\u20AC\u00E9"));

    // 16-bit start, 8-bit continuation taken as Latin-1.
    const Bytes mixed{0x03, 0x00, 0x01, 0x3B, 0x04, 0x00, 0xE9, 0xFC};
    LargeString m;
    cursor = 0;
    EXPECT_EQ(m.ReadPieces(reinterpret_cast<const char*>(mixed.data()), 8, 0, {5}, cursor), 8u);
    EXPECT_EQ(Biff::wstringFromLargeString(m), std::wstring(L"\u043B\u00E9\u00FC"));
    EXPECT_EQ(m.DataSize(), 3u + 6u);

    // Runs skipped once, after the last piece, even when split by a boundary.
    const Bytes richSplit{0x02, 0x00, 0x08, 0x01, 0x00, 'a', 0x00, 'b', 1, 2, 3, 4};
    LargeString r;
    cursor = 0;
    EXPECT_EQ(r.ReadPieces(reinterpret_cast<const char*>(richSplit.data()), 12, 0, {6, 10}, cursor), 12u);
    EXPECT_EQ(Biff::wstringFromLargeString(r), L"ab");

    // A boundary that would cut a 16-bit character is malformed.
    const Bytes cut{0x02, 0x00, 0x01, 'a', 0x00, 'b', 0x00};
    LargeString c;
    cursor = 0;
    EXPECT_EQ(c.ReadPieces(reinterpret_cast<const char*>(cut.data()), 7, 0, {4}, cursor), 0u);

    // ContinueRead appends one piece.
    LargeString k;
    k = "x";
    const Bytes piece{0x01, 'y', 0x00};
    EXPECT_EQ(k.ContinueRead(reinterpret_cast<const char*>(piece.data()), 3, 1), 3u);
    EXPECT_EQ(Biff::wstringFromLargeString(k), L"xy");
    EXPECT_EQ(k.ContinueRead(reinterpret_cast<const char*>(piece.data()), 3, 2), 0u);
}

TEST(BiffLargeString, OverlongTextsAreRefusedOrCut)
{
    const std::wstring tooLong(65536, L'w');
    LargeString s;
    s = L"keep";
    EXPECT_FALSE(s.Assign(tooLong.c_str()));
    EXPECT_EQ(Biff::wstringFromLargeString(s), L"keep");

    s = tooLong.c_str();
    EXPECT_EQ(s.CharacterCount(), 65535u);
    Bytes out = writeData(s);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xFF);

    // The cut never keeps half of a surrogate pair.
    std::wstring pairs(65534, L'p');
    pairs += static_cast<wchar_t>(0xD83D);
    pairs += static_cast<wchar_t>(0xDE00);
    s = pairs.c_str();
    EXPECT_EQ(s.CharacterCount(), 65534u);

    // Units pushed directly past the limit are still written with a true count.
    LargeString direct;
    direct = L"";
    direct.wideText.assign(70000, L'd');
    EXPECT_EQ(writeData(direct).size(), 3u + 2u * 65535u);

    const std::string narrowLong(65536, 'n');
    LargeString n;
    EXPECT_FALSE(n.Assign(narrowLong.c_str()));
    EXPECT_TRUE(n.Assign(narrowLong.substr(1).c_str()));
}

TEST(BiffTextConversion, Latin1WithoutTheLocale)
{
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(widen_string(std::string("\xE9t\xE9")), std::wstring(L"\u00E9t\u00E9"));
    EXPECT_EQ(Biff::widen_string(std::vector<char>{'\xFF', 'a'}), std::wstring(L"\u00FFa"));
    EXPECT_EQ(narrow_string(std::wstring(L"a\u00E9\u20ACb")), std::string("a\xE9?b"));
    EXPECT_EQ(narrow_string(std::wstring()), std::string());
    EXPECT_EQ(widen_string(std::string()), std::wstring());
}
