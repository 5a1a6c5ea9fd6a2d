#include "biff/workbook.h"

#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

Workbook::ExtSST::ExtSST()
    : stringsPerBucket(0)
{
    code = Code;
    dataSize = 2;
    recordSize = 6;
}

Workbook::ExtSST::~ExtSST() = default;

unsigned int Workbook::ExtSST::DataSize()
{
    dataSize = 2 + 8 * static_cast<unsigned int>(streamPositions.size());
    recordSize = StreamSize(dataSize);
    return dataSize;
}

unsigned int Workbook::ExtSST::RecordSize()
{
    DataSize();
    return recordSize;
}

unsigned int Workbook::ExtSST::Read(const char* in, unsigned int size)
{
    streamPositions.clear();
    recordOffsets.clear();
    reservedWords.clear();
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < 2)
        return 0;
    LittleEndian::Read(data, stringsPerBucket, 0);
    const unsigned int buckets = (dataSize - 2) / 8;
    streamPositions.resize(buckets);
    recordOffsets.resize(buckets);
    reservedWords.resize(buckets);
    for (unsigned int b = 0; b < buckets; ++b) {
        const unsigned long at = 2ul + 8ul * b;
        LittleEndian::Read(data, streamPositions[b], at);
        LittleEndian::Read(data, recordOffsets[b], at + 4);
        LittleEndian::Read(data, reservedWords[b], at + 6);
    }
    continueOffsets.clear();
    DataSize();
    return consumed;
}

unsigned int Workbook::ExtSST::Write(char* out)
{
    data.assign(DataSize(), 0);
    continueOffsets.clear();
    LittleEndian::Write(data, stringsPerBucket, 0);
    for (std::size_t b = 0; b < streamPositions.size(); ++b) {
        const unsigned long at = 2ul + 8ul * b;
        LittleEndian::Write(data, streamPositions[b], at);
        if (b < recordOffsets.size())
            LittleEndian::Write(data, recordOffsets[b], at + 4);
        if (b < reservedWords.size())
            LittleEndian::Write(data, reservedWords[b], at + 6);
    }
    return Record::Write(out);
}

} // namespace Biff
