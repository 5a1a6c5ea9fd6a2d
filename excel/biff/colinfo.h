#ifndef GRIDMOLT_BIFF_COLINFO_H
#define GRIDMOLT_BIFF_COLINFO_H

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// COLINFO (0x007D): width and format of a range of columns.
class ColInfo : public Record {
public:
    static const unsigned short Code = 0x007D;
    static const unsigned int FixedDataSize = 12;

    unsigned short firstColumn;
    unsigned short lastColumn;
    unsigned short columnWidth; // 1/256 of a character width
    unsigned short xfIndex;
    unsigned short options;
    unsigned short reserved;

    ColInfo();
    ColInfo(const ColInfo&) = default;
    ColInfo& operator=(const ColInfo&) = default;
    ~ColInfo() override;

    // Bytes consumed on the stream, 0 for a record that is cut off or shorter
    // than FixedDataSize.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
};

} // namespace Sheet
} // namespace Biff

#endif
