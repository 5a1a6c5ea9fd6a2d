#include "biff/blank.h"

namespace Biff {
namespace Sheet {

Blank::Blank()
    : CellRecord(Code, FixedDataSize)
{
}

Blank::~Blank() = default;

unsigned int Blank::Read(const char* in, unsigned int size)
{
    return ReadCell(in, size, FixedDataSize);
}

unsigned int Blank::Write(char* out)
{
    return BeginCellWrite(out, FixedDataSize) == nullptr ? 0 : recordSize;
}

} // namespace Sheet
} // namespace Biff
