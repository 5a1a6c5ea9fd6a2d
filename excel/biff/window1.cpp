#include "biff/workbook.h"

#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

Workbook::Window1::Window1()
    : horizontalPosition(120), verticalPosition(120), width(15135), height(9300), options(0x0038),
      activeSheet(0), firstVisibleTab(0), selectedSheets(1), tabBarWidth(600)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

Workbook::Window1::~Window1() = default;

unsigned int Workbook::Window1::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, horizontalPosition, 0);
    LittleEndian::Read(data, verticalPosition, 2);
    LittleEndian::Read(data, width, 4);
    LittleEndian::Read(data, height, 6);
    LittleEndian::Read(data, options, 8);
    LittleEndian::Read(data, activeSheet, 10);
    LittleEndian::Read(data, firstVisibleTab, 12);
    LittleEndian::Read(data, selectedSheets, 14);
    LittleEndian::Read(data, tabBarWidth, 16);
    return consumed;
}

unsigned int Workbook::Window1::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    PrepareFixedWrite();
    LittleEndian::Write(data, horizontalPosition, 0);
    LittleEndian::Write(data, verticalPosition, 2);
    LittleEndian::Write(data, width, 4);
    LittleEndian::Write(data, height, 6);
    LittleEndian::Write(data, options, 8);
    LittleEndian::Write(data, activeSheet, 10);
    LittleEndian::Write(data, firstVisibleTab, 12);
    LittleEndian::Write(data, selectedSheets, 14);
    LittleEndian::Write(data, tabBarWidth, 16);
    return Record::Write(out);
}

} // namespace Biff
