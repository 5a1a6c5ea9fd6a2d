// Sheets of a workbook: names, adding and deleting, and the grid of cells.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "xlsworkbook.h"

using Biff::XlsCell;
using Biff::XlsWorkbook;
using Biff::XlsWorksheet;

TEST(XlsWorkbookSheets, NewGivesNumberedNarrowNames)
{
    XlsWorkbook book;
    book.New(1);
    ASSERT_EQ(book.GetTotalWorkSheets(), 1);
    XlsWorksheet* sheet = book.GetWorksheet(0);
    ASSERT_NE(sheet, nullptr);
    EXPECT_STREQ(sheet->GetAnsiSheetName(), "Sheet1");
    EXPECT_EQ(sheet->GetUnicodeSheetName(), nullptr);
    EXPECT_EQ(sheet->GetTotalRows(), 1);
    EXPECT_EQ(sheet->GetTotalCols(), 1);
    wchar_t wide[8];
    EXPECT_FALSE(book.GetSheetName(0, wide));

    book.New(3);
    ASSERT_EQ(book.GetTotalWorkSheets(), 3);
    EXPECT_STREQ(book.GetAnsiSheetName(0), "Sheet1");
    EXPECT_STREQ(book.GetAnsiSheetName(1), "Sheet2");
    EXPECT_STREQ(book.GetAnsiSheetName(2), "Sheet3");
    book.New(0);
    EXPECT_EQ(book.GetTotalWorkSheets(), 1);
    book.New(-5);
    EXPECT_EQ(book.GetTotalWorkSheets(), 1);
}

TEST(XlsWorkbookSheets, AddSkipsTakenNamesAndKeepsWidthsApart)
{
    XlsWorkbook book;
    book.New(1);
    ASSERT_NE(book.AddWorksheet("Sheet3", -1), nullptr);
    XlsWorksheet* added = book.AddWorksheet(-1);
    ASSERT_NE(added, nullptr);
    EXPECT_STREQ(added->GetAnsiSheetName(), "Sheet4");

    // Equal names of different widths are different names.
    XlsWorksheet* wide = book.AddWorksheet(L"Sheet1", -1);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(book.AddWorksheet(L"Sheet1", -1), nullptr);
    EXPECT_EQ(book.AddWorksheet("Sheet1", -1), nullptr);
    EXPECT_EQ(book.GetWorksheet("Sheet1"), book.GetWorksheet(0));
    EXPECT_EQ(book.GetWorksheet(L"Sheet1"), wide);
    EXPECT_STREQ(wide->GetUnicodeSheetName(), L"Sheet1");
    wchar_t name[16];
    EXPECT_TRUE(wide->GetSheetName(name));
    EXPECT_STREQ(name, L"Sheet1");
    EXPECT_EQ(book.GetWorksheet("nothing"), nullptr);
}

TEST(XlsWorkbookSheets, InsertAndDeleteRenumber)
{
    XlsWorkbook book;
    book.New(3);
    XlsWorksheet* a = book.GetWorksheet(0);
    XlsWorksheet* b = book.GetWorksheet(1);
    XlsWorksheet* c = book.GetWorksheet(2);
    XlsWorksheet* front = book.AddWorksheet("Front", 0);
    ASSERT_NE(front, nullptr);
    EXPECT_EQ(front->GetSheetIndex(), 0);
    EXPECT_EQ(a->GetSheetIndex(), 1);
    EXPECT_EQ(b->GetSheetIndex(), 2);
    EXPECT_EQ(c->GetSheetIndex(), 3);
    EXPECT_STREQ(c->GetAnsiSheetName(), "Sheet3");

    EXPECT_TRUE(book.DeleteWorksheet(0));
    EXPECT_EQ(a->GetSheetIndex(), 0);
    EXPECT_EQ(c->GetSheetIndex(), 2);
    EXPECT_STREQ(a->GetAnsiSheetName(), "Sheet1");
    EXPECT_STREQ(b->GetAnsiSheetName(), "Sheet2");
    EXPECT_TRUE(book.DeleteWorksheet("Sheet2"));
    EXPECT_EQ(book.GetTotalWorkSheets(), 2);
    EXPECT_STREQ(c->GetAnsiSheetName(), "Sheet3");
}

TEST(XlsWorkbookSheets, RenameRules)
{
    XlsWorkbook book;
    book.New(2);
    EXPECT_FALSE(book.RenameWorksheet(0, "Sheet1")); // its own name
    EXPECT_FALSE(book.RenameWorksheet(0, "Sheet2")); // another sheet's
    EXPECT_TRUE(book.RenameWorksheet(0, L"Sheet2")); // other width: free
    EXPECT_STREQ(book.GetUnicodeSheetName(0), L"Sheet2");
    EXPECT_EQ(book.GetAnsiSheetName(0), nullptr);
    EXPECT_TRUE(book.RenameWorksheet("Sheet2", "Data"));
    EXPECT_STREQ(book.GetAnsiSheetName(1), "Data");
    EXPECT_FALSE(book.RenameWorksheet("missing", "x"));
    EXPECT_TRUE(book.GetWorksheet(1)->Rename(L"\u00dcbersicht"));
    EXPECT_STREQ(book.GetUnicodeSheetName(1), L"\u00dcbersicht");
}

TEST(XlsWorkbookSheets, BadArgumentsAreRefused)
{
    XlsWorkbook book;
    book.New(2);
    const std::string longName(256, 'n');
    const std::wstring longWide(256, L'n');
    EXPECT_EQ(book.AddWorksheet(longName.c_str(), -1), nullptr);
    EXPECT_EQ(book.AddWorksheet(longWide.c_str(), -1), nullptr);
    EXPECT_NE(book.AddWorksheet(std::string(31, 'n').c_str(), -1), nullptr);
    EXPECT_EQ(book.AddWorksheet("", -1), nullptr);
    EXPECT_EQ(book.AddWorksheet(static_cast<const char*>(nullptr), -1), nullptr);
    EXPECT_EQ(book.AddWorksheet("x", 7), nullptr);
    EXPECT_EQ(book.AddWorksheet("x", -2), nullptr);
    EXPECT_FALSE(book.RenameWorksheet(0, longName.c_str()));
    EXPECT_FALSE(book.RenameWorksheet(9, "x"));
    EXPECT_FALSE(book.RenameWorksheet(-1, "x"));
    EXPECT_EQ(book.GetWorksheet(-1), nullptr);
    EXPECT_EQ(book.GetWorksheet(3), nullptr);
    EXPECT_FALSE(book.DeleteWorksheet(-1));
    EXPECT_FALSE(book.DeleteWorksheet(3));
    EXPECT_EQ(book.GetAnsiSheetName(3), nullptr);
    char buffer[300];
    EXPECT_FALSE(book.GetSheetName(-1, buffer));
    EXPECT_EQ(book.GetTotalWorkSheets(), 3);
}

TEST(XlsWorksheetGrid, GrowsToTheFurthestCellAndStopsAtTheLimits)
{
    XlsWorkbook book;
    book.New(1);
    XlsWorksheet* sheet = book.GetWorksheet(0);
    const XlsWorksheet& view = *sheet;
    ASSERT_NE(view.Cell(0, 0), nullptr);
    EXPECT_EQ(view.Cell(0, 0)->Type(), XlsCell::UNDEFINED);
    EXPECT_EQ(view.Cell(0, 1), nullptr);

    ASSERT_NE(sheet->Cell(3, 5), nullptr);
    EXPECT_EQ(sheet->GetTotalRows(), 4);
    EXPECT_EQ(sheet->GetTotalCols(), 6);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(view.Cell(r, c)->Type(), XlsCell::UNDEFINED);

    EXPECT_NE(sheet->Cell(65535, 255), nullptr);
    EXPECT_EQ(sheet->Cell(65536, 0), nullptr);
    EXPECT_EQ(sheet->Cell(0, 256), nullptr);
    EXPECT_EQ(sheet->Cell(-1, 0), nullptr);
    EXPECT_EQ(sheet->Cell(0, -1), nullptr);
    EXPECT_EQ(sheet->GetTotalRows(), 65536);
    EXPECT_EQ(sheet->GetTotalCols(), 256);
    EXPECT_EQ(view.Cell(-1, -1), nullptr);
}

TEST(XlsWorksheetGrid, CellsKeepTheirValuesAsTheGridGrows)
{
    XlsWorkbook book;
    book.New(1);
    XlsWorksheet* sheet = book.GetWorksheet(0);
    sheet->Cell(0, 0)->SetWString(L"first");
    sheet->Cell(2, 1)->Set(7);
    sheet->Cell(1, 9)->Set(2.5); // widens every row
    const XlsWorksheet& view = *sheet;
    EXPECT_STREQ(view.Cell(0, 0)->GetWString(), L"first");
    EXPECT_EQ(view.Cell(2, 1)->GetInteger(), 7);
    EXPECT_EQ(view.Cell(1, 9)->GetDouble(), 2.5);
    EXPECT_EQ(view.Cell(2, 9)->Type(), XlsCell::UNDEFINED);

    EXPECT_TRUE(sheet->EraseCell(0, 0));
    EXPECT_EQ(view.Cell(0, 0)->Type(), XlsCell::UNDEFINED);
    EXPECT_TRUE(sheet->EraseCell(2, 8)); // inside the grid, never filled
    EXPECT_FALSE(sheet->EraseCell(3, 0));
    EXPECT_FALSE(sheet->EraseCell(0, 10));
}

TEST(XlsWorksheetGrid, ColumnWidthsAndMerges)
{
    XlsWorkbook book;
    book.New(1);
    XlsWorksheet* sheet = book.GetWorksheet(0);
    EXPECT_EQ(sheet->GetColWidth(2), 0);
    EXPECT_TRUE(sheet->SetColWidth(2, 3000));
    EXPECT_TRUE(sheet->SetColWidth(2, 4000)); // the earlier entry stays in front
    EXPECT_EQ(sheet->GetColWidth(2), 3000);
    EXPECT_FALSE(sheet->SetColWidth(256, 1));
    EXPECT_FALSE(sheet->SetColWidth(-1, 1));

    EXPECT_TRUE(sheet->MergeCells(1, 1, 2, 3));
    EXPECT_EQ(sheet->Cell(1, 1)->GetMergedRows(), 2);
    EXPECT_EQ(sheet->Cell(1, 1)->GetMergedColumns(), 3);
    // Spans are clamped to the sheet.
    EXPECT_TRUE(sheet->MergeCells(65534, 250, 10, 10));
    EXPECT_EQ(sheet->Cell(65534, 250)->GetMergedRows(), 2);
    EXPECT_EQ(sheet->Cell(65534, 250)->GetMergedColumns(), 6);
    EXPECT_FALSE(sheet->MergeCells(65536, 0, 2, 2));
    EXPECT_FALSE(sheet->MergeCells(-1, 0, 2, 2));
}

TEST(XlsWorksheetGrid, PrintQuotesAndDelimits)
{
    XlsWorkbook book;
    book.New(1);
    XlsWorksheet* sheet = book.GetWorksheet(0);
    sheet->Cell(0, 0)->Set(1);
    sheet->Cell(0, 1)->Set(2.5);
    sheet->Cell(0, 2)->SetString("a'b");
    sheet->Cell(1, 0)->SetWString(L"wide"); // wide text is not printed
    sheet->Cell(1, 2)->Set(1.0 / 3.0);
    std::ostringstream os;
    sheet->Print(os, ',', '\'');
    EXPECT_EQ(os.str(), "1,2.5,'a''b'\n,,0.333333333333333\n");

    std::ostringstream plain;
    sheet->Print(plain, ';', '\0');
    EXPECT_EQ(plain.str().substr(0, 10), "1;2.5;a'b\n");
}

TEST(XlsWorksheetGrid, SheetOutlivingItsWorkbookIsHarmless)
{
    RefCount::SmartPtr<XlsWorksheet> kept;
    {
        XlsWorkbook book;
        book.New(1);
        kept = book.GetWorksheet(0);
    }
    EXPECT_EQ(kept->GetAnsiSheetName(), nullptr);
    EXPECT_FALSE(kept->Rename("x"));
    EXPECT_NE(kept->Cell(0, 0), nullptr);
}
