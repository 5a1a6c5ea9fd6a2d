#ifndef OSTREL_PAGEWRITER_H
#define OSTREL_PAGEWRITER_H

#include "glyphremover.h"

#include <mupdf/pdf.h>

#include <map>
#include <string>
#include <vector>

class ReplacementFonts;

// Draws replacement text and pictures onto pages of one document, after
// their old text was removed, in a content stream of its own at the end of
// each page's content. Each picture is added to the document once, however
// many pages show it.
class PageWriter
{
public:
    struct Text
    {
        GlyphRemover::Removed at;   // drawn where this text started, as it was drawn
        std::string replacement;
    };
    struct Picture
    {
        fz_image *image;
        fz_rect box;   // on the page as shown
    };

    PageWriter(fz_context *ctx, pdf_document *doc, ReplacementFonts *fonts);
    ~PageWriter();
    PageWriter(const PageWriter &) = delete;
    PageWriter &operator=(const PageWriter &) = delete;

    // Whether `replacement` can be drawn: every character of it that shows
    // has a glyph in one of the replacement fonts. Ask before taking the old
    // words out, and report a rule whose text cannot be drawn as skipped,
    // leaving its page as it was; draw() refuses such a text rather than
    // draw empty boxes.
    bool canDraw(const std::string &replacement);

    // Each text is drawn at its old baseline, size and colour, in the bold
    // or italic face when the old words had it. A text wider than the old
    // words (`at.width` > 0) is condensed to their width, down to half its
    // width; what is still too wide is drawn smaller, so it never runs over
    // the words after it. `toShown` maps page space to the page as shown.
    // Throws MupdfError, also (before drawing anything) when canDraw()
    // refuses one of the texts.
    void draw(pdf_page *page, const fz_matrix &toShown, const std::vector<Text> &texts,
              const std::vector<Picture> &pictures);

private:
    std::string bind(pdf_page *page, pdf_obj *kind, const char *prefix, pdf_obj *value);
    std::string textOperators(pdf_page *page, const Text &t, const fz_matrix &toPage,
                              std::map<size_t, std::string> *fontNames);
    std::string pictureOperators(pdf_page *page, const Picture &p, const fz_matrix &toPage);
    void appendContent(pdf_page *page, const std::string &content);

    fz_context *ctx_;
    pdf_document *doc_;
    ReplacementFonts *fonts_;
    std::map<fz_image *, pdf_obj *> imageObjects_;
};

#endif
