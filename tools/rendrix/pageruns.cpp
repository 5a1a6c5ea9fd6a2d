#include "pageruns.h"

#include <poppler-qt5.h>

QVector<WordBox> pageWords(const Poppler::Page &page, bool (*stop)(const QVariant &), const QVariant &closure)
{
    const QList<Poppler::TextBox *> boxes = page.textList(Poppler::Page::Rotate0, stop, closure);
    QVector<WordBox> words;
    words.reserve(boxes.size());
    for (const Poppler::TextBox *box : boxes) {
        const QRectF r = box->boundingBox();
        words.append({r.left(), r.top(), r.width(), r.height(), box->text()});
    }
    qDeleteAll(boxes);
    return words;
}

QVector<PlacedWord> pageRuns(const Poppler::Page &page, bool (*stop)(const QVariant &), const QVariant &closure)
{
    return groupLines(pageWords(page, stop, closure));
}
