#include "biff/row.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

Row::Row()
    : rowIndex(0), firstCellColIndex(0), lastCellColIndexPlusOne(0), height(255), reserved1(0),
      reserved2(0), options(0x100)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

Row::~Row() = default;

unsigned int Row::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, rowIndex, 0);
    LittleEndian::Read(data, firstCellColIndex, 2);
    LittleEndian::Read(data, lastCellColIndexPlusOne, 4);
    LittleEndian::Read(data, height, 6);
    LittleEndian::Read(data, reserved1, 8);
    LittleEndian::Read(data, reserved2, 10);
    LittleEndian::Read(data, options, 12);
    return consumed;
}

unsigned int Row::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    char* d = BeginFixedWrite(out);
    if (d == nullptr)
        return 0;
    LittleEndian::Write(d, rowIndex, 0);
    LittleEndian::Write(d, firstCellColIndex, 2);
    LittleEndian::Write(d, lastCellColIndexPlusOne, 4);
    LittleEndian::Write(d, height, 6);
    LittleEndian::Write(d, reserved1, 8);
    LittleEndian::Write(d, reserved2, 10);
    LittleEndian::Write(d, options, 12);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
