// Cell records, formula groups, cell blocks and the reference counting that
// holds them.

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

using namespace biffTest;

namespace {

std::vector<char> TokenBytes(unsigned short tokens)
{
    std::vector<char> out(2 + tokens);
    out[0] = static_cast<char>(tokens & 0xFF);
    out[1] = static_cast<char>(tokens >> 8);
    for (unsigned short i = 0; i < tokens; ++i)
        out[2 + i] = static_cast<char>(0x40 + i % 31);
    return out;
}

// ---------------------------------------------------------------- counting

class Tracked : public RefCount::RefCnt {
public:
    explicit Tracked(int* deaths) : deaths_(deaths) {}
    ~Tracked() { ++*deaths_; }
    int* deaths_;
};

TEST(RefCount, CountsFollowTheHoldersAndTheLastOneDeletes)
{
    int deaths = 0;
    Tracked* object = new Tracked(&deaths);
    EXPECT_EQ(object->UseCount(), 0);
    {
        RefCount::SmartPtr<Tracked> a(object);
        EXPECT_EQ(object->UseCount(), 1);
        {
            RefCount::SmartPtr<Tracked> b(a);
            RefCount::SmartPtr<Tracked> c;
            c = b;
            EXPECT_EQ(object->UseCount(), 3);
            EXPECT_TRUE(c);
        }
        EXPECT_EQ(object->UseCount(), 1);
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 1);
}

TEST(RefCount, AssigningTheHeldObjectKeepsItAlive)
{
    int deaths = 0;
    RefCount::SmartPtr<Tracked> a(new Tracked(&deaths));
    Tracked* raw = a.get();
    a = raw;
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(raw->UseCount(), 1);
    RefCount::SmartPtr<Tracked>& same = a;
    a = same;
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(raw->UseCount(), 1);
    a = nullptr;
    EXPECT_EQ(deaths, 1);
    EXPECT_FALSE(a);
}

TEST(RefCount, ReassignmentReleasesTheOldObjectAndMovesDoNotCount)
{
    int first = 0, second = 0;
    RefCount::SmartPtr<Tracked> a(new Tracked(&first));
    a = new Tracked(&second);
    EXPECT_EQ(first, 1);
    RefCount::SmartPtr<Tracked> b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b->UseCount(), 1);
    RefCount::SmartPtr<Tracked> c;
    c = std::move(b);
    EXPECT_EQ(c->UseCount(), 1);
    EXPECT_EQ(second, 0);
    c = RefCount::SmartPtr<Tracked>();
    EXPECT_EQ(second, 1);
}

TEST(RefCount, ACopiedObjectStartsUnheld)
{
    int deaths = 0;
    RefCount::SmartPtr<Tracked> a(new Tracked(&deaths));
    Tracked copy(*a);
    EXPECT_EQ(copy.UseCount(), 0);
    copy = *a;
    EXPECT_EQ(copy.UseCount(), 0);
    EXPECT_EQ(a->UseCount(), 1);
    copy.deaths_ = &deaths; // the stack copy also counts its own end
}

TEST(RefCount, LastPointerToACellBlockDeletesBlockAndRecord)
{
    // ASan reports a leak or a double free if either goes wrong.
    RefCount::SmartPtr<CellBlock> a(new CellBlock);
    a->SetType(0x00FD);
    {
        RefCount::SmartPtr<CellBlock> b = a;
        EXPECT_EQ(a->UseCount(), 2);
    }
    ASSERT_TRUE(a);
    EXPECT_EQ(a->type, 0x00FD);
    EXPECT_EQ(a->UseCount(), 1);
}

// ---------------------------------------------------------------- byte layouts

TEST(CellBytes, BlankIsTenBytes)
{
    CellBlock::Blank blank;
    blank.rowIndex = 1;
    blank.colIndex = 2;
    blank.xfIndex = 15;
    EXPECT_EQ(Written(blank), Hex("01 02 06 00 01 00 02 00 0F 00"));
}

TEST(CellBytes, FixedRecordsLayOutTheirFields)
{
    CellBlock::BoolErr boolErr;
    boolErr.rowIndex = 0x0102;
    boolErr.colIndex = 3;
    boolErr.xfIndex = 4;
    boolErr.value = 0x2A;
    boolErr.error = 1;
    EXPECT_EQ(Written(boolErr), Hex("05 02 08 00 02 01 03 00 04 00 2A 01"));

    CellBlock::LabelSST label;
    label.rowIndex = 7;
    label.colIndex = 8;
    label.xfIndex = 9;
    label.sstIndex = 0x01020304;
    EXPECT_EQ(Written(label), Hex("FD 00 0A 00 07 00 08 00 09 00 04 03 02 01"));

    CellBlock::Number number;
    number.value = 1.5;
    EXPECT_EQ(Written(number), Hex("03 02 0E 00 00 00 00 00 00 00 00 00 00 00 00 00 F8 3F"));

    CellBlock::RK rk;
    rk.rowIndex = 1;
    rk.value = 0x4062C001;
    EXPECT_EQ(Written(rk), Hex("7E 02 0A 00 01 00 00 00 00 00 01 C0 62 40"));

    CellBlock::Formula::Table table;
    table.firstRowIndex = 1;
    table.lastRowIndex = 2;
    table.firstColIndex = 3;
    table.lastColIndex = 4;
    table.options = 5;
    table.inputCellRowIndex = 6;
    table.inputCellColIndex = 7;
    table.inputCellRowIndex2 = 8;
    table.inputCellColIndex2 = 9;
    EXPECT_EQ(Written(table), Hex("36 00 10 00 01 00 02 00 03 04 05 00 06 00 07 00 08 00 09 00"));
}

// The last column is written after the entries; the sizes count them.
TEST(CellBytes, MulRecordsSizesAndLastColumn)
{
    CellBlock::MulBlank blank;
    blank.rowIndex = 0;
    blank.firstColIndex = 3;
    blank.xfIndices = {15, 16, 17};
    blank.lastColIndex = 5;
    EXPECT_EQ(blank.DataSize(), 12u);
    EXPECT_EQ(Written(blank), Hex("BE 00 0C 00 00 00 03 00 0F 00 10 00 11 00 05 00"));

    CellBlock::MulRK rk;
    rk.rowIndex = 2;
    rk.firstColIndex = 0;
    rk.xfRKs = {CellBlock::MulRK::XFRK(15, 0x16), CellBlock::MulRK::XFRK(16, 0xFFFFFFFE)};
    rk.lastColIndex = 1;
    EXPECT_EQ(rk.DataSize(), 18u);
    EXPECT_EQ(Written(rk), Hex("BD 00 12 00 02 00 00 00 0F 00 16 00 00 00 10 00 FE FF FF FF 01 00"));
}

TEST(CellBytes, FormulaGroupSizes)
{
    CellBlock::Formula formula;
    formula.formula = TokenBytes(3); // 5 bytes
    EXPECT_EQ(formula.RecordSize(), 29u);
    formula.companionType = 0x00BC;
    formula.shrfmla.formula = TokenBytes(3);
    EXPECT_EQ(formula.RecordSize(), 29u + 17u);
    ASSERT_TRUE(formula.string.SetText(L"abc"));
    formula.string.flag = 1;
    EXPECT_EQ(formula.RecordSize(), 29u + 17u + 13u);
    const std::vector<char> out = Written(formula);
    EXPECT_EQ(U16(out, 0), 0x0006u);
    EXPECT_EQ(U16(out, 29), 0x00BCu);
    EXPECT_EQ(U16(out, 46), 0x0207u);
    EXPECT_EQ(std::vector<char>(out.begin() + 46, out.end()),
              Hex("07 02 09 00 03 00 01 61 00 62 00 63 00"));
}

TEST(CellBytes, FormulaWritesOnlyTheCompanionItNames)
{
    const unsigned short companions[] = {0x0221, 0x00BC, 0x04BC, 0x0036};
    for (unsigned short companion : companions) {
        CellBlock::Formula formula;
        formula.formula = TokenBytes(1);
        formula.array.formula = TokenBytes(2);
        formula.shrfmla.formula = TokenBytes(3);
        formula.shrfmla1.formula = TokenBytes(4);
        formula.companionType = companion;
        const std::vector<char> out = Written(formula);
        ASSERT_GT(out.size(), 27u);
        EXPECT_EQ(U16(out, 27), static_cast<unsigned int>(companion));
        const unsigned int expected = companion == 0x0221 ? 16 + 4
                                    : companion == 0x00BC ? 12 + 5
                                    : companion == 0x04BC ? 12 + 6 : 20;
        EXPECT_EQ(out.size(), 27u + expected);
    }
}

// ---------------------------------------------------------------- round trips

template <typename R>
R ReadBack(const std::vector<char>& bytes)
{
    R record;
    EXPECT_EQ(record.Read(bytes.data(), static_cast<unsigned int>(bytes.size())), bytes.size());
    return record;
}

TEST(CellRoundTrip, FixedKinds)
{
    CellBlock::BoolErr b;
    b.rowIndex = 65535;
    b.colIndex = 255;
    b.xfIndex = 21;
    b.value = 0x07;
    b.error = 1;
    CellBlock::BoolErr b2 = ReadBack<CellBlock::BoolErr>(Written(b));
    EXPECT_EQ(b2.rowIndex, 65535);
    EXPECT_EQ(b2.colIndex, 255);
    EXPECT_EQ(b2.xfIndex, 21);
    EXPECT_EQ(b2.value, 0x07);
    EXPECT_EQ(b2.error, 1);

    CellBlock::LabelSST l;
    l.sstIndex = 0xFFFFFFFFull;
    EXPECT_EQ(ReadBack<CellBlock::LabelSST>(Written(l)).sstIndex, 0xFFFFFFFFull);

    CellBlock::Number n;
    n.rowIndex = 3;
    n.value = -3.14159e300;
    CellBlock::Number n2 = ReadBack<CellBlock::Number>(Written(n));
    EXPECT_EQ(n2.value, -3.14159e300);
    EXPECT_EQ(n2.rowIndex, 3);

    CellBlock::RK r;
    r.colIndex = 9;
    r.value = 0x40390001;
    CellBlock::RK r2 = ReadBack<CellBlock::RK>(Written(r));
    EXPECT_EQ(r2.value, 0x40390001u);
    EXPECT_EQ(r2.colIndex, 9);

    CellBlock::Blank k;
    k.xfIndex = 0xBEEF;
    EXPECT_EQ(ReadBack<CellBlock::Blank>(Written(k)).xfIndex, 0xBEEF);

    CellBlock::Formula::Table t;
    t.inputCellColIndex2 = 0x1234;
    t.lastColIndex = 200;
    CellBlock::Formula::Table t2 = ReadBack<CellBlock::Formula::Table>(Written(t));
    EXPECT_EQ(t2.inputCellColIndex2, 0x1234);
    EXPECT_EQ(t2.lastColIndex, 200);
}

TEST(CellRoundTrip, SstIndexBeyondFourBytesIsRefusedNotWrapped)
{
    CellBlock::LabelSST label;
    label.sstIndex = 0x100000000ull;
    std::vector<char> out(label.RecordSize(), 0x55);
    EXPECT_EQ(label.Write(out.data()), 0u);
    EXPECT_EQ(out, std::vector<char>(14, 0x55));
}

TEST(CellRoundTrip, LongerFixedRecordIsReadAndWrittenBackAtItsOwnSize)
{
    std::vector<char> bytes = Hex("01 02 08 00 01 00 02 00 0F 00 AA BB");
    CellBlock::Blank blank;
    EXPECT_EQ(blank.Read(bytes.data(), static_cast<unsigned int>(bytes.size())), 12u);
    EXPECT_EQ(blank.xfIndex, 15);
    EXPECT_EQ(Written(blank).size(), 10u);
}

TEST(CellRoundTrip, MulRecords)
{
    CellBlock::MulBlank mb;
    mb.rowIndex = 4;
    mb.firstColIndex = 10;
    for (unsigned short i = 0; i < 20; ++i)
        mb.xfIndices.push_back(static_cast<unsigned short>(100 + i));
    mb.lastColIndex = 29;
    CellBlock::MulBlank mb2 = ReadBack<CellBlock::MulBlank>(Written(mb));
    EXPECT_EQ(mb2.xfIndices, mb.xfIndices);
    EXPECT_EQ(mb2.lastColIndex, 29);
    EXPECT_EQ(mb2.rowIndex, 4);

    CellBlock::MulRK mr;
    mr.firstColIndex = 1;
    for (unsigned int i = 0; i < 5; ++i)
        mr.xfRKs.push_back(CellBlock::MulRK::XFRK(static_cast<unsigned short>(i), (i << 2) | 2));
    mr.lastColIndex = 5;
    CellBlock::MulRK mr2 = ReadBack<CellBlock::MulRK>(Written(mr));
    ASSERT_EQ(mr2.xfRKs.size(), 5u);
    for (unsigned int i = 0; i < 5; ++i) {
        EXPECT_EQ(mr2.xfRKs[i].xfIndex, i);
        EXPECT_EQ(mr2.xfRKs[i].rkValue, (i << 2) | 2);
    }
}

TEST(CellRoundTrip, FormulaWithEveryCompanionAndAString)
{
    const unsigned short companions[] = {0xFFFF, 0x0221, 0x00BC, 0x04BC, 0x0036};
    for (unsigned short companion : companions) {
        CellBlock::Formula f;
        f.rowIndex = 12;
        f.colIndex = 34;
        f.xfIndex = 56;
        const char result[8] = {0, 0, 0, 0, 0, 0, char(0xFF), char(0xFF)};
        std::memcpy(f.result, result, 8);
        f.options = 0x0008;
        f.formula = TokenBytes(7);
        f.companionType = companion;
        f.array.firstRowIndex = 12;
        f.array.lastRowIndex = 13;
        f.array.options = 3;
        f.array.formula = TokenBytes(4);
        f.shrfmla.lastColIndex = 77;
        f.shrfmla.formula = TokenBytes(5);
        f.shrfmla1.reserved = 0x0102;
        f.shrfmla1.formula = TokenBytes(6);
        f.table.inputCellRowIndex = 99;
        ASSERT_TRUE(f.string.SetText(L"r\u00e9sult"));

        const std::vector<char> bytes = Written(f);
        CellBlock::Formula g = ReadBack<CellBlock::Formula>(bytes);
        EXPECT_EQ(g.rowIndex, 12);
        EXPECT_EQ(g.colIndex, 34);
        EXPECT_EQ(g.xfIndex, 56);
        EXPECT_EQ(std::memcmp(g.result, result, 8), 0);
        EXPECT_EQ(g.options, 0x0008);
        EXPECT_EQ(g.formula, f.formula);
        EXPECT_EQ(g.companionType, companion);
        switch (companion) {
        case 0x0221:
            EXPECT_EQ(g.array.formula, f.array.formula);
            EXPECT_EQ(g.array.lastRowIndex, 13);
            EXPECT_EQ(g.array.options, 3);
            break;
        case 0x00BC:
            EXPECT_EQ(g.shrfmla.formula, f.shrfmla.formula);
            EXPECT_EQ(g.shrfmla.lastColIndex, 77);
            break;
        case 0x04BC:
            EXPECT_EQ(g.shrfmla1.formula, f.shrfmla1.formula);
            EXPECT_EQ(g.shrfmla1.reserved, 0x0102);
            break;
        case 0x0036:
            EXPECT_EQ(g.table.inputCellRowIndex, 99);
            break;
        }
        ASSERT_FALSE(g.string.empty());
        EXPECT_EQ(std::wstring(g.string.text), L"r\u00e9sult");
        EXPECT_EQ(g.RecordSize(), bytes.size());
        EXPECT_EQ(Written(g), bytes);
    }
}

TEST(CellRoundTrip, FormulaFollowedDirectlyByStringKeepsNoCompanion)
{
    CellBlock::Formula f;
    f.formula = TokenBytes(0);
    ASSERT_TRUE(f.string.SetText(L"x"));
    CellBlock::Formula g = ReadBack<CellBlock::Formula>(Written(f));
    EXPECT_EQ(g.companionType, 0xFFFF);
    ASSERT_FALSE(g.string.empty());
    EXPECT_EQ(std::wstring(g.string.text), L"x");
}

TEST(CellRoundTrip, RereadingAFormulaDropsTheCompanionAndStringOfTheEarlierOne)
{
    CellBlock::Formula with;
    with.formula = TokenBytes(1);
    with.companionType = 0x00BC;
    with.shrfmla.formula = TokenBytes(1);
    ASSERT_TRUE(with.string.SetText(L"old"));
    CellBlock::Formula without;
    without.formula = TokenBytes(1);
    const std::vector<char> plain = Written(without);

    CellBlock::Formula target = with;
    EXPECT_EQ(target.Read(plain.data(), static_cast<unsigned int>(plain.size())), plain.size());
    EXPECT_EQ(target.companionType, 0xFFFF);
    EXPECT_TRUE(target.string.empty());
    EXPECT_EQ(Written(target), plain);
}

TEST(CellRoundTrip, StringTextIsLatin1AndWidensWhenItMust)
{
    CellBlock::Formula::String s;
    ASSERT_TRUE(s.SetText(L"caf\u00e9"));
    std::vector<char> bytes = Written(s);
    EXPECT_EQ(bytes, Hex("07 02 07 00 04 00 00 63 61 66 E9"));
    CellBlock::Formula::String r = ReadBack<CellBlock::Formula::String>(bytes);
    EXPECT_EQ(std::wstring(r.text), L"caf\u00e9");
    EXPECT_EQ(r.flag & 1, 0);

    // A character above U+00FF is never squeezed into a byte.
    CellBlock::Formula::String w;
    ASSERT_TRUE(w.SetText(L"a\u0101"));
    EXPECT_EQ(w.DataSize(), 7u);
    bytes = Written(w);
    EXPECT_EQ(bytes, Hex("07 02 07 00 02 00 01 61 00 01 01"));
    EXPECT_EQ(std::wstring(ReadBack<CellBlock::Formula::String>(bytes).text), L"a\u0101");
}

TEST(CellRoundTrip, StringCopiesOwnTheirText)
{
    CellBlock::Formula::String a;
    ASSERT_TRUE(a.SetText(L"one"));
    CellBlock::Formula::String b(a);
    CellBlock::Formula::String c;
    c = a;
    CellBlock::Formula::String& same = a;
    a = same;
    ASSERT_TRUE(a.SetText(L"two"));
    EXPECT_EQ(std::wstring(b.text), L"one");
    EXPECT_EQ(std::wstring(c.text), L"one");
    EXPECT_EQ(std::wstring(a.text), L"two");
    c = CellBlock::Formula::String();
    EXPECT_TRUE(c.empty());
    EXPECT_EQ(Written(c), Hex("07 02 00 00"));
}

TEST(CellRoundTrip, StringOverTheCountLimitIsRefused)
{
    CellBlock::Formula::String s;
    std::wstring longText(65536, L'a');
    EXPECT_FALSE(s.SetText(longText.c_str()));
    EXPECT_TRUE(s.empty());
    longText.pop_back();
    EXPECT_TRUE(s.SetText(longText.c_str()));
    EXPECT_EQ(s.Length(), 65535u);

    // Text put in place by hand past the limit makes the write fail, not wrap.
    s.Reset();
    s.text = new wchar_t[65537];
    std::wmemset(s.text, L'b', 65536);
    s.text[65536] = 0;
    std::vector<char> out(s.RecordSize());
    EXPECT_EQ(s.Write(out.data()), 0u);
}

// ---------------------------------------------------------------- CONTINUE boundary

TEST(CellContinue, VariableRecordsSizeWhatTheyWriteAcrossPieces)
{
    for (unsigned int n : {4108u, 4109u, 4110u, 4111u, 8300u}) {
        CellBlock::MulBlank mb;
        mb.xfIndices.assign(n, 7);
        mb.lastColIndex = static_cast<unsigned short>(n - 1);
        const std::vector<char> out = Written(mb);
        EXPECT_EQ(out.size(), Record::StreamSize(6 + 2 * n)) << n;
        EXPECT_EQ(ReadBack<CellBlock::MulBlank>(out).xfIndices.size(), n);
    }
    for (unsigned int n : {1369u, 1370u, 1371u, 3000u}) {
        CellBlock::MulRK mr;
        mr.xfRKs.assign(n, CellBlock::MulRK::XFRK(1, 2));
        mr.lastColIndex = static_cast<unsigned short>(n - 1);
        const std::vector<char> out = Written(mr);
        EXPECT_EQ(ReadBack<CellBlock::MulRK>(out).xfRKs.size(), n);
    }
    // Data of exactly 8224 bytes is one piece, 8225 two.
    for (unsigned int tokens : {8224u - 12 - 2, 8225u - 12 - 2, 20000u}) {
        CellBlock::Formula::Array a;
        a.formula = TokenBytes(static_cast<unsigned short>(tokens));
        const std::vector<char> out = Written(a);
        EXPECT_EQ(out.size(), Record::StreamSize(12 + 2 + tokens));
        EXPECT_EQ(ReadBack<CellBlock::Formula::Array>(out).formula, a.formula);

        CellBlock::Formula::ShrFmla s;
        s.formula = a.formula;
        EXPECT_EQ(ReadBack<CellBlock::Formula::ShrFmla>(Written(s)).formula, a.formula);
        CellBlock::Formula::ShrFmla1 s1;
        s1.formula = a.formula;
        EXPECT_EQ(ReadBack<CellBlock::Formula::ShrFmla1>(Written(s1)).formula, a.formula);
    }
    CellBlock::Formula::Array exact;
    exact.formula = TokenBytes(8224 - 12 - 2);
    EXPECT_EQ(exact.RecordSize(), 8228u);
}

TEST(CellContinue, FormulaTooLongForOnePieceKeepsItsCompanionBehindItsPieces)
{
    CellBlock::Formula f;
    f.formula = TokenBytes(9000);
    f.companionType = 0x0221;
    f.array.formula = TokenBytes(3);
    ASSERT_TRUE(f.string.SetText(L"t"));
    const std::vector<char> out = Written(f);
    CellBlock::Formula g = ReadBack<CellBlock::Formula>(out);
    EXPECT_EQ(g.formula, f.formula);
    EXPECT_EQ(g.companionType, 0x0221);
    EXPECT_EQ(g.array.formula, f.array.formula);
    EXPECT_EQ(std::wstring(g.string.text), L"t");
}

TEST(CellContinue, LongStringResultsContinueWithAnOptionByte)
{
    for (bool wide : {false, true}) {
        for (unsigned int n : {4110u, 4111u, 8221u, 8222u, 30000u, 65535u}) {
            std::wstring text(n, wide ? L'\u0416' : L'z');
            text[n - 1] = L'!';
            CellBlock::Formula::String s;
            ASSERT_TRUE(s.SetText(text.c_str()));
            const std::vector<char> out = Written(s);
            // Every piece stays within 8224 data bytes.
            std::size_t p = 0;
            while (p < out.size()) {
                const unsigned short length = U16(out, p + 2);
                EXPECT_LE(length, 8224);
                if (p > 0) {
                    EXPECT_EQ(U16(out, p), 0x003Cu);
                    EXPECT_EQ(static_cast<unsigned char>(out[p + 4]), wide ? 1 : 0);
                }
                p += 4u + length;
            }
            EXPECT_EQ(p, out.size());
            CellBlock::Formula::String r = ReadBack<CellBlock::Formula::String>(out);
            ASSERT_FALSE(r.empty());
            EXPECT_EQ(std::wstring(r.text), text) << n << " wide " << wide;
        }
    }
}

TEST(CellContinue, StringThatChangesWidthInAPieceIsReadWide)
{
    // "ab" 8-bit in the first piece, then a 16-bit piece holding U+0416.
    const std::vector<char> bytes = Hex("07 02 05 00 03 00 00 61 62  3C 00 03 00 01 16 04");
    CellBlock::Formula::String s = ReadBack<CellBlock::Formula::String>(bytes);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(std::wstring(s.text), L"ab\u0416");
    EXPECT_EQ(s.flag & 1, 1);
    // And the reverse: 16-bit first, Latin-1 bytes after.
    const std::vector<char> back = Hex("07 02 05 00 02 00 01 16 04  3C 00 02 00 00 E9");
    EXPECT_EQ(std::wstring(ReadBack<CellBlock::Formula::String>(back).text), L"\u0416\u00e9");
}

TEST(CellContinue, StringResumesAfterAnOversizedPiece)
{
    // A first piece longer than a stream piece may be, then a CONTINUE piece
    // starting with the option byte of the characters after it.
    std::vector<char> bytes = Hex("07 02 2B 23 2A 23 00");
    bytes.insert(bytes.end(), 9000, 'x');
    const std::vector<char> tail = Hex("3C 00 05 00 01 16 04 17 04");
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    CellBlock::Formula::String s = ReadBack<CellBlock::Formula::String>(bytes);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(std::wstring(s.text), std::wstring(9000, L'x') + L"\u0416\u0417");
}

// ---------------------------------------------------------------- cell blocks

TEST(CellBlocks, SetTypeKeepsTheSameKindAndReplacesAnother)
{
    CellBlock block;
    EXPECT_EQ(block.type, 0xFFFF);
    EXPECT_EQ(block.record, nullptr);
    block.SetType(0x0203);
    static_cast<CellBlock::Number*>(block.record)->value = 2.5;
    Record* held = block.record;
    block.SetType(0x0203);
    EXPECT_EQ(block.record, held);
    EXPECT_EQ(static_cast<CellBlock::Number*>(block.record)->value, 2.5);
    block.SetType(0x027E);
    EXPECT_EQ(block.type, 0x027E);
    EXPECT_EQ(static_cast<CellBlock::RK*>(block.record)->value, 0u);
    block.Reset();
    EXPECT_EQ(block.type, 0xFFFF);
    EXPECT_EQ(block.record, nullptr);
}

// Small kinds are held inside the block, the others apart; switching between
// them must release each record once and keep the block's size its record's.
TEST(CellBlocks, SwitchingBetweenSmallAndLargeKinds)
{
    const unsigned short kinds[] = {0x00FD, 0x0006, 0x0201, 0x00BD, 0x0205, 0x0203, 0x00BE, 0x027E, 0x00FD};
    CellBlock block;
    for (unsigned short kind : kinds) {
        block.SetType(kind);
        ASSERT_NE(block.record, nullptr) << kind;
        EXPECT_EQ(block.type, kind);
        EXPECT_EQ(block.record->code, kind);
        EXPECT_EQ(block.RecordSize(), block.record->RecordSize()) << kind;
        if (kind != 0x0006 && kind != 0x00BD && kind != 0x00BE) {
            std::vector<char> out(block.RecordSize(), '\x55');
            EXPECT_EQ(block.Write(out.data()), out.size()) << kind;
            EXPECT_EQ(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8), kind);
        }
    }
    block.Reset();
    EXPECT_EQ(block.record, nullptr);
}

TEST(CellBlocks, EveryKindReadsWithItsRowAndColumn)
{
    const unsigned short kinds[] = {0x0006, 0x00BD, 0x00BE, 0x00FD, 0x0201, 0x0203, 0x0205, 0x027E};
    for (unsigned short kind : kinds) {
        RefCount::SmartPtr<CellBlock> held = Cell(kind, 5, 6);
        CellBlock& source = *held;
        std::vector<char> bytes(source.RecordSize());
        ASSERT_EQ(source.Write(bytes.data()), bytes.size()) << kind;
        EXPECT_EQ(source.DataSize(), source.record->DataSize());

        CellBlock target;
        EXPECT_EQ(target.Read(bytes.data(), static_cast<unsigned int>(bytes.size())), bytes.size()) << kind;
        EXPECT_EQ(target.type, kind);
        EXPECT_EQ(target.RowIndex(), 5);
        EXPECT_EQ(target.ColIndex(), 6);
        EXPECT_EQ(target.RecordSize(), bytes.size());
    }
}

TEST(CellBlocks, EmptyBlockWritesNothingAndUnknownRecordsAreRefused)
{
    CellBlock block;
    char byte = 0x55;
    EXPECT_EQ(block.Write(&byte), 0u);
    EXPECT_EQ(block.RecordSize(), 0u);
    EXPECT_EQ(byte, 0x55);
    const std::vector<char> row = Hex("08 02 10 00 00 00 00 00 00 00 FF 00 00 00 00 00 00 01 00 00");
    EXPECT_EQ(block.Read(row.data(), static_cast<unsigned int>(row.size())), 0u);
    EXPECT_EQ(block.type, 0xFFFF);
}

TEST(CellBlocksDeath, RowOfAnEmptyBlockStopsTheProgram)
{
    CellBlock block;
    EXPECT_DEATH(block.RowIndex(), "empty cell block");
    EXPECT_DEATH(block.ColIndex(), "empty cell block");
}

// ---------------------------------------------------------------- hostile input

template <typename R>
unsigned int ReadBytes(const std::vector<char>& bytes)
{
    R record;
    return record.Read(bytes.data(), static_cast<unsigned int>(bytes.size()));
}

TEST(CellHostile, MulRecordsNamingMoreColumnsThanEntriesAreRefused)
{
    // Columns 0..9 but one entry.
    EXPECT_EQ(ReadBytes<CellBlock::MulBlank>(Hex("BE 00 08 00 00 00 00 00 0F 00 09 00")), 0u);
    // Reversed range.
    EXPECT_EQ(ReadBytes<CellBlock::MulBlank>(Hex("BE 00 08 00 00 00 05 00 0F 00 04 00")), 0u);
    // Too short to hold the last column at all.
    EXPECT_EQ(ReadBytes<CellBlock::MulBlank>(Hex("BE 00 02 00 00 00")), 0u);
    EXPECT_EQ(ReadBytes<CellBlock::MulBlank>(Hex("BE 00 08 00 00 00 00 00 0F 00 00 00")), 12u);

    EXPECT_EQ(ReadBytes<CellBlock::MulRK>(Hex("BD 00 0C 00 00 00 00 00 0F 00 02 00 00 00 01 00")), 0u);
    EXPECT_EQ(ReadBytes<CellBlock::MulRK>(Hex("BD 00 0C 00 00 00 01 00 0F 00 02 00 00 00 00 00")), 0u);
    EXPECT_EQ(ReadBytes<CellBlock::MulRK>(Hex("BD 00 0C 00 00 00 00 00 0F 00 02 00 00 00 00 00")), 16u);
}

TEST(CellHostile, FormulaTokenLengthsBeyondTheirDataAreRefused)
{
    CellBlock::Formula f;
    f.formula = TokenBytes(4);
    std::vector<char> bytes = Written(f);
    EXPECT_EQ(ReadBytes<CellBlock::Formula>(bytes), bytes.size());
    bytes[4 + 20] = 5; // claims one token byte more than there are
    EXPECT_EQ(ReadBytes<CellBlock::Formula>(bytes), 0u);
    bytes[4 + 20] = char(0xFF);
    bytes[4 + 21] = char(0xFF);
    EXPECT_EQ(ReadBytes<CellBlock::Formula>(bytes), 0u);
    // Shorter than the fixed fields.
    EXPECT_EQ(ReadBytes<CellBlock::Formula>(Hex("06 00 04 00 01 00 02 00")), 0u);
    // A single byte cannot hold the token length.
    std::vector<char> one = Hex("06 00 15 00");
    one.resize(4 + 21, 0);
    EXPECT_EQ(ReadBytes<CellBlock::Formula>(one), 0u);

    CellBlock::Formula::ShrFmla s;
    s.formula = TokenBytes(2);
    bytes = Written(s);
    bytes[4 + 8] = 3;
    EXPECT_EQ(ReadBytes<CellBlock::Formula::ShrFmla>(bytes), 0u);
    CellBlock::Formula::Array a;
    a.formula = TokenBytes(2);
    bytes = Written(a);
    bytes[4 + 12] = 3;
    EXPECT_EQ(ReadBytes<CellBlock::Formula::Array>(bytes), 0u);
}

TEST(CellHostile, BrokenCompanionOrStringFailsTheWholeFormula)
{
    CellBlock::Formula f;
    f.formula = TokenBytes(1);
    f.companionType = 0x00BC;
    f.shrfmla.formula = TokenBytes(1);
    ASSERT_TRUE(f.string.SetText(L"abc"));
    std::vector<char> bytes = Written(f);
    // Cut inside the STRING.
    std::vector<char> cut(bytes.begin(), bytes.end() - 1);
    EXPECT_EQ(ReadBytes<CellBlock::Formula>(cut), 0u);
    // STRING counting more characters than it holds.
    std::vector<char> counted = bytes;
    counted[counted.size() - 3 - 3] = 9;
    EXPECT_EQ(ReadBytes<CellBlock::Formula>(counted), 0u);
}

TEST(CellHostile, StringWithACharacterCutByAPieceIsRefused)
{
    // 16-bit character split across the first piece and the CONTINUE.
    EXPECT_EQ(ReadBytes<CellBlock::Formula::String>(Hex("07 02 04 00 01 00 01 16  3C 00 02 00 01 04")), 0u);
    // Piece boundary inside the count and flag.
    EXPECT_EQ(ReadBytes<CellBlock::Formula::String>(Hex("07 02 02 00 01 00  3C 00 02 00 00 61")), 0u);
    EXPECT_EQ(ReadBytes<CellBlock::Formula::String>(Hex("07 02 02 00 01 00")), 0u);
    // An empty CONTINUE where characters should go holds no option byte.
    EXPECT_EQ(ReadBytes<CellBlock::Formula::String>(Hex("07 02 03 00 01 00 00  3C 00 00 00")), 0u);
    // Empty pieces between the characters are passed over.
    const std::vector<char> gaps = Hex("07 02 04 00 02 00 00 61  3C 00 00 00  3C 00 02 00 00 62");
    CellBlock::Formula::String s;
    EXPECT_EQ(s.Read(gaps.data(), static_cast<unsigned int>(gaps.size())), gaps.size());
    EXPECT_EQ(std::wstring(s.text), L"ab");
}

TEST(CellHostile, EveryTruncationOfEveryKindFailsCleanly)
{
    std::vector<std::vector<char>> samples;
    CellBlock::Formula f;
    f.formula = TokenBytes(6);
    f.companionType = 0x0221;
    f.array.formula = TokenBytes(2);
    ASSERT_TRUE(f.string.SetText(L"hello"));
    samples.push_back(Written(f));
    CellBlock::MulRK m;
    m.xfRKs.resize(3);
    m.lastColIndex = 2;
    samples.push_back(Written(m));
    CellBlock::Number n;
    samples.push_back(Written(n));
    for (const std::vector<char>& sample : samples) {
        for (std::size_t cut = 0; cut < sample.size(); ++cut) {
            // A heap copy of exactly `cut` bytes: ASan sees any read past it.
            std::vector<char> bytes(sample.begin(), sample.begin() + cut);
            CellBlock block;
            const char* at = bytes.empty() ? nullptr : bytes.data();
            const unsigned int got = block.Read(at, static_cast<unsigned int>(bytes.size()));
            // The formula group may end early after its FORMULA record; it then
            // reads less, never more, than it was given.
            EXPECT_LE(got, cut);
            if (sample[0] != 0x06) {
                EXPECT_EQ(got, 0u) << cut;
            }
        }
    }
}

} // namespace
