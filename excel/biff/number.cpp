#include "biff/number.h"

#include <cstring>

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

Number::Number()
    : CellRecord(Code, FixedDataSize), value(0.0)
{
}

Number::~Number() = default;

unsigned int Number::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadCell(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    unsigned long long bits = 0;
    LittleEndian::Read(data, bits, 6);
    std::memcpy(&value, &bits, sizeof(value));
    return consumed;
}

unsigned int Number::Write(char* out)
{
    char* d = BeginCellWrite(out, FixedDataSize);
    if (d == nullptr)
        return 0;
    unsigned long long bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    LittleEndian::Write(d, bits, 6);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
