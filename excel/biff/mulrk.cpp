#include "biff/mulrk.h"

#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

MulRK::MulRK()
    : rowIndex(0), firstColIndex(0), lastColIndex(0)
{
    code = Code;
    dataSize = 10;
    recordSize = 14;
}

MulRK::~MulRK() = default;

unsigned int MulRK::Read(const char* in, unsigned int size)
{
    xfRKs.clear();
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < 6)
        return 0;
    LittleEndian::Read(data, rowIndex, 0);
    LittleEndian::Read(data, firstColIndex, 2);
    LittleEndian::Read(data, lastColIndex, dataSize - 2);
    if (lastColIndex < firstColIndex)
        return 0;
    const unsigned long long n = static_cast<unsigned long long>(lastColIndex) - firstColIndex + 1;
    if (6 + XFRK::WireSize * n > dataSize)
        return 0; // more columns than entries
    xfRKs.resize(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < xfRKs.size(); ++i)
        xfRKs[i].Read(data.data() + 4 + XFRK::WireSize * i);
    return consumed;
}

unsigned int MulRK::Write(char* out)
{
    if (DataSize() == SaturatedSize)
        return 0;
    continueOffsets.clear();
    data.assign(dataSize, 0);
    LittleEndian::Write(data, rowIndex, 0);
    LittleEndian::Write(data, firstColIndex, 2);
    for (std::size_t i = 0; i < xfRKs.size(); ++i)
        xfRKs[i].Write(data.data() + 4 + XFRK::WireSize * i);
    LittleEndian::Write(data, lastColIndex, dataSize - 2);
    return Record::Write(out);
}

unsigned int MulRK::DataSize()
{
    dataSize = ClampSize(6ULL + XFRK::WireSize * static_cast<unsigned long long>(xfRKs.size()));
    return dataSize;
}

unsigned int MulRK::RecordSize()
{
    const unsigned int d = DataSize();
    recordSize = d == SaturatedSize ? SaturatedSize : Record::StreamSize(d);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
