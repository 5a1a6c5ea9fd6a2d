#ifndef OSTREL_UNFOLLOWEDTEXT_H
#define OSTREL_UNFOLLOWEDTEXT_H

#include "pageglyphs.h"

#include <mupdf/pdf.h>

#include <set>
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

    // For the pages of one document, which lives as long as this.
    explicit UnfollowedText(fz_context *ctx) : ctx_(ctx) {}

    // Which of those paths the page has, told by its dictionaries alone,
    // so a page without them costs a look at a few of them; resources
    // shared with a page asked about before, and found without Type3
    // fonts, are not looked at again. Throws MupdfError.
    Paths of(pdf_page *page);

    // The glyphs those paths show, on the page as shown, in the order they
    // are drawn; the text the content shows directly is left out (the scan
    // reads that). `complete` turns false when the limits stopped the
    // reading short. Throws MupdfError.
    std::vector<PageGlyphs::Glyph> glyphs(pdf_page *page, const Paths &paths, bool *complete) const;

private:
    fz_context *ctx_;
    std::set<pdf_obj *> clean_;   // resources, and their font, form and pattern lists, without Type3 fonts
};

#endif
