// Sheets of a workbook: names, adding and deleting, and the grid of cells.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "xlsworkbook.h"

using Biff::XlsCell;
using Biff::XlsWorkbook;
using Biff::XlsWorksheet;

TEST(XlsWorkbookSheets, NamesNumbersAndIndices)
{
    XlsWorkbook book;
    book.New(-5);
    EXPECT_EQ(book.GetTotalWorkSheets(), 1);
    book.New(3);
    EXPECT_STREQ(book.GetAnsiSheetName(2), "Sheet3");
    EXPECT_EQ(book.GetUnicodeSheetName(2), nullptr);
    XlsWorksheet* a = book.GetWorksheet(0);
    XlsWorksheet* c = book.GetWorksheet(2);
    ASSERT_NE(book.AddWorksheet("Sheet5", -1), nullptr);
    EXPECT_STREQ(book.AddWorksheet(-1)->GetAnsiSheetName(), "Sheet6") << "numbered by the count, skipping taken names";

    // Equal names of different widths are different names.
    XlsWorksheet* wide = book.AddWorksheet(L"Sheet1", -1);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(book.AddWorksheet(L"Sheet1", -1), nullptr);
    EXPECT_EQ(book.AddWorksheet("Sheet1", -1), nullptr);
    EXPECT_EQ(book.GetWorksheet("Sheet1"), a);
    EXPECT_EQ(book.GetWorksheet(L"Sheet1"), wide);
    wchar_t name[16];
    EXPECT_TRUE(wide->GetSheetName(name));
    EXPECT_STREQ(name, L"Sheet1");
    char narrowName[16];
    EXPECT_TRUE(a->GetSheetName(narrowName));
    EXPECT_STREQ(narrowName, "Sheet1");
    EXPECT_FALSE(wide->GetSheetName(narrowName)) << "a wide name has no narrow form";

    ASSERT_NE(book.AddWorksheet("Front", 0), nullptr);
    EXPECT_EQ(a->GetSheetIndex(), 1);
    EXPECT_EQ(c->GetSheetIndex(), 3);
    EXPECT_TRUE(book.DeleteWorksheet(0));
    EXPECT_TRUE(book.DeleteWorksheet("Sheet2"));
    EXPECT_EQ(c->GetSheetIndex(), 1);
    EXPECT_STREQ(c->GetAnsiSheetName(), "Sheet3");

    EXPECT_FALSE(book.RenameWorksheet(0, "Sheet1")) << "its own name";
    EXPECT_FALSE(book.RenameWorksheet(0, "Sheet3")) << "another sheet's";
    EXPECT_TRUE(book.RenameWorksheet(0, L"Sheet3")) << "the other width is free";
    EXPECT_EQ(book.GetAnsiSheetName(0), nullptr);
    EXPECT_TRUE(book.RenameWorksheet("Sheet3", "Data"));
    EXPECT_STREQ(book.GetAnsiSheetName(1), "Data");
    EXPECT_FALSE(book.RenameWorksheet("missing", "x"));

    const int count = book.GetTotalWorkSheets();
    EXPECT_EQ(book.AddWorksheet("", -1), nullptr);
    EXPECT_EQ(book.AddWorksheet(static_cast<const char*>(nullptr), -1), nullptr);
    EXPECT_EQ(book.AddWorksheet("x", count + 1), nullptr);
    EXPECT_EQ(book.AddWorksheet("x", -2), nullptr);
    EXPECT_FALSE(book.RenameWorksheet(count, "x"));
    EXPECT_FALSE(book.RenameWorksheet(-1, "x"));
    EXPECT_EQ(book.GetWorksheet(count), nullptr);
    EXPECT_FALSE(book.DeleteWorksheet(count));
    EXPECT_FALSE(book.DeleteWorksheet(-1));
    char buffer[300];
    EXPECT_FALSE(book.GetSheetName(-1, buffer));
    EXPECT_EQ(book.GetTotalWorkSheets(), count);
}

TEST(XlsWorksheetGrid, GrowsToTheFurthestCellAndStopsAtTheLimits)
{
    XlsWorkbook book;
    book.New(1);
    XlsWorksheet* sheet = book.GetWorksheet(0);
    const XlsWorksheet& view = *sheet;
    EXPECT_EQ(view.Cell(0, 1), nullptr);
    sheet->Cell(0, 0)->SetWString(L"first");
    sheet->Cell(2, 1)->Set(7);
    sheet->Cell(1, 9)->Set(2.5); // widens every row
    EXPECT_EQ(sheet->GetTotalRows(), 3);
    EXPECT_EQ(sheet->GetTotalCols(), 10);
    EXPECT_STREQ(view.Cell(0, 0)->GetWString(), L"first");
    EXPECT_EQ(view.Cell(2, 1)->GetInteger(), 7);
    EXPECT_EQ(view.Cell(2, 9)->Type(), XlsCell::UNDEFINED);
    EXPECT_TRUE(sheet->EraseCell(0, 0));
    EXPECT_EQ(view.Cell(0, 0)->Type(), XlsCell::UNDEFINED);
    EXPECT_TRUE(sheet->EraseCell(2, 8)); // inside the grid, never filled
    EXPECT_FALSE(sheet->EraseCell(3, 0));
    EXPECT_FALSE(sheet->EraseCell(0, 10));

    EXPECT_NE(sheet->Cell(65535, 255), nullptr);
    for (const auto& outside : {std::make_pair(65536, 0), {0, 256}, {-1, 0}, {0, -1}})
        EXPECT_EQ(sheet->Cell(outside.first, outside.second), nullptr);
    EXPECT_EQ(sheet->GetTotalRows(), 65536);
    EXPECT_EQ(sheet->GetTotalCols(), 256);
}

TEST(XlsWorksheetGrid, ColumnWidthsMergesAndPrinting)
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
    EXPECT_TRUE(sheet->MergeCells(65534, 250, 10, 10)); // spans are clamped to the sheet
    EXPECT_EQ(sheet->Cell(65534, 250)->GetMergedRows(), 2);
    EXPECT_EQ(sheet->Cell(65534, 250)->GetMergedColumns(), 6);
    EXPECT_FALSE(sheet->MergeCells(65536, 0, 2, 2));
    EXPECT_FALSE(sheet->MergeCells(-1, 0, 2, 2));

    XlsWorkbook small;
    small.New(1);
    sheet = small.GetWorksheet(0);
    sheet->Cell(0, 0)->Set(1);
    sheet->Cell(0, 1)->Set(2.5);
    sheet->Cell(0, 2)->SetString("a'b");
    sheet->Cell(1, 0)->SetWString(L"wide"); // wide text is not printed
    sheet->Cell(1, 2)->Set(1.0 / 3.0);
    std::ostringstream quoted, plain;
    sheet->Print(quoted, ',', '\'');
    EXPECT_EQ(quoted.str(), "1,2.5,'a''b'\n,,0.333333333333333\n");
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
