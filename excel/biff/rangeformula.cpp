#include "biff/rangeformula.h"

#include "biff/formulabytes.h"
#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

RangeFormula::RangeFormula(unsigned short recordCode, unsigned int headerSize)
    : firstRowIndex(0), lastRowIndex(0), firstColIndex(0), lastColIndex(0), headerSize_(headerSize)
{
    code = recordCode;
    dataSize = headerSize;
    recordSize = headerSize + 4;
}

RangeFormula::~RangeFormula() = default;

unsigned int RangeFormula::Read(const char* in, unsigned int size)
{
    formula.clear();
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < headerSize_ || !FormulaBytesFit(data, headerSize_, dataSize - headerSize_))
        return 0;
    LittleEndian::Read(data, firstRowIndex, 0);
    LittleEndian::Read(data, lastRowIndex, 2);
    LittleEndian::Read(data, firstColIndex, 4);
    LittleEndian::Read(data, lastColIndex, 5);
    ReadFields();
    formula.assign(data.begin() + headerSize_, data.begin() + dataSize);
    return consumed;
}

unsigned int RangeFormula::Write(char* out)
{
    if (DataSize() == SaturatedSize)
        return 0;
    continueOffsets.clear();
    data.assign(headerSize_, 0);
    LittleEndian::Write(data, firstRowIndex, 0);
    LittleEndian::Write(data, lastRowIndex, 2);
    LittleEndian::Write(data, firstColIndex, 4);
    LittleEndian::Write(data, lastColIndex, 5);
    WriteFields();
    data.insert(data.end(), formula.begin(), formula.end());
    return Record::Write(out);
}

unsigned int RangeFormula::DataSize()
{
    dataSize = ClampSize(headerSize_ + static_cast<unsigned long long>(formula.size()));
    return dataSize;
}

unsigned int RangeFormula::RecordSize()
{
    return RecordSizeFromData();
}

} // namespace Sheet
} // namespace Biff
