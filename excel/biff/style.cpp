#include "biff/workbook.h"

#include "biff/pieceoffsets.h"
#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

Workbook::Style::Style()
    : xfIndex(0x8000), builtinIdentifier(0), outlineLevel(0xFF)
{
    code = Code;
    DataSize();
}

Workbook::Style::~Style() = default;

unsigned int Workbook::Style::DataSize()
{
    dataSize = IsBuiltin() ? 4 : name.DataSize() + 2;
    recordSize = dataSize + 4;
    return dataSize;
}

unsigned int Workbook::Style::RecordSize()
{
    DataSize();
    return recordSize;
}

unsigned int Workbook::Style::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < 2)
        return 0;
    LittleEndian::Read(data, xfIndex, 0);
    if (IsBuiltin()) {
        if (dataSize < 4)
            return 0;
        LittleEndian::Read(data, builtinIdentifier, 2);
        LittleEndian::Read(data, outlineLevel, 3);
    } else {
        std::size_t cursor = 0;
        if (name.ReadPieces(data.data(), dataSize, 2, PieceOffsets(*this, in, consumed), cursor) == 0)
            return 0;
    }
    continueOffsets.clear();
    DataSize();
    return consumed;
}

unsigned int Workbook::Style::Write(char* out)
{
    // Sized as one piece: a longer name would need a planned split.
    if (DataSize() > MaxPieceData)
        return 0;
    data.assign(dataSize, 0);
    continueOffsets.clear();
    LittleEndian::Write(data, xfIndex, 0);
    if (IsBuiltin()) {
        LittleEndian::Write(data, builtinIdentifier, 2);
        LittleEndian::Write(data, outlineLevel, 3);
    } else {
        name.Write(data.data() + 2);
    }
    return Record::Write(out);
}

} // namespace Biff
