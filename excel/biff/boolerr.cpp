#include "biff/boolerr.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

BoolErr::BoolErr()
    : CellRecord(Code, FixedDataSize), value(0), error(0)
{
}

BoolErr::~BoolErr() = default;

unsigned int BoolErr::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadCell(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, value, 6);
    LittleEndian::Read(data, error, 7);
    return consumed;
}

unsigned int BoolErr::Write(char* out)
{
    char* d = BeginCellWrite(out, FixedDataSize);
    if (d == nullptr)
        return 0;
    LittleEndian::Write(d, value, 6);
    LittleEndian::Write(d, error, 7);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
