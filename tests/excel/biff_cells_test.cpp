// Cell records, formula groups and the cell blocks that hold them (shared
// through reference counts: the sanitizer build sees any double release).

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "biff/cellblock.h"
#include "biff/smartptr.h"
#include "biff/worksheet.h"

#include "biff_cells_testutil.h"
#include "biff_testutil.h"

using Biff::Record;
using CellBlock = Biff::Worksheet::CellTable::RowBlock::CellBlock;
using Formula = CellBlock::Formula;

using namespace biffTest;

namespace {

std::vector<char> TokenBytes(unsigned short tokens)
{
    std::vector<char> out(2 + tokens);
    out[0] = static_cast<char>(tokens & 0xFF), out[1] = static_cast<char>(tokens >> 8);
    for (unsigned short i = 0; i < tokens; ++i)
        out[2 + i] = static_cast<char>(0x40 + i % 31);
    return out;
}

template <typename R>
R ReadBack(const std::vector<char>& bytes)
{
    R record;
    EXPECT_EQ(record.Read(bytes.data(), static_cast<unsigned int>(bytes.size())), bytes.size());
    return record;
}

template <typename R>
unsigned int ReadBytes(const std::vector<char>& bytes)
{
    R record;
    return record.Read(bytes.data(), static_cast<unsigned int>(bytes.size()));
}

// A record of kind R holding two tokens, whose token length (at byte `at`)
// is then stated as `length`, read back.
template <typename R>
unsigned int ReadWithTokenLength(std::size_t at, unsigned short length)
{
    R record;
    record.formula = TokenBytes(2);
    std::vector<char> bytes = Written(record);
    bytes[at] = static_cast<char>(length & 0xFF), bytes[at + 1] = static_cast<char>(length >> 8);
    return ReadBytes<R>(bytes);
}

// The record writes exactly these bytes, and reading them gives a record that
// writes them again.
template <typename R>
void ExpectForm(R& record, const char* hex)
{
    const std::vector<char> bytes = Hex(hex);
    EXPECT_EQ(Written(record), bytes) << hex;
    R back = ReadBack<R>(bytes);
    EXPECT_EQ(Written(back), bytes) << hex;
}

} // namespace

TEST(CellBytes, FixedAndMulRecords)
{
    // Each kind read into a cell block knows its place and writes back the
    // same bytes; the values are checked end to end by the workbook tests'
    // independent reader.
    const struct { const char* hex; int row, col; } kinds[] = {
        {"01 02 06 00 01 00 02 00 0F 00", 1, 2},
        {"05 02 08 00 02 01 03 00 04 00 2A 01", 0x0102, 3},
        {"FD 00 0A 00 07 00 08 00 09 00 04 03 02 F1", 7, 8},
        {"03 02 0E 00 05 00 06 00 00 00 00 00 00 00 00 00 F8 3F", 5, 6},
        {"7E 02 0A 00 01 00 FF 00 00 00 01 C0 62 40", 1, 0xFF},
        {"BE 00 0C 00 00 00 03 00 0F 00 10 00 11 00 05 00", 0, 3},
        {"BD 00 12 00 02 00 00 00 0F 00 16 00 00 00 10 00 FE FF FF FF 01 00", 2, 0},
    };
    for (const auto& k : kinds) {
        const std::vector<char> bytes = Hex(k.hex);
        CellBlock block;
        ASSERT_EQ(block.Read(bytes.data(), static_cast<unsigned int>(bytes.size())), bytes.size()) << k.hex;
        EXPECT_EQ(block.type, U16(bytes, 0));
        EXPECT_EQ(block.RowIndex() * 1000 + block.ColIndex(), k.row * 1000 + k.col) << k.hex;
        EXPECT_EQ(Written(block), bytes);
    }
    Formula::Table table = ReadBack<Formula::Table>(Hex("36 00 10 00 01 00 02 00 03 04 05 00 06 00 07 00 08 00 09 00"));
    EXPECT_EQ(table.lastColIndex + table.inputCellColIndex2, 4 + 9);
    EXPECT_EQ(Written(table), Hex("36 00 10 00 01 00 02 00 03 04 05 00 06 00 07 00 08 00 09 00"));
    Formula::ShrFmla shared = ReadBack<Formula::ShrFmla>(Hex("BC 00 0B 00 01 00 02 00 03 04 00 00 01 00 40"));
    EXPECT_EQ(Written(shared), Hex("BC 00 0B 00 01 00 02 00 03 04 00 00 01 00 40"));
    EXPECT_TRUE(shared.Read("", 0) == 0u && shared.formula.empty()) << "a failed read keeps no tokens of the earlier one";

    // The last column is written after the entries; the sizes count them.
    CellBlock::MulRK mulRK;
    mulRK.xfRKs = {CellBlock::MulRK::XFRK(15, 0x16), CellBlock::MulRK::XFRK(16, 0xFFFFFFFE)}, mulRK.lastColIndex = 1;
    ExpectForm(mulRK, "BD 00 12 00 00 00 00 00 0F 00 16 00 00 00 10 00 FE FF FF FF 01 00");

    // An SST index beyond four bytes is refused, not wrapped.
    CellBlock::LabelSST label;
    label.sstIndex = 0x100000000ull;
    std::vector<char> out(label.RecordSize(), 0x55);
    EXPECT_TRUE(label.Write(out.data()) == 0u && out == std::vector<char>(14, 0x55));
    // A longer fixed record is read whole and written back at its own size.
    CellBlock::Blank blank;
    const std::vector<char> longer = Hex("01 02 08 00 01 00 02 00 0F 00 AA BB");
    EXPECT_TRUE(blank.Read(longer.data(), 12) == 12u && Written(blank) == Hex("01 02 06 00 01 00 02 00 0F 00"));
}

TEST(CellBytes, StringResultsAreLatin1AndWidenWhenTheyMust)
{
    Formula::String s;
    ASSERT_TRUE(s.SetText(L"caf\u00e9"));
    ExpectForm(s, "07 02 07 00 04 00 00 63 61 66 E9");
    EXPECT_EQ(std::wstring(ReadBack<Formula::String>(Written(s)).text), L"caf\u00e9");
    ASSERT_TRUE(s.SetText(L"a\u0101")); // never squeezed into a byte
    ExpectForm(s, "07 02 07 00 02 00 01 61 00 01 01");
    EXPECT_EQ(std::wstring(ReadBack<Formula::String>(Written(s)).text), L"a\u0101");

    Formula::String copy(s), assigned;
    assigned = s;
    Formula::String& same = s;
    s = same;
    ASSERT_TRUE(s.SetText(L"two"));
    EXPECT_TRUE(std::wstring(copy.text) == L"a\u0101" && std::wstring(assigned.text) == L"a\u0101") << "copies own their text";
    const std::vector<char> cut = Hex("07 02 04 00 05 00 00 61");
    EXPECT_TRUE(assigned.Read(cut.data(), 8) == 0u && assigned.empty()) << "a failed read leaves no text of the earlier one";
    EXPECT_EQ(Written(assigned), Hex("07 02 00 00"));

    std::wstring longText(65536, L'a');
    EXPECT_FALSE(s.SetText(longText.c_str())) << "over the count limit";
    EXPECT_EQ(std::wstring(s.text), L"two");
    longText.pop_back();
    EXPECT_TRUE(s.SetText(longText.c_str()) && s.Length() == 65535u);
    // Text put in place by hand past the limit makes the write fail, not wrap.
    s.Reset();
    s.text = new wchar_t[65537](); // zeroed: the terminator
    std::wmemset(s.text, L'b', 65536);
    std::vector<char> out(s.RecordSize());
    EXPECT_EQ(s.Write(out.data()), 0u);
}

TEST(CellBytes, FormulaWithEachCompanionAndAString)
{
    // companion, its data size (tokens 2, 3, 4 of the array, shared and
    // single-cell shared formulas; the table is fixed)
    const struct { unsigned short code; unsigned int size; } companions[] = {
        {0xFFFF, 0}, {0x0221, 12 + 4}, {0x00BC, 8 + 5}, {0x04BC, 8 + 6}, {0x0036, 16}};
    for (const auto& c : companions) {
        SCOPED_TRACE(c.code);
        Formula f;
        f.rowIndex = 12, f.colIndex = 34, f.xfIndex = 56, f.options = 0x0008;
        std::memcpy(f.result, "\1\2\3\4\5\6\xFF\xFF", 8);
        f.formula = TokenBytes(7), f.companionType = c.code;
        f.array.formula = TokenBytes(2), f.shrfmla.formula = TokenBytes(3), f.shrfmla1.formula = TokenBytes(4);
        ASSERT_TRUE(f.string.SetText(L"r\u00e9sult"));

        const std::vector<char> bytes = Written(f);
        const std::size_t companion = 4 + 20 + 9;
        ASSERT_EQ(bytes.size(), companion + (c.size ? 4 + c.size : 0) + 4 + 9);
        EXPECT_EQ(std::vector<char>(bytes.begin(), bytes.begin() + 24),
                  Hex("06 00 1D 00 0C 00 22 00 38 00 01 02 03 04 05 06 FF FF 08 00 00 00 00 00"));
        EXPECT_TRUE(!c.size || (U16(bytes, companion) == c.code && U16(bytes, companion + 2) == c.size));
        EXPECT_EQ(U16(bytes, bytes.size() - 13), 0x0207u) << "the string last";
        Formula g = ReadBack<Formula>(bytes);
        EXPECT_TRUE(g.companionType == c.code && std::wstring(g.string.text) == L"r\u00e9sult");
        EXPECT_EQ(Written(g), bytes);
    }

    // Rereading a formula drops the companion and string of the earlier one.
    Formula with, without;
    with.formula = without.formula = with.shrfmla.formula = TokenBytes(1);
    with.companionType = 0x00BC;
    ASSERT_TRUE(with.string.SetText(L"old"));
    const std::vector<char> plain = Written(without);
    EXPECT_EQ(with.Read(plain.data(), static_cast<unsigned int>(plain.size())), plain.size());
    EXPECT_TRUE(with.companionType == 0xFFFF && with.string.empty());
}

TEST(CellContinue, VariableRecordsSizeWhatTheyWriteAcrossPieces)
{
    for (unsigned int n : {4108u, 4109u, 4110u, 4111u, 8300u}) {
        CellBlock::MulBlank mb;
        mb.xfIndices.assign(n, 7), mb.lastColIndex = static_cast<unsigned short>(n - 1);
        const std::vector<char> out = Written(mb);
        EXPECT_TRUE(out.size() == Record::StreamSize(6 + 2 * n) && ReadBack<CellBlock::MulBlank>(out).xfIndices.size() == n) << n;
    }
    // Data of exactly 8224 bytes is one piece, 8225 two.
    for (unsigned int tokens : {8224u - 12 - 2, 8225u - 12 - 2, 20000u}) {
        Formula::Array a;
        a.formula = TokenBytes(static_cast<unsigned short>(tokens));
        const std::vector<char> out = Written(a);
        EXPECT_TRUE(out.size() == Record::StreamSize(12 + 2 + tokens) && ReadBack<Formula::Array>(out).formula == a.formula) << tokens;
        auto roundTrip = [&](auto record) { return record.formula = a.formula, ReadBack<decltype(record)>(Written(record)).formula; };
        EXPECT_EQ(roundTrip(Formula::ShrFmla()), a.formula);
        EXPECT_EQ(roundTrip(Formula::ShrFmla1()), a.formula);
    }
    // A formula too long for one piece keeps its companion behind its pieces.
    Formula f;
    f.formula = TokenBytes(9000), f.companionType = 0x0221, f.array.formula = TokenBytes(3);
    ASSERT_TRUE(f.string.SetText(L"t"));
    Formula g = ReadBack<Formula>(Written(f));
    EXPECT_TRUE(g.formula == f.formula && g.companionType == 0x0221 && g.array.formula == f.array.formula);
    EXPECT_EQ(std::wstring(g.string.text), L"t");
}

TEST(CellContinue, LongStringResultsContinueWithAnOptionByte)
{
    // 2053 Latin-1 characters make 2056 data bytes, which fill their heap
    // block exactly: a byte stored past them breaks the heap even without the sanitizer.
    for (bool wide : {false, true}) {
        for (unsigned int n : {2053u, 4110u, 4111u, 8221u, 8222u, 30000u, 65535u}) {
            std::wstring text(n, wide ? L'\u0416' : L'z');
            text[n - 1] = L'!';
            Formula::String s;
            ASSERT_TRUE(s.SetText(text.c_str()));
            const std::vector<char> out = Written(s);
            const std::vector<Piece> pieces = Pieces(out);
            for (std::size_t i = 1; i < pieces.size(); ++i)
                EXPECT_TRUE(pieces[i].payload.size() <= 8224u && pieces[i].code == 0x003C && pieces[i].payload[0] == (wide ? 1 : 0)) << i;
            EXPECT_EQ(std::wstring(ReadBack<Formula::String>(out).text), text) << n << " wide " << wide;
        }
    }
    // Pieces of another writer: 8-bit then 16-bit, 16-bit then Latin-1, a
    // first piece longer than a stream piece may be, empty pieces between.
    const struct { const char* hex; std::wstring text; } foreign[] = {
        {"07 02 05 00 03 00 00 61 62  3C 00 03 00 01 16 04", L"ab\u0416"},
        {"07 02 05 00 02 00 01 16 04  3C 00 02 00 00 E9", L"\u0416\u00e9"},
        {"07 02 04 00 02 00 00 61  3C 00 00 00  3C 00 02 00 00 62", L"ab"},
    };
    for (const auto& f : foreign)
        EXPECT_EQ(std::wstring(ReadBack<Formula::String>(Hex(f.hex)).text), f.text) << f.hex;
    std::vector<char> bytes = Hex("07 02 2B 23 2A 23 00");
    bytes.insert(bytes.end(), 9000, 'x');
    Append(bytes, Hex("3C 00 05 00 01 16 04 17 04"));
    EXPECT_EQ(std::wstring(ReadBack<Formula::String>(bytes).text), std::wstring(9000, L'x') + L"\u0416\u0417");
}

TEST(CellBlocks, KindsSwitchAndReadWithTheirPosition)
{
    // Small kinds are held inside the block, the others apart; switching
    // between them must release each record once (the sanitizer sees it).
    CellBlock block;
    char byte = 0x55;
    EXPECT_TRUE(block.RecordSize() == 0u && block.Write(&byte) == 0u && byte == 0x55);
    block.SetType(0x0203);
    static_cast<CellBlock::Number*>(block.record)->value = 2.5;
    block.SetType(0x0203);
    EXPECT_EQ(static_cast<CellBlock::Number*>(block.record)->value, 2.5) << "the same kind keeps its record";
    for (unsigned short kind : {0x00FD, 0x0006, 0x0201, 0x00BD, 0x0205, 0x0203, 0x00BE, 0x027E, 0x00FD}) {
        block.SetType(kind);
        ASSERT_NE(block.record, nullptr) << kind;
        EXPECT_TRUE(block.type == kind && block.record->code == kind && block.RecordSize() == block.record->RecordSize()) << kind;
    }
    block.Reset();
    EXPECT_TRUE(block.type == 0xFFFF && block.record == nullptr);

    const std::vector<char> row = Hex("08 02 10 00 00 00 00 00 00 00 FF 00 00 00 00 00 00 01 00 00");
    EXPECT_TRUE(block.Read(row.data(), static_cast<unsigned int>(row.size())) == 0u && block.type == 0xFFFF) << "no cell record";
    EXPECT_DEATH(block.RowIndex(), "empty cell block");
    EXPECT_DEATH(block.ColIndex(), "empty cell block");
}

TEST(CellHostile, RecordsPromisingMoreThanTheyHoldAreRefused)
{
    const struct { const char* hex; unsigned int read; const char* what; } cells[] = {
        {"BE 00 08 00 00 00 00 00 0F 00 09 00", 0, "columns 0..9 but one entry"},
        {"BE 00 08 00 00 00 05 00 0F 00 04 00", 0, "reversed range"},
        {"BE 00 02 00 00 00", 0, "no room for the last column"},
        {"BE 00 08 00 00 00 00 00 0F 00 00 00", 12, "one entry"},
        {"BD 00 0C 00 00 00 00 00 0F 00 02 00 00 00 01 00", 0, "MULRK: two columns, one entry"},
        {"BD 00 0C 00 00 00 01 00 0F 00 02 00 00 00 00 00", 0, "MULRK: reversed range"},
        {"BD 00 0C 00 00 00 00 00 0F 00 02 00 00 00 00 00", 16, "MULRK: one entry"},
        {"06 00 04 00 01 00 02 00", 0, "formula shorter than its fixed fields"},
        {"05 02 04 00 00 00 00 00", 0, "BOOLERR shorter than its fields"},
        {"01 02 04 00 00 00 00 00", 0, "BLANK shorter than its fields"},
        {"7E 02 06 00 00 00 00 00 0F 00", 0, "RK shorter than its fields"},
        {"FD 00 06 00 00 00 00 00 0F 00", 0, "LABELSST shorter than its fields"},
        {"03 02 0A 00 00 00 00 00 0F 00 00 00 00 00", 0, "NUMBER shorter than its fields"},
        {"06 00 15 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00", 0,
         "a single byte cannot hold the token length"},
    };
    for (const auto& c : cells)
        EXPECT_EQ(ReadBytes<CellBlock>(Hex(c.hex)), c.read) << c.what;

    // One token byte more than there are.
    EXPECT_EQ(ReadWithTokenLength<Formula>(4 + 20, 3), 0u);
    EXPECT_EQ(ReadWithTokenLength<Formula>(4 + 20, 0xFFFF), 0u);
    EXPECT_EQ(ReadWithTokenLength<Formula::ShrFmla>(4 + 8, 3), 0u);
    EXPECT_EQ(ReadWithTokenLength<Formula::Array>(4 + 12, 3), 0u);

    // A broken companion or string fails the whole formula.
    Formula f;
    f.formula = TokenBytes(4);
    f.companionType = 0x00BC;
    f.shrfmla.formula = TokenBytes(1);
    ASSERT_TRUE(f.string.SetText(L"abc"));
    std::vector<char> bytes = Written(f);
    EXPECT_EQ(ReadBytes<Formula>(std::vector<char>(bytes.begin(), bytes.end() - 1)), 0u) << "cut inside the STRING";
    bytes[bytes.size() - 6] = 9;
    EXPECT_EQ(ReadBytes<Formula>(bytes), 0u) << "STRING counting more characters than it holds";

    for (const char* hex : {"07 02 04 00 01 00 01 16  3C 00 02 00 01 04", // a 16-bit character cut by a piece
                            "07 02 02 00 01 00  3C 00 02 00 00 61",       // a piece boundary in count and flag
                            "07 02 02 00 01 00", "07 02 03 00 01 00 00  3C 00 00 00"}) // no option byte
        EXPECT_EQ(ReadBytes<Formula::String>(Hex(hex)), 0u) << hex;
}

TEST(CellHostile, EveryTruncationOfEveryKindFailsCleanly)
{
    Formula f;
    f.formula = TokenBytes(6), f.companionType = 0x0221, f.array.formula = TokenBytes(2);
    ASSERT_TRUE(f.string.SetText(L"hello"));
    CellBlock::MulRK m;
    m.xfRKs.resize(3), m.lastColIndex = 2;
    CellBlock::Number n;
    for (const std::vector<char>& sample : {Written(f), Written(m), Written(n)}) {
        for (std::size_t cut = 0; cut < sample.size(); ++cut) {
            // A heap copy of exactly `cut` bytes: the sanitizer sees any read past it.
            std::vector<char> bytes(sample.begin(), sample.begin() + static_cast<long>(cut));
            CellBlock block;
            const unsigned int got = block.Read(bytes.empty() ? nullptr : bytes.data(), static_cast<unsigned int>(cut));
            // The formula group may end after a whole record when the next
            // one's header is cut; it never reads more than it was given.
            EXPECT_TRUE(got == 0 || (sample[0] == 0x06 && (got == 32 || got == 52) && cut < got + 4)) << cut;
        }
    }
}
