#include "biff/formulaarray.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

FormulaArray::FormulaArray()
    : RangeFormula(Code, HeaderSize), options(0), reserved(0)
{
}

FormulaArray::~FormulaArray() = default;

void FormulaArray::ReadFields()
{
    LittleEndian::Read(data, options, 6);
    LittleEndian::Read(data, reserved, 8);
}

void FormulaArray::WriteFields()
{
    LittleEndian::Write(data, options, 6);
    LittleEndian::Write(data, reserved, 8);
}

} // namespace Sheet
} // namespace Biff
