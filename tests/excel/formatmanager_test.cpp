// The format manager's lookups: fonts (indices skip 4), number formats
// (built in, from the workbook, new from 164) and cell formats.

#include <gtest/gtest.h>

#include <string>

#include "biff/textconversion.h"
#include "formatmanager.h"
#include "xlsworkbook.h"

using XlsFormat::CellFont;
using XlsFormat::CellFormat;
using XlsFormat::FormatManager;

TEST(FormatManager, FontIndicesSkipFour)
{
    Biff::XlsWorkbook book;
    book.New(1);
    FormatManager formats(book);
    EXPECT_EQ(formats.get_font_idx(CellFont(L"Arial", 200, 700)), 1);
    EXPECT_EQ(formats.get_font_idx(CellFont(L"Arial", 200, 700)), 1);
    EXPECT_EQ(formats.get_font_idx(CellFont()), 0) << "the default font";
    const Biff::Workbook::Font& bold = book.GetWorkbookRecords().fonts[1];
    EXPECT_EQ(bold.weight, 700);
    EXPECT_EQ(bold.colourIndex, 0x7FFF);
    EXPECT_EQ(Biff::wstringFromSmallString(bold.name), L"Arial");
    for (int i = 2; i <= 4; ++i)
        formats.get_font_idx(CellFont(L"Font" + std::to_wstring(i), 200, 400));
    EXPECT_EQ(formats.get_font_idx(CellFont(L"Font3", 200, 400)), 3);
    EXPECT_EQ(formats.get_font_idx(CellFont(L"Font4", 200, 400)), 5);
    CellFormat fmt(formats);
    for (int index : {4, 5}) {
        fmt.fontIndex = static_cast<unsigned short>(index);
        EXPECT_EQ(Biff::wstringFromSmallString(formats.get_font(fmt).name), L"Font4") << index;
    }
    fmt.fontIndex = 40;
    EXPECT_EQ(&formats.get_font(fmt), &book.GetWorkbookRecords().fonts[0]);
    EXPECT_EQ(formats.get_font_idx(CellFont(std::wstring(256, L'f'), 200, 400)), -1);
    EXPECT_EQ(book.GetWorkbookRecords().fonts.size(), 5u);
}

TEST(FormatManager, NumberFormats)
{
    Biff::XlsWorkbook book;
    book.New(1);
    FormatManager formats(book);
    EXPECT_EQ(formats.get_format_idx(L"0.00"), 2);
    EXPECT_EQ(formats.get_format_idx(L"@"), 49);
    EXPECT_EQ(formats.get_format_idx(L"# ?\?/??"), 13);
    EXPECT_TRUE(book.GetWorkbookRecords().formats.empty());
    EXPECT_EQ(formats.get_format_idx(L"0.000"), 164);
    EXPECT_EQ(formats.get_format_idx(L"#,##0.000"), 165);
    EXPECT_EQ(formats.get_format_idx(L"0.000"), 164);
    ASSERT_EQ(book.GetWorkbookRecords().formats.size(), 2u);
    EXPECT_EQ(book.GetWorkbookRecords().formats[1].index, 165);

    EXPECT_EQ(formats.get_format_idx(std::wstring(256, L'0')), -1);
    EXPECT_EQ(book.GetWorkbookRecords().formats.size(), 2u);
    // An empty text is a format like any other (readers show the value as
    // they would with "General").
    EXPECT_EQ(formats.get_format_idx(L""), 166);
    EXPECT_EQ(formats.get_format_idx(L""), 166);
    ASSERT_EQ(book.GetWorkbookRecords().formats.size(), 3u);
    EXPECT_EQ(Biff::wstringFromLargeString(book.GetWorkbookRecords().formats[2].formatString), L"");

    CellFormat fmt(formats);
    fmt.formatIndex = 30;
    EXPECT_EQ(formats.get_format_string(fmt), L"General");
    fmt.formatIndex = 165;
    EXPECT_EQ(formats.get_format_string(fmt), L"#,##0.000");
    fmt.formatIndex = 44;
    EXPECT_EQ(formats.get_format_string(fmt), L"_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)");

    // Formats of a loaded workbook keep their numbers; new ones follow the highest.
    Biff::Workbook::Format existing;
    existing.index = 170;
    existing.formatString = L"0.0%";
    book.GetWorkbookRecords().formats.push_back(existing);
    existing.index = 2;
    existing.formatString = L"0.0";
    book.GetWorkbookRecords().formats.push_back(existing);
    FormatManager loaded(book);
    EXPECT_EQ(loaded.get_format_idx(L"0.0%"), 170);
    EXPECT_EQ(loaded.get_format_idx(L"0.0"), 2);
    EXPECT_EQ(loaded.get_format_idx(L"0.00"), 171) << "no longer built in at 2";
}

TEST(FormatManager, CellFormatsFindOrAddXFs)
{
    Biff::XlsWorkbook book;
    book.New(1);
    FormatManager formats(book);
    CellFormat plain(formats);
    // The default XFs match in the compared fields despite their protection.
    EXPECT_EQ(formats.get_xf_idx(plain), 0);

    CellFormat bold(formats, CellFont(L"Arial", 200, 700));
    ASSERT_TRUE(bold.set_format_string(L"0.000"));
    EXPECT_EQ(bold.get_font_idx(), 1);
    EXPECT_EQ(bold.get_fmt_idx(), 164);
    EXPECT_EQ(formats.get_xf_idx(bold), 21);
    EXPECT_EQ(formats.get_xf_idx(bold), 21);
    const Biff::Workbook::XF& xf = book.GetWorkbookRecords().XFs[21];
    EXPECT_EQ(xf.protectionType, 0x0078);
    EXPECT_EQ(xf.fontIndex, 1);
    EXPECT_EQ(xf.formatIndex, 164);
    EXPECT_TRUE(bold.matches(xf));
    EXPECT_FALSE(plain.matches(xf));
}
