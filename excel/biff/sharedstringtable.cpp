#include "biff/workbook.h"

#include <algorithm>
#include <cstring>

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

unsigned long long Workbook::SharedStringTable::Plan(std::vector<unsigned int>* stringOffsets)
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
    for (const LargeString& s : strings) {
        const unsigned int w = s.IsWide() ? 2 : 1;
        const unsigned int units = s.CharacterCount();
        const unsigned long long bytes = static_cast<unsigned long long>(units) * w;
        if (stringOffsets)
            stringOffsets->push_back(static_cast<unsigned int>(size));
        if (size + bytes + 3 <= limit) {
            size += bytes + 3;
            continue;
        }
        if (limit - size < MinimumStringStart) {
            // Too little room for the string's start: end the piece before it.
            continueOffsets.push_back(static_cast<unsigned int>(size));
            limit = size + PieceLimit;
            if (size + bytes + 3 < limit) {
                size += bytes + 3;
                continue;
            }
        }
        // Cut the string: an even number of character bytes before the cut
        // for 16-bit text, and never between the halves of a surrogate pair.
        if (w == 2 && (limit - size) % 2 == 0)
            limit -= 1;
        unsigned int placed = static_cast<unsigned int>((limit - size - 3) / w);
        if (cutsPair(s, placed)) {
            --placed;
            limit -= 2;
        }
        continueOffsets.push_back(static_cast<unsigned int>(limit));
        unsigned int rest = units - placed;
        size = limit;
        limit = size + PieceLimit;
        // Whole further pieces: option byte plus as many characters as fit.
        const unsigned int capacity = (PieceLimit - 1) / w;
        while (rest >= capacity) {
            unsigned int take = capacity;
            if (cutsPair(s, units - rest + take))
                --take;
            size += 1 + static_cast<unsigned long long>(take) * w;
            continueOffsets.push_back(static_cast<unsigned int>(size));
            rest -= take;
            limit = size + PieceLimit;
        }
        // The last part; when nothing is left the next string starts the
        // new piece with its own header.
        if (rest > 0)
            size += 1 + static_cast<unsigned long long>(rest) * w;
    }
    return size;
}

unsigned int Workbook::SharedStringTable::DataSize()
{
    uniqueStrings = static_cast<unsigned int>(strings.size());
    dataSize = static_cast<unsigned int>(Plan(nullptr));
    recordSize = dataSize + 4 + 4 * static_cast<unsigned int>(continueOffsets.size());
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
    dataSize = static_cast<unsigned int>(Plan(&offsets));
    recordSize = dataSize + 4 + 4 * static_cast<unsigned int>(continueOffsets.size());
    return offsets;
}

unsigned int Workbook::SharedStringTable::Write(char* out)
{
    if (out == nullptr)
        return 0;
    const unsigned int n = DataSize();
    const std::size_t splits = continueOffsets.size();
    // Refuse a plan that would not give valid pieces before writing anything.
    {
        std::size_t previous = 0;
        for (std::size_t i = 0; i <= splits; ++i) {
            const std::size_t next = i < splits ? continueOffsets[i] : n;
            if (next < previous || next > n || next - previous > PieceLimit)
                return 0;
            previous = next;
        }
    }

    // One pass straight into the stream: every byte is placed once, piece
    // headers where the plan puts them, and where a split falls inside a
    // string's characters the new piece resumes with its option byte.
    std::size_t p = 0;   // offset in the joined data
    std::size_t q = 0;   // offset in the stream
    std::size_t j = 0;   // next split point
    auto pieceHeader = [&](unsigned short id, std::size_t from) {
        const std::size_t to = j < splits ? continueOffsets[j] : n;
        LittleEndian::Write(out, id, q);
        LittleEndian::Write(out, static_cast<unsigned short>(to - from), q + 2);
        q += 4;
    };
    auto splitsDue = [&]() {
        while (j < splits && continueOffsets[j] == p) {
            ++j;
            pieceHeader(ContinueCode, p);
        }
    };
    pieceHeader(code, 0);
    uniqueStrings = static_cast<unsigned int>(strings.size());
    LittleEndian::Write(out, totalStrings, q);
    LittleEndian::Write(out, uniqueStrings, q + 4);
    p += 8;
    q += 8;

    for (const LargeString& s : strings) {
        splitsDue();
        const bool wide = s.IsWide();
        const unsigned char option = wide ? 1 : 0;
        const unsigned int units = s.CharacterCount();
        LittleEndian::Write(out, static_cast<unsigned short>(units), q);
        LittleEndian::Write(out, option, q + 2);
        p += 3;
        q += 3;
        unsigned int done = 0;
        while (done < units) {
            if (j < splits && continueOffsets[j] == p) {
                splitsDue();
                LittleEndian::Write(out, option, q);
                ++p;
                ++q;
            }
            unsigned int chunk = units - done;
            if (j < splits) {
                if (continueOffsets[j] < p)
                    return 0; // a split inside a header: plan and text disagree
                const std::size_t room = (continueOffsets[j] - p) / (wide ? 2 : 1);
                if (room < chunk)
                    chunk = static_cast<unsigned int>(room);
            }
            if (chunk == 0)
                return 0; // never write half a character
            if (wide) {
                LittleEndian::WriteString(out, s.wideText.data() + done, q, static_cast<int>(chunk));
                p += 2 * static_cast<std::size_t>(chunk);
                q += 2 * static_cast<std::size_t>(chunk);
            } else {
                std::memcpy(out + q, s.narrowText.data() + done, chunk);
                p += chunk;
                q += chunk;
            }
            done += chunk;
        }
    }
    splitsDue(); // a final piece that starts at the very end
    if (p != n || j != splits)
        return 0;
    return static_cast<unsigned int>(q);
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
    unsigned int pos = 8;
    std::size_t cursor = 0;
    for (LargeString& s : strings) {
        const unsigned int n = s.ReadPieces(data.data(), dataSize, pos, continueOffsets, cursor);
        if (n == 0)
            return 0;
        pos += n;
    }
    return consumed;
}

} // namespace Biff
