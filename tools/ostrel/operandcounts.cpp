#include "operandcounts.h"

#include "contenttokens.h"

#include <cstdint>
#include <cstring>
#include <string>

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

bool is(const char *word, size_t length, const char *name)
{
    return std::strlen(name) == length && std::memcmp(word, name, length) == 0;
}
}

bool OperandCounts::anyShort(const std::string &bytes)
{
    ContentTokens tokens(bytes);
    int operands = 0;
    int depth = 0;   // arrays and dictionaries open: their parts are one operand
    // Only what the tokens are is read; an operator's name from its bytes.
    for (ContentTokens::Place t = tokens.nextPlace(); t.kind != ContentTokens::Kind::End; t = tokens.nextPlace()) {
        switch (t.kind) {
        case ContentTokens::Kind::OpenArray:
        case ContentTokens::Kind::OpenDict:
            ++depth;
            continue;
        case ContentTokens::Kind::CloseArray:
        case ContentTokens::Kind::CloseDict:
            if (depth > 0 && --depth == 0)
                ++operands;
            continue;
        case ContentTokens::Kind::Number:
        case ContentTokens::Kind::String:
        case ContentTokens::Kind::Name:
            operands += depth == 0;
            continue;
        case ContentTokens::Kind::Keyword:
            break;
        default:
            continue;   // a stray ")", ">", "{" or "}", skipped by readers
        }
        if (depth > 0)
            continue;
        const char *word = bytes.data() + t.start;
        const size_t length = t.end - t.start;
        if (is(word, length, "true") || is(word, length, "false") || is(word, length, "null")) {
            ++operands;
            continue;
        }
        if (operands < operandsOf(word, length))
            return true;
        operands = 0;
        if (is(word, length, "ID"))
            tokens.skipInlineImage(0);   // an inline image's data, up to "EI" between white space
    }
    return false;
}
