#include "messagetext.h"

#include <cstdio>

namespace
{
// The length of the UTF-8 sequence at `i`, or 0 when none starts there.
// Only shortest forms of code points up to U+10FFFF that are not
// surrogates count, as every reader of UTF-8 takes them.
size_t sequenceAt(const std::string &s, size_t i)
{
    const unsigned char lead = static_cast<unsigned char>(s[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5                  ? 4
                                                                         : 0;
    if (length == 0 || i + length > s.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    }
    // The second byte's range where the lead allows less than every continuation.
    const unsigned char second = length > 1 ? static_cast<unsigned char>(s[i + 1]) : 0;
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90)
        || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}
}

std::string MessageText::quoted(const std::string &text)
{
    std::string out = "\"";
    size_t shown = 0, i = 0;
    for (; i < text.size() && shown < kShownCharacters; ++shown) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = sequenceAt(text, i);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (length == 0 || c < 0x20 || c == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out.append(text, i, length);
            i += length;
            continue;
        }
        ++i;
    }
    return out + (i < text.size() ? "...\"" : "\"");
}

size_t MessageText::characterBytes(const std::string &text, size_t i)
{
    const size_t length = sequenceAt(text, i);
    return length ? length : 1;
}

size_t MessageText::notUtf8At(const std::string &text)
{
    for (size_t i = 0; i < text.size();) {
        const size_t length = sequenceAt(text, i);
        if (length == 0)
            return i;
        i += length;
    }
    return std::string::npos;
}
