#include "biff/rowblock.h"

#include "biff/bof.h"
#include "biff/colinfo.h"
#include "biff/dimensions.h"
#include "biff/eofrecord.h"
#include "biff/exception_eof.h"
#include "biff/index.h"
#include "biff/mergedcells.h"
#include "biff/sizesum.h"
#include "biff/window2.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

namespace {

// Records the worksheet reader handles itself: none of them lies inside a
// row block.
bool IsSheetRecord(unsigned short identifier)
{
    return identifier == BOF::Code || identifier == Index::Code || identifier == ColInfo::Code ||
           identifier == Dimensions::Code || identifier == Window2::Code || identifier == MergedCells::Code;
}

} // namespace

unsigned int RowBlock::Read(const char* in, unsigned int size)
{
    // No room is reserved ahead: `size` is what is left of the whole stream,
    // not of this block, so a reserve sized by it would let a stream of tiny
    // blocks claim far more memory than it holds. The vector grows
    // geometrically, so a large block still reallocates only a few times.
    unsigned int o = 0;
    while (size - o >= 4) {
        unsigned short identifier = 0;
        CompoundDoc::LittleEndian::Read(in, identifier, o);
        unsigned int consumed = 0;
        if (IsSheetRecord(identifier) && o > 0)
            return o;
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

unsigned int RowBlock::Write(char* out, unsigned long long room)
{
    if (room > SaturatedSize)
        room = SaturatedSize;
    // One pass: each record is sized, checked against the room left and
    // written, so the block never writes past a buffer of RecordSize() bytes.
    unsigned long long p = 0;
    auto put = [&](Record& record) {
        const unsigned int expected = record.RecordSize();
        if (expected > room - p || record.Write(out + p) != expected)
            return false;
        p += expected;
        return true;
    };
    for (Row& row : rows) {
        if (!put(row))
            return 0;
    }
    for (RefCount::SmartPtr<CellBlock>& block : cellBlocks) {
        if (!block || !block->record)
            continue;
        if (!put(*block->record))
            return 0;
    }
    if (!put(dbcell))
        return 0;
    return static_cast<unsigned int>(p);
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
