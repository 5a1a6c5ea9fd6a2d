#include "converterruns.h"

#include "pageruns.h"

#include <poppler-qt5.h>

#include <QFile>

#include <algorithm>
#include <cmath>

namespace
{
void ignoreLibraryMessage(const QString &, const QVariant &)
{
}
}

ConverterRuns::ConverterRuns(const std::string &path)
{
    // As the converter does: our one line on failure, not the library's.
    Poppler::setDebugErrorFunction(ignoreLibraryMessage, QVariant());
    doc_.reset(Poppler::Document::load(QFile::decodeName(path.c_str())));
}

ConverterRuns::~ConverterRuns() = default;

const ConverterRuns::Page *ConverterRuns::read(int64_t page)
{
    if (!doc_ || doc_->isLocked() || page < 1 || page > doc_->numPages())
        return nullptr;
    auto known = pages_.find(page);
    if (known == pages_.end()) {
        std::unique_ptr<Poppler::Page> p(doc_->page(int(page - 1)));
        Page read;
        if (p) {
            read.words = pageWords(*p);
            read.runs = groupLines(read.words);
        }
        known = pages_.emplace(page, std::move(read)).first;
    }
    return &known->second;
}

fz_rect ConverterRuns::withOwnWord(const Page &page, const QString &text, const fz_rect &box)
{
    // The same text starting at the same (rounded) left, the one nearest
    // the box's line.
    const WordBox *own = nullptr;
    double distance = 0;
    const double centre = (box.y0 + box.y1) / 2.0;
    for (const WordBox &b : page.words) {
        const double d = std::fabs(b.top + b.height / 2 - centre);
        if (b.text == text && std::fabs(std::max(1.0, b.left) - std::lround(box.x0)) <= 1 && (!own || d < distance)) {
            own = &b;
            distance = d;
        }
    }
    if (!own)
        return box;
    return fz_union_rect(box, fz_make_rect(float(own->left), float(own->top), float(own->left + own->width),
                                           float(own->top + own->height)));
}

ConverterRuns::Run ConverterRuns::at(int64_t page, int64_t left, int64_t top)
{
    Run run;
    const Page *p = read(page);
    if (!p)
        return run;
    for (const PlacedWord &w : p->runs) {
        if (w.left != left || w.top != top)
            continue;
        // As the layer shows it: control characters are blanks there.
        QString text = w.text;
        for (QChar &c : text)
            if (c.unicode() < 0x20)
                c = QLatin1Char(' ');
        run.text = text.toStdString();
        run.box = withOwnWord(*p, w.text,
                              fz_make_rect(float(w.left), float(w.top), float(w.left + w.width), float(w.top + w.height)));
        break;
    }
    return run;
}

fz_rect ConverterRuns::wordBox(int64_t page, const std::string &text, const fz_rect &box)
{
    const Page *p = read(page);
    return p ? withOwnWord(*p, QString::fromStdString(text), box) : box;
}
