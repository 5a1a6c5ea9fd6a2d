#ifndef OSTREL_OPERANDCOUNTS_H
#define OSTREL_OPERANDCOUNTS_H

#include <string>

// The operands content operators take. Poppler stops reading a page's
// content at the first operator given fewer than it takes, where MuPDF
// warns and reads on: the text drawn after it is shown by one reader and
// not by the other.
class OperandCounts
{
public:
    // Whether an operator of the decoded content `bytes` (a page's streams
    // joined) is given fewer operands than it takes.
    static bool anyShort(const std::string &bytes);
};

#endif
