#include "invisibleglyphs.h"

#include <GfxState.h>
#include <PDFDoc.h>

#include <cmath>

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
        glyphBefore_ = spaceBefore_ = false;
        return;
    }
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    state->transform(x, y, &x0, &y0);
    state->transform(x + dx, y + dy, &x1, &y1);
    const QPointF start(x0, y0), end(x1, y1);
    if (!space && uLen > 0)
        reachNextWord(start);
    spaceBefore_ = space && glyphBefore_;
    if (spaceBefore_) {
        spaces_.push_back({glyphStart_, end});
        const double length = std::hypot(x1 - x0, y1 - y0);
        spaceDirection_ = length > 0 ? (end - start) / length : QPointF();
        spaceSize_ = state->getTransformedFontSize();
    }
    glyphBefore_ = !space && uLen > 0;
    glyphStart_ = start;
}

void InvisibleGlyphs::reachNextWord(const QPointF &start)
{
    // Off the line by at most this share of the font size.
    const double kOffLine = 0.1;
    if (!spaceBefore_ || spaces_.empty())
        return;
    const QPointF step = start - spaces_.back().end;
    const double along = QPointF::dotProduct(step, spaceDirection_);
    const double across = std::fabs(step.x() * spaceDirection_.y() - step.y() * spaceDirection_.x());
    if (along > 0 && along <= spaceSize_ && across <= kOffLine * spaceSize_)
        spaces_.back().end = start;
}
