// Workbook globals substream and its records.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "biff/textconversion.h"
#include "biff/workbook.h"

#include "biff_testutil.h"

using Biff::Workbook;

using namespace biffTest;

namespace {

// Identifier and total size of every record in a stream, CONTINUE pieces
// counted with the record they follow.
std::vector<std::pair<unsigned, std::size_t>> layout(const Bytes& s)
{
    std::vector<std::pair<unsigned, std::size_t>> out;
    std::size_t p = 0;
    while (p + 4 <= s.size()) {
        const unsigned code = s[p] | (s[p + 1] << 8);
        const std::size_t n = 4 + (s[p + 2] | (s[p + 3] << 8));
        if (code == 0x003C && !out.empty())
            out.back().second += n;
        else
            out.push_back({code, n});
        p += n;
    }
    return out;
}

Workbook defaultGlobals()
{
    Workbook w;
    w.fonts.resize(1);
    w.XFs.resize(21);
    w.styles.resize(6);
    w.boundSheets.resize(1);
    return w;
}

} // namespace

TEST(BiffGlobals, DefaultWorkbookLayout)
{
    Workbook w = defaultGlobals();
    const Bytes stream = writeExact(w);
    // The record order is checked by the workbook's layout test; here the
    // sizes and the default field bytes.
    EXPECT_EQ(w.RecordSize(), 20u + 22u + 30u + 21u * 24u + 6u * 8u + 18u + 12u + 4u);
    EXPECT_EQ(w.DataSize(), w.RecordSize());

    // Default WINDOW1, FONT and XF field bytes.
    EXPECT_EQ(Bytes(stream.begin() + 24, stream.begin() + 42),
              (Bytes{120, 0, 120, 0, 0x1F, 0x3B, 0x54, 0x24, 0x38, 0, 0, 0, 0, 0, 1, 0, 0x58, 0x02}));
    const std::size_t font = 42;
    EXPECT_EQ(Bytes(stream.begin() + font + 4, stream.begin() + font + 20),
              (Bytes{0xC8, 0, 0, 0, 0xFF, 0x7F, 0x90, 0x01, 0, 0, 0, 0, 0, 0, 5, 1}));
    const std::size_t xf = font + 30;
    EXPECT_EQ(Bytes(stream.begin() + xf + 4, stream.begin() + xf + 24),
              (Bytes{0, 0, 0, 0, 0xF5, 0xFF, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x20}));
    // The EXTSST index (not part of the stream): per bucket a stream position,
    // the offset in its piece and a reserved word.
    Workbook::ExtSST ext;
    ext.stringsPerBucket = 10, ext.streamPositions = {0x01020304}, ext.recordOffsets = {0x0506}, ext.reservedWords = {0x0708};
    EXPECT_EQ(writeExact(ext), (Bytes{0xFF, 0x00, 0x0A, 0x00, 0x0A, 0x00, 4, 3, 2, 1, 6, 5, 8, 7}));
}

TEST(BiffGlobals, RoundTripKeepsEveryField)
{
    // Each field a value of its own, so a field read from its neighbour's
    // place shows in the bytes written again.
    Workbook w = defaultGlobals();
    Workbook::Window1& w1 = w.window1;
    w1.horizontalPosition = 0x0102, w1.verticalPosition = 0x0304, w1.width = 0x0506, w1.height = 0x0708;
    w1.options = 0x090A, w1.activeSheet = 2, w1.firstVisibleTab = 0x0B0C, w1.selectedSheets = 0x0D0E;
    w1.tabBarWidth = 777;
    w.fonts[0].weight = 700;
    w.fonts[0].name = L"Ar\u00EFal \u4E2D";
    w.fonts.emplace_back();
    Workbook::Font& f = w.fonts.back();
    f.name = "Courier";
    f.height = 240, f.options = 0x0102, f.colourIndex = 0x0304, f.escapement = 0x0506;
    f.underline = 0x07, f.family = 0x08, f.characterSet = 0xEE, f.reserved = 0x0A;
    Workbook::XF& xf = w.XFs[3];
    xf.fontIndex = 5, xf.formatIndex = 164, xf.protectionType = 0x0102, xf.alignment = 0x03, xf.rotation = 0x04;
    xf.textProperties = 0x05, xf.usedAttributes = 0x06, xf.borderLines = 0x11223344, xf.colour1 = 0x55667788;
    xf.colour2 = 0x99AA;
    w.styles[1].builtinIdentifier = 3;
    w.styles[1].outlineLevel = 4;
    w.styles[2].xfIndex = 0x0010;
    w.styles[2].name = L"Mine";
    w.formats.emplace_back();
    w.formats.back().index = 164;
    w.formats.back().formatString = L"0.000";
    w.boundSheets[0].bofPosition = 0x12345;
    w.boundSheets[0].name = L"Blatt \u00DC";
    w.boundSheets.emplace_back();
    w.boundSheets.back().name = "Second";
    w.boundSheets.back().visibility = 1;
    w.boundSheets.back().sheetType = 2;
    w.sharedStringTable.strings.resize(2);
    w.sharedStringTable.strings[0] = L"x\u00E9";
    w.sharedStringTable.strings[1] = std::string(9000, 'q').c_str();
    w.sharedStringTable.totalStrings = 7;

    // Every field is read: written again it gives the same bytes.
    const Bytes stream = writeExact(w);
    Workbook back;
    EXPECT_EQ(readExact(back, stream), stream.size());
    EXPECT_EQ(back.sharedStringTable.strings.size(), 2u);
    EXPECT_EQ(Biff::wstringFromSmallString(back.fonts[0].name), L"Ar\u00EFal \u4E2D");
    EXPECT_EQ(writeExact(back), stream);
}

TEST(BiffGlobals, FormatsAndStyles)
{
    // Only workbook formats (from 164 on) are written, between the fonts and the XFs.
    Workbook w = defaultGlobals();
    const unsigned int base = w.RecordSize();
    w.formats.resize(3);
    w.formats[0].index = 163;
    w.formats[1].index = 164;
    w.formats[2].index = 14;
    EXPECT_EQ(w.RecordSize(), base + 4u + 2u + 17u);
    const auto records = layout(writeExact(w));
    EXPECT_EQ(records[3], (std::pair<unsigned, std::size_t>{0x041E, 23}));
    EXPECT_EQ(records[4].first, 0x00E0u);
    // An overlong format text is refused, not split blindly.
    w.formats[1].formatString = std::wstring(5000, L'0').c_str();
    std::vector<char> all(w.RecordSize());
    EXPECT_EQ(w.Write(all.data()), 0u);

    Workbook::Style builtin;
    EXPECT_EQ(writeExact(builtin), (Bytes{0x93, 0x02, 0x04, 0x00, 0x00, 0x80, 0x00, 0xFF}));
    Workbook::Style user;
    user.xfIndex = 0x0010;
    user.name = L"Custom";
    const Bytes out = writeExact(user);
    EXPECT_EQ(out.size(), 4u + 17u);
    EXPECT_EQ(Bytes(out.begin() + 4, out.begin() + 9), (Bytes{0x10, 0x00, 0x06, 0x00, 0x01}));
    Workbook::Style back;
    EXPECT_TRUE(readExact(back, out) == out.size() && writeExact(back) == out);
    Bytes cut;
    appendPiece(cut, 0x0293, Bytes{0x10, 0x00, 0x05, 0x00, 0x00, 'a'});
    EXPECT_EQ(readExact(back, cut), 0u) << "a user style's name promising more than the record holds";
}

TEST(BiffGlobals, FormatAndStyleTextsResumeAfterAnOversizedPiece)
{
    // A FORMAT whose first piece is longer than a stream piece may be: the
    // text still resumes after the option byte of the CONTINUE piece.
    Bytes format{0x1E, 0x04, 0x00, 0x00, 0xA4, 0x00, 0x2A, 0x23, 0x00};
    format.insert(format.end(), 9000, '0');
    const Bytes tail{0x3C, 0x00, 0x05, 0x00, 0x01, 0x25, 0x00, 0x23, 0x00};
    format.insert(format.end(), tail.begin(), tail.end());
    format[2] = static_cast<unsigned char>((format.size() - 4 - tail.size()) & 0xFF);
    format[3] = static_cast<unsigned char>((format.size() - 4 - tail.size()) >> 8);
    Workbook::Format f;
    EXPECT_TRUE(readExact(f, format) == format.size() && f.index == 164);
    EXPECT_EQ(Biff::wstringFromLargeString(f.formatString), std::wstring(9000, L'0') + L"%#");

    Bytes style{0x93, 0x02, 0x00, 0x00, 0x10, 0x00, 0x2A, 0x23, 0x00};
    style.insert(style.end(), 9000, 's');
    style.insert(style.end(), tail.begin(), tail.end());
    style[2] = format[2], style[3] = format[3];
    Workbook::Style s;
    EXPECT_EQ(readExact(s, style), style.size());
    EXPECT_EQ(Biff::wstringFromLargeString(s.name), std::wstring(9000, L's') + L"%#");
}

TEST(BiffGlobals, UnknownRecordsAreSkippedWhole)
{
    Workbook w = defaultGlobals();
    Bytes stream = writeExact(w);
    const Bytes eof(stream.end() - 4, stream.end());
    stream.resize(stream.size() - 4);
    // EXTSST and an unknown record with a CONTINUE piece whose bytes look
    // like a FONT header.
    appendPiece(stream, 0x00FF, Bytes{8, 0, 1, 2, 3, 4, 5, 6, 7, 8});
    appendPiece(stream, 0x0123, Bytes{1, 2, 3});
    appendPiece(stream, 0x003C, Bytes{0x31, 0x00, 0x02, 0x00, 0, 0});
    stream.insert(stream.end(), eof.begin(), eof.end());

    Workbook back;
    EXPECT_EQ(readExact(back, stream), stream.size());
    EXPECT_EQ(back.fonts.size(), 1u);
    EXPECT_EQ(back.XFs.size(), 21u);
}

TEST(BiffGlobals, HostileStreamsFailCleanly)
{
    Workbook w = defaultGlobals();
    const Bytes stream = writeExact(w);

    // Every truncation fails: a record is cut or the EOF is missing.
    for (std::size_t n = 0; n < stream.size(); n += 3) {
        Workbook back;
        EXPECT_EQ(readExact(back, Bytes(stream.begin(), stream.begin() + n)), 0u) << n;
    }

    // A font name claiming more characters than the record holds, a
    // boundsheet shorter than its fixed part, a style cut after its index.
    const struct { unsigned short code; Bytes payload; } bad[] = {
        {0x0031, {0xC8, 0, 0, 0, 0xFF, 0x7F, 0x90, 0x01, 0, 0, 0, 0, 0, 0, 9, 0, 'A'}},
        {0x0085, {1, 2, 3}},
        {0x0293, {0x00, 0x80, 0x00}},
    };
    for (const auto& b : bad) {
        Bytes s;
        appendPiece(s, b.code, b.payload);
        appendPiece(s, 0x000A, Bytes());
        Workbook r;
        EXPECT_EQ(readExact(r, s), 0u) << b.code;
    }
    // A wide sheet name with half a character.
    Workbook::BoundSheet sheet;
    Bytes halfWide;
    appendPiece(halfWide, 0x0085, Bytes{0, 0, 0, 0, 0, 0, 1, 1, 'a'});
    EXPECT_EQ(readExact(sheet, halfWide), 0u);
}
