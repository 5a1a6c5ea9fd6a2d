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
        fz_rect box = fz_empty_rect;   // of what shows, page as shown
        float edge = 0;                // how far the blur of its edge reaches past it
        int ground = 0xFFFFFF;         // 0xRRGGBB
        int ink = -1;                  // what shows in the box, -1 when nothing does
    };

    Backdrop(fz_context *ctx, pdf_page *page);
    ~Backdrop();
    Backdrop(const Backdrop &) = delete;
    Backdrop &operator=(const Backdrop &) = delete;

    // Words drawn invisibly, as shown: where the page may show them (their
    // glyphs, and the blanks after them, over which a recognised text
    // spreads a scan's word), their baseline's start, direction and
    // length, and their em.
    struct Words
    {
        fz_rect room;
        fz_point origin, direction;
        float width, size;
    };

    // The cover of `words`: the box of what the page shows where they lie
    // (a scan's word, drawn less exactly than its text, and found by its
    // pixels), and the colour of the ground about them. False, naming why
    // in `why`, where no one colour prevails about them (a photograph, a
    // pattern): no cover could be told from what lies under it.
    bool cover(const Words &words, Cover *out, std::string *why);

private:
    bool draw(std::string *why);
    // The colour of pixel (x, y) of the drawing, which must lie in it.
    int pixel(int x, int y) const;
    bool isInk(int x, int y, int ground) const;
    // The box of the ink joined to `core`, inside `within` (pixels); `core`
    // where none is.
    fz_irect shown(const fz_irect &core, const fz_irect &within, int ground, int columnGap, int rowGap) const;

    fz_context *ctx_;
    pdf_page *page_;
    fz_pixmap *drawing_ = nullptr;
    float scale_ = 1;
    std::string failure_;   // why the page could not be drawn
};

#endif
