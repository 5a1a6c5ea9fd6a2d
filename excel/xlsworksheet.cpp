#include "xlsworksheet.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "xlsworkbook.h"

namespace Biff {

namespace {

using CellBlock = Worksheet::CellTable::RowBlock::CellBlock;

const unsigned short kFormula = 0x0006;
const unsigned short kMulRK = 0x00BD;
const unsigned short kMulBlank = 0x00BE;
const unsigned short kLabelSST = 0x00FD;
const unsigned short kBlank = 0x0201;
const unsigned short kNumber = 0x0203;
const unsigned short kBoolErr = 0x0205;
const unsigned short kRK = 0x027E;

// Rows and columns a sheet's records call for: the furthest valued cell.
// Blank cells carry formatting only and do not make a sheet larger; cells
// beyond the sheet's limits cannot be shown and are left out.
void calculate_dimension(std::vector<Worksheet::CellTable::RowBlock>& rowBlocks, int& rows, int& cols)
{
    int maxRow = 0;
    int maxCol = 0;
    for (Worksheet::CellTable::RowBlock& block : rowBlocks) {
        for (RefCount::SmartPtr<CellBlock>& cell : block.cellBlocks) {
            if (!cell || cell->record == nullptr)
                continue;
            const unsigned short type = cell->type;
            if (type == kBlank || type == kMulBlank)
                continue;
            const int row = cell->RowIndex();
            int col = cell->ColIndex();
            if (type == kMulRK) {
                const CellBlock::MulRK* rec = static_cast<const CellBlock::MulRK*>(cell->record);
                if (rec->lastColIndex < rec->firstColIndex || rec->xfRKs.empty())
                    continue;
                const int last = rec->firstColIndex + static_cast<int>(rec->xfRKs.size()) - 1;
                col = std::min<int>(rec->lastColIndex, last);
            }
            if (row >= XlsWorksheet::kMaxRows || col < 0)
                continue;
            if (col >= XlsWorksheet::kMaxCols) {
                // A run that starts inside the sheet still fills it to its edge.
                if (type != kMulRK || cell->ColIndex() >= XlsWorksheet::kMaxCols)
                    continue;
                col = XlsWorksheet::kMaxCols - 1;
            }
            maxRow = std::max(maxRow, row);
            maxCol = std::max(maxCol, col);
        }
    }
    rows = maxRow + 1;
    cols = maxCol + 1;
}

} // namespace

unsigned long long XlsWorksheet::GridBytesFor(Worksheet& model, const std::vector<LargeString>& strings)
{
    int rows = 1;
    int cols = 1;
    calculate_dimension(model.cellTable.rowBlocks, rows, cols);
    unsigned long long records = 0;
    unsigned long long copies = 0; // texts and formulas each cell holds for itself
    bool blankRuns = false;
    for (Worksheet::CellTable::RowBlock& block : model.cellTable.rowBlocks) {
        records += block.cellBlocks.size();
        for (RefCount::SmartPtr<CellBlock>& cell : block.cellBlocks) {
            if (!cell || cell->record == nullptr)
                continue;
            blankRuns = blankRuns || cell->type == kMulBlank;
            if (cell->type == kLabelSST) {
                const unsigned int index = static_cast<const CellBlock::LabelSST*>(cell->record)->sstIndex;
                if (index < strings.size()) {
                    const LargeString& text = strings[index];
                    copies += text.IsWide() ? (text.wideText.size() + 1) * sizeof(wchar_t) : text.narrowText.size() + 1;
                }
            } else if (cell->type == kFormula) {
                CellBlock::Formula* rec = static_cast<CellBlock::Formula*>(cell->record);
                copies += sizeof(XlsCell::Formula) + rec->formula.size();
                // A copy of the companion: its fields, tokens and record data.
                if (Record* companion = rec->Companion())
                    copies += sizeof(CellBlock::Formula) + 2ull * companion->dataSize;
                if (rec->string.text != nullptr)
                    copies += (std::wcslen(rec->string.text) + 1) * (sizeof(wchar_t) + 1);
            }
        }
    }
    // Each record materialises at most its own row, as wide as the grid (or
    // the whole sheet width for a blank run that reaches past the grid).
    const unsigned long long width = blankRuns ? static_cast<unsigned long long>(kMaxCols) : static_cast<unsigned long long>(cols);
    const unsigned long long cells = std::min<unsigned long long>(records, static_cast<unsigned long long>(rows)) * width + 1;
    return cells * sizeof(XlsCell) + static_cast<unsigned long long>(rows) * sizeof(std::vector<XlsCell>) + copies;
}

XlsWorksheet::XlsWorksheet(XlsWorkbook* excel, int sheetIndex)
    : excel_(excel), sheetIndex_(sheetIndex), maxRows_(1), maxCols_(1)
{
    UpdateCells();
}

XlsWorksheet::~XlsWorksheet() = default;

XlsCell* XlsWorksheet::MaterialisedCell(int row, int col)
{
    std::vector<XlsCell>& line = cells_[static_cast<size_t>(row)];
    if (line.size() <= static_cast<size_t>(col))
        line.resize(std::max(static_cast<size_t>(maxCols_), static_cast<size_t>(col) + 1));
    return &line[static_cast<size_t>(col)];
}

XlsCell* XlsWorksheet::Cell(int row, int col)
{
    if (row < 0 || col < 0 || row >= kMaxRows || col >= kMaxCols)
        return nullptr;
    if (col >= maxCols_) {
        maxCols_ = col + 1;
        // Cells that loading kept beyond the old width stay only where the new
        // width covers them.
        for (std::vector<XlsCell>& line : cells_) {
            if (line.size() > static_cast<size_t>(maxCols_))
                line.resize(static_cast<size_t>(maxCols_));
        }
    }
    if (row >= maxRows_) {
        maxRows_ = row + 1;
        cells_.resize(static_cast<size_t>(maxRows_));
    }
    std::vector<XlsCell>& line = cells_[static_cast<size_t>(row)];
    if (line.size() < static_cast<size_t>(maxCols_))
        line.resize(static_cast<size_t>(maxCols_));
    return &line[static_cast<size_t>(col)];
}

const XlsCell* XlsWorksheet::Cell(int row, int col) const
{
    if (row < 0 || col < 0 || row >= maxRows_ || col >= maxCols_)
        return nullptr;
    const std::vector<XlsCell>& line = cells_[static_cast<size_t>(row)];
    if (static_cast<size_t>(col) < line.size())
        return &line[static_cast<size_t>(col)];
    return &emptyCell_;
}

bool XlsWorksheet::EraseCell(int row, int col)
{
    if (row < 0 || col < 0 || row >= maxRows_ || col >= maxCols_)
        return false;
    std::vector<XlsCell>& line = cells_[static_cast<size_t>(row)];
    if (static_cast<size_t>(col) < line.size())
        line[static_cast<size_t>(col)].EraseContents();
    return true;
}

const char* XlsWorksheet::GetAnsiSheetName() const
{
    return excel_ ? excel_->GetAnsiSheetName(sheetIndex_) : nullptr;
}

const wchar_t* XlsWorksheet::GetUnicodeSheetName() const
{
    return excel_ ? excel_->GetUnicodeSheetName(sheetIndex_) : nullptr;
}

bool XlsWorksheet::GetSheetName(char* name) const
{
    return excel_ ? excel_->GetSheetName(sheetIndex_, name) : false;
}

bool XlsWorksheet::GetSheetName(wchar_t* name) const
{
    return excel_ ? excel_->GetSheetName(sheetIndex_, name) : false;
}

bool XlsWorksheet::Rename(const char* to)
{
    return excel_ ? excel_->RenameWorksheet(sheetIndex_, to) : false;
}

bool XlsWorksheet::Rename(const wchar_t* to)
{
    return excel_ ? excel_->RenameWorksheet(sheetIndex_, to) : false;
}

unsigned short XlsWorksheet::GetColWidth(int col) const
{
    for (const Worksheet::ColInfo& info : colInfos_.colInfos) {
        if (info.firstColumn == col)
            return info.columnWidth;
    }
    return 0;
}

bool XlsWorksheet::SetColWidth(int col, unsigned short width)
{
    if (col < 0 || col >= kMaxCols)
        return false;
    Worksheet::ColInfo info;
    info.firstColumn = static_cast<unsigned short>(col);
    info.lastColumn = static_cast<unsigned short>(col);
    info.columnWidth = width;
    colInfos_.colInfos.push_back(info);
    return true;
}

bool XlsWorksheet::MergeCells(int row, int col, unsigned short rowRange, unsigned short colRange)
{
    XlsCell* cell = Cell(row, col);
    if (cell == nullptr)
        return false;
    // A span is 16 bits, so a full-height merge covers 65535 rows.
    const int rows = std::max(1, std::min<int>({rowRange, kMaxRows - row, 0xFFFF}));
    const int cols = std::max(1, std::min<int>(colRange, kMaxCols - col));
    cell->SetMergedRows(static_cast<unsigned short>(rows));
    cell->SetMergedColumns(static_cast<unsigned short>(cols));
    return true;
}

void XlsWorksheet::Print(std::ostream& os, char delimiter, char textQualifier) const
{
    for (int r = 0; r < maxRows_; ++r) {
        for (int c = 0; c < maxCols_; ++c) {
            const XlsCell* cell = Cell(r, c);
            switch (cell->Type()) {
            case XlsCell::INT:
                os << cell->GetInteger();
                break;
            case XlsCell::DOUBLE:
                os.precision(15);
                os << cell->GetDouble();
                break;
            case XlsCell::STRING:
                if (textQualifier == '\0') {
                    os << cell->GetString();
                } else {
                    std::string text(cell->GetString());
                    for (size_t at = text.find(textQualifier); at != std::string::npos;
                         at = text.find(textQualifier, at + 2))
                        text.insert(at, 1, textQualifier);
                    os << textQualifier << text << textQualifier;
                }
                break;
            default:
                break;
            }
            if (c + 1 < maxCols_)
                os << delimiter;
        }
        os << '\n';
        os.flush();
    }
}

void XlsWorksheet::UpdateCells()
{
    cells_.clear();
    maxRows_ = 1;
    maxCols_ = 1;
    Worksheet* model = excel_ ? excel_->WorksheetModel(sheetIndex_) : nullptr;
    if (model == nullptr) {
        cells_.resize(1);
        return;
    }
    std::vector<Worksheet::CellTable::RowBlock>& rowBlocks = model->cellTable.rowBlocks;
    calculate_dimension(rowBlocks, maxRows_, maxCols_);
    cells_.resize(static_cast<size_t>(maxRows_));

    const std::vector<LargeString>& sst = excel_->workbook_.sharedStringTable.strings;
    for (Worksheet::CellTable::RowBlock& block : rowBlocks) {
        for (RefCount::SmartPtr<CellBlock>& cellBlock : block.cellBlocks) {
            if (!cellBlock || cellBlock->record == nullptr)
                continue;
            const int row = cellBlock->RowIndex();
            const int col = cellBlock->ColIndex();
            if (row >= maxRows_ || col >= maxCols_)
                continue;
            Record* record = cellBlock->record;
            switch (cellBlock->type) {
            case kFormula: {
                CellBlock::Formula* rec = static_cast<CellBlock::Formula*>(record);
                XlsCell* cell = MaterialisedCell(row, col);
                cell->SetFormula(*rec);
                cell->SetXFormatIdx(rec->xfIndex);
                break;
            }
            case kMulRK: {
                CellBlock::MulRK* rec = static_cast<CellBlock::MulRK*>(record);
                int c = col;
                for (size_t i = 0; i < rec->xfRKs.size() && c <= rec->lastColIndex && c < maxCols_; ++i, ++c) {
                    XlsCell* cell = MaterialisedCell(row, c);
                    cell->SetRKValue(static_cast<int>(rec->xfRKs[i].rkValue));
                    cell->SetXFormatIdx(rec->xfRKs[i].xfIndex);
                }
                break;
            }
            case kMulBlank: {
                CellBlock::MulBlank* rec = static_cast<CellBlock::MulBlank*>(record);
                int c = col;
                // Columns past the grid lengthen this row alone; they stay out
                // of sight until the grid grows over them.
                for (size_t i = 0; i < rec->xfIndices.size() && c <= rec->lastColIndex && c < kMaxCols; ++i, ++c)
                    MaterialisedCell(row, c)->SetXFormatIdx(rec->xfIndices[i]);
                break;
            }
            case kLabelSST: {
                CellBlock::LabelSST* rec = static_cast<CellBlock::LabelSST*>(record);
                XlsCell* cell = MaterialisedCell(row, col);
                // An index past the table names no text: the cell stays empty.
                if (rec->sstIndex < sst.size()) {
                    const LargeString& text = sst[static_cast<size_t>(rec->sstIndex)];
                    if (!text.IsWide()) {
                        std::vector<char> chars(text.narrowText);
                        chars.push_back('\0');
                        cell->Set(chars.data());
                    } else {
                        std::vector<wchar_t> chars(text.wideText);
                        chars.push_back(L'\0');
                        cell->Set(chars.data());
                    }
                }
                cell->SetXFormatIdx(rec->xfIndex);
                break;
            }
            case kBlank:
                MaterialisedCell(row, col)->SetXFormatIdx(static_cast<CellBlock::Blank*>(record)->xfIndex);
                break;
            case kNumber: {
                CellBlock::Number* rec = static_cast<CellBlock::Number*>(record);
                XlsCell* cell = MaterialisedCell(row, col);
                cell->Set(rec->value);
                cell->SetXFormatIdx(rec->xfIndex);
                break;
            }
            case kBoolErr: {
                CellBlock::BoolErr* rec = static_cast<CellBlock::BoolErr*>(record);
                XlsCell* cell = MaterialisedCell(row, col);
                if (rec->error == 0)
                    cell->Set(static_cast<int>(rec->value));
                cell->SetXFormatIdx(rec->xfIndex);
                break;
            }
            case kRK: {
                CellBlock::RK* rec = static_cast<CellBlock::RK*>(record);
                XlsCell* cell = MaterialisedCell(row, col);
                cell->SetRKValue(static_cast<int>(rec->value));
                cell->SetXFormatIdx(rec->xfIndex);
                break;
            }
            default:
                break;
            }
        }
    }

    for (const Worksheet::MergedCells::MergedCell& range : model->mergedCells.mergedCells) {
        if (range.lastRowIndex < range.firstRowIndex || range.lastColIndex < range.firstColIndex)
            continue;
        if (range.firstRowIndex >= maxRows_)
            continue;
        // A row that a blank run lengthened holds a cell past the grid's width.
        const size_t rowLength = std::max(static_cast<size_t>(maxCols_), cells_[range.firstRowIndex].size());
        if (range.firstColIndex >= rowLength)
            continue;
        XlsCell* cell = MaterialisedCell(range.firstRowIndex, range.firstColIndex);
        cell->SetMergedRows(static_cast<unsigned short>(std::min(range.lastRowIndex - range.firstRowIndex + 1, 0xFFFF)));
        cell->SetMergedColumns(static_cast<unsigned short>(range.lastColIndex - range.firstColIndex + 1));
    }
}

} // namespace Biff
