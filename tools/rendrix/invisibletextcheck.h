#ifndef INVISIBLETEXTCHECK_H
#define INVISIBLETEXTCHECK_H

#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>
#include <vector>

// Which pages may draw text invisibly: their content, or a form it names,
// sets render mode 3 or 7 ("3 Tr"). Only those are read a second time for
// the spaces such text ends its words with (InvisibleGlyphs), so a page of
// visible text costs no more than its decoding here. A check of
// firstRefusedPage that refuses nothing.
class InvisibleTextCheck
{
public:
    // Always empty; notes whether `page` may draw text invisibly.
    std::string refusal(QPDFPageObjectHelper &page);

    // One entry per page asked, in the order asked.
    const std::vector<bool> &pages() const { return pages_; }

    // Whether `length` bytes of content set render mode 3 or 7. `token`
    // and `previous` carry the token being read and the one before it from
    // one call to the next (both empty at the start). A "3 Tr" inside a
    // string counts too: a second reading of the page, never a missed one.
    static bool setsInvisible(const char *data, size_t length, std::string *token, std::string *previous);

private:
    std::vector<bool> pages_;
};

#endif
