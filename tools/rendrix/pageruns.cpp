#include "pageruns.h"

#include "wordbreak.h"

#include <poppler-qt5.h>

#include <QHash>


namespace
{
// Which way a word is written as shown: from its first glyph to its last;
// a word of one glyph by its neighbour on the line, else by its box, which
// is taller than wide unless the glyph is turned.
GlyphPlace::Turn turnOf(const Poppler::TextBox &box, int n)
{
    QPointF from, to;
    if (n >= 2) {
        from = box.charBoundingBox(0).center();
        to = box.charBoundingBox(n - 1).center();
    } else if (box.nextWord()) {
        from = box.boundingBox().center();
        to = box.nextWord()->boundingBox().center();
    } else {
        const QRectF r = box.boundingBox();
        return r.width() > r.height() ? GlyphPlace::Down : GlyphPlace::Right;
    }
    return GlyphPlace::turnOf(to.x() - from.x(), to.y() - from.y());
}

GlyphPlace placeOf(const QRectF &r, GlyphPlace::Turn turn)
{
    const QRectF n = r.normalized();
    return GlyphPlace::of(n.left(), n.top(), n.right(), n.bottom(), turn);
}
}

QVector<WordBox> pageWords(const Poppler::Page &page, bool (*stop)(const QVariant &), const QVariant &closure)
{
    const QList<Poppler::TextBox *> boxes = page.textList(Poppler::Page::Rotate0, stop, closure);
    QHash<const Poppler::TextBox *, int> indexOf;
    for (int i = 0; i < boxes.size(); ++i)
        indexOf.insert(boxes[i], i);
    // The library parts words where it sees a break; where the shared rule
    // sees none between a word and the next on its line, they are one word,
    // so the replacement engine finds every word of the layer.
    QVector<int> wordOf(boxes.size(), -1), glyphs(boxes.size());
    QVector<GlyphPlace::Turn> turns(boxes.size());
    for (int i = 0; i < boxes.size(); ++i) {
        glyphs[i] = boxes[i]->text().toUcs4().size();
        turns[i] = turnOf(*boxes[i], glyphs[i]);
    }
    QVector<WordBox> words;
    words.reserve(boxes.size());
    for (int i = 0; i < boxes.size(); ++i) {
        const Poppler::TextBox *box = boxes[i];
        const QRectF r = box->boundingBox();
        if (wordOf[i] < 0) {
            wordOf[i] = words.size();
            WordBox w;
            w.left = r.left();
            w.top = r.top();
            w.width = r.width();
            w.height = r.height();
            w.text = box->text();
            w.vertical = turns[i] == GlyphPlace::Down || turns[i] == GlyphPlace::Up;
            words.append(w);
        } else {
            WordBox &w = words[wordOf[i]];
            const QRectF joined = QRectF(w.left, w.top, w.width, w.height).united(r);
            w.left = joined.left();
            w.top = joined.top();
            w.width = joined.width();
            w.height = joined.height();
            w.text += box->text();
        }
        const int j = indexOf.value(box->nextWord(), -1);
        if (j > i && wordOf[j] < 0 && glyphs[i] > 0 && glyphs[j] > 0 && turns[j] == turns[i]
            && !wordBreakBetween(placeOf(box->charBoundingBox(glyphs[i] - 1), turns[i]),
                                 placeOf(boxes[j]->charBoundingBox(0), turns[j])))
            wordOf[j] = wordOf[i];
    }
    qDeleteAll(boxes);
    return words;
}

QVector<PlacedWord> pageRuns(const Poppler::Page &page, bool (*stop)(const QVariant &), const QVariant &closure)
{
    return groupLines(pageWords(page, stop, closure));
}
