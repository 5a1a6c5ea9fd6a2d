#include "biff/shrfmla.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

ShrFmla::ShrFmla()
    : ShrFmla(Code)
{
}

ShrFmla::ShrFmla(unsigned short recordCode)
    : RangeFormula(recordCode, HeaderSize), reserved(0)
{
}

ShrFmla::~ShrFmla() = default;

void ShrFmla::ReadFields()
{
    LittleEndian::Read(data, reserved, 6);
}

void ShrFmla::WriteFields()
{
    LittleEndian::Write(data, reserved, 6);
}

} // namespace Sheet
} // namespace Biff
