#ifndef GRIDMOLT_BIFF_RK_H
#define GRIDMOLT_BIFF_RK_H

#include "biff/cellrecord.h"

namespace Biff {
namespace Sheet {

// RK (0x027E): a number in the compact 30-bit RK form.
class RK : public CellRecord {
public:
    static const unsigned short Code = 0x027E;
    static const unsigned int FixedDataSize = 10;

    unsigned int value; // RK-encoded number

    RK();
    RK(const RK&) = default;
    RK& operator=(const RK&) = default;
    ~RK() override;

    // Bytes consumed on the stream, 0 for a record that is cut off or shorter
    // than FixedDataSize.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
};

} // namespace Sheet
} // namespace Biff

#endif
