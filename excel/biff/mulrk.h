#ifndef GRIDMOLT_BIFF_MULRK_H
#define GRIDMOLT_BIFF_MULRK_H

#include <vector>

#include "biff/mulcellrecord.h"
#include "biff/xfrk.h"

namespace Biff {
namespace Sheet {

// MULRK (0x00BD): a run of numbers of one row, each an RK value with its format.
// lastColIndex is written from its field; whoever fills the record keeps it
// equal to firstColIndex + xfRKs.size() - 1.
class MulRK : public MulCellRecord {
public:
    using XFRK = Sheet::XFRK;

    static const unsigned short Code = 0x00BD;

    std::vector<XFRK> xfRKs;

    MulRK();
    MulRK(const MulRK&) = default;
    MulRK& operator=(const MulRK&) = default;
    ~MulRK() override;

    // Bytes consumed, 0 when the column range is reversed or names more
    // entries than the record holds.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
    unsigned int DataSize() override;
};

} // namespace Sheet
} // namespace Biff

#endif
