#ifndef GRIDMOLT_BIFF_WORKSHEET_H
#define GRIDMOLT_BIFF_WORKSHEET_H

#include "biff/bof.h"
#include "biff/celltable.h"
#include "biff/colinfo.h"
#include "biff/colinfos.h"
#include "biff/dimensions.h"
#include "biff/eofrecord.h"
#include "biff/index.h"
#include "biff/mergedcells.h"
#include "biff/window2.h"

namespace Biff {

// Record model of one worksheet substream, from its BOF to its EOF. The
// members are in stream order. Each record class lives in its own file in
// Biff::Sheet; the names below place them where they belong, so
// Worksheet::CellTable::RowBlock::CellBlock::Formula names the FORMULA record.
class Worksheet {
public:
    using Index = Sheet::Index;
    using ColInfo = Sheet::ColInfo;
    using ColInfos = Sheet::ColInfos;
    using Dimensions = Sheet::Dimensions;
    using Window2 = Sheet::Window2;
    using MergedCells = Sheet::MergedCells;
    using CellTable = Sheet::CellTable;

    BOF bof;
    Index index;
    ColInfos colInfos;
    Dimensions dimensions;
    CellTable cellTable;
    Window2 window2;
    MergedCells mergedCells;
    EOFRecord eof;

    // A new worksheet: default records, BOF filled for a worksheet substream.
    Worksheet();

    // Reads one worksheet substream from its BOF through its EOF out of the
    // `size` bytes at `data`, replacing the whole model. Records of other
    // identifiers are skipped, and so is a whole substream nested in the
    // sheet (BOF to its own EOF, such as an embedded chart). Returns the bytes consumed, up to and
    // including the EOF (also when the EOF ends a row block), so the next
    // substream starts there; 0 when a record does not read or the range
    // ends before an EOF.
    unsigned int Read(const char* data, unsigned int size);
    // Writes the members in order; the buffer holds RecordSize() bytes.
    // Returns RecordSize(), or 0 when a record cannot be written.
    unsigned int Write(char* data);
    unsigned int DataSize();
    unsigned int RecordSize();
};

} // namespace Biff

#endif
