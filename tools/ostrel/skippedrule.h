#ifndef OSTREL_SKIPPEDRULE_H
#define OSTREL_SKIPPEDRULE_H

#include <cstdint>
#include <string>

// The line standard error carries for a rule left out of the output.
class SkippedRule
{
public:
    // `page` as the rule file writes it, so a number beyond any document
    // is named as the user wrote it.
    static std::string line(int line, const std::string &page, const std::string &what, const std::string &why);
    static std::string line(int line, int64_t page, const std::string &what, const std::string &why);
};

#endif
