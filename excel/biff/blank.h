#ifndef GRIDMOLT_BIFF_BLANK_H
#define GRIDMOLT_BIFF_BLANK_H

#include "biff/cellrecord.h"

namespace Biff {
namespace Sheet {

// BLANK (0x0201): an empty cell that carries only its format.
class Blank : public CellRecord {
public:
    static const unsigned short Code = 0x0201;
    static const unsigned int FixedDataSize = 6;

    Blank();
    Blank(const Blank&) = default;
    Blank& operator=(const Blank&) = default;
    ~Blank() override;

    // Bytes consumed on the stream, 0 for a record that is cut off or shorter
    // than FixedDataSize.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
};

} // namespace Sheet
} // namespace Biff

#endif
