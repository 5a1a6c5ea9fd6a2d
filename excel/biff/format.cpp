#include "biff/workbook.h"

#include "biff/pieceoffsets.h"
#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

Workbook::Format::Format()
    : index(0)
{
    code = Code;
    formatString = L"General";
    DataSize();
}

Workbook::Format::~Format() = default;

unsigned int Workbook::Format::DataSize()
{
    dataSize = formatString.DataSize() + 2;
    recordSize = dataSize + 4;
    return dataSize;
}

unsigned int Workbook::Format::RecordSize()
{
    DataSize();
    return recordSize;
}

unsigned int Workbook::Format::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < 2)
        return 0;
    LittleEndian::Read(data, index, 0);
    std::size_t cursor = 0;
    if (formatString.ReadPieces(data.data(), dataSize, 2, PieceOffsets(*this, in, consumed), cursor) == 0)
        return 0;
    continueOffsets.clear();
    DataSize();
    return consumed;
}

unsigned int Workbook::Format::Write(char* out)
{
    // Sized as one piece: a longer text would need a planned split.
    if (DataSize() > MaxPieceData)
        return 0;
    data.assign(dataSize, 0);
    continueOffsets.clear();
    LittleEndian::Write(data, index, 0);
    formatString.Write(data.data() + 2);
    return Record::Write(out);
}

} // namespace Biff
