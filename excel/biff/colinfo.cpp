#include "biff/colinfo.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

ColInfo::ColInfo()
    : firstColumn(0), lastColumn(255), columnWidth(2560), xfIndex(0), options(0), reserved(0)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

ColInfo::~ColInfo() = default;

unsigned int ColInfo::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, firstColumn, 0);
    LittleEndian::Read(data, lastColumn, 2);
    LittleEndian::Read(data, columnWidth, 4);
    LittleEndian::Read(data, xfIndex, 6);
    LittleEndian::Read(data, options, 8);
    LittleEndian::Read(data, reserved, 10);
    return consumed;
}

unsigned int ColInfo::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    PrepareFixedWrite();
    LittleEndian::Write(data, firstColumn, 0);
    LittleEndian::Write(data, lastColumn, 2);
    LittleEndian::Write(data, columnWidth, 4);
    LittleEndian::Write(data, xfIndex, 6);
    LittleEndian::Write(data, options, 8);
    LittleEndian::Write(data, reserved, 10);
    return Record::Write(out);
}

} // namespace Sheet
} // namespace Biff
