#include "biff/formulastring.h"

#include <algorithm>
#include <cwchar>

#include "biff/pieceoffsets.h"
#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

namespace {

wchar_t* CopyText(const wchar_t* from, std::size_t length)
{
    wchar_t* copy = new wchar_t[length + 1];
    if (length > 0)
        std::wmemcpy(copy, from, length);
    copy[length] = 0;
    return copy;
}

} // namespace

FormulaString::FormulaString()
    : flag(0), text(nullptr)
{
    code = Code;
    dataSize = 0;
    recordSize = 4;
}

FormulaString::FormulaString(const FormulaString& other)
    : Record(other), flag(other.flag), text(nullptr)
{
    if (other.text)
        text = CopyText(other.text, std::wcslen(other.text));
}

FormulaString& FormulaString::operator=(const FormulaString& other)
{
    if (this != &other) {
        Record::operator=(other);
        flag = other.flag;
        wchar_t* copy = other.text ? CopyText(other.text, std::wcslen(other.text)) : nullptr;
        Reset();
        text = copy;
    }
    return *this;
}

FormulaString::~FormulaString()
{
    Reset();
}

void FormulaString::Reset()
{
    delete[] text;
    text = nullptr;
}

bool FormulaString::SetText(const wchar_t* characters)
{
    if (characters == nullptr) {
        Reset();
        return true;
    }
    const std::size_t length = std::wcslen(characters);
    if (length > MaxLength)
        return false;
    wchar_t* copy = CopyText(characters, length);
    Reset();
    text = copy;
    return true;
}

unsigned int FormulaString::Length() const
{
    if (!text)
        return 0;
    const std::size_t length = std::wcslen(text);
    return length > SaturatedSize ? SaturatedSize : static_cast<unsigned int>(length);
}

bool FormulaString::WritesWide() const
{
    if (flag & 0x01)
        return true;
    for (const wchar_t* c = text; c && *c; ++c) {
        if (static_cast<unsigned long>(*c) > 0xFF)
            return true;
    }
    return false;
}

unsigned int FormulaString::Plan(std::vector<unsigned int>* offsets) const
{
    if (offsets)
        offsets->clear();
    if (!text)
        return 0;
    const unsigned long long n = Length();
    const unsigned long long w = WritesWide() ? 2 : 1;
    const unsigned long long piece = Record::MaxPieceData;
    // The first piece holds the count, the flag and as many whole characters
    // as fit; each further piece an option byte and whole characters again.
    unsigned long long left = n;
    unsigned long long take = std::min(left, (piece - 3) / w);
    unsigned long long size = 3 + take * w;
    left -= take;
    while (left > 0) {
        if (offsets)
            offsets->push_back(static_cast<unsigned int>(size));
        take = std::min(left, (piece - 1) / w);
        size += 1 + take * w;
        left -= take;
    }
    return ClampSize(size);
}

unsigned int FormulaString::DataSize()
{
    dataSize = Plan(nullptr);
    return dataSize;
}

unsigned int FormulaString::RecordSize()
{
    std::vector<unsigned int> offsets;
    dataSize = Plan(&offsets);
    recordSize = ClampSize(4ULL + dataSize + 4ULL * offsets.size());
    return recordSize;
}

unsigned int FormulaString::Write(char* out)
{
    const unsigned int n = Length();
    if (n > MaxLength)
        return 0; // a wrapped count would misplace every following record
    const bool wide = WritesWide();
    if (wide)
        flag |= 0x01;
    dataSize = Plan(&continueOffsets);
    data.assign(dataSize, 0);
    if (text) {
        LittleEndian::Write(data, static_cast<unsigned short>(n), 0);
        LittleEndian::Write(data, flag, 2);
        const unsigned long w = wide ? 2 : 1;
        unsigned long p = 3;
        std::size_t next = 0;
        for (unsigned int i = 0; i < n; ++i) {
            if (next < continueOffsets.size() && p == continueOffsets[next]) {
                data[p++] = static_cast<char>(wide ? 0x01 : 0x00);
                ++next;
            }
            if (wide)
                LittleEndian::Write(data, text[i], p);
            else
                data[p] = static_cast<char>(static_cast<unsigned char>(text[i]));
            p += w;
        }
    }
    return Record::Write(out);
}

unsigned int FormulaString::Read(const char* in, unsigned int size)
{
    Reset();
    const unsigned int consumed = Record::Read(in, size);
    if (consumed == 0 || dataSize < 3)
        return 0;
    unsigned short n = 0;
    LittleEndian::Read(data, n, 0);
    LittleEndian::Read(data, flag, 2);
    // Every character takes at least a byte: refuse a count the data cannot
    // hold before making room for it.
    if (3ULL + n > dataSize)
        return 0;

    const std::vector<unsigned int> pieces = PieceOffsets(*this, in, consumed);
    std::vector<wchar_t> characters(n);
    bool wide = (flag & 0x01) != 0;
    bool anyWide = wide;
    unsigned long long p = 3;
    std::size_t next = 0;
    // A piece that ends inside the count and flag cannot be followed.
    if (!pieces.empty() && pieces[0] < 3)
        return 0;
    for (unsigned int i = 0; i < n; ++i) {
        while (next < pieces.size() && pieces[next] == p) {
            const unsigned long long pieceEnd =
                next + 1 < pieces.size() ? pieces[next + 1] : dataSize;
            ++next;
            if (pieceEnd == p)
                continue; // an empty piece holds not even its option byte
            // A piece that continues the characters starts with their width.
            wide = (static_cast<unsigned char>(data[p]) & 0x01) != 0;
            anyWide = anyWide || wide;
            ++p;
        }
        const unsigned long long w = wide ? 2 : 1;
        const unsigned long long end = next < pieces.size() ? pieces[next] : dataSize;
        if (p + w > end)
            return 0; // fewer characters than counted, or one cut in two
        if (wide) {
            wchar_t c = 0;
            LittleEndian::Read(data, c, static_cast<unsigned long>(p));
            characters[i] = c;
        } else {
            characters[i] = static_cast<wchar_t>(static_cast<unsigned char>(data[p]));
        }
        p += w;
    }
    if (anyWide)
        flag |= 0x01; // characters read 8-bit widen as Latin-1
    text = CopyText(characters.data(), characters.size());
    return consumed;
}

} // namespace Sheet
} // namespace Biff
