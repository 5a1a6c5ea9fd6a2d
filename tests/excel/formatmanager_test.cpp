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

TEST(FormatManager, BoldFontOfTheExport)
{
    Biff::XlsWorkbook book;
    book.New(1);
    FormatManager formats(book);
    CellFont bold(L"Arial", 200, 700);
    EXPECT_EQ(formats.get_font_idx(bold), 1);
    EXPECT_EQ(formats.get_font_idx(bold), 1);
    EXPECT_EQ(book.GetWorkbookRecords().fonts.size(), 2u);
    EXPECT_EQ(formats.get_font_idx(CellFont()), 0); // the default font
    const Biff::Workbook::Font& added = book.GetWorkbookRecords().fonts[1];
    EXPECT_EQ(added.weight, 700);
    EXPECT_EQ(added.colourIndex, 0x7FFF);
    EXPECT_EQ(Biff::wstringFromSmallString(added.name), L"Arial");
}

TEST(FormatManager, FontIndicesSkipFour)
{
    Biff::XlsWorkbook book;
    book.New(1);
    FormatManager formats(book);
    int last = 0;
    for (int i = 1; i <= 4; ++i)
        last = formats.get_font_idx(CellFont(L"Font" + std::to_wstring(i), 200, 400));
    EXPECT_EQ(book.GetWorkbookRecords().fonts.size(), 5u);
    EXPECT_EQ(last, 5);
    EXPECT_EQ(formats.get_font_idx(CellFont(L"Font3", 200, 400)), 3);

    CellFormat fmt(formats);
    fmt.fontIndex = 5;
    EXPECT_EQ(Biff::wstringFromSmallString(formats.get_font(fmt).name), L"Font4");
    fmt.fontIndex = 4;
    EXPECT_EQ(Biff::wstringFromSmallString(formats.get_font(fmt).name), L"Font4");
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
    EXPECT_EQ(formats.get_format_idx(L""), -1);
    EXPECT_EQ(book.GetWorkbookRecords().formats.size(), 2u);

    CellFormat fmt(formats);
    fmt.formatIndex = 30;
    EXPECT_EQ(formats.get_format_string(fmt), L"General");
    fmt.formatIndex = 165;
    EXPECT_EQ(formats.get_format_string(fmt), L"#,##0.000");
    fmt.formatIndex = 44;
    EXPECT_EQ(formats.get_format_string(fmt), L"_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)");
}

TEST(FormatManager, WorkbookFormatsContinueTheNumbering)
{
    Biff::XlsWorkbook book;
    book.New(1);
    Biff::Workbook::Format existing;
    existing.index = 170;
    existing.formatString = L"0.0%";
    book.GetWorkbookRecords().formats.push_back(existing);
    Biff::Workbook::Format replaced;
    replaced.index = 2;
    replaced.formatString = L"0.0";
    book.GetWorkbookRecords().formats.push_back(replaced);
    FormatManager formats(book);
    EXPECT_EQ(formats.get_format_idx(L"0.0%"), 170);
    EXPECT_EQ(formats.get_format_idx(L"0.0"), 2);
    EXPECT_EQ(formats.get_format_idx(L"0.00"), 171); // no longer built in at 2
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
