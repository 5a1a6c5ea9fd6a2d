// Cell values: kinds, conversions, RK decoding, text rules and formulas.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "xlscell.h"

using Biff::XlsCell;

TEST(XlsCell, NewCellIsEmptyWithDefaults)
{
    XlsCell cell;
    EXPECT_EQ(cell.Type(), XlsCell::UNDEFINED);
    EXPECT_EQ(cell.GetXFormatIdx(), 0);
    EXPECT_EQ(cell.GetMergedRows(), 1);
    EXPECT_EQ(cell.GetMergedColumns(), 1);
    EXPECT_EQ(cell.GetString(), nullptr);
    EXPECT_EQ(cell.GetWString(), nullptr);
    int i = 7;
    double d = 7.5;
    EXPECT_FALSE(cell.Get(i));
    EXPECT_FALSE(cell.Get(d));
    EXPECT_EQ(i, 7);
    EXPECT_EQ(d, 7.5);
    EXPECT_EQ(cell.GetInteger(), 0);
    EXPECT_EQ(cell.GetDouble(), 0.0);
}

TEST(XlsCell, NumbersConvertBetweenKinds)
{
    XlsCell cell;
    cell.Set(42);
    EXPECT_EQ(cell.Type(), XlsCell::INT);
    EXPECT_EQ(cell.GetDouble(), 42.0);
    cell.SetDouble(-2.9);
    EXPECT_EQ(cell.Type(), XlsCell::DOUBLE);
    EXPECT_EQ(cell.GetInteger(), -2); // truncated toward zero
    cell.SetDouble(1e12);
    EXPECT_EQ(cell.GetInteger(), -2147483647 - 1);
    cell.SetDouble(std::nan(""));
    EXPECT_EQ(cell.GetInteger(), -2147483647 - 1);
}

TEST(XlsCell, TextRules)
{
    XlsCell cell;
    cell.SetString("ab");
    EXPECT_EQ(cell.Type(), XlsCell::STRING);
    EXPECT_EQ(cell.GetStringLength(), 2u);
    EXPECT_STREQ(cell.GetString(), "ab");
    EXPECT_EQ(cell.GetWString(), nullptr);
    char buffer[8] = {};
    EXPECT_TRUE(cell.Get(buffer));
    EXPECT_STREQ(buffer, "ab");

    cell.SetWString(L"\u00e9t\u00e9");
    EXPECT_EQ(cell.Type(), XlsCell::WSTRING);
    EXPECT_EQ(cell.GetString(), nullptr);
    EXPECT_EQ(cell.GetStringLength(), 3u);
    wchar_t wide[8] = {};
    EXPECT_TRUE(cell.Get(wide));
    EXPECT_STREQ(wide, L"\u00e9t\u00e9");

    // An empty text empties the cell.
    cell.SetWString(L"");
    EXPECT_EQ(cell.Type(), XlsCell::UNDEFINED);
    EXPECT_EQ(cell.GetWString(), nullptr);
    cell.SetString("x");
    cell.SetString(static_cast<const char*>(nullptr));
    EXPECT_EQ(cell.Type(), XlsCell::UNDEFINED);
}

TEST(XlsCell, EraseKeepsFormatAndSpans)
{
    XlsCell cell;
    cell.SetXFormatIdx(17);
    cell.SetMergedRows(3);
    cell.SetMergedColumns(2);
    cell.SetString("gone");
    cell.EraseContents();
    EXPECT_EQ(cell.Type(), XlsCell::UNDEFINED);
    EXPECT_EQ(cell.GetString(), nullptr);
    EXPECT_EQ(cell.GetXFormatIdx(), 17);
    EXPECT_EQ(cell.GetMergedRows(), 3);
    EXPECT_EQ(cell.GetMergedColumns(), 2);
}

TEST(XlsCell, RKValuesDecode)
{
    XlsCell cell;
    // Integer with divide-by-100: 250 -> 2.5 (double), 300 -> 3 (integer).
    cell.SetRKValue((250 << 2) | 3);
    EXPECT_EQ(cell.Type(), XlsCell::DOUBLE);
    EXPECT_EQ(cell.GetDouble(), 2.5);
    cell.SetRKValue((300 << 2) | 3);
    EXPECT_EQ(cell.Type(), XlsCell::INT);
    EXPECT_EQ(cell.GetInteger(), 3);
    // Plain integers keep their sign.
    cell.SetRKValue(static_cast<int>(0xFFFFFFFEu));
    EXPECT_EQ(cell.Type(), XlsCell::INT);
    EXPECT_EQ(cell.GetInteger(), -1);
    // Floating point: upper 30 bits of a double, optionally divided by 100.
    cell.SetRKValue(0x40080000);
    EXPECT_EQ(cell.Type(), XlsCell::DOUBLE);
    EXPECT_EQ(cell.GetDouble(), 3.0);
    cell.SetRKValue(0x4062C001);
    EXPECT_EQ(cell.GetDouble(), 1.5);
    cell.SetRKValue(0x40390001);
    EXPECT_EQ(cell.GetDouble(), 0.25);
}

TEST(XlsCell, WideTextPrintsAsUtf8)
{
    XlsCell cell;
    // "é" then U+1F600 as a surrogate pair, the way the main window stores text.
    const wchar_t text[] = {0x00E9, 0xD83D, 0xDE00, 0};
    cell.SetWString(text);
    std::ostringstream os;
    os << cell;
    EXPECT_EQ(os.str(), "\xC3\xA9\xF0\x9F\x98\x80");

    std::ostringstream empty;
    empty << XlsCell();
    EXPECT_EQ(empty.str(), std::string(1, '\0'));

    XlsCell number;
    number.Set(12);
    std::ostringstream n;
    n << number;
    EXPECT_EQ(n.str(), "12");
}

namespace {

Biff::Sheet::Formula MakeFormula(const unsigned char result[8], const wchar_t* text)
{
    Biff::Sheet::Formula record;
    std::memcpy(record.result, result, 8);
    record.formula = {3, 0, 0x1E, 0x05, 0x00};
    if (text)
        record.string.SetText(text);
    return record;
}

} // namespace

TEST(XlsCell, FormulaResults)
{
    const unsigned char number[8] = {0, 0, 0, 0, 0, 0, 0x14, 0x40}; // 5.0
    XlsCell cell;
    cell.SetFormula(MakeFormula(number, nullptr));
    EXPECT_EQ(cell.Type(), XlsCell::FORMULA);
    EXPECT_EQ(cell.GetDouble(), 5.0);
    EXPECT_EQ(cell.GetInteger(), 5);
    EXPECT_STREQ(cell.GetString(), "");

    const unsigned char textResult[8] = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    XlsCell text;
    text.SetFormula(MakeFormula(textResult, L"hi"));
    double d = 1;
    EXPECT_FALSE(text.Get(d));
    EXPECT_EQ(text.GetDouble(), 0.0);
    EXPECT_STREQ(text.GetWString(), L"hi");
    EXPECT_STREQ(text.GetString(), "hi");
}

TEST(XlsCell, FormulaIsSharedBetweenCopiesAndWrittenBack)
{
    const unsigned char number[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}; // 1.0
    XlsCell* original = new XlsCell;
    original->SetFormula(MakeFormula(number, L"r"));
    XlsCell copy(*original);
    XlsCell assigned;
    assigned = copy;
    delete original; // the copies still hold the formula
    EXPECT_EQ(copy.GetDouble(), 1.0);

    Biff::Sheet::CellBlock block;
    block.SetType(Biff::Sheet::Formula::Code);
    EXPECT_TRUE(assigned.get_formula(&block));
    auto* record = static_cast<Biff::Sheet::Formula*>(block.record);
    EXPECT_EQ(record->formula.size(), 5u);
    EXPECT_EQ(static_cast<unsigned char>(record->result[7]), 0x3F);
    ASSERT_FALSE(record->string.empty());
    EXPECT_STREQ(record->string.text, L"r");

    XlsCell plain;
    plain.Set(1);
    EXPECT_FALSE(plain.get_formula(&block));
}
