#include "biff/labelsst.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

LabelSST::LabelSST()
    : rowIndex(0), colIndex(0), xfIndex(0), sstIndex(0)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

LabelSST::~LabelSST() = default;

unsigned int LabelSST::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, rowIndex, 0);
    LittleEndian::Read(data, colIndex, 2);
    LittleEndian::Read(data, xfIndex, 4);
    LittleEndian::Read(data, sstIndex, 6, 4);
    return consumed;
}

unsigned int LabelSST::Write(char* out)
{
    if (sstIndex > 0xFFFFFFFFull)
        return 0; // the index is 4 bytes on the stream; never write it wrapped
    SetFixedSize(FixedDataSize);
    char* d = BeginFixedWrite(out);
    if (d == nullptr)
        return 0;
    LittleEndian::Write(d, rowIndex, 0);
    LittleEndian::Write(d, colIndex, 2);
    LittleEndian::Write(d, xfIndex, 4);
    LittleEndian::Write(d, sstIndex, 6, 4);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
