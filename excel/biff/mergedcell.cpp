#include "biff/mergedcell.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

MergedCell::MergedCell()
    : firstRowIndex(0), lastRowIndex(0), firstColIndex(0), lastColIndex(0)
{
}

MergedCell::MergedCell(unsigned short firstRow, unsigned short lastRow, unsigned short firstCol,
                       unsigned short lastCol)
    : firstRowIndex(firstRow), lastRowIndex(lastRow), firstColIndex(firstCol), lastColIndex(lastCol)
{
}

unsigned int MergedCell::Read(const char* data)
{
    LittleEndian::Read(data, firstRowIndex, 0);
    LittleEndian::Read(data, lastRowIndex, 2);
    LittleEndian::Read(data, firstColIndex, 4);
    LittleEndian::Read(data, lastColIndex, 6);
    return WireSize;
}

unsigned int MergedCell::Write(char* data)
{
    LittleEndian::Write(data, firstRowIndex, 0);
    LittleEndian::Write(data, lastRowIndex, 2);
    LittleEndian::Write(data, firstColIndex, 4);
    LittleEndian::Write(data, lastColIndex, 6);
    return WireSize;
}

} // namespace Sheet
} // namespace Biff
