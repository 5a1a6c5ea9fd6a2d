#include "biff/boolerr.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

BoolErr::BoolErr()
    : rowIndex(0), colIndex(0), xfIndex(0), value(0), error(0)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

BoolErr::~BoolErr() = default;

unsigned int BoolErr::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, rowIndex, 0);
    LittleEndian::Read(data, colIndex, 2);
    LittleEndian::Read(data, xfIndex, 4);
    LittleEndian::Read(data, value, 6);
    LittleEndian::Read(data, error, 7);
    return consumed;
}

unsigned int BoolErr::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    char* d = BeginFixedWrite(out);
    if (d == nullptr)
        return 0;
    LittleEndian::Write(d, rowIndex, 0);
    LittleEndian::Write(d, colIndex, 2);
    LittleEndian::Write(d, xfIndex, 4);
    LittleEndian::Write(d, value, 6);
    LittleEndian::Write(d, error, 7);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
