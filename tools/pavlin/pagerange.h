#ifndef GRIDMOLT_PAGERANGE_H
#define GRIDMOLT_PAGERANGE_H

#include <string>
#include <vector>

// The pages a merge takes, in the order it takes them. Written as items
// separated by commas, each a page number ("7") or a span of two page numbers
// joined by a hyphen ("10-12", and "12-10" for the same pages backwards).
// Pages count from 1; a page may be named more than once. Blanks around
// numbers, hyphens and commas are ignored, because the caller passes the
// range unquoted and it reaches us split into several arguments.
//
//   "1-3,7,10-12"   pages 1, 2, 3, 7, 10, 11, 12
//   "1 - 3, 7"      pages 1, 2, 3, 7
class PageRange
{
public:
    // Reads `text`; false with the reason in *error when it names no pages
    // or is not written as above.
    bool parse(const std::string &text, std::string *error);

    // The highest page named, so a caller can check it against the document.
    long lastPageNamed() const { return highest_; }

    // Every page named, in order, numbered from 1.
    std::vector<long> pages() const;

private:
    struct Span
    {
        long first;
        long last;
    };
    std::vector<Span> spans_;
    long highest_ = 0;
};

#endif
