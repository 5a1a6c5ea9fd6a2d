#include "biff/labelsst.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

LabelSST::LabelSST()
    : CellRecord(Code, FixedDataSize), sstIndex(0)
{
}

LabelSST::~LabelSST() = default;

unsigned int LabelSST::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadCell(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, sstIndex, 6, 4);
    return consumed;
}

unsigned int LabelSST::Write(char* out)
{
    if (sstIndex > 0xFFFFFFFFull)
        return 0; // the index is 4 bytes on the stream; never write it wrapped
    char* d = BeginCellWrite(out, FixedDataSize);
    if (d == nullptr)
        return 0;
    LittleEndian::Write(d, sstIndex, 6, 4);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
