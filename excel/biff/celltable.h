#ifndef GRIDMOLT_BIFF_CELLTABLE_H
#define GRIDMOLT_BIFF_CELLTABLE_H

#include <vector>

#include "biff/rowblock.h"

namespace Biff {
namespace Sheet {

// The row blocks of a sheet in stream order.
class CellTable {
public:
    using RowBlock = Sheet::RowBlock;

    std::vector<RowBlock> rowBlocks;

    // Reads consecutive row blocks, each starting with a ROW record, from the
    // `size` bytes at `data` and appends them. Returns the bytes consumed, 0
    // when a block does not read. An EOF record inside a block throws
    // Biff::EXCEPTION_EOF counting every byte from `data` through the EOF.
    unsigned int Read(const char* data, unsigned int size);
    // 0 when a block cannot be written or the table would need more than
    // `room` bytes (nothing beyond `room` is written).
    unsigned int Write(char* data, unsigned long long room = 0xFFFFFFFFu);
    unsigned int DataSize();
    unsigned int RecordSize();
};

} // namespace Sheet
} // namespace Biff

#endif
