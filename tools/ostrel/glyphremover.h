#ifndef OSTREL_GLYPHREMOVER_H
#define OSTREL_GLYPHREMOVER_H

#include <mupdf/pdf.h>

#include <string>
#include <vector>

class FontCache;

// Takes a rule's words out of a page: the glyphs that spell the rule's find
// text where its box lies (see GlyphFinder), and every other drawing of
// those words over them. Only the operators showing
// those glyphs change, each into a TJ that keeps the other glyphs where they
// were, and the texts the document gives for them (/ActualText, /Alt, /E of
// their marked content and structure elements) read their replacement;
// every other byte of the content, and every resource, stays. A form
// holding such a glyph is copied for this page, so other pages keep theirs.
class GlyphRemover
{
public:
    struct Removed
    {
        std::string text;   // UTF-8, white space collapsed and trimmed
        // Where the removed words started (the left end of their first line)
        // on the page as shown: baseline origin, writing direction, font size
        // and fill colour (0xRRGGBB; black when the colour space has no
        // simple equivalent).
        fz_point origin = {0, 0};
        fz_point direction = {1, 0};
        float size = 0;
        int color = 0;
        // The removed words' extent along `direction` from `origin` (page
        // units as shown): a wider replacement is condensed to it.
        float width = 0;
        // What the character spacing added to each removed glyph's advance
        // (page units as shown): the replacement is spaced alike, so the
        // line keeps one spacing.
        float charSpace = 0;
        // The removed glyphs' face, so the replacement keeps their weight
        // and slant.
        bool bold = false;
        bool italic = false;
        // Where the removed glyphs lay (page as shown), blanks left out.
        fz_rect ink = fz_empty_rect;
        // Which of the request's find texts was found; -1 when none was, and
        // nothing was removed for the request.
        int found = -1;
        // The words were found, but where they are the page draws forms
        // too deeply nested to be read, which may show them again; nothing
        // was removed.
        bool hiddenShowing = false;
        // Words drawn invisibly over what shows them (a scan under its
        // recognised text) are covered, here in this colour (0xRRGGBB), before
        // their replacement is drawn; `color` is then what showed them.
        // Empty for words drawn visibly, and under a picture.
        fz_rect cover = fz_empty_rect;
        int ground = 0xFFFFFF;
        // Why the words were found but not taken out; empty when they were,
        // or were not found.
        std::string refusal;
    };

    // A rule's box (page as shown) and the texts it may name there, of
    // which the one found best in the box is taken.
    struct Request
    {
        fz_rect box;
        std::vector<std::string> finds;
        bool picture = false;   // a picture is drawn over the words
        // The text replacing each find (UTF-8), for the texts the document
        // gives for the words (/ActualText, /Alt); none for a picture.
        std::vector<std::string> replaces;
    };

    // Rewrites the content of `page` when any request is found; `toShown`
    // maps page space to the page as shown. Returns one entry per request.
    // Throws MupdfError.
    static std::vector<Removed> remove(fz_context *ctx, pdf_document *doc, pdf_page *page, const fz_matrix &toShown,
                                       FontCache *fonts, const std::vector<Request> &requests);
};

#endif
