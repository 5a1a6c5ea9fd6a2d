#include "biff/dbcell.h"

#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

DBCell::DBCell()
    : firstRowOffset(0)
{
    code = Code;
    dataSize = 4;
    recordSize = 8;
}

DBCell::~DBCell() = default;

unsigned int DBCell::Read(const char* in, unsigned int size)
{
    offsets.clear();
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < 4)
        return 0;
    LittleEndian::Read(data, firstRowOffset, 0);
    // The offsets are counted from the data itself, so none lies beyond it.
    offsets.resize((dataSize - 4) / 2);
    for (std::size_t i = 0; i < offsets.size(); ++i)
        LittleEndian::Read(data, offsets[i], 4 + 2 * i);
    DataSize();
    RecordSize();
    return consumed;
}

unsigned int DBCell::Write(char* out)
{
    if (DataSize() == SaturatedSize)
        return 0;
    continueOffsets.clear();
    data.assign(dataSize, 0);
    LittleEndian::Write(data, firstRowOffset, 0);
    for (std::size_t i = 0; i < offsets.size(); ++i)
        LittleEndian::Write(data, offsets[i], 4 + 2 * i);
    return Record::Write(out);
}

unsigned int DBCell::DataSize()
{
    dataSize = ClampSize(4ULL + 2ULL * offsets.size());
    return dataSize;
}

unsigned int DBCell::RecordSize()
{
    return RecordSizeFromData();
}

} // namespace Sheet
} // namespace Biff
