#include "biff/xfrk.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

void XFRK::Read(const char* data)
{
    LittleEndian::Read(data, xfIndex, 0);
    LittleEndian::Read(data, rkValue, 2);
}

void XFRK::Write(char* data) const
{
    LittleEndian::Write(data, xfIndex, 0);
    LittleEndian::Write(data, rkValue, 2);
}

} // namespace Sheet
} // namespace Biff
