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
    const unsigned int n = DataSize();
    data.assign(n, 0);
    LittleEndian::Write(data, totalStrings, 0);
    LittleEndian::Write(data, uniqueStrings, 4);

    // One pass straight into the final positions: where a planned split
    // falls inside a string's characters, the piece resumes with its option
    // byte.
    char* const base = data.data();
    std::size_t p = 8;
    std::size_t j = 0;
    const std::size_t splits = continueOffsets.size();
    for (const LargeString& s : strings) {
        while (j < splits && continueOffsets[j] <= p)
            ++j;
        const bool wide = s.IsWide();
        const unsigned char option = wide ? 1 : 0;
        const unsigned int units = s.CharacterCount();
        LittleEndian::Write(base, static_cast<unsigned short>(units), p);
        LittleEndian::Write(base, option, p + 2);
        p += 3;
        unsigned int done = 0;
        while (done < units) {
            while (j < splits && continueOffsets[j] < p)
                ++j;
            if (j < splits && continueOffsets[j] == p) {
                LittleEndian::Write(base, option, p);
                ++p;
                ++j;
                continue;
            }
            unsigned int chunk = units - done;
            if (j < splits) {
                const std::size_t room = (continueOffsets[j] - p) / (wide ? 2 : 1);
                if (room < chunk)
                    chunk = static_cast<unsigned int>(room);
            }
            if (chunk == 0)
                return 0; // plan and text disagree; never write a cut character
            if (wide) {
                LittleEndian::WriteString(base, s.wideText.data() + done, p, static_cast<int>(chunk));
                p += 2 * static_cast<std::size_t>(chunk);
            } else {
                std::memcpy(base + p, s.narrowText.data() + done, chunk);
                p += chunk;
            }
            done += chunk;
        }
    }
    if (p != n)
        return 0;
    return Record::Write(out);
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
