#include "biff/smallstring.h"

#include <cstring>
#include <cwchar>

#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

namespace {

unsigned int boundedLength(const wchar_t* text, unsigned int limit)
{
    unsigned int n = 0;
    while (n < limit && text[n] != L'\0')
        ++n;
    return n;
}

unsigned int boundedLength(const char* text, unsigned int limit)
{
    unsigned int n = 0;
    while (n < limit && text[n] != '\0')
        ++n;
    return n;
}

} // namespace

SmallString::SmallString()
    : wideText(nullptr), narrowText(nullptr), options(0)
{
}

SmallString::SmallString(const SmallString& other)
    : wideText(nullptr), narrowText(nullptr), options(other.options)
{
    if (other.wideText)
        SetWide(other.wideText, static_cast<unsigned int>(std::wcslen(other.wideText)));
    if (other.narrowText)
        SetNarrow(other.narrowText, static_cast<unsigned int>(std::strlen(other.narrowText)));
}

SmallString& SmallString::operator=(const SmallString& other)
{
    if (this == &other)
        return *this;
    SmallString copy(other);
    std::swap(wideText, copy.wideText);
    std::swap(narrowText, copy.narrowText);
    options = copy.options;
    return *this;
}

SmallString& SmallString::operator=(const wchar_t* text)
{
    // The text may point into this string's own array: copy before freeing.
    wchar_t* old = wideText;
    char* oldNarrow = narrowText;
    wideText = nullptr;
    narrowText = nullptr;
    if (text)
        SetWide(text, boundedLength(text, MaxLength));
    options = 1;
    delete[] old;
    delete[] oldNarrow;
    return *this;
}

SmallString& SmallString::operator=(const char* text)
{
    wchar_t* old = wideText;
    char* oldNarrow = narrowText;
    wideText = nullptr;
    narrowText = nullptr;
    if (text)
        SetNarrow(text, boundedLength(text, MaxLength));
    options = 0;
    delete[] old;
    delete[] oldNarrow;
    return *this;
}

SmallString::~SmallString()
{
    Reset();
}

bool SmallString::Assign(const wchar_t* text)
{
    if (text && boundedLength(text, MaxLength + 1) > MaxLength)
        return false;
    *this = text;
    return true;
}

bool SmallString::Assign(const char* text)
{
    if (text && boundedLength(text, MaxLength + 1) > MaxLength)
        return false;
    *this = text;
    return true;
}

void SmallString::Reset()
{
    delete[] wideText;
    delete[] narrowText;
    wideText = nullptr;
    narrowText = nullptr;
}

unsigned int SmallString::StringSize() const
{
    if (options & 0x01)
        return wideText ? boundedLength(wideText, MaxLength) : 0;
    return narrowText ? boundedLength(narrowText, MaxLength) : 0;
}

unsigned int SmallString::DataSize() const
{
    const unsigned int n = StringSize();
    return (options & 0x01) ? (n + 1) * 2 : n + 2;
}

unsigned int SmallString::RecordSize() const
{
    return DataSize();
}

unsigned int SmallString::Read(const char* data, unsigned int size)
{
    Reset();
    if (data == nullptr || size < 2)
        return 0;
    unsigned char n = 0;
    LittleEndian::Read(data, n, 0);
    LittleEndian::Read(data, options, 1);
    if (options & 0x01) {
        const unsigned int consumed = 2u + 2u * n;
        if (consumed > size)
            return 0;
        wideText = new wchar_t[n + 1u];
        LittleEndian::ReadString(data, wideText, 2, n);
        wideText[n] = L'\0';
        return consumed;
    }
    const unsigned int consumed = 2u + n;
    if (consumed > size)
        return 0;
    narrowText = new char[n + 1u];
    if (n > 0)
        std::memcpy(narrowText, data + 2, n);
    narrowText[n] = '\0';
    return consumed;
}

unsigned int SmallString::Write(char* data) const
{
    const unsigned int n = StringSize();
    LittleEndian::Write(data, static_cast<unsigned char>(n), 0);
    LittleEndian::Write(data, options, 1);
    if (options & 0x01) {
        if (n > 0)
            LittleEndian::WriteString(data, wideText, 2, static_cast<int>(n));
        return (n + 1) * 2;
    }
    if (n > 0)
        std::memcpy(data + 2, narrowText, n);
    return n + 2;
}

void SmallString::SetWide(const wchar_t* text, unsigned int length)
{
    wideText = new wchar_t[length + 1u];
    if (length > 0)
        std::wmemcpy(wideText, text, length);
    wideText[length] = L'\0';
}

void SmallString::SetNarrow(const char* text, unsigned int length)
{
    narrowText = new char[length + 1u];
    if (length > 0)
        std::memcpy(narrowText, text, length);
    narrowText[length] = '\0';
}

} // namespace Biff
