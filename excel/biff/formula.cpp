#include "biff/formula.h"

#include <cstring>

#include "biff/formulabytes.h"
#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

Formula::Formula()
    : rowIndex(0), colIndex(0), xfIndex(0), options(0), reserved(0), companionType(NoCompanion)
{
    std::memset(result, 0, sizeof(result));
    code = Code;
    dataSize = HeaderSize;
    recordSize = HeaderSize + 4;
}

Formula::~Formula() = default;

Record* Formula::Companion()
{
    switch (companionType) {
    case ShrFmla1::Code:
        return &shrfmla1;
    case Table::Code:
        return &table;
    case ShrFmla::Code:
        return &shrfmla;
    case Array::Code:
        return &array;
    default:
        return nullptr;
    }
}

unsigned int Formula::DataSize()
{
    dataSize = ClampSize(HeaderSize + static_cast<unsigned long long>(formula.size()));
    return dataSize;
}

unsigned int Formula::RecordSize()
{
    const unsigned int d = DataSize();
    unsigned long long total = d == SaturatedSize ? SaturatedSize : Record::StreamSize(d);
    if (Record* companion = Companion())
        total += companion->RecordSize();
    if (!string.empty())
        total += string.RecordSize();
    recordSize = ClampSize(total);
    return recordSize;
}

unsigned int Formula::Write(char* out)
{
    const unsigned int total = RecordSize();
    if (total == SaturatedSize || out == nullptr)
        return 0;
    continueOffsets.clear();
    data.assign(HeaderSize, 0);
    LittleEndian::Write(data, rowIndex, 0);
    LittleEndian::Write(data, colIndex, 2);
    LittleEndian::Write(data, xfIndex, 4);
    std::memcpy(data.data() + 6, result, sizeof(result));
    LittleEndian::Write(data, options, 14);
    reserved = 0;
    LittleEndian::Write(data, reserved, 16);
    data.insert(data.end(), formula.begin(), formula.end());
    dataSize = static_cast<unsigned int>(data.size());

    // The companion follows wherever the FORMULA's own pieces end.
    unsigned long long p = Record::Write(out);
    if (p == 0)
        return 0;
    if (Record* companion = Companion()) {
        const unsigned int written = companion->Write(out + p);
        if (written == 0)
            return 0;
        p += written;
    }
    if (!string.empty()) {
        const unsigned int written = string.Write(out + p);
        if (written == 0)
            return 0;
        p += written;
    }
    recordSize = total;
    return p == total ? total : 0;
}

unsigned int Formula::Read(const char* in, unsigned int size)
{
    formula.clear();
    // What follows this FORMULA on the stream decides the group, not what an
    // earlier read left behind.
    companionType = NoCompanion;
    string.Reset();

    const unsigned int own = Record::Read(in, size);
    if (own == 0 || dataSize < HeaderSize || !FormulaBytesFit(data, HeaderSize, dataSize - HeaderSize))
        return 0;
    LittleEndian::Read(data, rowIndex, 0);
    LittleEndian::Read(data, colIndex, 2);
    LittleEndian::Read(data, xfIndex, 4);
    std::memcpy(result, data.data() + 6, sizeof(result));
    LittleEndian::Read(data, options, 14);
    LittleEndian::Read(data, reserved, 16);
    formula.assign(data.begin() + HeaderSize, data.begin() + dataSize);

    unsigned int p = own;
    unsigned short next = 0;
    if (size - p >= 2) {
        LittleEndian::Read(in, next, p);
        if (next == ShrFmla1::Code || next == Table::Code || next == ShrFmla::Code || next == Array::Code) {
            companionType = next;
            const unsigned int read = Companion()->Read(in + p, size - p);
            if (read == 0)
                return 0;
            p += read;
        }
    }
    if (size - p >= 2) {
        LittleEndian::Read(in, next, p);
        if (next == String::Code) {
            const unsigned int read = string.Read(in + p, size - p);
            if (read == 0)
                return 0;
            p += read;
        }
    }
    RecordSize();
    return p;
}

} // namespace Sheet
} // namespace Biff
