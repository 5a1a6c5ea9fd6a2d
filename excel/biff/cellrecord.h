#ifndef GRIDMOLT_BIFF_CELLRECORD_H
#define GRIDMOLT_BIFF_CELLRECORD_H

#include "biff/record.h"
#include "compound/littleendian.h"

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
    unsigned int ReadCell(const char* in, unsigned int size, unsigned int fixedSize)
    {
        const unsigned int consumed = ReadFixed(in, size, fixedSize);
        if (consumed == 0)
            return 0;
        CompoundDoc::LittleEndian::Read(data, rowIndex, 0);
        CompoundDoc::LittleEndian::Read(data, colIndex, 2);
        CompoundDoc::LittleEndian::Read(data, xfIndex, 4);
        return consumed;
    }
    // BeginFixedWrite with the row, column and XF index already in place.
    // Returns where the data starts (the value goes from byte 6 on), null for
    // no buffer. Inline, as the per-cell write it replaces was: saving calls
    // it for nearly every cell of a sheet.
    char* BeginCellWrite(char* out, unsigned int fixedSize)
    {
        SetFixedSize(fixedSize);
        char* d = BeginFixedWrite(out);
        if (d == nullptr)
            return nullptr;
        CompoundDoc::LittleEndian::Write(d, rowIndex, 0);
        CompoundDoc::LittleEndian::Write(d, colIndex, 2);
        CompoundDoc::LittleEndian::Write(d, xfIndex, 4);
        return d;
    }
};

} // namespace Sheet
} // namespace Biff

#endif
