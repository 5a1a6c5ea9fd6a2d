#include "biff/index.h"

#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

Index::Index()
    : reserved1(0), firstUsedRowIndex(0), lastUsedRowIndexPlusOne(0), reserved2(0), dbCellPositions(1, 0)
{
    code = Code;
    // Stored counts are refreshed from the positions whenever sizes are asked.
    dataSize = 16;
    recordSize = 20;
}

Index::~Index() = default;

unsigned int Index::Read(const char* in, unsigned int size)
{
    dbCellPositions.clear();
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < 16)
        return 0;
    LittleEndian::Read(data, reserved1, 0);
    LittleEndian::Read(data, firstUsedRowIndex, 4, 4);
    LittleEndian::Read(data, lastUsedRowIndexPlusOne, 8, 4);
    LittleEndian::Read(data, reserved2, 12);

    // One position per block of 32 rows; an empty or reversed range still
    // has one.
    const long long rows = static_cast<long long>(lastUsedRowIndexPlusOne) - static_cast<long long>(firstUsedRowIndex);
    long long n = (rows - 1) / 32 + 1;
    if (n < 1)
        n = 1;
    if (n > static_cast<long long>(MaxRowBlocks))
        return 0;
    dbCellPositions.assign(static_cast<std::size_t>(n), 0);
    const std::size_t held = (dataSize - 16) / 4;
    for (std::size_t i = 0; i < dbCellPositions.size() && i < held; ++i)
        LittleEndian::Read(data, dbCellPositions[i], 16 + 4 * i);
    DataSize();
    RecordSize();
    return consumed;
}

unsigned int Index::Write(char* out)
{
    // The row fields are 4 bytes on the stream; never write them wrapped.
    if (DataSize() == SaturatedSize || firstUsedRowIndex > 0xFFFFFFFFull || lastUsedRowIndexPlusOne > 0xFFFFFFFFull)
        return 0;
    continueOffsets.clear();
    data.assign(dataSize, 0);
    LittleEndian::Write(data, reserved1, 0);
    LittleEndian::Write(data, firstUsedRowIndex, 4, 4);
    LittleEndian::Write(data, lastUsedRowIndexPlusOne, 8, 4);
    LittleEndian::Write(data, reserved2, 12);
    for (std::size_t i = 0; i < dbCellPositions.size(); ++i)
        LittleEndian::Write(data, dbCellPositions[i], 16 + 4 * i);
    return Record::Write(out);
}

unsigned int Index::DataSize()
{
    dataSize = ClampSize(16ULL + 4ULL * dbCellPositions.size());
    return dataSize;
}

unsigned int Index::RecordSize()
{
    return RecordSizeFromData();
}

} // namespace Sheet
} // namespace Biff
