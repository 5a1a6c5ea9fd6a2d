#include "biff/largestring.h"

#include <cstring>
#include <cwchar>

#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

namespace {

bool isHighSurrogate(wchar_t c)
{
    const unsigned long u = static_cast<unsigned long>(c) & 0xFFFFu;
    return u >= 0xD800u && u <= 0xDBFFu;
}

} // namespace

LargeString::LargeString()
    : options(0xFF), richRuns(0), phoneticSize(0)
{
}

LargeString::~LargeString() = default;

LargeString& LargeString::operator=(const wchar_t* text)
{
    std::size_t length = text ? std::wcslen(text) : 0;
    if (length > MaxLength) {
        length = MaxLength;
        if (isHighSurrogate(text[length - 1]))
            --length;
    }
    Assign(text, length);
    return *this;
}

LargeString& LargeString::operator=(const char* text)
{
    std::size_t length = text ? std::strlen(text) : 0;
    if (length > MaxLength)
        length = MaxLength;
    // The text may be this string's own bytes: build first, then swap in.
    std::vector<char> bytes(text, text + length);
    narrowText.swap(bytes);
    wideText.clear();
    options = 0;
    richRuns = 0;
    phoneticSize = 0;
    return *this;
}

bool LargeString::Assign(const wchar_t* text)
{
    return Assign(text, text ? std::wcslen(text) : 0);
}

bool LargeString::Assign(const char* text)
{
    if (text && std::strlen(text) > MaxLength)
        return false;
    *this = text;
    return true;
}

bool LargeString::Assign(const wchar_t* text, std::size_t length)
{
    if (length > MaxLength)
        return false;
    std::vector<wchar_t> units;
    if (length > 0)
        units.assign(text, text + length);
    wideText.swap(units);
    narrowText.clear();
    options = 1;
    richRuns = 0;
    phoneticSize = 0;
    return true;
}

unsigned int LargeString::CharacterCount() const
{
    const std::size_t n = IsWide() ? wideText.size() : narrowText.size();
    return n > MaxLength ? MaxLength : static_cast<unsigned int>(n);
}

unsigned int LargeString::StringSize() const
{
    return IsWide() ? 2 * CharacterCount() : CharacterCount();
}

unsigned int LargeString::DataSize() const
{
    return StringSize() + 3;
}

unsigned int LargeString::RecordSize() const
{
    return DataSize();
}

unsigned int LargeString::Read(const char* data, unsigned int size)
{
    std::size_t cursor = 0;
    static const std::vector<unsigned int> none;
    return ReadPieces(data, size, 0, none, cursor);
}

unsigned int LargeString::ReadPieces(const char* data, unsigned int size, unsigned int position,
                                     const std::vector<unsigned int>& boundaries, std::size_t& nb)
{
    wideText.clear();
    narrowText.clear();
    richRuns = 0;
    phoneticSize = 0;
    options = 0;
    if (data == nullptr || position > size || size - position < 3)
        return 0;

    unsigned long long pos = position;
    unsigned short count = 0;
    unsigned char flags = 0;
    LittleEndian::Read(data, count, static_cast<unsigned long>(pos));
    LittleEndian::Read(data, flags, static_cast<unsigned long>(pos + 2));
    pos += 3;
    unsigned short runs = 0;
    unsigned int phonetic = 0;
    if (flags & 0x08) {
        if (pos + 2 > size)
            return 0;
        LittleEndian::Read(data, runs, static_cast<unsigned long>(pos));
        pos += 2;
    }
    if (flags & 0x04) {
        if (pos + 4 > size)
            return 0;
        LittleEndian::Read(data, phonetic, static_cast<unsigned long>(pos));
        pos += 4;
    }
    options = flags & 0x01;
    bool wide = (flags & 0x01) != 0;
    if (wide)
        wideText.reserve(count);
    else
        narrowText.reserve(count);

    // Boundaries at or before the string's start only begin its piece.
    while (nb < boundaries.size() && boundaries[nb] <= position)
        ++nb;

    unsigned int remaining = count;
    while (remaining > 0) {
        while (nb < boundaries.size() && boundaries[nb] < pos)
            ++nb;
        if (nb < boundaries.size() && boundaries[nb] == pos) {
            // The characters resume in a new piece with their own option byte.
            if (pos >= size)
                return 0;
            unsigned char pieceFlags = 0;
            LittleEndian::Read(data, pieceFlags, static_cast<unsigned long>(pos));
            wide = (pieceFlags & 0x01) != 0;
            ++pos;
            ++nb;
            continue;
        }
        const unsigned long long limit = nb < boundaries.size() && boundaries[nb] < size ? boundaries[nb] : size;
        const unsigned int width = wide ? 2 : 1;
        unsigned long long fit = (limit - pos) / width;
        if (fit == 0)
            return 0; // past the data, or a character cut by a piece boundary
        const unsigned int chunk = fit < remaining ? static_cast<unsigned int>(fit) : remaining;
        AppendCharacters(data + pos, chunk, wide);
        pos += static_cast<unsigned long long>(chunk) * width;
        remaining -= chunk;
    }

    // Run and phonetic data are skipped once, wherever the pieces cut them.
    const unsigned long long extra = 4ULL * runs + phonetic;
    if (pos + extra > size)
        return 0;
    pos += extra;
    return static_cast<unsigned int>(pos - position);
}

unsigned int LargeString::ContinueRead(const char* data, unsigned int size, unsigned int count)
{
    if (count == 0)
        return 0;
    if (data == nullptr || size < 1)
        return 0;
    unsigned char pieceFlags = 0;
    LittleEndian::Read(data, pieceFlags, 0);
    if (options == 0xFF)
        options = pieceFlags & 0x01;
    const bool wide = (pieceFlags & 0x01) != 0;
    const unsigned long long need = 1ULL + static_cast<unsigned long long>(count) * (wide ? 2 : 1);
    if (need > size)
        return 0;
    AppendCharacters(data + 1, count, wide);
    return static_cast<unsigned int>(need);
}

void LargeString::AppendCharacters(const char* data, unsigned int count, bool wide)
{
    if (wide && !IsWide())
        PromoteToWide();
    if (wide) {
        const std::size_t at = wideText.size();
        wideText.resize(at + count);
        LittleEndian::ReadString(data, wideText.data() + at, 0, static_cast<int>(count));
    } else if (IsWide()) {
        // 8-bit characters of a 16-bit string: Latin-1.
        const std::size_t at = wideText.size();
        wideText.resize(at + count);
        for (unsigned int i = 0; i < count; ++i)
            wideText[at + i] = static_cast<wchar_t>(static_cast<unsigned char>(data[i]));
    } else {
        narrowText.insert(narrowText.end(), data, data + count);
    }
}

void LargeString::PromoteToWide()
{
    wideText.resize(narrowText.size());
    for (std::size_t i = 0; i < narrowText.size(); ++i)
        wideText[i] = static_cast<wchar_t>(static_cast<unsigned char>(narrowText[i]));
    narrowText.clear();
    options = 1;
}

unsigned int LargeString::Write(char* data)
{
    const unsigned int n = CharacterCount();
    if (IsWide()) {
        options = 1;
        LittleEndian::Write(data, static_cast<unsigned short>(n), 0);
        LittleEndian::Write(data, options, 2);
        if (n > 0)
            LittleEndian::WriteString(data, wideText.data(), 3, static_cast<int>(n));
        return 2 * n + 3;
    }
    options = 0;
    LittleEndian::Write(data, static_cast<unsigned short>(n), 0);
    LittleEndian::Write(data, options, 2);
    if (n > 0)
        std::memcpy(data + 3, narrowText.data(), n);
    return n + 3;
}

} // namespace Biff
