#include "biff/workbook.h"

#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

namespace {
const unsigned int BoundSheetFixedPart = 6;
}

Workbook::BoundSheet::BoundSheet()
    : bofPosition(0), visibility(0), sheetType(0)
{
    code = Code;
    name = "Sheet1";
    DataSize();
}

Workbook::BoundSheet::~BoundSheet() = default;

unsigned int Workbook::BoundSheet::DataSize()
{
    dataSize = name.DataSize() + BoundSheetFixedPart;
    recordSize = StreamSize(dataSize);
    return dataSize;
}

unsigned int Workbook::BoundSheet::RecordSize()
{
    DataSize();
    return recordSize;
}

unsigned int Workbook::BoundSheet::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < BoundSheetFixedPart)
        return 0;
    LittleEndian::Read(data, bofPosition, 0);
    LittleEndian::Read(data, visibility, 4);
    LittleEndian::Read(data, sheetType, 5);
    if (name.Read(data.data() + BoundSheetFixedPart, dataSize - BoundSheetFixedPart) == 0)
        return 0;
    continueOffsets.clear();
    DataSize();
    return consumed;
}

unsigned int Workbook::BoundSheet::Write(char* out)
{
    data.assign(DataSize(), 0);
    continueOffsets.clear();
    LittleEndian::Write(data, bofPosition, 0);
    LittleEndian::Write(data, visibility, 4);
    LittleEndian::Write(data, sheetType, 5);
    name.Write(data.data() + BoundSheetFixedPart);
    return Record::Write(out);
}

} // namespace Biff
