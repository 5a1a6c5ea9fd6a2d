#ifndef GRIDMOLT_CONTENTWORK_H
#define GRIDMOLT_CONTENTWORK_H

#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>

// What drawing a page's own content costs the converter, apart from the
// forms and images it draws (FormNesting, ImagePixels): its renderer reads
// every byte of the content, once for the page's image and once for its
// words, and its text layer keeps a word for each text shown. A few
// megabytes of a file may inflate to gigabytes of operators that keep it
// busy for minutes, or to millions of text shows that take gigabytes.
// Counted here as the content is decoded, neither kept nor read past the
// budget, so such a page is refused at once; a dense page of a few
// megabytes and tens of thousands of words is far within it.
class ContentWork
{
public:
    // A byte of content, and a text shown, in units of FormNesting's work.
    static constexpr long long kByteWork = 30;
    static constexpr long long kShowWork = 5000;

    // Why `page`'s content takes more work to draw than FormNesting::kMaxWork;
    // empty when it does not, or when it cannot be read (the renderer then
    // draws what it reads of it).
    std::string refusal(QPDFPageObjectHelper &page);

    // The work of `page`'s content, counted up to just past the budget.
    long long work(QPDFPageObjectHelper &page);

    // The text-showing operators in `length` bytes of content ("Tj", "TJ",
    // "'" and "\""), `last` the byte before them (0 at the start), which it
    // then holds the last of. A quote or a "Tj" inside a string counts too:
    // more work, never less.
    static long long shows(const unsigned char *data, size_t length, unsigned char *last);
};

#endif
