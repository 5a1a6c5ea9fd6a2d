// The worksheet substream: its records, row blocks with their stream
// positions, and reading whole substreams back, hostile ones included.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "biff/worksheet.h"

#include "biff_cells_testutil.h"
#include "biff_testutil.h"

using Biff::Worksheet;
using RowBlock = Biff::Worksheet::CellTable::RowBlock;
using CellBlock = RowBlock::CellBlock;

using namespace biffTest;

namespace {

// A whole substream; its data size must agree with what was written.
using biffTest::Written;
std::vector<char> Written(Worksheet& sheet)
{
    std::vector<char> out(sheet.RecordSize());
    EXPECT_EQ(sheet.Write(out.data()), out.size());
    EXPECT_EQ(sheet.DataSize(), out.size());
    return out;
}

// Fills the row blocks of a sheet of `rows` rows: per row a MULRK over
// columns 0-1, then one cell of a kind that changes from row to row, then a
// MULBLANK over columns 4-6.
void Fill(Worksheet& sheet, unsigned short rows)
{
    const unsigned short kinds[] = {0x0201, 0x00FD, 0x0203, 0x027E, 0x0205, 0x0006};
    sheet.index.firstUsedRowIndex = 0, sheet.index.lastUsedRowIndexPlusOne = rows;
    sheet.dimensions.lastUsedRowIndexPlusOne = rows, sheet.dimensions.lastUsedColIndexPlusOne = 7;
    sheet.cellTable.rowBlocks.assign((rows + 31) / 32, RowBlock());
    for (unsigned short r = 0; r < rows; ++r) {
        RowBlock& block = sheet.cellTable.rowBlocks[r / 32];
        RowBlock::Row row;
        row.rowIndex = r, row.lastCellColIndexPlusOne = 7;
        block.rows.push_back(row);
        block.cellBlocks.insert(block.cellBlocks.end(), {Cell(0x00BD, r, 0), Cell(kinds[r % 6], r, 3), Cell(0x00BE, r, 4)});
    }
    sheet.index.dbCellPositions.assign(sheet.cellTable.rowBlocks.size(), 0);
}

// Stream positions as the saving code stores them before writing; here any
// distinct values, which reading must keep.
void AdjustPositions(Worksheet& sheet, unsigned long long start)
{
    for (std::size_t b = 0; b < sheet.cellTable.rowBlocks.size(); ++b) {
        RowBlock& block = sheet.cellTable.rowBlocks[b];
        sheet.index.dbCellPositions[b] = static_cast<unsigned int>(start + 1000 * b + 7);
        block.dbcell.firstRowOffset = static_cast<unsigned int>(start + b + 5);
        block.dbcell.offsets.assign(block.rows.size(), 0);
        for (std::size_t k = 0; k < block.rows.size(); ++k)
            block.dbcell.offsets[k] = static_cast<unsigned short>(20 * k + b);
    }
}

// ---------------------------------------------------------------- records

TEST(WorksheetBytes, DefaultSheetIsEightyEightBytes)
{
    Worksheet sheet;
    EXPECT_EQ(Written(sheet), Hex("09 08 10 00 00 06 10 00 A0 19 CD 07 C9 C0 00 00 06 03 00 00" // BOF
                                  "0B 02 14 00 00000000 00000000 00000000 00000000 00000000" // INDEX
                                  "00 02 0E 00 00000000 00000000 0000 0000 0000"             // DIMENSIONS
                                  "3E 02 12 00 B6 06 00 00 00 00 40 00 0000 0000 0000 0000 0000"
                                  "0A 00 00 00"));
}

TEST(WorksheetBytes, RowColInfoDBCellAndMergedCellsLayouts)
{
    RowBlock::Row row;
    row.rowIndex = 0x0102, row.lastCellColIndexPlusOne = 6;
    EXPECT_EQ(Written(row), Hex("08 02 10 00 02 01 00 00 06 00 FF 00 00 00 00 00 00 01 00 00"));
    Worksheet::ColInfo info;
    EXPECT_EQ(Written(info), Hex("7D 00 0C 00 00 00 FF 00 00 0A 00 00 00 00 00 00"));
    RowBlock::DBCell dbcell;
    dbcell.firstRowOffset = 0x01020304, dbcell.offsets = {0x14, 0x2A};
    EXPECT_EQ(Written(dbcell), Hex("D7 00 08 00 04 03 02 01 14 00 2A 00"));
    Worksheet::MergedCells merged;
    merged.mergedCells.push_back(Worksheet::MergedCells::MergedCell(2, 3, 0, 4));
    EXPECT_EQ(Written(merged), Hex("E5 00 0A 00 01 00 02 00 03 00 00 00 04 00"));
    Worksheet::Dimensions dimensions; // a full sheet: 65536 rows, 256 columns
    dimensions.firstUsedRowIndex = 0x0102, dimensions.lastUsedRowIndexPlusOne = 0x10000;
    dimensions.firstUsedColIndex = 3, dimensions.lastUsedColIndexPlusOne = 256;
    EXPECT_EQ(Written(dimensions), Hex("00 02 0E 00 02 01 00 00 00 00 01 00 03 00 00 01 00 00"));
    const std::vector<char> window = Hex("3E 02 12 00 B6 06 01 00 02 00 03 00 04 00 05 00 06 00 07 00 00 00");
    Worksheet::Window2 window2; // each field read from its own place writes back the same bytes
    EXPECT_TRUE(window2.Read(window.data(), 22) == 22u && Written(window2) == window);
}

TEST(WorksheetBytes, MergedRangesSplitAt1027PerRecord)
{
    for (unsigned int n : {0u, 1027u, 1028u, 2054u, 2055u}) {
        Worksheet::MergedCells merged;
        for (unsigned int i = 0; i < n; ++i)
            merged.mergedCells.push_back(Worksheet::MergedCells::MergedCell(
                static_cast<unsigned short>(i), static_cast<unsigned short>(i), 0, 1));
        const std::vector<char> out = Written(merged);
        EXPECT_EQ(out.size(), 8 * n + 6 * ((n + 1026) / 1027)) << n;
        EXPECT_TRUE(n <= 1027 || (U16(out, 8222) == 0x00E5u && U16(out, 8222 + 4) == std::min(n - 1027, 1027u) && U16(out, 8222 + 6) == 1027u))
            << n << ": a second record opening with the 1028th range";
        Worksheet::MergedCells back;
        EXPECT_EQ(back.Read(out.empty() ? nullptr : out.data(), static_cast<unsigned int>(out.size())), out.size());
        EXPECT_TRUE(back.mergedCells.size() == n && (n == 0 || back.mergedCells.back().firstRowIndex == n - 1)) << n;
    }
}

TEST(WorksheetBytes, IndexSizesItsPositionsByTheRowRange)
{
    struct Case { unsigned int first, last; std::size_t positions; };
    const Case cases[] = {{0, 33, 2}, {0, 32, 1}, {0, 0, 1}, {5, 3, 1}, {0, 65536, 2048}};
    for (const Case& c : cases) {
        Worksheet::Index index;
        index.firstUsedRowIndex = c.first, index.lastUsedRowIndexPlusOne = c.last;
        index.dbCellPositions.assign(1, 0x11223344);
        const std::vector<char> out = Written(index);
        Worksheet::Index back;
        EXPECT_TRUE(out.size() == 24u && back.Read(out.data(), static_cast<unsigned int>(out.size())) == out.size()) << out.size();
        ASSERT_EQ(back.dbCellPositions.size(), c.positions) << c.last;
        // Positions the record does not hold are kept as 0.
        EXPECT_TRUE(back.dbCellPositions[0] == 0x11223344u && (c.positions == 1 || back.dbCellPositions[1] == 0u));
        EXPECT_EQ(back.RecordSize(), 20 + 4 * c.positions);
    }
}

TEST(WorksheetBytes, IndexWithManyPositionsCrossesThePieceBoundary)
{
    Worksheet::Index index;
    index.lastUsedRowIndexPlusOne = 65536;
    // More positions than the row range asks for, so the data passes 8224 bytes.
    index.dbCellPositions.assign(2053, 7);
    index.dbCellPositions[2047] = 99;
    const std::vector<char> out = Written(index);
    EXPECT_TRUE(index.RecordSize() == 16u + 8212u + 8u && U16(out, 8228) == 0x003Cu) << "a CONTINUE piece";
    Worksheet::Index back;
    EXPECT_EQ(back.Read(out.data(), static_cast<unsigned int>(out.size())), out.size());
    ASSERT_EQ(back.dbCellPositions.size(), 2048u);
    EXPECT_TRUE(back.dbCellPositions[2047] == 99u && back.dbCellPositions[0] == 7u);

    // Row fields beyond four bytes are refused, not wrapped; a row range
    // beyond a sheet, or a record too short for its fields, is not read.
    Worksheet sheet;
    sheet.index.lastUsedRowIndexPlusOne = 0x100000001ull;
    std::vector<char> all(sheet.RecordSize());
    EXPECT_EQ(sheet.Write(all.data()), 0u);
    index.lastUsedRowIndexPlusOne = 0x7FFFFFFF, index.dbCellPositions.assign(1, 0);
    const std::vector<char> far = Written(index);
    EXPECT_EQ(back.Read(far.data(), static_cast<unsigned int>(far.size())), 0u);
    const std::vector<char> cut = Hex("0B 02 0C 00 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(back.Read(cut.data(), static_cast<unsigned int>(cut.size())), 0u);
}

TEST(WorksheetBytes, DBCellWithManyOffsetsCrossesThePieceBoundary)
{
    for (unsigned int n : {4109u, 4110u, 4111u}) {
        RowBlock::DBCell dbcell;
        dbcell.offsets.assign(n, 0x1234), dbcell.offsets.back() = 0x4321;
        const std::vector<char> out = Written(dbcell);
        EXPECT_EQ(out.size(), Biff::Record::StreamSize(4 + 2 * n)) << n;
        RowBlock::DBCell back;
        EXPECT_TRUE(back.Read(out.data(), static_cast<unsigned int>(out.size())) == out.size() && back.offsets == dbcell.offsets) << n;
    }
}

TEST(WorksheetBytes, RowBlockWritesNothingBeyondTheRoomItIsGiven)
{
    Worksheet sheet;
    Fill(sheet, 3);
    RowBlock& block = sheet.cellTable.rowBlocks[0];
    const unsigned int size = block.RecordSize();
    std::vector<char> out(size + 16, 0x55);
    EXPECT_EQ(block.Write(out.data(), size - 1), 0u);
    EXPECT_EQ(std::count(out.begin() + size - 1, out.end(), 0x55), 17) << "nothing written past the room";
    EXPECT_EQ(block.Write(out.data(), size), size);
    EXPECT_TRUE(sheet.cellTable.Write(out.data(), size - 1) == 0u && sheet.cellTable.Write(out.data()) == size);
}

// ---------------------------------------------------------------- whole substream

TEST(WorksheetStream, SeveralRowBlocksWithTheirPositionsRoundTrip)
{
    const unsigned long long start = 1234; // where the substream sits in the workbook stream
    Worksheet sheet;
    Fill(sheet, 70); // blocks of 32, 32 and 6 rows
    Worksheet::ColInfo info;
    info.firstColumn = 1, info.lastColumn = 3;
    sheet.colInfos.colInfos.push_back(info);
    info.firstColumn = info.lastColumn = 5;
    sheet.colInfos.colInfos.push_back(info); // all column records are read and written
    sheet.mergedCells.mergedCells.push_back(Worksheet::MergedCells::MergedCell(1, 2, 4, 5));
    sheet.window2.options &= 0xFDFF;
    AdjustPositions(sheet, start);
    const std::vector<char> out = Written(sheet);

    Worksheet back;
    ASSERT_EQ(back.Read(out.data(), static_cast<unsigned int>(out.size())), out.size());
    EXPECT_TRUE(back.cellTable.rowBlocks.size() == 3u && back.colInfos.colInfos.size() == 2u);
    // Everything that was read (positions included) writes back byte for byte.
    EXPECT_EQ(Written(back), out);

    // Reading again replaces the whole model.
    Worksheet empty;
    const std::vector<char> small = Written(empty);
    EXPECT_EQ(back.Read(small.data(), static_cast<unsigned int>(small.size())), 88u);
    EXPECT_TRUE(back.cellTable.rowBlocks.empty() && back.colInfos.colInfos.empty() && back.RecordSize() == 88u);
}

TEST(WorksheetStream, EOFInsideARowBlockEndsTheSubstreamAtItsTrueEnd)
{
    // A worksheet whose last row block has no DBCELL: after `blocks`
    // complete blocks, an open one whose records run into the EOF.
    for (unsigned short blocks : {0, 2}) {
        Worksheet sheet;
        Fill(sheet, static_cast<unsigned short>(32 * blocks));
        std::vector<char> stream = Written(sheet);
        stream.resize(stream.size() - 22 - 4); // without WINDOW2 and EOF
        Append(stream, Hex("08 02 10 00 00 01 00 00 01 00 FF 00 00 00 00 00 00 01 00 00")); // ROW 256
        Append(stream, Hex("01 02 06 00 00 01 00 00 0F 00"));                                 // BLANK (256, 0)
        Append(stream, Hex("3E 02 12 00 00 00 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00")); // WINDOW2
        Append(stream, Hex("0A 00 00 00"));
        const std::size_t first = stream.size();
        Worksheet next;
        Fill(next, 1);
        Append(stream, Written(next));

        const unsigned int length = sheet.Read(stream.data(), static_cast<unsigned int>(stream.size()));
        EXPECT_EQ(length, first) << blocks;
        ASSERT_EQ(sheet.cellTable.rowBlocks.size(), blocks + 1u);
        RowBlock& open = sheet.cellTable.rowBlocks.back();
        ASSERT_TRUE(open.cellBlocks.size() == 1u && open.cellBlocks[0]->RowIndex() == 256);
        // The WINDOW2 after the open block is the sheet's own.
        EXPECT_EQ(sheet.window2.options, 0x0000);

        Worksheet after;
        EXPECT_EQ(after.Read(stream.data() + length, static_cast<unsigned int>(stream.size() - length)),
                  stream.size() - first);
    }
}

TEST(WorksheetStream, RecordsOfNoConcernArePassedOver)
{
    Worksheet sheet;
    Fill(sheet, 1);
    sheet.mergedCells.mergedCells.push_back(Worksheet::MergedCells::MergedCell(0, 1, 0, 1));
    AdjustPositions(sheet, 0);
    const std::vector<char> plain = Written(sheet);
    const std::size_t afterDimensions = 20 + 24 + 18, afterRow = afterDimensions + 20;
    const std::size_t beforeMerged = plain.size() - 4 - 14, beforeWindow2 = beforeMerged - 22;
    const char* const unknown = "99 00 02 00 AA BB  3C 00 01 00 08  3C 00 02 00 02 08"; // with CONTINUE pieces
    const char* const chartBof = "09 08 10 00 00 06 20 00 A0 19 CD 07 C9 C0 00 00 06 03 00 00";
    const std::string chart = std::string(chartBof) + chartBof + "0A 00 00 00  33 10 00 00  0A 00 00 00";
    const struct { std::size_t at; std::string records; bool read; const char* what; } cases[] = {
        {afterDimensions, unknown, true, "unknown records at sheet level"},
        {afterRow, unknown, true, "unknown records inside a row block"},
        {beforeMerged, chart, true, "an embedded chart with a nested substream of its own"},
        {beforeWindow2, "01 02 06 00 05 00 05 00 0F 00", true, "a cell record after the DBCELL ends the cell table"},
        {beforeMerged, chartBof, false, "a nested substream that never ends"},
    };
    for (const auto& c : cases) {
        std::vector<char> stream(plain.begin(), plain.begin() + static_cast<long>(c.at));
        Append(stream, Hex(c.records.c_str()));
        stream.insert(stream.end(), plain.begin() + static_cast<long>(c.at), plain.end());
        Worksheet back;
        EXPECT_EQ(back.Read(stream.data(), static_cast<unsigned int>(stream.size())), c.read ? stream.size() : 0) << c.what;
        EXPECT_TRUE(!c.read || Written(back) == plain) << c.what << ": only known records are kept";
    }
}

// ---------------------------------------------------------------- hostile input

TEST(WorksheetHostile, TruncatedAndOverclaimingSubstreamsAreRefused)
{
    Worksheet sheet;
    Fill(sheet, 34);
    sheet.mergedCells.mergedCells.push_back(Worksheet::MergedCells::MergedCell(0, 1, 0, 1));
    AdjustPositions(sheet, 0);
    const std::vector<char> good = Written(sheet);
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        // An exact-size heap copy, so ASan sees any read beyond the range.
        std::vector<char> bytes(good.begin(), good.begin() + cut);
        Worksheet back;
        EXPECT_EQ(back.Read(bytes.empty() ? nullptr : bytes.data(), static_cast<unsigned int>(cut)), 0u) << cut;
    }
    const std::size_t merged = good.size() - 4 - 14;
    std::size_t mulrk = 0;
    for (const Piece& piece : Pieces(good))
        mulrk = mulrk ? mulrk : piece.code == 0x00BD ? piece.offset : 0;
    ASSERT_TRUE(U16(good, merged) == 0x00E5u && U16(good, mulrk) == 0x00BDu);
    const struct { std::size_t at; char value; const char* what; } patches[] = {
        {0, 0x09, "nothing patched"},
        {merged + 4, 2, "MERGEDCELLS counting two ranges but holding one"},
        {mulrk + 4 + 16, 9, "the MULRK of row 0 naming more columns than entries"},
        {20 + 2, char(0xF0), "a record length running past the end of the stream"},
    };
    for (const auto& p : patches) {
        std::vector<char> bad = good;
        bad[p.at] = p.value;
        Worksheet back;
        EXPECT_EQ(back.Read(bad.data(), static_cast<unsigned int>(bad.size())), p.at ? 0 : good.size()) << p.what;
    }
    // The EOF missing; zero padding reads as unknown records, never an EOF.
    std::vector<char> noEof(good.begin(), good.end() - 4);
    noEof.resize(noEof.size() + 100, 0);
    Worksheet back;
    EXPECT_EQ(back.Read(noEof.data(), static_cast<unsigned int>(noEof.size())), 0u);

    // A DBCELL too short for its first field, a ROW too short for its fields.
    const std::string row = "08 02 10 00 00 00 00 00 00 00 FF 00 00 00 00 00 00 01 00 00";
    for (const char* tail : {"D7 00 02 00 00 00 0A 00 00 00", "08 02 01 00 00 D7 00 06 00 14 00 00 00 00 00"}) {
        const std::vector<char> bytes = Hex((row + tail).c_str());
        Worksheet::CellTable table;
        EXPECT_EQ(table.Read(bytes.data(), static_cast<unsigned int>(bytes.size())), 0u) << tail;
    }
}

TEST(WorksheetHostile, ManyTinyRowBlocksClaimNoMoreMemoryThanTheyHold)
{
    // Thousands of row blocks of one ROW, one BLANK and a DBCELL: each block
    // holds one cell, so none may keep room for hundreds (which the bytes
    // left in the stream could hold) and multiply the memory of a small file.
    const std::vector<char> block = Hex("08 02 10 00 00 00 00 00 01 00 FF 00 00 00 00 00 00 01 00 00"
                                        "01 02 06 00 00 00 00 00 0F 00"
                                        "D7 00 06 00 1E 00 00 00 14 00");
    std::vector<char> stream;
    for (int i = 0; i < 5000; ++i)
        Append(stream, block);
    Worksheet::CellTable table;
    ASSERT_EQ(table.Read(stream.data(), static_cast<unsigned int>(stream.size())), stream.size());
    ASSERT_EQ(table.rowBlocks.size(), 5000u);
    for (const RowBlock& b : table.rowBlocks)
        ASSERT_TRUE(b.cellBlocks.size() == 1u && b.cellBlocks.capacity() <= 8u) << b.cellBlocks.capacity();
}

} // namespace
