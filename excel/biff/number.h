#ifndef GRIDMOLT_BIFF_NUMBER_H
#define GRIDMOLT_BIFF_NUMBER_H

#include "biff/cellrecord.h"

namespace Biff {
namespace Sheet {

// NUMBER (0x0203): an IEEE 754 double.
class Number : public CellRecord {
public:
    static const unsigned short Code = 0x0203;
    static const unsigned int FixedDataSize = 14;

    double value;

    Number();
    Number(const Number&) = default;
    Number& operator=(const Number&) = default;
    ~Number() override;

    // Bytes consumed on the stream, 0 for a record that is cut off or shorter
    // than FixedDataSize.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
};

} // namespace Sheet
} // namespace Biff

#endif
