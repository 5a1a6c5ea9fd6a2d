#include "biff/celltable.h"

#include <algorithm>

#include "biff/exception_eof.h"
#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

unsigned int CellTable::Read(const char* in, unsigned int size)
{
    // As many blocks as the bytes could hold (a ROW and a DBCELL take 28), at
    // most 1000 at once.
    if (rowBlocks.capacity() == 0)
        rowBlocks.reserve(std::min<std::size_t>(1000, size / 28));
    unsigned int o = 0;
    while (size - o >= 2) {
        unsigned short identifier = 0;
        CompoundDoc::LittleEndian::Read(in, identifier, o);
        if (identifier != RowBlock::Row::Code)
            break;
        rowBlocks.emplace_back();
        unsigned int consumed = 0;
        try {
            consumed = rowBlocks.back().Read(in + o, size - o);
        } catch (const EXCEPTION_EOF& e) {
            // The reader above resumes after the EOF, so count the blocks before.
            throw EXCEPTION_EOF(o + e.bytesRead);
        }
        if (consumed == 0)
            return 0;
        o += consumed;
    }
    return o;
}

unsigned int CellTable::Write(char* out, unsigned long long room)
{
    if (room > SaturatedSize)
        room = SaturatedSize;
    unsigned long long p = 0;
    for (RowBlock& block : rowBlocks) {
        // Every block writes at least its DBCELL, so 0 is a failure.
        const unsigned int written = block.Write(out + p, room - p);
        if (written == 0)
            return 0;
        p += written;
    }
    return static_cast<unsigned int>(p);
}

unsigned int CellTable::DataSize()
{
    return RecordSize();
}

unsigned int CellTable::RecordSize()
{
    unsigned long long total = 0;
    for (RowBlock& block : rowBlocks)
        total += block.RecordSize();
    return ClampSize(total);
}

} // namespace Sheet
} // namespace Biff
