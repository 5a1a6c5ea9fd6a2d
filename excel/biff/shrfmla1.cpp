#include "biff/shrfmla1.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

ShrFmla1::ShrFmla1()
    : RangeFormula(Code, HeaderSize), reserved(0)
{
}

ShrFmla1::~ShrFmla1() = default;

void ShrFmla1::ReadFields()
{
    LittleEndian::Read(data, reserved, 6);
}

void ShrFmla1::WriteFields()
{
    LittleEndian::Write(data, reserved, 6);
}

} // namespace Sheet
} // namespace Biff
