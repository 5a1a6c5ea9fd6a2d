#ifndef GRIDMOLT_BIFF_RANGEFORMULA_H
#define GRIDMOLT_BIFF_RANGEFORMULA_H

#include <vector>

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// What ARRAY and the shared formula records have in common: the cell range
// the formula covers, fields of the record's own up to its header size, then
// the token length (u16) and tokens. The record reads and writes the range and
// tokens here and only its own fields itself.
class RangeFormula : public Record {
public:
    unsigned short firstRowIndex;
    unsigned short lastRowIndex;
    unsigned char firstColIndex;
    unsigned char lastColIndex;
    std::vector<char> formula; // token length (u16) and tokens, raw

    ~RangeFormula() override;

    // Bytes consumed, 0 for a record shorter than its fields or whose token
    // length runs past its data.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
    unsigned int DataSize() override;
    unsigned int RecordSize() override;

protected:
    RangeFormula(unsigned short code, unsigned int headerSize);
    RangeFormula(const RangeFormula&) = default;
    RangeFormula& operator=(const RangeFormula&) = default;

    // The record's own fields in `data`, from byte 6 up to its header size
    // (data holds at least the header when these are called).
    virtual void ReadFields() = 0;
    virtual void WriteFields() = 0;

private:
    unsigned int headerSize_;
};

} // namespace Sheet
} // namespace Biff

#endif
