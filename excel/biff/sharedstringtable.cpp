#include "biff/workbook.h"

#include <algorithm>
#include <cstring>

#include "biff/pieceoffsets.h"
#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

namespace {

const unsigned int PieceLimit = Record::MaxPieceData;
// A piece is ended before a string when fewer bytes than this are left.
const unsigned int MinimumStringStart = 12;

bool isHigh(wchar_t c)
{
    const unsigned long u = static_cast<unsigned long>(c) & 0xFFFFu;
    return u >= 0xD800u && u <= 0xDBFFu;
}

bool isLow(wchar_t c)
{
    const unsigned long u = static_cast<unsigned long>(c) & 0xFFFFu;
    return u >= 0xDC00u && u <= 0xDFFFu;
}

// True when a cut after `units` characters would part a surrogate pair.
bool cutsPair(const LargeString& s, unsigned int units)
{
    return s.IsWide() && units > 0 && units < s.wideText.size() && isHigh(s.wideText[units - 1])
        && isLow(s.wideText[units]);
}

} // namespace

Workbook::SharedStringTable::SharedStringTable()
    : totalStrings(0), uniqueStrings(0)
{
    code = Code;
    dataSize = 8;
    recordSize = 12;
}

Workbook::SharedStringTable::~SharedStringTable() = default;

namespace {

// Planning alone: no bytes.
struct SizeOnly {
    void split(std::size_t) {}
    void header(const LargeString&, unsigned int) {}
    void option(bool) {}
    void characters(const LargeString&, unsigned int, unsigned int) {}
};

// Writes the stream while the plan is made: every byte is placed once,
// straight into its final position, and each piece's length is filled in
// when the piece ends.
struct StreamWriter {
    char* out;
    std::size_t q;          // stream position
    std::size_t lengthAt;   // where the current piece's length goes
    std::size_t pieceStart; // data offset at which the current piece began
    std::size_t p;          // data offset
    bool ok;

    void closePiece(std::size_t end)
    {
        const std::size_t length = end - pieceStart;
        if (length > PieceLimit)
            ok = false;
        LittleEndian::Write(out, static_cast<unsigned short>(length), lengthAt);
    }
    void split(std::size_t offset)
    {
        if (offset != p)
            ok = false;
        closePiece(offset);
        LittleEndian::Write(out, Record::ContinueCode, q);
        lengthAt = q + 2;
        q += 4;
        pieceStart = offset;
    }
    void header(const LargeString& s, unsigned int units)
    {
        LittleEndian::Write(out, static_cast<unsigned short>(units), q);
        LittleEndian::Write(out, static_cast<unsigned char>(s.IsWide() ? 1 : 0), q + 2);
        q += 3;
        p += 3;
    }
    void option(bool wide)
    {
        LittleEndian::Write(out, static_cast<unsigned char>(wide ? 1 : 0), q);
        ++q;
        ++p;
    }
    void characters(const LargeString& s, unsigned int from, unsigned int count)
    {
        if (count == 0)
            return;
        if (s.IsWide()) {
            LittleEndian::WriteString(out, s.wideText.data() + from, q, static_cast<int>(count));
            q += 2 * static_cast<std::size_t>(count);
            p += 2 * static_cast<std::size_t>(count);
        } else {
            std::memcpy(out + q, s.narrowText.data() + from, count);
            q += count;
            p += count;
        }
    }
};

} // namespace

template <typename Sink>
unsigned long long Workbook::SharedStringTable::Plan(Sink& sink, std::vector<unsigned int>* stringOffsets)
{
    // Offsets are positions in the joined data; `limit` is where the current
    // piece is full.
    continueOffsets.clear();
    if (stringOffsets) {
        stringOffsets->clear();
        stringOffsets->reserve(strings.size());
    }
    unsigned long long size = 8;
    unsigned long long limit = PieceLimit;
    auto split = [&](unsigned long long at) {
        continueOffsets.push_back(static_cast<unsigned int>(at));
        sink.split(static_cast<std::size_t>(at));
    };
    for (const LargeString& s : strings) {
        const bool wide = s.IsWide();
        const unsigned int w = wide ? 2 : 1;
        const unsigned int units = s.CharacterCount();
        const unsigned long long bytes = static_cast<unsigned long long>(units) * w;
        if (stringOffsets)
            stringOffsets->push_back(static_cast<unsigned int>(size));
        if (size + bytes + 3 <= limit) {
            sink.header(s, units);
            sink.characters(s, 0, units);
            size += bytes + 3;
            continue;
        }
        if (limit - size < MinimumStringStart) {
            // Too little room for the string's start: end the piece before it.
            split(size);
            limit = size + PieceLimit;
            if (size + bytes + 3 < limit) {
                sink.header(s, units);
                sink.characters(s, 0, units);
                size += bytes + 3;
                continue;
            }
        }
        // Cut the string: an even number of character bytes before the cut
        // for 16-bit text, and never between the halves of a surrogate pair.
        if (wide && (limit - size) % 2 == 0)
            limit -= 1;
        unsigned int placed = static_cast<unsigned int>((limit - size - 3) / w);
        if (cutsPair(s, placed)) {
            --placed;
            limit -= 2;
        }
        sink.header(s, units);
        sink.characters(s, 0, placed);
        split(limit);
        unsigned int done = placed;
        size = limit;
        limit = size + PieceLimit;
        // Whole further pieces: option byte plus as many characters as fit.
        const unsigned int capacity = (PieceLimit - 1) / w;
        while (units - done >= capacity) {
            unsigned int take = capacity;
            if (cutsPair(s, done + take))
                --take;
            sink.option(wide);
            sink.characters(s, done, take);
            size += 1 + static_cast<unsigned long long>(take) * w;
            split(size);
            done += take;
            limit = size + PieceLimit;
        }
        // The last part; when nothing is left the next string starts the
        // new piece with its own header.
        if (units > done) {
            sink.option(wide);
            sink.characters(s, done, units - done);
            size += 1 + static_cast<unsigned long long>(units - done) * w;
        }
    }
    return size;
}

void Workbook::SharedStringTable::SetSizes(unsigned long long planned)
{
    // Saturate rather than wrap: a table too large for 32-bit stream sizes
    // must make whoever sizes the buffer refuse it.
    dataSize = ClampSize(planned);
    recordSize = ClampSize(planned + 4 + 4ULL * continueOffsets.size());
}

unsigned int Workbook::SharedStringTable::DataSize()
{
    uniqueStrings = static_cast<unsigned int>(strings.size());
    SizeOnly sink;
    SetSizes(Plan(sink, nullptr));
    return dataSize;
}

unsigned int Workbook::SharedStringTable::RecordSize()
{
    DataSize();
    return recordSize;
}

std::vector<unsigned int> Workbook::SharedStringTable::StringOffsets()
{
    std::vector<unsigned int> offsets;
    uniqueStrings = static_cast<unsigned int>(strings.size());
    SizeOnly sink;
    SetSizes(Plan(sink, &offsets));
    return offsets;
}

unsigned int Workbook::SharedStringTable::Write(char* out)
{
    if (out == nullptr)
        return 0;
    uniqueStrings = static_cast<unsigned int>(strings.size());
    StreamWriter sink{out, 0, 2, 0, 0, true};
    LittleEndian::Write(out, code, 0);
    sink.q = 4;
    LittleEndian::Write(out, totalStrings, sink.q);
    LittleEndian::Write(out, uniqueStrings, sink.q + 4);
    sink.q += 8;
    sink.p = 8;
    const unsigned long long size = Plan(sink, nullptr);
    sink.closePiece(static_cast<std::size_t>(size));
    SetSizes(size);
    if (!sink.ok || sink.p != size || sink.q != recordSize || recordSize == SaturatedSize)
        return 0;
    return recordSize;
}

unsigned int Workbook::SharedStringTable::Read(const char* in, unsigned int size)
{
    strings.clear();
    totalStrings = 0;
    uniqueStrings = 0;
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < 8)
        return 0;
    LittleEndian::Read(data, totalStrings, 0);
    LittleEndian::Read(data, uniqueStrings, 4);
    // Every string takes at least 3 bytes: a larger count is refused before
    // anything is allocated for it.
    if (uniqueStrings > (dataSize - 8) / 3)
        return 0;
    strings.resize(uniqueStrings);
    const std::vector<unsigned int> pieces = PieceOffsets(*this, in, consumed);
    unsigned int pos = 8;
    std::size_t cursor = 0;
    for (LargeString& s : strings) {
        const unsigned int n = s.ReadPieces(data.data(), dataSize, pos, pieces, cursor);
        if (n == 0)
            return 0;
        pos += n;
    }
    return consumed;
}

} // namespace Biff
