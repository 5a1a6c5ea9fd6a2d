#ifndef GRIDMOLT_BIFF_CELLS_TESTUTIL_H
#define GRIDMOLT_BIFF_CELLS_TESTUTIL_H

// A cell block of any kind at a given row and column, its fields filled with
// values derived from the position.

#include "biff/worksheet.h"

namespace biffTest {

using CellBlock = Biff::Worksheet::CellTable::RowBlock::CellBlock;

inline RefCount::SmartPtr<CellBlock> Cell(unsigned short kind, unsigned short row, unsigned short col)
{
    RefCount::SmartPtr<CellBlock> block(new CellBlock);
    block->SetType(kind);
    switch (kind) {
    case 0x0201: {
        auto* r = static_cast<CellBlock::Blank*>(block->record);
        r->rowIndex = row;
        r->colIndex = col;
        r->xfIndex = 15;
        break;
    }
    case 0x00FD: {
        auto* r = static_cast<CellBlock::LabelSST*>(block->record);
        r->rowIndex = row;
        r->colIndex = col;
        r->sstIndex = row * 7u + col;
        break;
    }
    case 0x0203: {
        auto* r = static_cast<CellBlock::Number*>(block->record);
        r->rowIndex = row;
        r->colIndex = col;
        r->value = row + col / 3.0;
        break;
    }
    case 0x027E: {
        auto* r = static_cast<CellBlock::RK*>(block->record);
        r->rowIndex = row;
        r->colIndex = col;
        r->value = (static_cast<unsigned int>(row) << 2) | 2;
        break;
    }
    case 0x0205: {
        auto* r = static_cast<CellBlock::BoolErr*>(block->record);
        r->rowIndex = row;
        r->colIndex = col;
        r->value = 1;
        break;
    }
    case 0x0006: {
        auto* r = static_cast<CellBlock::Formula*>(block->record);
        r->rowIndex = row;
        r->colIndex = col;
        r->formula = {3, 0, 0x1E, 0x01, 0x00};
        if (row % 2 == 0) {
            r->companionType = 0x04BC;
            r->shrfmla1.firstRowIndex = row;
            r->shrfmla1.lastRowIndex = row;
            r->shrfmla1.formula = {1, 0, 0x1E};
        }
        r->string.SetText(L"text result");
        break;
    }
    case 0x00BD: {
        auto* r = static_cast<CellBlock::MulRK*>(block->record);
        r->rowIndex = row;
        r->firstColIndex = col;
        r->xfRKs = {CellBlock::MulRK::XFRK(15, 2), CellBlock::MulRK::XFRK(16, 6)};
        r->lastColIndex = static_cast<unsigned short>(col + 1);
        break;
    }
    case 0x00BE: {
        auto* r = static_cast<CellBlock::MulBlank*>(block->record);
        r->rowIndex = row;
        r->firstColIndex = col;
        r->xfIndices = {15, 16, 17};
        r->lastColIndex = static_cast<unsigned short>(col + 2);
        break;
    }
    }
    return block;
}

} // namespace biffTest

#endif
