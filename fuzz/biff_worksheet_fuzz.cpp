// Feeds arbitrary bytes to the worksheet substream reader and to every cell
// and worksheet record reader alone. Whatever reads must write back exactly
// RecordSize() bytes, and what it writes must read again and write back the
// same bytes (nothing read may leave the model in a state it cannot repeat).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "biff/exception_eof.h"
#include "biff/worksheet.h"

namespace {

using CellTable = Biff::Worksheet::CellTable;
using RowBlock = CellTable::RowBlock;
using CellBlock = RowBlock::CellBlock;

const unsigned int kMaxOutput = 64u << 20;

// Writes into a heap buffer of exactly RecordSize() bytes, so an overrun is
// caught; stops on a size mismatch. Returns the bytes, empty when the object
// refused to write.
template <typename R>
std::vector<char> Rewrite(R& r)
{
    const unsigned int size = r.RecordSize();
    if (size > kMaxOutput)
        return {};
    std::unique_ptr<char[]> out(new char[size ? size : 1]);
    const unsigned int written = r.Write(out.get());
    if (written != 0 && written != size)
        __builtin_trap();
    if (written == 0)
        return {};
    return std::vector<char>(out.get(), out.get() + size);
}

// Read, write, read the written bytes again and write once more: both
// writes must agree.
template <typename R>
void RoundTrip(const char* data, unsigned int size)
{
    R first;
    const unsigned int used = first.Read(data, size);
    if (used == 0)
        return;
    if (used > size)
        __builtin_trap();
    const std::vector<char> once = Rewrite(first);
    if (once.empty())
        return;
    // An exact-size heap copy again, so the second read is bounded as well.
    std::unique_ptr<char[]> copy(new char[once.size()]);
    std::memcpy(copy.get(), once.data(), once.size());
    R second;
    if (second.Read(copy.get(), static_cast<unsigned int>(once.size())) != once.size())
        __builtin_trap();
    if (Rewrite(second) != once)
        __builtin_trap();
}

// Containers that append and are not records themselves.
template <typename R>
void ReadAndRewrite(const char* data, unsigned int size)
{
    R r;
    const unsigned int used = r.Read(data, size);
    if (used > size)
        __builtin_trap();
    if (used != 0)
        Rewrite(r);
}

void ReadRowBlock(const char* data, unsigned int size)
{
    RowBlock block;
    try {
        const unsigned int used = block.Read(data, size);
        if (used > size)
            __builtin_trap();
    } catch (const Biff::EXCEPTION_EOF& e) {
        if (e.bytesRead > size)
            __builtin_trap();
    }
    Rewrite(block);
}

void ReadCellTable(const char* data, unsigned int size)
{
    CellTable table;
    try {
        const unsigned int used = table.Read(data, size);
        if (used > size)
            __builtin_trap();
    } catch (const Biff::EXCEPTION_EOF& e) {
        if (e.bytesRead > size)
            __builtin_trap();
    }
    Rewrite(table);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t length)
{
    if (length > (1u << 20))
        return 0;
    // An exact heap copy, so reading one byte past the input is caught.
    std::unique_ptr<char[]> copy(new char[length ? length : 1]);
    if (length > 0)
        std::memcpy(copy.get(), bytes, length);
    const char* data = length ? copy.get() : nullptr;
    const unsigned int size = static_cast<unsigned int>(length);

    // Worksheet substreams one after another, as the workbook reader walks them.
    {
        unsigned int offset = 0;
        while (offset < size) {
            Biff::Worksheet sheet;
            const unsigned int n = sheet.Read(data + offset, size - offset);
            if (n == 0)
                break;
            if (n > size - offset)
                __builtin_trap();
            Rewrite(sheet);
            offset += n;
        }
    }
    RoundTrip<Biff::Worksheet>(data, size);

    // The cell records, the formula group and its companions alone.
    RoundTrip<CellBlock::Blank>(data, size);
    RoundTrip<CellBlock::BoolErr>(data, size);
    RoundTrip<CellBlock::LabelSST>(data, size);
    RoundTrip<CellBlock::Number>(data, size);
    RoundTrip<CellBlock::RK>(data, size);
    RoundTrip<CellBlock::MulBlank>(data, size);
    RoundTrip<CellBlock::MulRK>(data, size);
    RoundTrip<CellBlock::Formula>(data, size);
    RoundTrip<CellBlock::Formula::Array>(data, size);
    RoundTrip<CellBlock::Formula::ShrFmla>(data, size);
    RoundTrip<CellBlock::Formula::ShrFmla1>(data, size);
    RoundTrip<CellBlock::Formula::Table>(data, size);
    RoundTrip<CellBlock::Formula::String>(data, size);
    RoundTrip<CellBlock>(data, size);

    // The worksheet records and containers alone.
    RoundTrip<Biff::Worksheet::Index>(data, size);
    RoundTrip<Biff::Worksheet::ColInfo>(data, size);
    RoundTrip<Biff::Worksheet::Dimensions>(data, size);
    RoundTrip<Biff::Worksheet::Window2>(data, size);
    RoundTrip<RowBlock::Row>(data, size);
    RoundTrip<RowBlock::DBCell>(data, size);
    RoundTrip<Biff::Worksheet::MergedCells>(data, size);
    ReadAndRewrite<Biff::Worksheet::ColInfos>(data, size);
    ReadRowBlock(data, size);
    ReadCellTable(data, size);
    return 0;
}
