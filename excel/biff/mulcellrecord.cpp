#include "biff/mulcellrecord.h"

#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

MulCellRecord::MulCellRecord(unsigned short recordCode, unsigned int entrySize)
    : rowIndex(0), firstColIndex(0), lastColIndex(0), entrySize_(entrySize)
{
    code = recordCode;
    dataSize = 10;
    recordSize = 14;
}

MulCellRecord::~MulCellRecord() = default;

std::size_t MulCellRecord::ReadRun(const char* in, unsigned int size, unsigned int& consumed)
{
    consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < 6)
        return 0;
    LittleEndian::Read(data, rowIndex, 0);
    LittleEndian::Read(data, firstColIndex, 2);
    LittleEndian::Read(data, lastColIndex, dataSize - 2);
    if (lastColIndex < firstColIndex)
        return 0;
    const unsigned long long n = static_cast<unsigned long long>(lastColIndex) - firstColIndex + 1;
    if (6 + entrySize_ * n > dataSize)
        return 0; // more columns than entries
    return static_cast<std::size_t>(n);
}

bool MulCellRecord::BeginRunWrite()
{
    if (DataSize() == SaturatedSize)
        return false;
    continueOffsets.clear();
    data.assign(dataSize, 0);
    LittleEndian::Write(data, rowIndex, 0);
    LittleEndian::Write(data, firstColIndex, 2);
    LittleEndian::Write(data, lastColIndex, dataSize - 2);
    return true;
}

unsigned int MulCellRecord::RecordSize()
{
    return RecordSizeFromData();
}

} // namespace Sheet
} // namespace Biff
