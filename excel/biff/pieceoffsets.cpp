#include "biff/pieceoffsets.h"

#include "compound/littleendian.h"

namespace Biff {

std::vector<unsigned int> PieceOffsets(const Record& record, const char* stream, unsigned int consumed)
{
    // One piece, or a plan kept by the read: nothing to walk.
    if (!record.continueOffsets.empty() || stream == nullptr || consumed < 4
        || static_cast<unsigned long long>(record.dataSize) + 4 == consumed)
        return record.continueOffsets;
    std::vector<unsigned int> offsets;
    unsigned short length = 0;
    CompoundDoc::LittleEndian::Read(stream, length, 2);
    unsigned long long joined = length;
    unsigned long long p = 4ULL + length;
    while (p + 4 <= consumed) {
        offsets.push_back(static_cast<unsigned int>(joined));
        CompoundDoc::LittleEndian::Read(stream, length, static_cast<unsigned long>(p + 2));
        joined += length;
        p += 4ULL + length;
    }
    return offsets;
}

} // namespace Biff
