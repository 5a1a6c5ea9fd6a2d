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
struct Arity
{
    uint32_t key;
    int operands;
};
constexpr Arity kArities[] = {
    {keyOf("w"), 1}, {keyOf("J"), 1}, {keyOf("j"), 1}, {keyOf("M"), 1}, {keyOf("d"), 2}, {keyOf("ri"), 1},
    {keyOf("i"), 1}, {keyOf("gs"), 1}, {keyOf("cm"), 6}, {keyOf("m"), 2}, {keyOf("l"), 2}, {keyOf("c"), 6},
    {keyOf("v"), 4}, {keyOf("y"), 4}, {keyOf("re"), 4}, {keyOf("Tc"), 1}, {keyOf("Tw"), 1}, {keyOf("Tz"), 1},
    {keyOf("TL"), 1}, {keyOf("Tf"), 2}, {keyOf("Tr"), 1}, {keyOf("Ts"), 1}, {keyOf("Td"), 2}, {keyOf("TD"), 2},
    {keyOf("Tm"), 6}, {keyOf("Tj"), 1}, {keyOf("TJ"), 1}, {keyOf("'"), 1}, {keyOf("\""), 3}, {keyOf("d0"), 2},
    {keyOf("d1"), 6}, {keyOf("CS"), 1}, {keyOf("cs"), 1}, {keyOf("SC"), 1}, {keyOf("SCN"), 1}, {keyOf("sc"), 1},
    {keyOf("scn"), 1}, {keyOf("G"), 1}, {keyOf("g"), 1}, {keyOf("RG"), 3}, {keyOf("rg"), 3}, {keyOf("K"), 4},
    {keyOf("k"), 4}, {keyOf("sh"), 1}, {keyOf("Do"), 1}, {keyOf("MP"), 1}, {keyOf("DP"), 2}, {keyOf("BMC"), 1},
    {keyOf("BDC"), 2},
};

int operandsOf(const char *word, size_t length)
{
    if (length == 0 || length > 3)
        return 0;
    uint32_t key = 0;
    for (size_t i = 0; i < length; ++i)
        key |= uint32_t(static_cast<unsigned char>(word[i])) << (8 * i);
    for (const Arity &a : kArities)
        if (a.key == key)
            return a.operands;
    return 0;
}

// What each byte is to the scan: white space, a delimiter, or neither.
enum Class : unsigned char { Regular, Space, Delimiter };

struct Classes
{
    Class of[256] = {};
    constexpr Classes()
    {
        for (const char c : {' ', '\n', '\r', '\t', '\f', '\0'})
            of[static_cast<unsigned char>(c)] = Space;
        for (const char c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'})
            of[static_cast<unsigned char>(c)] = Delimiter;
    }
};
constexpr Classes kClasses;

Class classOf(char c)
{
    return kClasses.of[static_cast<unsigned char>(c)];
}

bool isSpace(char c)
{
    return classOf(c) == Space;
}

bool isNumber(const char *from, const char *to)
{
    if (from < to && (*from == '+' || *from == '-'))
        ++from;
    bool digits = false, point = false;
    for (; from < to; ++from) {
        if (*from >= '0' && *from <= '9')
            digits = true;
        else if (*from == '.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

bool is(const char *word, size_t length, const char *keyword)
{
    return length == std::strlen(keyword) && std::memcmp(word, keyword, length) == 0;
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
            for (++p; p < end && classOf(*p) == Regular;)
                ++p;
            operands += depth == 0;
        } else if (classOf(c) == Delimiter) {
            ++p;   // a stray ")", ">", "{" or "}", skipped by readers
        } else {
            const char *const word = p;
            while (p < end && classOf(*p) == Regular)
                ++p;
            if (depth > 0)
                continue;
            const size_t length = size_t(p - word);
            if (isNumber(word, p) || is(word, length, "true") || is(word, length, "false") || is(word, length, "null")) {
                ++operands;
                continue;
            }
            if (operands < operandsOf(word, length))
                return true;
            operands = 0;
            if (is(word, length, "ID")) {
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
