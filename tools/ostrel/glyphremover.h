#ifndef OSTREL_GLYPHREMOVER_H
#define OSTREL_GLYPHREMOVER_H

#include <mupdf/pdf.h>

#include <string>
#include <vector>

// Takes glyphs out of a page's content, so text extraction no longer finds
// them; everything else the content draws (other text, line art, images)
// stays as it was. A glyph goes when the centre of its box, on the page as
// shown, lies in one of the boxes given. The same single pass over the
// content tells what each box held and how its text was drawn.
class GlyphRemover
{
public:
    struct Removed
    {
        std::string text;   // UTF-8, white space collapsed and trimmed
        // Where the box's text started (the left end of its first line) on
        // the page as shown: baseline origin, writing direction, font size
        // and fill colour (0xRRGGBB; black when the colour space has no
        // simple equivalent).
        fz_point origin = {0, 0};
        fz_point direction = {1, 0};
        float size = 0;
        int color = 0;
        // The removed words' extent along `direction` from `origin` (page
        // units as shown): a wider replacement is condensed to it.
        float width = 0;
        // The removed glyphs' face, so the replacement keeps their weight
        // and slant.
        bool bold = false;
        bool italic = false;
    };

    // Rewrites the content of `page`; `toShown` maps page space to the page
    // as shown. Returns one entry per box. Throws MupdfError.
    static std::vector<Removed> remove(fz_context *ctx, pdf_document *doc, pdf_page *page, const fz_matrix &toShown,
                                       const std::vector<fz_rect> &boxes);
};

#endif
