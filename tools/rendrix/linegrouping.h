#ifndef LINEGROUPING_H
#define LINEGROUPING_H

#include <QString>
#include <QVector>

// A word as the PDF library gives it: its box in points, origin at the top
// left of the page as shown, y downwards; `vertical` when it runs down or
// up the page as shown, `tilted` when its baseline stands at a slant (its
// box then holds the turned glyphs).
struct WordBox
{
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    QString text;
    bool vertical = false;
    bool tilted = false;
};

// A word as it is written into a text layer: whole points, all at least 1.
struct PlacedWord
{
    int left = 1;
    int top = 1;
    int width = 1;
    int height = 1;
    QString text;
};

// Gives every word of one visual text line the same top and height, so that
// the table extraction sees one row band per printed line, while each run
// still holds its word's own box.
//
// Words belong to one line when their vertical centres lie within half a
// line height of each other and they share a baseline or top, or stand
// beside each other (a raised mark, another size within a sentence): lines
// of neighbouring columns with other line spacing stay apart. The shared
// top and bottom hold the line's
// typical words (those near its median height); a taller word keeps its own
// edges beyond them. A glyph box several lines tall neither widens its line
// nor, standing alone, covers the lines around it: such a box is attached to
// the line it overlaps whose centre is nearest and takes that line's band.
// Vertical words form columns the same way, sharing left and width. No two
// runs share left and top, the key a picture rule names its run by: a run on
// an earlier run's corner moves a unit right or down (its far edges kept),
// and one that finds no free corner so is left out.
//
// A tilted word belongs to no line (it makes no table row) and keeps its own
// box.
//
// The result holds one entry per input word with a usable box and visible
// text: the horizontal lines from the top, left to right within a line, then
// the columns from the left, then the tilted words from the top. It depends only on the input, never on its order
// in memory or on threads.
QVector<PlacedWord> groupLines(const QVector<WordBox> &words);

#endif
