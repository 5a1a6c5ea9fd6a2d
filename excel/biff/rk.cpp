#include "biff/rk.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

RK::RK()
    : CellRecord(Code, FixedDataSize), value(0)
{
}

RK::~RK() = default;

unsigned int RK::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadCell(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, value, 6);
    return consumed;
}

unsigned int RK::Write(char* out)
{
    char* d = BeginCellWrite(out, FixedDataSize);
    if (d == nullptr)
        return 0;
    LittleEndian::Write(d, value, 6);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
