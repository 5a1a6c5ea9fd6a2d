#include "biff/colinfos.h"

#include "biff/sizesum.h"

namespace Biff {
namespace Sheet {

ColInfos::ColInfos() = default;

ColInfos::~ColInfos() = default;

unsigned int ColInfos::Read(const char* in, unsigned int size)
{
    ColInfo info;
    const unsigned int consumed = info.Read(in, size);
    if (consumed != 0)
        colInfos.push_back(info);
    return consumed;
}

unsigned int ColInfos::Write(char* out)
{
    if (RecordSize() == SaturatedSize)
        return 0;
    unsigned long long p = 0;
    for (ColInfo& info : colInfos) {
        const unsigned int written = info.Write(out + p);
        if (written == 0)
            return 0;
        p += written;
    }
    return static_cast<unsigned int>(p);
}

unsigned int ColInfos::RecordSize()
{
    unsigned long long total = 0;
    for (ColInfo& info : colInfos)
        total += info.RecordSize();
    return ClampSize(total);
}

} // namespace Sheet
} // namespace Biff
