#include "biff/mulrk.h"

#include "biff/sizesum.h"

namespace Biff {
namespace Sheet {

MulRK::MulRK()
    : MulCellRecord(Code, XFRK::WireSize)
{
}

MulRK::~MulRK() = default;

unsigned int MulRK::Read(const char* in, unsigned int size)
{
    xfRKs.clear();
    unsigned int consumed = 0;
    const std::size_t n = ReadRun(in, size, consumed);
    if (n == 0)
        return 0;
    xfRKs.resize(n);
    for (std::size_t i = 0; i < xfRKs.size(); ++i)
        xfRKs[i].Read(data.data() + 4 + XFRK::WireSize * i);
    return consumed;
}

unsigned int MulRK::Write(char* out)
{
    if (!BeginRunWrite())
        return 0;
    for (std::size_t i = 0; i < xfRKs.size(); ++i)
        xfRKs[i].Write(data.data() + 4 + XFRK::WireSize * i);
    return Record::Write(out);
}

unsigned int MulRK::DataSize()
{
    dataSize = ClampSize(6ULL + XFRK::WireSize * static_cast<unsigned long long>(xfRKs.size()));
    return dataSize;
}

} // namespace Sheet
} // namespace Biff
