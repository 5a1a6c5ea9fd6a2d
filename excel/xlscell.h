#ifndef GRIDMOLT_XLSCELL_H
#define GRIDMOLT_XLSCELL_H

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "biff/refcnt.h"
#include "biff/smartptr.h"
#include "biff/cellblock.h"

namespace Biff {

// Truncation toward zero into 32 bits; anything that does not fit (NaN and
// infinities included) becomes the lowest int, as the conversion instruction does.
int TruncToInt(double d);

// One cell of the spreadsheet interface: empty, a number, a text of either
// width or a formula carried over from a loaded file, with its XF index and
// merge spans. A value type, copied into and out of the sheet's grid.
class XlsCell {
public:
    enum { UNDEFINED = 0, INT = 1, DOUBLE = 2, STRING = 3, WSTRING = 4, FORMULA = 5 };

    using CellBlock = Sheet::CellBlock;

    // The formula of a loaded cell, shared between copies of the cell.
    class Formula : public RefCount::RefCnt {
    public:
        Formula();
        explicit Formula(const CellBlock::Formula& record);

        // Option flags of the FORMULA record (always calculate, shared, ...):
        // a cell of a shared formula names its group only through them.
        unsigned short options_;
        std::vector<char> tokens_;
        unsigned char rawResult_[8];
        std::wstring wstringResult_;
        std::string stringResult_;
        // The record that completes the formula (ARRAY, TABLE or a shared
        // formula, whose cells refer to it), as read; null for none.
        std::unique_ptr<Record> companion_;
    };

    XlsCell();
    XlsCell(const XlsCell& other);
    XlsCell& operator=(const XlsCell& other);
    ~XlsCell();

    int Type() const { return type_; }

    bool Get(int& val) const;
    bool Get(double& val) const;
    // Copy the text with its terminator; the cell must hold text of that width.
    bool Get(char* str) const;
    bool Get(wchar_t* str) const;
    int GetInteger() const;
    double GetDouble() const;
    const char* GetString() const;
    const wchar_t* GetWString() const;
    size_t GetStringLength() const;

    void Set(int val);
    void Set(double val);
    void Set(const char* str);
    void Set(const wchar_t* str);
    void SetInteger(int val) { Set(val); }
    void SetDouble(double val) { Set(val); }
    void SetString(const char* str) { Set(str); }
    void SetWString(const wchar_t* str) { Set(str); }
    void SetRKValue(int rk);
    void SetFormula(const CellBlock::Formula& record);
    bool get_formula(CellBlock* block) const;

    void EraseContents();

    int GetXFormatIdx() const { return xfIndex_; }
    void SetXFormatIdx(int xfIndex) { xfIndex_ = xfIndex; }
    unsigned short GetMergedRows() const { return mergedRows_; }
    void SetMergedRows(unsigned short rows) { mergedRows_ = rows; }
    unsigned short GetMergedColumns() const { return mergedColumns_; }
    void SetMergedColumns(unsigned short cols) { mergedColumns_ = cols; }

private:
    bool FormulaHasNumber(double& val) const;

    int type_;
    int ival_;
    double dval_;
    std::vector<char> str_;
    std::vector<wchar_t> wstr_;
    unsigned short mergedRows_;
    unsigned short mergedColumns_;
    int xfIndex_;
    RefCount::SmartPtr<Formula> formula_;
};

// Writes the cell's value; wide text goes out as UTF-8.
std::ostream& operator<<(std::ostream& os, const XlsCell& cell);

} // namespace Biff

#endif
