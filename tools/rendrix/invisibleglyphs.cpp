#include "invisibleglyphs.h"

#include <GfxState.h>
#include <PDFDoc.h>

namespace
{
bool stopped(void *stop)
{
    return static_cast<const std::atomic<bool> *>(stop)->load();
}

// Fill and stroke off, with or without clipping.
bool invisible(const GfxState &state)
{
    return (state.getRender() & 3) == 3;
}
}

std::vector<TrailingSpace> InvisibleGlyphs::of(PDFDoc *doc, int index, const std::atomic<bool> *stop)
{
    InvisibleGlyphs glyphs;
    if (!doc || index < 0 || index >= doc->getNumPages())
        return {};
    // As the library's words are read: 72 dpi, the page turned as shown,
    // its own box's origin, nothing cut away.
    doc->displayPage(&glyphs, index + 1, 72, 72, 0, false, false, false, stopped,
                     const_cast<std::atomic<bool> *>(stop));
    return std::move(glyphs.spaces_);
}

void InvisibleGlyphs::beginString(GfxState *, const GooString *)
{
    glyphBefore_ = false;
}

void InvisibleGlyphs::drawChar(GfxState *state, double x, double y, double dx, double dy, double, double, CharCode,
                               int, const Unicode *u, int uLen)
{
    const bool space = uLen == 1 && u && u[0] == 0x20;
    if (!invisible(*state)) {
        glyphBefore_ = false;
        return;
    }
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    state->transform(x, y, &x0, &y0);
    state->transform(x + dx, y + dy, &x1, &y1);
    if (space && glyphBefore_)
        spaces_.push_back({glyphStart_, QPointF(x1, y1)});
    glyphBefore_ = !space && uLen > 0;
    glyphStart_ = QPointF(x0, y0);
}
