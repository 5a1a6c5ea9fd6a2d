#ifndef GRIDMOLT_BIFF_ROWBLOCK_H
#define GRIDMOLT_BIFF_ROWBLOCK_H

#include <vector>

#include "biff/cellblock.h"
#include "biff/dbcell.h"
#include "biff/row.h"
#include "biff/smartptr.h"

namespace Biff {
namespace Sheet {

// Up to 32 rows of a sheet: their ROW records, their cell records in stream
// order and the DBCELL that closes the block. Copies share the cell blocks.
class RowBlock {
public:
    using Row = Sheet::Row;
    using DBCell = Sheet::DBCell;
    using CellBlock = Sheet::CellBlock;

    std::vector<Row> rows;
    std::vector<RefCount::SmartPtr<CellBlock>> cellBlocks;
    DBCell dbcell;

    // Reads ROW and cell records up to and including the DBCELL from the
    // `size` bytes at `data`; other records are skipped. A block without
    // DBCELL (as many writers leave them) ends before the first record that
    // belongs to the sheet itself (WINDOW2, MERGEDCELLS, a nested BOF, ...),
    // so the sheet reader still gets those. Returns the bytes consumed, 0
    // when a record does not read or the range ends first.
    // Meeting an EOF record throws Biff::EXCEPTION_EOF with the bytes
    // consumed through it (the cells read so far stay in the block).
    unsigned int Read(const char* data, unsigned int size);
    // Rows, cells, DBCELL; 0 when a record cannot be written or the block
    // would need more than `room` bytes (nothing beyond `room` is written).
    unsigned int Write(char* data, unsigned long long room = 0xFFFFFFFFu);
    unsigned int DataSize();
    // Every ROW, cell record (with a formula's companions) and the DBCELL.
    unsigned int RecordSize();
};

} // namespace Sheet
} // namespace Biff

#endif
