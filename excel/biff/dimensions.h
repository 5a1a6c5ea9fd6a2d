#ifndef GRIDMOLT_BIFF_DIMENSIONS_H
#define GRIDMOLT_BIFF_DIMENSIONS_H

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// DIMENSIONS (0x0200): the used range of the sheet.
class Dimensions : public Record {
public:
    static const unsigned short Code = 0x0200;
    static const unsigned int FixedDataSize = 14;

    unsigned int firstUsedRowIndex;
    unsigned int lastUsedRowIndexPlusOne;
    unsigned short firstUsedColIndex;
    unsigned short lastUsedColIndexPlusOne;
    unsigned short reserved;

    Dimensions();
    Dimensions(const Dimensions&) = default;
    Dimensions& operator=(const Dimensions&) = default;
    ~Dimensions() override;

    // Bytes consumed on the stream, 0 for a record that is cut off or shorter
    // than FixedDataSize.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
};

} // namespace Sheet
} // namespace Biff

#endif
