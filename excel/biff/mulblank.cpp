#include "biff/mulblank.h"

#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

MulBlank::MulBlank()
    : MulCellRecord(Code, 2)
{
}

MulBlank::~MulBlank() = default;

unsigned int MulBlank::Read(const char* in, unsigned int size)
{
    xfIndices.clear();
    unsigned int consumed = 0;
    const std::size_t n = ReadRun(in, size, consumed);
    if (n == 0)
        return 0;
    xfIndices.resize(n);
    for (std::size_t i = 0; i < xfIndices.size(); ++i)
        LittleEndian::Read(data, xfIndices[i], 4 + 2 * i);
    return consumed;
}

unsigned int MulBlank::Write(char* out)
{
    if (!BeginRunWrite())
        return 0;
    for (std::size_t i = 0; i < xfIndices.size(); ++i)
        LittleEndian::Write(data, xfIndices[i], 4 + 2 * i);
    return Record::Write(out);
}

unsigned int MulBlank::DataSize()
{
    dataSize = ClampSize(6ULL + 2ULL * xfIndices.size());
    return dataSize;
}

} // namespace Sheet
} // namespace Biff
