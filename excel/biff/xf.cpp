#include "biff/workbook.h"

#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

// A default XF is a locked style XF with parent 0xFFF, bottom-aligned, with
// the pattern colours 64 and 65.
Workbook::XF::XF()
    : fontIndex(0), formatIndex(0), protectionType(0xFFF5), alignment(0x20), rotation(0),
      textProperties(0), usedAttributes(0), borderLines(0), colour1(0), colour2(0x20C0)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

Workbook::XF::~XF() = default;

unsigned int Workbook::XF::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, fontIndex, 0);
    LittleEndian::Read(data, formatIndex, 2);
    LittleEndian::Read(data, protectionType, 4);
    LittleEndian::Read(data, alignment, 6);
    LittleEndian::Read(data, rotation, 7);
    LittleEndian::Read(data, textProperties, 8);
    LittleEndian::Read(data, usedAttributes, 9);
    LittleEndian::Read(data, borderLines, 10);
    LittleEndian::Read(data, colour1, 14);
    LittleEndian::Read(data, colour2, 18);
    return consumed;
}

unsigned int Workbook::XF::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    PrepareFixedWrite();
    LittleEndian::Write(data, fontIndex, 0);
    LittleEndian::Write(data, formatIndex, 2);
    LittleEndian::Write(data, protectionType, 4);
    LittleEndian::Write(data, alignment, 6);
    LittleEndian::Write(data, rotation, 7);
    LittleEndian::Write(data, textProperties, 8);
    LittleEndian::Write(data, usedAttributes, 9);
    LittleEndian::Write(data, borderLines, 10);
    LittleEndian::Write(data, colour1, 14);
    LittleEndian::Write(data, colour2, 18);
    return Record::Write(out);
}

} // namespace Biff
