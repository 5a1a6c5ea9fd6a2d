#ifndef GRIDMOLT_BIFF_BOOLERR_H
#define GRIDMOLT_BIFF_BOOLERR_H

#include "biff/cellrecord.h"

namespace Biff {
namespace Sheet {

// BOOLERR (0x0205): a boolean or an error value.
class BoolErr : public CellRecord {
public:
    static const unsigned short Code = 0x0205;
    static const unsigned int FixedDataSize = 8;

    unsigned char value; // boolean value or error code
    unsigned char error; // 0 boolean, 1 error

    BoolErr();
    BoolErr(const BoolErr&) = default;
    BoolErr& operator=(const BoolErr&) = default;
    ~BoolErr() override;

    // Bytes consumed on the stream, 0 for a record that is cut off or shorter
    // than FixedDataSize.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
};

} // namespace Sheet
} // namespace Biff

#endif
