#ifndef GRIDMOLT_BIFF_MERGEDCELLS_H
#define GRIDMOLT_BIFF_MERGEDCELLS_H

#include <vector>

#include "biff/mergedcell.h"

namespace Biff {
namespace Sheet {

// The sheet's merged ranges, written as MERGEDCELLS (0x00E5) records of at
// most 1027 ranges each, so that no record needs a CONTINUE piece.
class MergedCells {
public:
    using MergedCell = Sheet::MergedCell;

    static const unsigned short Code = 0x00E5;
    static const unsigned int MaxRangesPerRecord = 1027;

    std::vector<MergedCell> mergedCells;

    // Reads every MERGEDCELLS record at `data`, one after another, appending
    // their ranges. Returns the bytes consumed; 0 when the first record is no
    // MERGEDCELLS or any of them is cut off or counts more ranges than its
    // data holds (nothing of that record is kept).
    unsigned int Read(const char* data, unsigned int size);
    unsigned int Write(char* data);
    // 8 bytes per range.
    unsigned int DataSize();
    // Bytes Write emits: ranges and one 6-byte header with count per record.
    unsigned int RecordSize();
};

} // namespace Sheet
} // namespace Biff

#endif
