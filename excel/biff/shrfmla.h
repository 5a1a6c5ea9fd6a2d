#ifndef GRIDMOLT_BIFF_SHRFMLA_H
#define GRIDMOLT_BIFF_SHRFMLA_H

#include <vector>

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// SHRFMLA (0x00BC): a formula shared by a range of FORMULA cells.
class ShrFmla : public Record {
public:
    static const unsigned short Code = 0x00BC;
    static const unsigned int HeaderSize = 8;

    unsigned short firstRowIndex;
    unsigned short lastRowIndex;
    unsigned char firstColIndex;
    unsigned char lastColIndex;
    unsigned short reserved;
    std::vector<char> formula; // token length (u16) and tokens, raw

    ShrFmla();
    ShrFmla(const ShrFmla&) = default;
    ShrFmla& operator=(const ShrFmla&) = default;
    ~ShrFmla() override;

    // Bytes consumed, 0 for a record shorter than its fields or whose token
    // length runs past its data.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
    unsigned int DataSize() override;
    unsigned int RecordSize() override;
};

} // namespace Sheet
} // namespace Biff

#endif
