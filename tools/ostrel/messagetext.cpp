#include "messagetext.h"

#include <cstdio>

namespace
{
// The length of the UTF-8 sequence at `i`, or 0 when none starts there.
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
