#include "operandcounts.h"

#include "contenttokens.h"

#include <cstring>

namespace
{
// The operators of a fixed number of operands, as the PDF reference lists
// them; those of a varying number (SC, SCN, sc, scn) need at least one.
struct Arity
{
    const char *name;
    int operands;
};
const Arity kArities[] = {
    {"w", 1}, {"J", 1}, {"j", 1}, {"M", 1}, {"d", 2}, {"ri", 1}, {"i", 1}, {"gs", 1}, {"cm", 6},
    {"m", 2}, {"l", 2}, {"c", 6}, {"v", 4}, {"y", 4}, {"re", 4},
    {"Tc", 1}, {"Tw", 1}, {"Tz", 1}, {"TL", 1}, {"Tf", 2}, {"Tr", 1}, {"Ts", 1},
    {"Td", 2}, {"TD", 2}, {"Tm", 6}, {"Tj", 1}, {"TJ", 1}, {"'", 1}, {"\"", 3},
    {"d0", 2}, {"d1", 6}, {"CS", 1}, {"cs", 1}, {"SC", 1}, {"SCN", 1}, {"sc", 1}, {"scn", 1},
    {"G", 1}, {"g", 1}, {"RG", 3}, {"rg", 3}, {"K", 4}, {"k", 4}, {"sh", 1}, {"Do", 1},
    {"MP", 1}, {"DP", 2}, {"BMC", 1}, {"BDC", 2},
};

int operandsOf(const std::string &keyword)
{
    if (keyword.size() > 3)
        return 0;
    for (const Arity &a : kArities)
        if (!std::strcmp(keyword.c_str(), a.name))
            return a.operands;
    return 0;
}
}

bool OperandCounts::anyShort(const std::string &bytes)
{
    ContentTokens tokens(bytes);
    int operands = 0;
    int depth = 0;   // arrays and dictionaries open: their parts are one operand
    for (;;) {
        const ContentTokens::Token t = tokens.next();
        switch (t.kind) {
        case ContentTokens::Kind::End:
            return false;
        case ContentTokens::Kind::OpenArray:
        case ContentTokens::Kind::OpenDict:
            ++depth;
            break;
        case ContentTokens::Kind::CloseArray:
        case ContentTokens::Kind::CloseDict:
            if (depth > 0 && --depth == 0)
                ++operands;
            break;
        case ContentTokens::Kind::Keyword:
            if (depth > 0)
                break;
            if (t.text == "true" || t.text == "false" || t.text == "null") {
                ++operands;
                break;
            }
            if (operands < operandsOf(t.text))
                return true;
            // An inline image's data is no content to read.
            if (t.text == "ID" && !tokens.skipInlineImage(0))
                return false;
            operands = 0;
            break;
        case ContentTokens::Kind::Other:
            break;   // a stray delimiter, skipped by readers
        default:
            if (depth == 0)
                ++operands;
            break;
        }
    }
}
