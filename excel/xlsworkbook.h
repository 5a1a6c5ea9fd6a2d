#ifndef GRIDMOLT_XLSWORKBOOK_H
#define GRIDMOLT_XLSWORKBOOK_H

#include <memory>
#include <string>
#include <vector>

#include "biff/smartptr.h"
#include "biff/workbook.h"
#include "biff/worksheet.h"
#include "compound/compoundfile.h"
#include "xlsworksheet.h"

namespace Biff {

// RK encodings of a number (bit 0: divided by 100, bit 1: 30-bit integer).
unsigned int GetRKValueFromInteger(int i);
unsigned int GetRKValueFromDouble(double d);
// Whether a number is written as RK: only when its RK form gives back exactly
// the same double.
bool CanStoreAsRKValue(double d);
// Whether an integer fits the 30-bit signed integer form of RK.
bool CanStoreAsRKInteger(int i);

// The workbook object: its compound document, the BIFF8 record model and one
// cell-level sheet object per sheet. Sheet i is BOUNDSHEET i, worksheets_[i]
// and sheetViews_[i] together.
class XlsWorkbook {
public:
    XlsWorkbook();
    explicit XlsWorkbook(const char* filename);
    ~XlsWorkbook();

    XlsWorkbook(const XlsWorkbook&) = delete;
    XlsWorkbook& operator=(const XlsWorkbook&) = delete;

    void New(int sheets);
    // False leaves the object closed and its workbook as it was; so does a
    // file whose cells would take far more memory than its size warrants, or
    // running out of memory.
    bool Load(const char* filename);
    bool Load(const wchar_t* filename);
    // Writes the workbook back to the file it was loaded from or last saved as.
    bool Save();
    // Writes beside the named file and renames over it only once the new file
    // is complete, so a failed save never damages an existing file.
    bool SaveAs(const char* filename);
    bool SaveAs(const wchar_t* filename);
    void Close();
    // Why the last Load, Save or SaveAs failed, in words for the user; empty
    // after a success.
    const std::string& GetLastError() const { return lastError_; }
    // A cell by its sheet, row and column, each counted from 0.
    struct CellPosition {
        int sheet;
        int row;
        int column;
    };
    // The text cells whose text the records last built (by Save, SaveAs or
    // UpdateWorksheets) hold cut to the 32,767 UTF-16 units a cell holds, as
    // readers refuse longer ones; in sheet, row and column order. The cells
    // themselves keep their whole text.
    const std::vector<CellPosition>& GetCutCells() const { return cutCells_; }
    // A cell as readers name it: column letters, then the row from 1 ("B7").
    static std::string CellName(size_t row, size_t column);

    // Reads a whole "Workbook" stream image into the records and the sheet
    // objects; returns the bytes consumed, 0 for a stream that is not a
    // readable workbook, whose cells would take far more memory than its size
    // warrants, or for which memory runs out (the workbook is then unchanged).
    unsigned long Read(const char* data, unsigned long size);
    // Writes the globals and every sheet; the buffer holds StreamSize() bytes.
    unsigned long long Write(char* data);
    // Bytes that Write produces for the current record model.
    unsigned long long StreamSize();

    int GetTotalWorkSheets() const;
    XlsWorksheet* GetWorksheet(int sheetIndex);
    XlsWorksheet* GetWorksheet(const char* name);
    XlsWorksheet* GetWorksheet(const wchar_t* name);
    XlsWorksheet* AddWorksheet(int sheetIndex = -1);
    XlsWorksheet* AddWorksheet(const char* name, int sheetIndex = -1);
    XlsWorksheet* AddWorksheet(const wchar_t* name, int sheetIndex = -1);
    bool DeleteWorksheet(int sheetIndex);
    bool DeleteWorksheet(const char* name);
    bool DeleteWorksheet(const wchar_t* name);
    bool RenameWorksheet(int sheetIndex, const char* to);
    bool RenameWorksheet(int sheetIndex, const wchar_t* to);
    bool RenameWorksheet(const char* from, const char* to);
    bool RenameWorksheet(const wchar_t* from, const wchar_t* to);

    const char* GetAnsiSheetName(int sheetIndex);
    const wchar_t* GetUnicodeSheetName(int sheetIndex);
    bool GetSheetName(int sheetIndex, char* name);
    bool GetSheetName(int sheetIndex, wchar_t* name);

    // The globals records, for the format manager.
    Workbook& GetWorkbookRecords() { return workbook_; }
    const Workbook& GetWorkbookRecords() const { return workbook_; }
    // One sheet's record model as the last save or load left it.
    const Worksheet* GetWorksheetRecords(int sheetIndex) const;

    void UpdateBiffWorksheet();
    void UpdateWorksheets();
    void AdjustStreamPositions();
    void AdjustBoundSheetBOFPositions();
    void AdjustDBCellPositions();
    // Fills the EXTSST index (buckets of 10 strings) from the string table as
    // it would be written now; saving does not write it.
    void AdjustExtSSTPositions();

private:
    friend class XlsWorksheet;

    Worksheet* WorksheetModel(int sheetIndex);
    // Narrow and wide names (Char is char or wchar_t) share one body each.
    template <typename Char>
    int FindSheet(const Char* name) const;
    template <typename Char>
    XlsWorksheet* AddNamedWorksheet(const Char* name, int sheetIndex);
    template <typename Char>
    bool RenameSheet(int sheetIndex, const Char* to);
    XlsWorksheet* InsertSheet(int sheetIndex);
    void RenumberSheets();
    bool LoadPath(const std::string& path);
    // Load without the guard against running out of memory.
    bool LoadDocument(const std::string& path);

    // A stream of the loaded document other than "Workbook" (summary
    // information, document summary, ...), written into every saved file.
    class CarriedStream {
    public:
        std::wstring path; // absolute, components separated by a backslash
        std::vector<char> data;
    };
    // Takes the records read and their streams and builds the sheet objects;
    // false (everything as it was) when memory runs out.
    bool Adopt(Workbook& globals, std::vector<Worksheet>& sheets, std::vector<CarriedStream>& streams);
    void BuildSheetViews(std::vector<RefCount::SmartPtr<XlsWorksheet>>& views);
    bool SaveTo(const std::string& path);
    // The stream image, from malloc-style allocation (see BuildStream).
    using StreamBuffer = std::unique_ptr<char, void (*)(void*)>;
    bool BuildStream(StreamBuffer& stream, unsigned long long& size);
    // False, naming the first such cell in lastError_, when a cell's XF index
    // lies outside the workbook's list of cell formats.
    bool CellFormatsKnown();

    CompoundDoc::CompoundFile file_;
    Workbook workbook_;
    std::vector<Worksheet> worksheets_;
    std::vector<RefCount::SmartPtr<XlsWorksheet>> sheetViews_;
    std::vector<CarriedStream> carriedStreams_;
    // File system path (bytes) of the open document; empty while closed.
    std::string path_;
    std::string lastError_;
    std::vector<CellPosition> cutCells_;
};

} // namespace Biff

#endif
