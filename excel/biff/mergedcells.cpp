#include "biff/mergedcells.h"

#include <algorithm>

#include "biff/record.h"
#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

unsigned int MergedCells::Read(const char* in, unsigned int size)
{
    if (mergedCells.capacity() == 0)
        mergedCells.reserve(std::min<std::size_t>(1000, size / MergedCell::WireSize));
    unsigned int p = 0;
    while (size - p >= 2) {
        unsigned short identifier = 0;
        LittleEndian::Read(in, identifier, p);
        if (identifier != Code)
            break;
        Record record;
        const unsigned int consumed = record.Read(in + p, size - p);
        if (consumed == 0 || record.dataSize < 2)
            return 0;
        unsigned short count = 0;
        LittleEndian::Read(record.data, count, 0);
        if (2ULL + MergedCell::WireSize * static_cast<unsigned long long>(count) > record.dataSize)
            return 0; // more ranges than the record holds
        for (unsigned int i = 0; i < count; ++i) {
            mergedCells.emplace_back();
            mergedCells.back().Read(record.data.data() + 2 + MergedCell::WireSize * i);
        }
        p += consumed;
    }
    return p;
}

unsigned int MergedCells::Write(char* out)
{
    if (RecordSize() == SaturatedSize)
        return 0;
    unsigned long long p = 0;
    std::size_t r = 0;
    while (r < mergedCells.size()) {
        const std::size_t left = mergedCells.size() - r;
        const unsigned short k = static_cast<unsigned short>(left < MaxRangesPerRecord ? left : MaxRangesPerRecord);
        LittleEndian::Write(out, Code, p);
        LittleEndian::Write(out, static_cast<unsigned short>(MergedCell::WireSize * k + 2), p + 2);
        LittleEndian::Write(out, k, p + 4);
        p += 6;
        for (unsigned short i = 0; i < k; ++i, ++r)
            p += mergedCells[r].Write(out + p);
    }
    return static_cast<unsigned int>(p);
}

unsigned int MergedCells::DataSize()
{
    return ClampSize(MergedCell::WireSize * static_cast<unsigned long long>(mergedCells.size()));
}

unsigned int MergedCells::RecordSize()
{
    const unsigned long long n = mergedCells.size();
    const unsigned long long records = (n + MaxRangesPerRecord - 1) / MaxRangesPerRecord;
    return ClampSize(MergedCell::WireSize * n + 6 * records);
}

} // namespace Sheet
} // namespace Biff
