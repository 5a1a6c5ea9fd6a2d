#include "biff/shrfmla.h"

#include "biff/formulabytes.h"
#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

ShrFmla::ShrFmla()
    : firstRowIndex(0), lastRowIndex(0), firstColIndex(0), lastColIndex(0), reserved(0)
{
    code = Code;
    dataSize = HeaderSize;
    recordSize = HeaderSize + 4;
}

ShrFmla::~ShrFmla() = default;

unsigned int ShrFmla::Read(const char* in, unsigned int size)
{
    formula.clear();
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < HeaderSize || !FormulaBytesFit(data, HeaderSize, dataSize - HeaderSize))
        return 0;
    LittleEndian::Read(data, firstRowIndex, 0);
    LittleEndian::Read(data, lastRowIndex, 2);
    LittleEndian::Read(data, firstColIndex, 4);
    LittleEndian::Read(data, lastColIndex, 5);
    LittleEndian::Read(data, reserved, 6);
    formula.assign(data.begin() + HeaderSize, data.begin() + dataSize);
    return consumed;
}

unsigned int ShrFmla::Write(char* out)
{
    if (DataSize() == SaturatedSize)
        return 0;
    continueOffsets.clear();
    data.assign(HeaderSize, 0);
    LittleEndian::Write(data, firstRowIndex, 0);
    LittleEndian::Write(data, lastRowIndex, 2);
    LittleEndian::Write(data, firstColIndex, 4);
    LittleEndian::Write(data, lastColIndex, 5);
    LittleEndian::Write(data, reserved, 6);
    data.insert(data.end(), formula.begin(), formula.end());
    return Record::Write(out);
}

unsigned int ShrFmla::DataSize()
{
    dataSize = ClampSize(HeaderSize + static_cast<unsigned long long>(formula.size()));
    return dataSize;
}

unsigned int ShrFmla::RecordSize()
{
    const unsigned int d = DataSize();
    recordSize = d == SaturatedSize ? SaturatedSize : Record::StreamSize(d);
    return recordSize;
}

} // namespace Sheet
} // namespace Biff
