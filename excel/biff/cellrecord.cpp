#include "biff/cellrecord.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

CellRecord::CellRecord(unsigned short recordCode, unsigned int fixedSize)
    : rowIndex(0), colIndex(0), xfIndex(0)
{
    code = recordCode;
    SetFixedSize(fixedSize);
}

CellRecord::~CellRecord() = default;

unsigned int CellRecord::ReadCell(const char* in, unsigned int size, unsigned int fixedSize)
{
    const unsigned int consumed = ReadFixed(in, size, fixedSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, rowIndex, 0);
    LittleEndian::Read(data, colIndex, 2);
    LittleEndian::Read(data, xfIndex, 4);
    return consumed;
}

char* CellRecord::BeginCellWrite(char* out, unsigned int fixedSize)
{
    SetFixedSize(fixedSize);
    char* d = BeginFixedWrite(out);
    if (d == nullptr)
        return nullptr;
    LittleEndian::Write(d, rowIndex, 0);
    LittleEndian::Write(d, colIndex, 2);
    LittleEndian::Write(d, xfIndex, 4);
    return d;
}

} // namespace Sheet
} // namespace Biff
