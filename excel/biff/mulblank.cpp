#include "biff/mulblank.h"

#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

MulBlank::MulBlank()
    : rowIndex(0), firstColIndex(0), lastColIndex(0)
{
    code = Code;
    dataSize = 10;
    recordSize = 14;
}

MulBlank::~MulBlank() = default;

unsigned int MulBlank::Read(const char* in, unsigned int size)
{
    xfIndices.clear();
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < 6)
        return 0;
    LittleEndian::Read(data, rowIndex, 0);
    LittleEndian::Read(data, firstColIndex, 2);
    LittleEndian::Read(data, lastColIndex, dataSize - 2);
    if (lastColIndex < firstColIndex)
        return 0;
    const unsigned long long n = static_cast<unsigned long long>(lastColIndex) - firstColIndex + 1;
    if (6 + 2 * n > dataSize)
        return 0; // more columns than entries
    xfIndices.resize(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < xfIndices.size(); ++i)
        LittleEndian::Read(data, xfIndices[i], 4 + 2 * i);
    return consumed;
}

unsigned int MulBlank::Write(char* out)
{
    if (DataSize() == SaturatedSize)
        return 0;
    continueOffsets.clear();
    data.assign(dataSize, 0);
    LittleEndian::Write(data, rowIndex, 0);
    LittleEndian::Write(data, firstColIndex, 2);
    for (std::size_t i = 0; i < xfIndices.size(); ++i)
        LittleEndian::Write(data, xfIndices[i], 4 + 2 * i);
    LittleEndian::Write(data, lastColIndex, dataSize - 2);
    return Record::Write(out);
}

unsigned int MulBlank::DataSize()
{
    dataSize = ClampSize(6ULL + 2ULL * xfIndices.size());
    return dataSize;
}

unsigned int MulBlank::RecordSize()
{
    const unsigned int d = DataSize();
    recordSize = d == SaturatedSize ? SaturatedSize : Record::StreamSize(d);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
