#include "biff/number.h"

#include <cstring>

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

Number::Number()
    : rowIndex(0), colIndex(0), xfIndex(0), value(0.0)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

Number::~Number() = default;

unsigned int Number::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, rowIndex, 0);
    LittleEndian::Read(data, colIndex, 2);
    LittleEndian::Read(data, xfIndex, 4);
    unsigned long long bits = 0;
    LittleEndian::Read(data, bits, 6);
    std::memcpy(&value, &bits, sizeof(value));
    return consumed;
}

unsigned int Number::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    char* d = BeginFixedWrite(out);
    if (d == nullptr)
        return 0;
    LittleEndian::Write(d, rowIndex, 0);
    LittleEndian::Write(d, colIndex, 2);
    LittleEndian::Write(d, xfIndex, 4);
    unsigned long long bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    LittleEndian::Write(d, bits, 6);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
