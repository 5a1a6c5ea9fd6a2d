#ifndef INVISIBLEGLYPHS_H
#define INVISIBLEGLYPHS_H

#include "trailingspace.h"

#include <OutputDev.h>

#include <atomic>
#include <vector>

class PDFDoc;

// Reads a page the way the PDF library reads its words, keeping only the
// spaces drawn invisibly (render mode 3 or 7) that end a word of glyphs
// drawn so. The library's words leave such a space out; a scan's word spans
// it, and its ink may reach a little past it: where the next word drawn so
// starts on the same line within a font size, the space reaches there.
class InvisibleGlyphs : public OutputDev
{
public:
    // The trailing spaces of page `index` (0-based) of `doc`, in the
    // coordinates of the library's words on the page as shown; the reading
    // ends early, with what it found, when `stop` is set.
    static std::vector<TrailingSpace> of(PDFDoc *doc, int index, const std::atomic<bool> *stop);

    bool upsideDown() override { return true; }
    bool useDrawChar() override { return true; }
    bool interpretType3Chars() override { return false; }
    bool needNonText() override { return false; }
    void beginString(GfxState *state, const GooString *s) override;
    void drawChar(GfxState *state, double x, double y, double dx, double dy, double originX, double originY,
                  CharCode code, int nBytes, const Unicode *u, int uLen) override;

private:
    // Grows the last space found to `start`, a glyph drawn invisibly right
    // after it, when that starts the next word on its line.
    void reachNextWord(const QPointF &start);

    std::vector<TrailingSpace> spaces_;
    // The last glyph of the current text shown, when drawn invisibly and no
    // space: where it starts.
    bool glyphBefore_ = false;
    QPointF glyphStart_;
    // Whether the last glyph drawn was a space found; its advance's unit
    // vector and its font size, on the page as shown.
    bool spaceBefore_ = false;
    QPointF spaceDirection_;
    double spaceSize_ = 0;
};

#endif
