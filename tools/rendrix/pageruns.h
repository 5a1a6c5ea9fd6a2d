#ifndef PAGERUNS_H
#define PAGERUNS_H

#include "linegrouping.h"
#include "trailingspace.h"

#include <QVariant>
#include <QVector>

#include <vector>

namespace Poppler
{
class Page;
}

// The runs of one page's text layer, before their text is escaped: the PDF
// library's words, each given its line's top and height. The converter
// writes them; the replacement engine reads the same runs to find the one a
// picture rule names, so both see one text layer.
QVector<PlacedWord> pageRuns(const Poppler::Page &page, bool (*stop)(const QVariant &) = nullptr,
                             const QVariant &closure = QVariant(), const std::vector<TrailingSpace> &spaces = {});

// The words of the page, each with its own box and direction: the library's
// words, joined where the word-break rule shared with the replacement engine
// sees no break between them and the page draws them one after the other;
// the fragments of a tilted word joined, their box holding the turned glyphs.
// A level word whose last glyph has one of `spaces` (InvisibleGlyphs) after
// it reaches to that space's end: a scan's word in the image spans it.
// Such a word written right also reaches below its box to the scan's
// descenders, short of the words of the line below.
// What pageRuns groups into lines.
QVector<WordBox> pageWords(const Poppler::Page &page, bool (*stop)(const QVariant &) = nullptr,
                           const QVariant &closure = QVariant(), const std::vector<TrailingSpace> &spaces = {});

#endif
