#include "biff/blank.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

Blank::Blank()
    : rowIndex(0), colIndex(0), xfIndex(0)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

Blank::~Blank() = default;

unsigned int Blank::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, rowIndex, 0);
    LittleEndian::Read(data, colIndex, 2);
    LittleEndian::Read(data, xfIndex, 4);
    return consumed;
}

unsigned int Blank::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    char* d = BeginFixedWrite(out);
    if (d == nullptr)
        return 0;
    LittleEndian::Write(d, rowIndex, 0);
    LittleEndian::Write(d, colIndex, 2);
    LittleEndian::Write(d, xfIndex, 4);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
