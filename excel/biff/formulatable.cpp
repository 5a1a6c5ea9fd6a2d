#include "biff/formulatable.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

FormulaTable::FormulaTable()
    : firstRowIndex(0), lastRowIndex(0), firstColIndex(0), lastColIndex(0), options(0),
      inputCellRowIndex(0), inputCellColIndex(0), inputCellRowIndex2(0), inputCellColIndex2(0)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

FormulaTable::~FormulaTable() = default;

unsigned int FormulaTable::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, firstRowIndex, 0);
    LittleEndian::Read(data, lastRowIndex, 2);
    LittleEndian::Read(data, firstColIndex, 4);
    LittleEndian::Read(data, lastColIndex, 5);
    LittleEndian::Read(data, options, 6);
    LittleEndian::Read(data, inputCellRowIndex, 8);
    LittleEndian::Read(data, inputCellColIndex, 10);
    LittleEndian::Read(data, inputCellRowIndex2, 12);
    LittleEndian::Read(data, inputCellColIndex2, 14);
    return consumed;
}

unsigned int FormulaTable::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    PrepareFixedWrite();
    LittleEndian::Write(data, firstRowIndex, 0);
    LittleEndian::Write(data, lastRowIndex, 2);
    LittleEndian::Write(data, firstColIndex, 4);
    LittleEndian::Write(data, lastColIndex, 5);
    LittleEndian::Write(data, options, 6);
    LittleEndian::Write(data, inputCellRowIndex, 8);
    LittleEndian::Write(data, inputCellColIndex, 10);
    LittleEndian::Write(data, inputCellRowIndex2, 12);
    LittleEndian::Write(data, inputCellColIndex2, 14);
    return Record::Write(out);
}

} // namespace Sheet
} // namespace Biff
