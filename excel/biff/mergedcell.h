#ifndef GRIDMOLT_BIFF_MERGEDCELL_H
#define GRIDMOLT_BIFF_MERGEDCELL_H

namespace Biff {
namespace Sheet {

// One merged range, inclusive bounds, 8 bytes inside a MERGEDCELLS record.
// Held by value only (final), so its destructor need not be virtual.
class MergedCell final {
public:
    static const unsigned int WireSize = 8;

    unsigned short firstRowIndex;
    unsigned short lastRowIndex;
    unsigned short firstColIndex;
    unsigned short lastColIndex;

    MergedCell();
    MergedCell(unsigned short firstRow, unsigned short lastRow, unsigned short firstCol, unsigned short lastCol);

    // Both move exactly 8 bytes; the caller provides them.
    virtual unsigned int Read(const char* data);
    virtual unsigned int Write(char* data);
    unsigned int DataSize() const { return WireSize; }
    unsigned int RecordSize() const { return WireSize; }
};

} // namespace Sheet
} // namespace Biff

#endif
