#include "biff/worksheet.h"

#include "biff/exception_eof.h"
#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {

namespace {

// Bytes from a BOF through its matching EOF (nested substreams included), 0
// when the range ends first or a record does not read.
unsigned int SkipSubstream(const char* in, unsigned int size)
{
    unsigned int o = 0;
    unsigned int depth = 0;
    while (size - o >= 4) {
        unsigned short identifier = 0;
        CompoundDoc::LittleEndian::Read(in, identifier, o);
        Record skipped;
        const unsigned int consumed = skipped.Read(in + o, size - o);
        if (consumed == 0)
            return 0;
        o += consumed;
        if (identifier == BOF::Code) {
            ++depth;
        } else if (identifier == EOFRecord::Code) {
            if (--depth == 0)
                return o;
        }
    }
    return 0;
}

} // namespace

Worksheet::Worksheet()
{
    bof.version = 0x0600;
    bof.type = 0x0010;
    bof.buildIdentifier = 0x19A0;
    bof.buildYear = 1997;
    bof.fileHistoryFlags = 0xC0C9;
    bof.lowestVersion = 0x0306;
}

unsigned int Worksheet::Read(const char* in, unsigned int size)
{
    *this = Worksheet();
    if (in == nullptr)
        return 0;
    unsigned int o = 0;
    unsigned int tableStart = 0;
    bool bofSeen = false;
    try {
        while (size - o >= 4) {
            unsigned short identifier = 0;
            CompoundDoc::LittleEndian::Read(in, identifier, o);
            unsigned int consumed = 0;
            switch (identifier) {
            case BOF::Code:
                if (!bofSeen) {
                    consumed = bof.Read(in + o, size - o);
                    bofSeen = true;
                } else {
                    // A substream inside the sheet (an embedded chart): its
                    // EOF is not the sheet's, so pass over all of it.
                    consumed = SkipSubstream(in + o, size - o);
                }
                break;
            case Index::Code:
                consumed = index.Read(in + o, size - o);
                break;
            case ColInfo::Code:
                consumed = colInfos.Read(in + o, size - o);
                break;
            case Dimensions::Code:
                consumed = dimensions.Read(in + o, size - o);
                break;
            case CellTable::RowBlock::Row::Code:
                tableStart = o;
                consumed = cellTable.Read(in + o, size - o);
                break;
            case Window2::Code:
                consumed = window2.Read(in + o, size - o);
                break;
            case MergedCells::Code:
                consumed = mergedCells.Read(in + o, size - o);
                break;
            case EOFRecord::Code:
                consumed = eof.Read(in + o, size - o);
                return consumed == 0 ? 0 : o + consumed;
            default: {
                Record skipped;
                consumed = skipped.Read(in + o, size - o);
                break;
            }
            }
            if (consumed == 0)
                return 0;
            o += consumed;
        }
    } catch (const EXCEPTION_EOF& e) {
        // The EOF closed a row block: the substream ends right after it.
        return tableStart + e.bytesRead;
    }
    return 0; // no EOF before the end of the range
}

unsigned int Worksheet::Write(char* out)
{
    if (out == nullptr)
        return 0;
    // Each part must write exactly its size, or the positions recorded in
    // INDEX and BOUNDSHEET would point elsewhere. The cell table is sized by
    // writing it: it gets the room a buffer of RecordSize() bytes leaves it,
    // so a saturated size is refused before anything lands beyond it.
    const unsigned long long others = static_cast<unsigned long long>(bof.RecordSize()) + index.RecordSize() +
                                      colInfos.RecordSize() + dimensions.RecordSize() + window2.RecordSize() +
                                      mergedCells.RecordSize() + eof.RecordSize();
    if (others >= SaturatedSize)
        return 0;
    const unsigned long long tableRoom = SaturatedSize - 1 - others;
    unsigned long long p = 0;
    auto put = [&](unsigned int expected, unsigned int written) {
        if (written != expected)
            return false;
        p += written;
        return true;
    };
    if (!put(bof.RecordSize(), bof.Write(out + p)))
        return 0;
    if (!put(index.RecordSize(), index.Write(out + p)))
        return 0;
    if (!put(colInfos.RecordSize(), colInfos.Write(out + p)))
        return 0;
    if (!put(dimensions.RecordSize(), dimensions.Write(out + p)))
        return 0;
    const unsigned int table = cellTable.Write(out + p, tableRoom);
    if (table == 0 && !cellTable.rowBlocks.empty())
        return 0;
    p += table;
    if (!put(window2.RecordSize(), window2.Write(out + p)))
        return 0;
    if (!put(mergedCells.RecordSize(), mergedCells.Write(out + p)))
        return 0;
    if (!put(eof.RecordSize(), eof.Write(out + p)))
        return 0;
    return static_cast<unsigned int>(p);
}

unsigned int Worksheet::DataSize()
{
    return RecordSize();
}

unsigned int Worksheet::RecordSize()
{
    unsigned long long total = 0;
    total += bof.RecordSize();
    total += index.RecordSize();
    total += colInfos.RecordSize();
    total += dimensions.RecordSize();
    total += cellTable.RecordSize();
    total += window2.RecordSize();
    total += mergedCells.RecordSize();
    total += eof.RecordSize();
    return ClampSize(total);
}

} // namespace Biff
