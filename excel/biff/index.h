#ifndef GRIDMOLT_BIFF_INDEX_H
#define GRIDMOLT_BIFF_INDEX_H

#include <vector>

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// INDEX (0x020B): the used row range and the stream position of every row
// block's DBCELL record.
class Index : public Record {
public:
    static const unsigned short Code = 0x020B;
    // A sheet has at most 65536 rows, 32 to a row block.
    static const unsigned int MaxRowBlocks = 2048;

    unsigned int reserved1;
    unsigned long long firstUsedRowIndex;       // 4 bytes on the stream
    unsigned long long lastUsedRowIndexPlusOne; // 4 bytes on the stream
    unsigned int reserved2;
    std::vector<unsigned int> dbCellPositions;

    Index();
    Index(const Index&) = default;
    Index& operator=(const Index&) = default;
    ~Index() override;

    // The number of positions follows from the row range; positions the
    // record does not hold read as 0. Returns the bytes consumed, 0 for a
    // record shorter than its four fields or a row range wider than a sheet.
    unsigned int Read(const char* data, unsigned int size) override;
    // 0 (nothing written) for a row field that does not fit 4 bytes.
    unsigned int Write(char* data) override;
    unsigned int DataSize() override;
    unsigned int RecordSize() override;
};

} // namespace Sheet
} // namespace Biff

#endif
