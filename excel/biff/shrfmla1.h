#ifndef GRIDMOLT_BIFF_SHRFMLA1_H
#define GRIDMOLT_BIFF_SHRFMLA1_H

#include <vector>

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// Shared formula under the identifier 0x04BC; same fields and layout as SHRFMLA.
class ShrFmla1 : public Record {
public:
    static const unsigned short Code = 0x04BC;
    static const unsigned int HeaderSize = 8;

    unsigned short firstRowIndex;
    unsigned short lastRowIndex;
    unsigned char firstColIndex;
    unsigned char lastColIndex;
    unsigned short reserved;
    std::vector<char> formula; // token length (u16) and tokens, raw

    ShrFmla1();
    ShrFmla1(const ShrFmla1&) = default;
    ShrFmla1& operator=(const ShrFmla1&) = default;
    ~ShrFmla1() override;

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
