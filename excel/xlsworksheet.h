#ifndef GRIDMOLT_XLSWORKSHEET_H
#define GRIDMOLT_XLSWORKSHEET_H

#include <ostream>
#include <vector>

#include "biff/largestring.h"
#include "biff/refcnt.h"
#include "biff/worksheet.h"
#include "xlscell.h"

namespace Biff {

class XlsWorkbook;

// One sheet as a grid of cells by 0-based row and column. The grid grows on
// demand up to the BIFF8 sheet size and never shrinks.
//
// Rows are materialised only when a cell of theirs is asked for through the
// growing Cell or filled by loading; a row shorter than the grid's width reads
// as empty cells. Memory therefore follows the rows actually used, not the
// furthest cell a (possibly hostile) file names.
class XlsWorksheet : public RefCount::RefCnt {
public:
    static const int kMaxRows = 65536;
    static const int kMaxCols = 256;

    XlsWorksheet(XlsWorkbook* excel, int sheetIndex);
    ~XlsWorksheet();

    // The cell at (row, col), growing the grid to cover it; null beyond the
    // sheet's limits or for a negative position.
    XlsCell* Cell(int row, int col);
    // The cell within the current grid, or null; never grows.
    const XlsCell* Cell(int row, int col) const;

    int GetTotalRows() const { return maxRows_; }
    int GetTotalCols() const { return maxCols_; }

    bool EraseCell(int row, int col);

    const char* GetAnsiSheetName() const;
    const wchar_t* GetUnicodeSheetName() const;
    bool GetSheetName(char* name) const;
    bool GetSheetName(wchar_t* name) const;
    bool Rename(const char* to);
    bool Rename(const wchar_t* to);

    // Column widths in 1/256 of a character.
    unsigned short GetColWidth(int col) const;
    bool SetColWidth(int col, unsigned short width);

    // Spans are clamped so the range stays inside the sheet; false for a
    // position outside it.
    bool MergeCells(int row, int col, unsigned short rowRange, unsigned short colRange);

    void Print(std::ostream& os, char delimiter = ',', char textQualifier = '\0') const;

    // Rebuilds the grid from this sheet's record model in the workbook.
    void UpdateCells();

    int GetSheetIndex() const { return sheetIndex_; }

    // Most bytes UpdateCells would allocate for a record model (the grid,
    // each text cell's copy of its string from `strings`, each formula's
    // copy of its tokens and result); lets a loader refuse a file whose few
    // bytes would take vast memory.
    static unsigned long long GridBytesFor(Worksheet& model, const std::vector<LargeString>& strings);

private:
    friend class XlsWorkbook;

    XlsCell* MaterialisedCell(int row, int col);

    XlsWorkbook* excel_;
    int sheetIndex_;
    int maxRows_;
    int maxCols_;
    std::vector<std::vector<XlsCell>> cells_;
    Worksheet::ColInfos colInfos_;
    // What a row that was never materialised holds in every column.
    XlsCell emptyCell_;
};

} // namespace Biff

#endif
