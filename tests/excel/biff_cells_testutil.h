#ifndef GRIDMOLT_BIFF_CELLS_TESTUTIL_H
#define GRIDMOLT_BIFF_CELLS_TESTUTIL_H

// A cell block of any kind at a given row and column, read from the bytes
// another writer would give it.

#include <map>

#include "biff/worksheet.h"
#include "biff_testutil.h"

namespace biffTest {

using CellBlock = Biff::Worksheet::CellTable::RowBlock::CellBlock;

inline RefCount::SmartPtr<CellBlock> Cell(unsigned short kind, unsigned short row, unsigned short col)
{
    // Row and column zero; the MUL records end with their last column.
    static const std::map<unsigned short, const char*> records = {
        {0x0201, "01 02 06 00 00 00 00 00 0F 00"},
        {0x00FD, "FD 00 0A 00 00 00 00 00 0F 00 07 00 00 00"},
        {0x0203, "03 02 0E 00 00 00 00 00 0F 00 00 00 00 00 00 00 F8 3F"},
        {0x027E, "7E 02 0A 00 00 00 00 00 0F 00 06 00 00 00"},
        {0x0205, "05 02 08 00 00 00 00 00 0F 00 01 00"},
        {0x0006, "06 00 19 00 00 00 00 00 0F 00 00 00 00 00 00 00 FF FF 00 00 00 00 00 00 03 00 1E 01 00"
                 "  07 02 05 00 02 00 00 6F 6B"}, // with its text result
        {0x00BD, "BD 00 12 00 00 00 00 00 0F 00 02 00 00 00 10 00 06 00 00 00 01 00"},
        {0x00BE, "BE 00 0C 00 00 00 00 00 0F 00 10 00 11 00 02 00"},
    };
    Chars bytes = Hex(records.at(kind));
    bytes[4] = static_cast<char>(row);
    bytes[5] = static_cast<char>(row >> 8);
    bytes[6] = static_cast<char>(col);
    if (kind == 0x00BD || kind == 0x00BE)
        bytes[bytes.size() - 2] = static_cast<char>(bytes[bytes.size() - 2] + col);
    RefCount::SmartPtr<CellBlock> block(new CellBlock);
    EXPECT_EQ(block->Read(bytes.data(), static_cast<unsigned int>(bytes.size())), bytes.size()) << kind;
    return block;
}

} // namespace biffTest

#endif
