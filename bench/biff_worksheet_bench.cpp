// Writing and reading a worksheet substream: cost per cell must stay flat
// from 10,000 to 1,000,000 cells.
#include <benchmark/benchmark.h>

#include <vector>

#include "biff/worksheet.h"

namespace {

using RowBlock = Biff::Worksheet::CellTable::RowBlock;
using CellBlock = RowBlock::CellBlock;

const unsigned short kColumns = 250;

// Rows of text and empty cells as a save writes them, with a number now and
// then; positions are left at 0 (they do not change the cost).
Biff::Worksheet MakeSheet(long cells)
{
    Biff::Worksheet sheet;
    const long rows = (cells + kColumns - 1) / kColumns;
    sheet.index.lastUsedRowIndexPlusOne = static_cast<unsigned long long>(rows);
    sheet.index.dbCellPositions.assign(static_cast<std::size_t>((rows + 31) / 32), 0);
    sheet.cellTable.rowBlocks.resize(static_cast<std::size_t>((rows + 31) / 32));
    long made = 0;
    for (long r = 0; r < rows; ++r) {
        RowBlock& block = sheet.cellTable.rowBlocks[static_cast<std::size_t>(r / 32)];
        RowBlock::Row row;
        row.rowIndex = static_cast<unsigned short>(r);
        row.lastCellColIndexPlusOne = kColumns;
        block.rows.push_back(row);
        block.dbcell.offsets.push_back(0);
        for (unsigned short c = 0; c < kColumns && made < cells; ++c, ++made) {
            RefCount::SmartPtr<CellBlock> cell(new CellBlock);
            if (c % 5 == 4) {
                cell->SetType(CellBlock::Blank::Code);
                auto* blank = static_cast<CellBlock::Blank*>(cell->record);
                blank->rowIndex = row.rowIndex;
                blank->colIndex = c;
            } else if (c % 17 == 0) {
                cell->SetType(CellBlock::Number::Code);
                auto* number = static_cast<CellBlock::Number*>(cell->record);
                number->rowIndex = row.rowIndex;
                number->colIndex = c;
                number->value = r * 0.5;
            } else {
                cell->SetType(CellBlock::LabelSST::Code);
                auto* label = static_cast<CellBlock::LabelSST*>(cell->record);
                label->rowIndex = row.rowIndex;
                label->colIndex = c;
                label->sstIndex = static_cast<unsigned long long>(made);
            }
            block.cellBlocks.push_back(cell);
        }
    }
    return sheet;
}

void BM_WorksheetWrite(benchmark::State& state)
{
    Biff::Worksheet sheet = MakeSheet(state.range(0));
    std::vector<char> out(sheet.RecordSize());
    for (auto _ : state) {
        const unsigned int n = sheet.Write(out.data());
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_WorksheetRead(benchmark::State& state)
{
    Biff::Worksheet sheet = MakeSheet(state.range(0));
    std::vector<char> stream(sheet.RecordSize());
    stream.resize(sheet.Write(stream.data()));
    for (auto _ : state) {
        Biff::Worksheet back;
        const unsigned int n = back.Read(stream.data(), static_cast<unsigned int>(stream.size()));
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(BM_WorksheetWrite)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorksheetRead)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
