#ifndef GRIDMOLT_BIFF_CELLRECORD_H
#define GRIDMOLT_BIFF_CELLRECORD_H

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// The fixed-size cell records (BLANK, BOOLERR, LABELSST, NUMBER, RK) start
// alike: row, column and XF index in their first six bytes, the value of the
// kind behind them. That start is read and written here.
class CellRecord : public Record {
public:
    unsigned short rowIndex;
    unsigned short colIndex;
    unsigned short xfIndex;

    ~CellRecord() override;

protected:
    CellRecord(unsigned short code, unsigned int fixedSize);
    CellRecord(const CellRecord&) = default;
    CellRecord& operator=(const CellRecord&) = default;

    // ReadFixed, then the row, column and XF index from a record that read.
    // Returns the bytes consumed on the stream or 0; the value of the kind
    // is in `data` from byte 6 on.
    unsigned int ReadCell(const char* in, unsigned int size, unsigned int fixedSize);
    // BeginFixedWrite with the row, column and XF index already in place.
    // Returns where the data starts (the value goes from byte 6 on), null for
    // no buffer.
    char* BeginCellWrite(char* out, unsigned int fixedSize);
};

} // namespace Sheet
} // namespace Biff

#endif
