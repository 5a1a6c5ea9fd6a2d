// Cell values: kinds, conversions, text rules and formulas.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "xlscell.h"

using Biff::XlsCell;

TEST(XlsCell, NumbersAndTexts)
{
    XlsCell cell;
    int i = 7;
    double d = 7.5;
    EXPECT_FALSE(cell.Get(i)) << "an empty cell holds no number";
    EXPECT_FALSE(cell.Get(d));
    EXPECT_EQ(i, 7);
    cell.Set(42);
    EXPECT_EQ(cell.GetDouble(), 42.0);
    cell.SetDouble(-2.9);
    EXPECT_EQ(cell.GetInteger(), -2) << "truncated toward zero";
    for (double outside : {1e12, -1e12, std::nan("")}) {
        cell.SetDouble(outside);
        EXPECT_EQ(cell.GetInteger(), -2147483647 - 1) << outside;
    }

    cell.SetString("ab");
    EXPECT_EQ(cell.GetStringLength(), 2u);
    EXPECT_EQ(cell.GetWString(), nullptr);
    char buffer[8] = {};
    EXPECT_TRUE(cell.Get(buffer));
    EXPECT_STREQ(buffer, "ab");
    cell.SetWString(L"\u00e9t\u00e9");
    EXPECT_EQ(cell.GetString(), nullptr);
    EXPECT_EQ(cell.GetStringLength(), 3u);
    wchar_t wide[8] = {};
    EXPECT_TRUE(cell.Get(wide));
    EXPECT_STREQ(wide, L"\u00e9t\u00e9");
    cell.SetWString(L""); // an empty text empties the cell
    EXPECT_EQ(cell.Type(), XlsCell::UNDEFINED);
    cell.SetString("x");
    cell.SetString(static_cast<const char*>(nullptr));
    EXPECT_EQ(cell.Type(), XlsCell::UNDEFINED);

    cell.SetXFormatIdx(17);
    cell.SetMergedRows(3);
    cell.SetString("gone");
    cell.EraseContents();
    EXPECT_EQ(cell.Type(), XlsCell::UNDEFINED);
    EXPECT_EQ(cell.GetString(), nullptr);
    EXPECT_EQ(cell.GetXFormatIdx(), 17) << "erasing keeps format and spans";
    EXPECT_EQ(cell.GetMergedRows(), 3);
}

TEST(XlsCell, PrintedAsUtf8)
{
    const struct { const wchar_t* wide; int number; const char* printed; } cases[] = {
        {L"\u00e9\xD83D\xDE00", 0, "\xC3\xA9\xF0\x9F\x98\x80"}, // a pair, the way the main window stores text
        {nullptr, 12, "12"},
        {nullptr, 0, ""},
    };
    for (const auto& c : cases) {
        XlsCell cell;
        if (c.wide)
            cell.SetWString(c.wide);
        else if (c.number)
            cell.Set(c.number);
        std::ostringstream os;
        os << cell;
        EXPECT_EQ(os.str(), c.printed[0] ? std::string(c.printed) : std::string(1, '\0'));
    }
}

TEST(XlsCell, FormulaResultsAreSharedAndWrittenBack)
{
    Biff::Sheet::Formula record;
    const unsigned char five[8] = {0, 0, 0, 0, 0, 0, 0x14, 0x40};
    std::memcpy(record.result, five, 8);
    record.formula = {3, 0, 0x1E, 0x05, 0x00};
    XlsCell* original = new XlsCell;
    original->SetFormula(record);
    EXPECT_EQ(original->Type(), XlsCell::FORMULA);
    EXPECT_EQ(original->GetInteger(), 5);
    EXPECT_STREQ(original->GetString(), "");
    XlsCell copy(*original), assigned;
    assigned = copy;
    delete original; // the copies still hold the formula
    EXPECT_EQ(copy.GetDouble(), 5.0);

    Biff::Sheet::CellBlock block;
    block.SetType(Biff::Sheet::Formula::Code);
    EXPECT_TRUE(assigned.get_formula(&block));
    auto* back = static_cast<Biff::Sheet::Formula*>(block.record);
    EXPECT_EQ(back->formula, record.formula);
    EXPECT_EQ(static_cast<unsigned char>(back->result[7]), 0x40);
    XlsCell plain;
    plain.Set(1);
    EXPECT_FALSE(plain.get_formula(&block));

    const unsigned char text[8] = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    std::memcpy(record.result, text, 8);
    record.string.SetText(L"hi");
    XlsCell textual;
    textual.SetFormula(record);
    double d = 1;
    EXPECT_FALSE(textual.Get(d));
    EXPECT_EQ(textual.GetDouble(), 0.0);
    EXPECT_STREQ(textual.GetWString(), L"hi");
    EXPECT_STREQ(textual.GetString(), "hi");
    EXPECT_TRUE(textual.get_formula(&block) && back->string.text && std::wstring(back->string.text) == L"hi") << "the text result goes back too";
}
