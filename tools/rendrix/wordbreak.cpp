#include "wordbreak.h"

#include <algorithm>
#include <cmath>

namespace
{
// As shares of the line's thickness (ascent to descent, about 1.2 em): a
// gap of a tenth of an em or more parts words, as the converter's library
// does; sizes a few percent apart are different sizes, and a glyph moved
// over the line by a tenth of its thickness stands on another line.
const double kGap = 0.08;
const double kStepBack = 0.5;
const double kSize = 0.05;
const double kShift = 0.1;
}

GlyphPlace::Turn GlyphPlace::turnOf(double dx, double dy)
{
    if (std::fabs(dx) >= std::fabs(dy))
        return dx >= 0 ? Right : Left;
    return dy > 0 ? Down : Up;
}

GlyphPlace GlyphPlace::of(double x0, double y0, double x1, double y1, Turn turn)
{
    GlyphPlace p;
    p.turn = turn;
    switch (turn) {
    case Right: p.along0 = x0; p.along1 = x1; p.across0 = y0; p.across1 = y1; break;
    case Left: p.along0 = -x1; p.along1 = -x0; p.across0 = y0; p.across1 = y1; break;
    case Down: p.along0 = y0; p.along1 = y1; p.across0 = x0; p.across1 = x1; break;
    case Up: p.along0 = -y1; p.along1 = -y0; p.across0 = x0; p.across1 = x1; break;
    }
    return p;
}

bool wordBreakBetween(const GlyphPlace &a, const GlyphPlace &b)
{
    if (a.turn != b.turn || (a.font && b.font && a.font != b.font))
        return true;
    const double ta = a.across1 - a.across0, tb = b.across1 - b.across0;
    const double thick = std::max(ta, tb);
    if (!(thick > 0) || !std::isfinite(thick))
        return true;
    if (std::fabs(ta - tb) > kSize * thick)
        return true;
    if (std::fabs((a.across0 + a.across1) - (b.across0 + b.across1)) / 2 > kShift * thick)
        return true;
    const double gap = b.along0 - a.along1;
    return !std::isfinite(gap) || gap > kGap * thick || gap < -kStepBack * thick;
}
