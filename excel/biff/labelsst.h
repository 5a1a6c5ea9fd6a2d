#ifndef GRIDMOLT_BIFF_LABELSST_H
#define GRIDMOLT_BIFF_LABELSST_H

#include "biff/cellrecord.h"

namespace Biff {
namespace Sheet {

// LABELSST (0x00FD): a text cell pointing into the shared string table.
class LabelSST : public CellRecord {
public:
    static const unsigned short Code = 0x00FD;
    static const unsigned int FixedDataSize = 10;

    unsigned long long sstIndex; // position in the shared string table; 4 bytes on the stream

    LabelSST();
    LabelSST(const LabelSST&) = default;
    LabelSST& operator=(const LabelSST&) = default;
    ~LabelSST() override;

    // Bytes consumed on the stream, 0 for a record that is cut off or shorter
    // than FixedDataSize.
    unsigned int Read(const char* data, unsigned int size) override;
    // 0 (nothing written) for an sstIndex that does not fit 4 bytes.
    unsigned int Write(char* data) override;
};

} // namespace Sheet
} // namespace Biff

#endif
