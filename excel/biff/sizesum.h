#ifndef GRIDMOLT_BIFF_SIZESUM_H
#define GRIDMOLT_BIFF_SIZESUM_H

namespace Biff {

// Stream sizes are 32-bit on the interface but summed in 64 bits; a total that
// does not fit saturates, and writers refuse a saturated size instead of
// writing past a buffer sized from a wrapped count.
const unsigned int SaturatedSize = 0xFFFFFFFFu;

inline unsigned int ClampSize(unsigned long long total)
{
    return total >= SaturatedSize ? SaturatedSize : static_cast<unsigned int>(total);
}

} // namespace Biff

#endif
