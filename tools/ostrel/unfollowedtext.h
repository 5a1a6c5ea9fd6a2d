#ifndef OSTREL_UNFOLLOWEDTEXT_H
#define OSTREL_UNFOLLOWEDTEXT_H

#include "pageglyphs.h"

#include <mupdf/pdf.h>

#include <vector>

// Text a page shows where the content scan does not look and the rewrite
// cannot reach: the appearances of its annotations and form fields, and
// text that Type3 glyph procedures draw. Readers show it all the same, so a
// word still shown there has not gone from the page.
class UnfollowedText
{
public:
    struct Paths
    {
        bool annotations = false;   // an annotation or field that may show something
        bool type3 = false;         // a Type3 font in the page's resources, its forms' or its patterns'
    };

    // Which of those paths the page has, told by its dictionaries alone,
    // so a page without them costs a look at a few of them. Throws
    // MupdfError.
    static Paths of(fz_context *ctx, pdf_page *page);

    // The glyphs those paths show, on the page as shown, in the order they
    // are drawn; the text the content shows directly is left out (the scan
    // reads that). `complete` turns false when the limits stopped the
    // reading short. Throws MupdfError.
    static std::vector<PageGlyphs::Glyph> glyphs(fz_context *ctx, pdf_page *page, const Paths &paths, bool *complete);
};

#endif
