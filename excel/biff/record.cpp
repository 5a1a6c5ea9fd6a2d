#include "biff/record.h"

#include <cstring>

#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

Record::Record()
    : code(0), dataSize(0), recordSize(4)
{
}

Record::~Record() = default;

unsigned int Record::StreamSize(unsigned int size)
{
    if (size == 0)
        return 4;
    return size + 4 + 4 * ((size - 1) / MaxPieceData);
}

unsigned int Record::Read(const char* in, unsigned int size)
{
    data.clear();
    continueOffsets.clear();
    dataSize = 0;
    recordSize = 4;
    if (in == nullptr || size < 4)
        return 0;

    unsigned short length = 0;
    LittleEndian::Read(in, code, 0);
    LittleEndian::Read(in, length, 2);
    // Sizes stay well below 2^32: a piece adds at most 65539 bytes and the
    // whole record lies inside `size` bytes.
    if (length > size - 4)
        return 0;

    // First pass finds the extent, so `data` is allocated once.
    unsigned long long end = 4ULL + length;
    unsigned long long joined = length;
    while (end + 2 <= size) {
        unsigned short next = 0;
        LittleEndian::Read(in, next, static_cast<unsigned long>(end));
        if (next != ContinueCode)
            break;
        if (end + 4 > size)
            return 0; // a CONTINUE header cut off by the end of the range
        unsigned short piece = 0;
        LittleEndian::Read(in, piece, static_cast<unsigned long>(end + 2));
        if (end + 4 + piece > size)
            return 0; // claims more bytes than there are
        joined += piece;
        end += 4ULL + piece;
    }

    data.reserve(static_cast<std::size_t>(joined));
    data.insert(data.end(), in + 4, in + 4 + length);
    dataSize = length;
    recordSize = 4u + length;
    bool oversized = length > MaxPieceData;
    while (recordSize < end) {
        unsigned short piece = 0;
        LittleEndian::Read(in, piece, recordSize + 2);
        continueOffsets.push_back(dataSize);
        data.insert(data.end(), in + recordSize + 4, in + recordSize + 4 + piece);
        dataSize += piece;
        recordSize += 4u + piece;
        oversized = oversized || piece > MaxPieceData;
    }
    const unsigned int consumed = recordSize;
    if (oversized) {
        // Pieces longer than a stream piece may be are read, but written
        // back in fixed pieces: the size must be the one Write emits.
        continueOffsets.clear();
        recordSize = StreamSize(dataSize);
    }
    return consumed;
}

unsigned int Record::Write(char* out)
{
    if (out == nullptr)
        return 0;
    unsigned long p = 0;
    LittleEndian::Write(out, code, p);
    p += 2;

    if (continueOffsets.empty()) {
        if (data.size() < dataSize)
            return 0;
        unsigned int remaining = dataSize;
        unsigned long from = 0;
        while (remaining > MaxPieceData) {
            LittleEndian::Write(out, static_cast<unsigned short>(MaxPieceData), p);
            p += 2;
            std::memcpy(out + p, data.data() + from, MaxPieceData);
            p += MaxPieceData;
            from += MaxPieceData;
            remaining -= MaxPieceData;
            LittleEndian::Write(out, ContinueCode, p);
            p += 2;
        }
        LittleEndian::Write(out, static_cast<unsigned short>(remaining), p);
        p += 2;
        if (remaining > 0)
            std::memcpy(out + p, data.data() + from, remaining);
        return static_cast<unsigned int>(p + remaining);
    }

    // Planned pieces: refuse a plan that is out of order, points beyond the
    // data or makes a piece longer than one stream piece may be, rather than
    // writing lengths that no reader could follow. Checked before any byte
    // after the identifier is written.
    const std::size_t total = data.size();
    std::size_t previous = 0;
    for (std::size_t i = 0; i <= continueOffsets.size(); ++i) {
        const std::size_t next = i < continueOffsets.size() ? continueOffsets[i] : total;
        if (next < previous || next > total || next - previous > MaxPieceData)
            return 0;
        previous = next;
    }

    previous = 0;
    for (std::size_t i = 0; i <= continueOffsets.size(); ++i) {
        const std::size_t next = i < continueOffsets.size() ? continueOffsets[i] : total;
        if (i > 0) {
            LittleEndian::Write(out, ContinueCode, p);
            p += 2;
        }
        const std::size_t length = next - previous;
        LittleEndian::Write(out, static_cast<unsigned short>(length), p);
        p += 2;
        if (length > 0)
            std::memcpy(out + p, data.data() + previous, length);
        p += length;
        previous = next;
    }
    return static_cast<unsigned int>(p);
}

unsigned int Record::DataSize()
{
    return dataSize;
}

unsigned int Record::RecordSize()
{
    return recordSize;
}

void Record::SetFixedSize(unsigned int fixedSize)
{
    dataSize = fixedSize;
    recordSize = fixedSize + 4;
}

unsigned int Record::ReadFixed(const char* in, unsigned int size, unsigned int fixedSize)
{
    const unsigned int consumed = Record::Read(in, size);
    const bool whole = consumed != 0 && dataSize >= fixedSize;
    if (data.size() < fixedSize)
        data.resize(fixedSize, 0); // keeps decoding inside the vector even on failure
    continueOffsets.clear();
    SetFixedSize(fixedSize);
    return whole ? consumed : 0;
}

void Record::PrepareFixedWrite()
{
    // Bytes of no listed field are written as zero.
    data.assign(dataSize, 0);
    continueOffsets.clear();
}

char* Record::BeginFixedWrite(char* out)
{
    if (out == nullptr)
        return nullptr;
    continueOffsets.clear();
    LittleEndian::Write(out, code, 0);
    LittleEndian::Write(out, static_cast<unsigned short>(dataSize), 2);
    // Bytes of no listed field are written as zero.
    std::memset(out + 4, 0, dataSize);
    return out + 4;
}

unsigned int Record::RecordSizeFromData()
{
    const unsigned int d = DataSize();
    recordSize = d == SaturatedSize ? SaturatedSize : StreamSize(d);
    return recordSize;
}

} // namespace Biff
