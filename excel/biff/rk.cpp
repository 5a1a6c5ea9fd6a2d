#include "biff/rk.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

RK::RK()
    : rowIndex(0), colIndex(0), xfIndex(0), value(0)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

RK::~RK() = default;

unsigned int RK::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, rowIndex, 0);
    LittleEndian::Read(data, colIndex, 2);
    LittleEndian::Read(data, xfIndex, 4);
    LittleEndian::Read(data, value, 6);
    return consumed;
}

unsigned int RK::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    char* d = BeginFixedWrite(out);
    if (d == nullptr)
        return 0;
    LittleEndian::Write(d, rowIndex, 0);
    LittleEndian::Write(d, colIndex, 2);
    LittleEndian::Write(d, xfIndex, 4);
    LittleEndian::Write(d, value, 6);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
