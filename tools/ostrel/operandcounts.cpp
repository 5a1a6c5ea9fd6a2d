#include "operandcounts.h"

#include <cstdint>
#include <cstring>

namespace
{
// An operator's name of up to three bytes as one number, so it is looked
// up by comparing numbers.
constexpr uint32_t keyOf(const char *name)
{
    uint32_t key = 0;
    for (int i = 0; i < 3 && name[i]; ++i)
        key |= uint32_t(static_cast<unsigned char>(name[i])) << (8 * i);
    return key;
}

// The operators of a fixed number of operands, as the PDF reference lists
// them; those of a varying number (SC, SCN, sc, scn) need at least one.
int operandsOf(const char *word, size_t length)
{
    if (length == 0 || length > 3)
        return 0;
    uint32_t key = 0;
    for (size_t i = 0; i < length; ++i)
        key |= uint32_t(static_cast<unsigned char>(word[i])) << (8 * i);
    switch (key) {
    case keyOf("w"): case keyOf("J"): case keyOf("j"): case keyOf("M"): case keyOf("ri"): case keyOf("i"):
    case keyOf("gs"): case keyOf("Tc"): case keyOf("Tw"): case keyOf("Tz"): case keyOf("TL"): case keyOf("Tr"):
    case keyOf("Ts"): case keyOf("Tj"): case keyOf("TJ"): case keyOf("'"): case keyOf("CS"): case keyOf("cs"):
    case keyOf("SC"): case keyOf("SCN"): case keyOf("sc"): case keyOf("scn"): case keyOf("G"): case keyOf("g"):
    case keyOf("sh"): case keyOf("Do"): case keyOf("MP"): case keyOf("BMC"):
        return 1;
    case keyOf("d"): case keyOf("m"): case keyOf("l"): case keyOf("Tf"): case keyOf("Td"): case keyOf("TD"):
    case keyOf("d0"): case keyOf("DP"): case keyOf("BDC"):
        return 2;
    case keyOf("\""): case keyOf("RG"): case keyOf("rg"):
        return 3;
    case keyOf("v"): case keyOf("y"): case keyOf("re"): case keyOf("K"): case keyOf("k"):
        return 4;
    case keyOf("cm"): case keyOf("c"): case keyOf("Tm"): case keyOf("d1"):
        return 6;
    default:
        return 0;
    }
}

// What each byte is to the scan: white space, a delimiter, a byte of a
// number, or another byte of a name or keyword.
enum Class : unsigned char { Regular = 0, Space = 1, Delimiter = 2, Numeric = 4 };

struct Classes
{
    unsigned char of[256] = {};
    constexpr Classes()
    {
        for (const char c : {' ', '\n', '\r', '\t', '\f', '\0'})
            of[static_cast<unsigned char>(c)] = Space;
        for (const char c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'})
            of[static_cast<unsigned char>(c)] = Delimiter;
        for (const char c : {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '+', '-', '.'})
            of[static_cast<unsigned char>(c)] = Numeric;
    }
};
constexpr Classes kClasses;

unsigned char classOf(char c)
{
    return kClasses.of[static_cast<unsigned char>(c)];
}

bool isSpace(char c)
{
    return classOf(c) == Space;
}

bool ends(char c)
{
    return (classOf(c) & (Space | Delimiter)) != 0;
}
}

// Its own scan rather than ContentTokens: it runs on every page with a
// rule, and needs no token's value.
bool OperandCounts::anyShort(const std::string &bytes)
{
    const char *p = bytes.data(), *const end = p + bytes.size();
    int operands = 0;
    int depth = 0;   // arrays and dictionaries open: their parts are one operand
    const auto closed = [&] {
        if (depth > 0 && --depth == 0)
            ++operands;
    };
    while (p < end) {
        const char c = *p;
        if (isSpace(c)) {
            ++p;
        } else if (c == '%') {
            while (p < end && *p != '\n' && *p != '\r')
                ++p;
        } else if (c == '(') {
            int open = 0;
            while (p < end) {
                const char d = *p++;
                if (d == '\\' && p < end)
                    ++p;
                else if (d == '(')
                    ++open;
                else if (d == ')' && --open == 0)
                    break;
            }
            operands += depth == 0;
        } else if (c == '<' && p + 1 < end && p[1] == '<') {
            ++depth;
            p += 2;
        } else if (c == '<') {
            while (p < end && *p++ != '>') {
            }
            operands += depth == 0;
        } else if (c == '>' && p + 1 < end && p[1] == '>') {
            p += 2;
            closed();
        } else if (c == '[') {
            ++depth;
            ++p;
        } else if (c == ']') {
            ++p;
            closed();
        } else if (c == '/') {
            for (++p; p < end && !ends(*p);)
                ++p;
            operands += depth == 0;
        } else if (classOf(c) == Delimiter) {
            ++p;   // a stray ")", ">", "{" or "}", skipped by readers
        } else {
            const char *const word = p;
            bool numeric = true;
            for (; p < end && !ends(*p); ++p)
                numeric = numeric && classOf(*p) == Numeric;
            if (depth > 0)
                continue;
            const size_t length = size_t(p - word);
            if (numeric || (length == 4 && (!std::memcmp(word, "true", 4) || !std::memcmp(word, "null", 4)))
                || (length == 5 && !std::memcmp(word, "false", 5))) {
                ++operands;
                continue;
            }
            if (operands < operandsOf(word, length))
                return true;
            operands = 0;
            if (length == 2 && word[0] == 'I' && word[1] == 'D') {
                // An inline image's data, up to "EI" between white space.
                const char *data = p < end ? p + 1 : p;
                for (p = end; data + 1 < end; ++data)
                    if (data[0] == 'E' && data[1] == 'I' && isSpace(data[-1]) && (data + 2 == end || isSpace(data[2]))) {
                        p = data + 2;
                        break;
                    }
            }
        }
    }
    return false;
}
