#ifndef GRIDMOLT_BIFF_ROW_H
#define GRIDMOLT_BIFF_ROW_H

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// ROW (0x0208): one row of a row block.
class Row : public Record {
public:
    static const unsigned short Code = 0x0208;
    static const unsigned int FixedDataSize = 16;

    unsigned short rowIndex;
    unsigned short firstCellColIndex;
    unsigned short lastCellColIndexPlusOne;
    unsigned short height; // twips
    unsigned short reserved1;
    unsigned short reserved2;
    unsigned int options;

    Row();
    Row(const Row&) = default;
    Row& operator=(const Row&) = default;
    ~Row() override;

    // Bytes consumed on the stream, 0 for a record that is cut off or shorter
    // than FixedDataSize.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
};

} // namespace Sheet
} // namespace Biff

#endif
