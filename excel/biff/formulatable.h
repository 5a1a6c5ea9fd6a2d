#ifndef GRIDMOLT_BIFF_FORMULATABLE_H
#define GRIDMOLT_BIFF_FORMULATABLE_H

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// TABLE (0x0036): the data table a FORMULA cell belongs to.
class FormulaTable : public Record {
public:
    static const unsigned short Code = 0x0036;
    static const unsigned int FixedDataSize = 16;

    unsigned short firstRowIndex;
    unsigned short lastRowIndex;
    unsigned char firstColIndex;
    unsigned char lastColIndex;
    unsigned short options;
    unsigned short inputCellRowIndex;
    unsigned short inputCellColIndex;
    unsigned short inputCellRowIndex2;
    unsigned short inputCellColIndex2;

    FormulaTable();
    FormulaTable(const FormulaTable&) = default;
    FormulaTable& operator=(const FormulaTable&) = default;
    ~FormulaTable() override;

    // Bytes consumed on the stream, 0 for a record that is cut off or shorter
    // than FixedDataSize.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
};

} // namespace Sheet
} // namespace Biff

#endif
