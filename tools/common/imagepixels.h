#ifndef GRIDMOLT_IMAGEPIXELS_H
#define GRIDMOLT_IMAGEPIXELS_H

#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <map>
#include <string>
#include <utility>
#include <vector>

// How many image pixels drawing a page decodes. A renderer reads every
// pixel an image declares, whatever size it is shown at and however few
// bytes the file holds for it: 64 bytes declaring 100,000 x 100,000 pixels
// keep it busy for half a minute. Counted here from the declarations,
// before any renderer runs, so such a page is refused at once: every image
// a page, its forms, its tiling patterns and its annotations draw, each as
// often as it is drawn, with its masks, and every inline image.
class ImagePixels
{
public:
    // One to five seconds of drawing (the renderer takes some ten
    // nanoseconds a pixel, up to fifty for colours it converts pixel by
    // pixel); a colour scan of an A3 page at 600 dpi has 70 million.
    static const long long kMaxPixels = 100000000;

    // Why page `number` (from 1) of `path` draws more pixels than the
    // limit; empty when none does, or when the file cannot be read this way
    // (the program's own library then decides). `pages` empty means every page.
    static std::string refusal(const std::string &path, const std::vector<int> &pages);

    // Why `page` draws more pixels than the limit; empty when it does not.
    std::string refusal(QPDFPageObjectHelper &page);

    // The pixels drawing `page` decodes, up to a cap far above the limit.
    long long pixels(QPDFPageObjectHelper &page);

private:
    // What a content stream draws: the names it draws with "Do", how often
    // each, the patterns it paints with, how often each, and the pixels of
    // its inline images.
    struct Drawing
    {
        std::map<std::string, long long> calls;
        std::map<std::string, long long> patternPaints;
        long long inlinePixels = 0;
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
    long long drawingPixels(const Drawing &drawing, const Resources &resources, int depth);
    long long formPixels(QPDFObjectHandle form, const Resources &caller, int depth);
    long long tilesOf(QPDFObjectHandle pattern) const;

    std::map<QPDFObjGen, Drawing> forms_;
    // Pixels one drawing of a form (or pattern cell) decodes, by form and
    // its resources: the dictionary when shared, else the object holding it.
    std::map<std::pair<QPDFObjGen, QPDFObjGen>, long long> pixels_;
    std::vector<QPDFObjGen> path_;   // the forms being drawn, outermost first
    double pageArea_ = 0;            // of the page counted, in square points
};

#endif
