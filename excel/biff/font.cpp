#include "biff/workbook.h"

#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

namespace {
const unsigned int FontFixedPart = 14;
}

Workbook::Font::Font()
    : height(200), options(0), colourIndex(0x7FFF), weight(400), escapement(0), underline(0),
      family(0), characterSet(0), reserved(0)
{
    code = Code;
    name = L"Arial";
    DataSize();
}

Workbook::Font::~Font() = default;

unsigned int Workbook::Font::DataSize()
{
    dataSize = name.DataSize() + FontFixedPart;
    recordSize = StreamSize(dataSize);
    return dataSize;
}

unsigned int Workbook::Font::RecordSize()
{
    DataSize();
    return recordSize;
}

unsigned int Workbook::Font::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < FontFixedPart)
        return 0;
    LittleEndian::Read(data, height, 0);
    LittleEndian::Read(data, options, 2);
    LittleEndian::Read(data, colourIndex, 4);
    LittleEndian::Read(data, weight, 6);
    LittleEndian::Read(data, escapement, 8);
    LittleEndian::Read(data, underline, 10);
    LittleEndian::Read(data, family, 11);
    LittleEndian::Read(data, characterSet, 12);
    LittleEndian::Read(data, reserved, 13);
    if (name.Read(data.data() + FontFixedPart, dataSize - FontFixedPart) == 0)
        return 0;
    // Written again as one piece sized from the fields.
    continueOffsets.clear();
    DataSize();
    return consumed;
}

unsigned int Workbook::Font::Write(char* out)
{
    data.assign(DataSize(), 0);
    continueOffsets.clear();
    LittleEndian::Write(data, height, 0);
    LittleEndian::Write(data, options, 2);
    LittleEndian::Write(data, colourIndex, 4);
    LittleEndian::Write(data, weight, 6);
    LittleEndian::Write(data, escapement, 8);
    LittleEndian::Write(data, underline, 10);
    LittleEndian::Write(data, family, 11);
    LittleEndian::Write(data, characterSet, 12);
    LittleEndian::Write(data, reserved, 13);
    name.Write(data.data() + FontFixedPart);
    return Record::Write(out);
}

} // namespace Biff
