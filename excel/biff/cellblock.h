#ifndef GRIDMOLT_BIFF_CELLBLOCK_H
#define GRIDMOLT_BIFF_CELLBLOCK_H

#include <algorithm>
#include <cstddef>

#include "biff/blank.h"
#include "biff/boolerr.h"
#include "biff/formula.h"
#include "biff/labelsst.h"
#include "biff/mulblank.h"
#include "biff/mulrk.h"
#include "biff/number.h"
#include "biff/record.h"
#include "biff/refcnt.h"
#include "biff/rk.h"

namespace Biff {
namespace Sheet {

// Holds one cell record of any of the eight kinds, owned, and is itself held
// by row blocks through RefCount::SmartPtr.
class CellBlock : public RefCount::RefCnt {
public:
    using Blank = Sheet::Blank;
    using BoolErr = Sheet::BoolErr;
    using LabelSST = Sheet::LabelSST;
    using MulBlank = Sheet::MulBlank;
    using MulRK = Sheet::MulRK;
    using Number = Sheet::Number;
    using RK = Sheet::RK;
    using Formula = Sheet::Formula;

    static const unsigned short NoRecord = 0xFFFF;

    unsigned short type; // identifier of the held record, NoRecord when empty
    Record* record;      // owned; its class follows `type`

    CellBlock();
    ~CellBlock();
    // A block owns its record; blocks are shared through SmartPtr, not copied.
    CellBlock(const CellBlock&) = delete;
    CellBlock& operator=(const CellBlock&) = delete;

    // True for the identifiers of the eight cell record kinds.
    static bool IsCellRecord(unsigned int identifier);

    void Reset();
    // Gives the block a default record of the kind `type`; the same kind
    // keeps the record as it is. Any other identifier is a programming error
    // (asserted); in a build without assertions the block is left empty.
    void SetType(int type);

    // Reads the cell record at `data` (a FORMULA with the records that belong
    // to it) from the `size` bytes there. Returns the bytes consumed, 0 for an
    // identifier of no cell record kind or a record that does not read.
    unsigned int Read(const char* data, unsigned int size);
    // 0 bytes for an empty block.
    unsigned int Write(char* data);
    // 0 for an empty block, matching what Write emits.
    unsigned int DataSize();
    unsigned int RecordSize();
    // The held record's row and (first) column; an empty block has neither
    // and stops the program.
    unsigned short RowIndex() const;
    unsigned short ColIndex() const;

private:
    // Room for the fixed-size kinds, which make up nearly every cell of a
    // sheet: they live inside the block, so a cell costs one allocation
    // rather than two. FORMULA, MULRK and MULBLANK are allocated apart.
    static constexpr std::size_t InlineSize =
        std::max({sizeof(Blank), sizeof(BoolErr), sizeof(LabelSST), sizeof(Number), sizeof(RK)});
    alignas(std::max_align_t) unsigned char inline_[InlineSize];
    bool inlineRecord_;
};

} // namespace Sheet
} // namespace Biff

#endif
