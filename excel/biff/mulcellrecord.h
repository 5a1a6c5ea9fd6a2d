#ifndef GRIDMOLT_BIFF_MULCELLRECORD_H
#define GRIDMOLT_BIFF_MULCELLRECORD_H

#include <cstddef>

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// MULBLANK and MULRK hold a run of cells of one row alike: the row, the first
// column, one entry of a fixed size per column and the last column in the
// final two bytes. The run and its ends are read, checked and written here;
// the entries are the record's own.
class MulCellRecord : public Record {
public:
    unsigned short rowIndex;
    unsigned short firstColIndex;
    unsigned short lastColIndex;

    ~MulCellRecord() override;

    unsigned int RecordSize() override;

protected:
    MulCellRecord(unsigned short code, unsigned int entrySize);
    MulCellRecord(const MulCellRecord&) = default;
    MulCellRecord& operator=(const MulCellRecord&) = default;

    // Record::Read, then the row and the ends of the run. Returns the number
    // of entries, which lie in `data` from byte 4 on; 0 when the record does
    // not read, the column range is reversed or names more entries than the
    // record holds. `consumed` gets the bytes consumed on the stream.
    std::size_t ReadRun(const char* in, unsigned int size, unsigned int& consumed);
    // Sizes `data` by DataSize() and stores the row and the ends of the run;
    // the entries go from byte 4 on. False, nothing changed, for a size that
    // saturated.
    bool BeginRunWrite();

private:
    unsigned int entrySize_;
};

} // namespace Sheet
} // namespace Biff

#endif
