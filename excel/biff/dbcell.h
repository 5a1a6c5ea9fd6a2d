#ifndef GRIDMOLT_BIFF_DBCELL_H
#define GRIDMOLT_BIFF_DBCELL_H

#include <vector>

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// DBCELL (0x00D7): closes a row block; the distance back to its first ROW and
// per row the offset of its first cell record.
class DBCell : public Record {
public:
    static const unsigned short Code = 0x00D7;

    unsigned int firstRowOffset;
    std::vector<unsigned short> offsets;

    DBCell();
    DBCell(const DBCell&) = default;
    DBCell& operator=(const DBCell&) = default;
    ~DBCell() override;

    // Returns the bytes consumed, 0 for a record shorter than 4 data bytes.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
    unsigned int DataSize() override;
    unsigned int RecordSize() override;
};

} // namespace Sheet
} // namespace Biff

#endif
