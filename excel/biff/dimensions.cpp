#include "biff/dimensions.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

Dimensions::Dimensions()
    : firstUsedRowIndex(0), lastUsedRowIndexPlusOne(0), firstUsedColIndex(0), lastUsedColIndexPlusOne(0),
      reserved(0)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

Dimensions::~Dimensions() = default;

unsigned int Dimensions::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, firstUsedRowIndex, 0);
    LittleEndian::Read(data, lastUsedRowIndexPlusOne, 4);
    LittleEndian::Read(data, firstUsedColIndex, 8);
    LittleEndian::Read(data, lastUsedColIndexPlusOne, 10);
    LittleEndian::Read(data, reserved, 12);
    return consumed;
}

unsigned int Dimensions::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    PrepareFixedWrite();
    LittleEndian::Write(data, firstUsedRowIndex, 0);
    LittleEndian::Write(data, lastUsedRowIndexPlusOne, 4);
    LittleEndian::Write(data, firstUsedColIndex, 8);
    LittleEndian::Write(data, lastUsedColIndexPlusOne, 10);
    LittleEndian::Write(data, reserved, 12);
    return Record::Write(out);
}

} // namespace Sheet
} // namespace Biff
