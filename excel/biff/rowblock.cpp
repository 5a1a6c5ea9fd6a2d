#include "biff/rowblock.h"

#include "biff/eofrecord.h"
#include "biff/exception_eof.h"
#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

unsigned int RowBlock::Read(const char* in, unsigned int size)
{
    if (cellBlocks.capacity() == 0)
        cellBlocks.reserve(1000);
    unsigned int o = 0;
    while (size - o >= 4) {
        unsigned short identifier = 0;
        CompoundDoc::LittleEndian::Read(in, identifier, o);
        unsigned int consumed = 0;
        if (identifier == DBCell::Code) {
            consumed = dbcell.Read(in + o, size - o);
            return consumed == 0 ? 0 : o + consumed;
        } else if (CellBlock::IsCellRecord(identifier)) {
            RefCount::SmartPtr<CellBlock> block(new CellBlock);
            consumed = block->Read(in + o, size - o);
            if (consumed != 0)
                cellBlocks.push_back(std::move(block));
        } else if (identifier == Row::Code) {
            Row row;
            consumed = row.Read(in + o, size - o);
            if (consumed != 0)
                rows.push_back(row);
        } else {
            Record skipped;
            consumed = skipped.Read(in + o, size - o);
            if (consumed != 0 && identifier == EOFRecord::Code)
                throw EXCEPTION_EOF(o + consumed);
        }
        if (consumed == 0)
            return 0;
        o += consumed;
    }
    return 0; // the stream ended inside the block
}

unsigned int RowBlock::Write(char* out)
{
    if (RecordSize() == SaturatedSize)
        return 0;
    unsigned long long p = 0;
    for (Row& row : rows) {
        const unsigned int written = row.Write(out + p);
        if (written == 0)
            return 0;
        p += written;
    }
    for (RefCount::SmartPtr<CellBlock>& block : cellBlocks) {
        if (!block)
            continue;
        const unsigned int expected = block->RecordSize();
        if (block->Write(out + p) != expected)
            return 0;
        p += expected;
    }
    const unsigned int written = dbcell.Write(out + p);
    if (written == 0)
        return 0;
    return static_cast<unsigned int>(p + written);
}

unsigned int RowBlock::DataSize()
{
    return RecordSize();
}

unsigned int RowBlock::RecordSize()
{
    unsigned long long total = 0;
    for (Row& row : rows)
        total += row.RecordSize();
    for (RefCount::SmartPtr<CellBlock>& block : cellBlocks) {
        if (block)
            total += block->RecordSize();
    }
    total += dbcell.RecordSize();
    return ClampSize(total);
}

} // namespace Sheet
} // namespace Biff
