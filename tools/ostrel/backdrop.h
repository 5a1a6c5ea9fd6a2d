#ifndef OSTREL_BACKDROP_H
#define OSTREL_BACKDROP_H

#include <mupdf/pdf.h>

#include <string>
#include <vector>

// What a page shows around words it draws invisibly (a scan's recognised
// text): the colour of the ground about them, with which they are covered
// before their replacement is drawn, and the colour of what shows where
// they lie. The page is drawn once, when first asked, as the user sees it.
class Backdrop
{
public:
    struct Cover
    {
        fz_rect box = fz_empty_rect;   // page as shown
        int ground = 0xFFFFFF;         // 0xRRGGBB
        int ink = -1;                  // what shows in the box, -1 when nothing does
    };

    Backdrop(fz_context *ctx, pdf_page *page);
    ~Backdrop();
    Backdrop(const Backdrop &) = delete;
    Backdrop &operator=(const Backdrop &) = delete;

    // The cover of words whose glyphs lie in `ink` (page as shown), `size`
    // their em: their box grown a little, so a scan's word, drawn less
    // exactly than its text, goes with them. False, naming why in `why`,
    // where no one colour prevails about the box (a photograph, a pattern):
    // no cover could be told from what lies under it.
    bool cover(const fz_rect &ink, const fz_point &origin, const fz_point &direction, float size, Cover *out,
               std::string *why);

private:
    bool draw(std::string *why);
    // The colour of pixel (x, y) of the drawing, which must lie in it.
    int pixel(int x, int y) const;

    fz_context *ctx_;
    pdf_page *page_;
    fz_pixmap *drawing_ = nullptr;
    float scale_ = 1;
    std::string failure_;   // why the page could not be drawn
};

#endif
