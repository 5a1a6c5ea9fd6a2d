#ifndef TRAILINGSPACE_H
#define TRAILINGSPACE_H

#include <QPointF>

// A space drawn invisibly right after a glyph drawn invisibly, in one text
// shown: how a scan's text layer draws a word and the gap to the next, its
// advance scaled so the two span the word's ink in the image. On the page
// as shown, in points, origin at the top left: where the glyph before the
// space starts on its baseline, and where the space's advance ends, or the
// next word drawn invisibly starts where it follows on the line
// (InvisibleGlyphs).
struct TrailingSpace
{
    QPointF glyph;
    QPointF end;
};

#endif
