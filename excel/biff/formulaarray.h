#ifndef GRIDMOLT_BIFF_FORMULAARRAY_H
#define GRIDMOLT_BIFF_FORMULAARRAY_H

#include <vector>

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// ARRAY (0x0221): the array formula that follows the FORMULA of its first cell.
class FormulaArray : public Record {
public:
    static const unsigned short Code = 0x0221;
    static const unsigned int HeaderSize = 12;

    unsigned short firstRowIndex;
    unsigned short lastRowIndex;
    unsigned char firstColIndex;
    unsigned char lastColIndex;
    unsigned short options;
    unsigned int reserved;
    std::vector<char> formula; // token length (u16) and tokens, raw

    FormulaArray();
    FormulaArray(const FormulaArray&) = default;
    FormulaArray& operator=(const FormulaArray&) = default;
    ~FormulaArray() override;

    // Bytes consumed, 0 for a record shorter than its fields or whose token
    // length runs past its data.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
    unsigned int DataSize() override;
    unsigned int RecordSize() override;
};

} // namespace Sheet
} // namespace Biff

#endif
