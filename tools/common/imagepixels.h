#ifndef GRIDMOLT_IMAGEPIXELS_H
#define GRIDMOLT_IMAGEPIXELS_H

#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <map>
#include <string>
#include <utility>
#include <vector>

// What drawing a page's images costs, with the forms and patterns that draw
// them. A renderer reads every pixel an image declares, whatever size it is
// shown at and however few bytes the file holds for it: 64 bytes declaring
// 100,000 x 100,000 pixels keep it busy for half a minute. Counted here from
// the declarations, before any renderer runs, so such a page is refused at
// once: every image a page, its forms, its tiling patterns and its
// annotations draw, each as often as it is drawn, with its masks, and every
// inline image. A pixel costs a unit of work and each byte of its data at
// the image's own depth another, twice that for four inks and six times for
// Lab, whose colours the renderer converts pixel by pixel: a one-bit scan of
// a large sheet at 1200 dpi is drawn, as the renderer draws it in a second
// or two. Each drawing of a form or pattern cell costs what FormNesting
// counts for it and each text it shows what ContentWork counts, and placing
// each tile of a pattern some work of its own. The page's budget is
// FormNesting::kMaxWork; content decoding to more than ContentBound's bound
// is refused as well.
class ImagePixels
{
public:
    // Why page `number` (from 1) of `path` takes more work to draw than
    // the budget; empty when none does, or when the file cannot be read this
    // way (the program's own library then decides). `pages` empty means
    // every page.
    static std::string refusal(const std::string &path, const std::vector<int> &pages);

    // Why `page` takes more work to draw than the budget; empty when it
    // does not.
    std::string refusal(QPDFPageObjectHelper &page);

    // The pixels drawing `page` decodes, up to a cap far above the budget;
    // both throw ContentBound past that bound.
    long long pixels(QPDFPageObjectHelper &page) { return cost(page).pixels; }
    // The work of drawing them and the forms that draw them, up to the same cap.
    long long work(QPDFPageObjectHelper &page) { return cost(page).work; }

private:
    struct Cost
    {
        long long pixels = 0;
        long long work = 0;
    };
    Cost cost(QPDFPageObjectHelper &page);
    static Cost imageCost(QPDFObjectHandle image);
    static Cost plus(const Cost &a, const Cost &b);
    static Cost times(const Cost &a, long long count);

    // What a content stream draws: the names it draws with "Do", how often
    // each, the patterns it paints with, how often each, and the cost of
    // its inline images and its size.
    struct Drawing
    {
        std::map<std::string, long long> calls;
        std::map<std::string, long long> patternPaints;
        Cost inlineImages;
        long long bytes = 0;   // of the content
        long long shows = 0;   // of text (ContentWork::shows)
    };
    // The resources a content stream draws with, and the object whose
    // /Resources they are: a form without its own draws with its caller's.
    struct Resources
    {
        QPDFObjectHandle dictionary;
        QPDFObjGen holder;
    };

    // `patterns`: whether the content may paint with a pattern.
    static Drawing drawingOf(const std::string &content, bool patterns);
    Cost drawingCost(const Drawing &drawing, const Resources &resources, int depth);
    Cost formCost(QPDFObjectHandle form, const Resources &caller, int depth);
    // A tiling pattern painting `paints` times.
    Cost patternCost(QPDFObjectHandle pattern, long long paints, const Resources &resources, int depth);
    // The tiles of `pattern` that fit on the page, and whether its cells
    // overlap, so that each tile is drawn anew.
    long long tilesOf(QPDFObjectHandle pattern) const;
    static bool overlaps(QPDFObjectHandle pattern);

    std::map<QPDFObjGen, Drawing> forms_;
    // What one drawing of a form (or pattern cell) costs, by form and its
    // resources: the dictionary when shared, else the object holding it.
    std::map<std::pair<QPDFObjGen, QPDFObjGen>, Cost> costs_;
    std::vector<QPDFObjGen> path_;   // the forms being drawn, outermost first
    double pageArea_ = 0;            // of the page counted, in square points
};

#endif
