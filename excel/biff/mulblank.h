#ifndef GRIDMOLT_BIFF_MULBLANK_H
#define GRIDMOLT_BIFF_MULBLANK_H

#include <vector>

#include "biff/mulcellrecord.h"

namespace Biff {
namespace Sheet {

// MULBLANK (0x00BE): a run of empty cells of one row, one format each.
// lastColIndex is written from its field; whoever fills the record keeps it
// equal to firstColIndex + xfIndices.size() - 1.
class MulBlank : public MulCellRecord {
public:
    static const unsigned short Code = 0x00BE;

    std::vector<unsigned short> xfIndices;

    MulBlank();
    MulBlank(const MulBlank&) = default;
    MulBlank& operator=(const MulBlank&) = default;
    ~MulBlank() override;

    // Bytes consumed, 0 when the column range is reversed or names more
    // entries than the record holds.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
    unsigned int DataSize() override;
};

} // namespace Sheet
} // namespace Biff

#endif
