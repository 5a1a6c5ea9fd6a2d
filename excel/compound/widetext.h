#ifndef COMPOUNDDOC_WIDETEXT_H
#define COMPOUNDDOC_WIDETEXT_H

// Entry names are stored as UTF-16 code units, one per wchar_t element.
// These helpers bring caller text into that form without depending on the
// process locale.

#include <string>

namespace CompoundDoc {

// Appends the code point `c` (at most U+10FFFF, not a surrogate) as UTF-8.
inline void AppendUtf8(std::string& out, unsigned long c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A wide string whose elements may be whole code points (32-bit wchar_t):
// characters above U+FFFF become surrogate pairs.
inline std::wstring ToUtf16Units(const wchar_t* text)
{
    std::wstring out;
    if (!text)
        return out;
    for (const wchar_t* p = text; *p != 0; ++p) {
        const unsigned long c = static_cast<unsigned long>(*p) & 0xFFFFFFFFul;
        if (c > 0xFFFF && c <= 0x10FFFF) {
            const unsigned long v = c - 0x10000;
            out += static_cast<wchar_t>(0xD800 + (v >> 10));
            out += static_cast<wchar_t>(0xDC00 + (v & 0x3FF));
        } else if (c > 0x10FFFF) {
            out += static_cast<wchar_t>(0xFFFD);
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

// UTF-8 bytes to UTF-16 units; a byte that starts no valid sequence stands
// for itself (as in Latin-1), so no input is lost or refused.
inline std::wstring Utf8ToUtf16Units(const char* text)
{
    std::wstring out;
    if (!text)
        return out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        unsigned long c = *p;
        int extra = 0;
        unsigned long min = 0;
        if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            c &= 0x07;
            min = 0x10000;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            c &= 0x0F;
            min = 0x800;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            c &= 0x1F;
            min = 0x80;
        }
        bool valid = extra > 0;
        for (int i = 1; valid && i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                valid = false;
            else
                c = (c << 6) | (p[i] & 0x3F);
        }
        if (valid && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out += static_cast<wchar_t>(*p);
            ++p;
            continue;
        }
        p += extra + 1;
        if (c > 0xFFFF) {
            const unsigned long v = c - 0x10000;
            out += static_cast<wchar_t>(0xD800 + (v >> 10));
            out += static_cast<wchar_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

} // namespace CompoundDoc

#endif
