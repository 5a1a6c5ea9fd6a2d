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

ConverterRuns::Run ConverterRuns::at(int64_t page, int64_t left, int64_t top)
{
    Run run;
    if (!doc_ || doc_->isLocked() || page < 1 || page > doc_->numPages())
        return run;
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
    const Page &p = known->second;
    for (const PlacedWord &w : p.runs) {
        if (w.left != left || w.top != top)
            continue;
        // As the layer shows it: control characters are blanks there.
        QString text = w.text;
        for (QChar &c : text)
            if (c.unicode() < 0x20)
                c = QLatin1Char(' ');
        run.text = text.toStdString();
        run.box = fz_make_rect(float(w.left), float(w.top), float(w.left + w.width), float(w.top + w.height));
        // Its word: the same text starting at the same (rounded) left, the
        // one nearest the run's line.
        const WordBox *own = nullptr;
        double distance = 0;
        for (const WordBox &b : p.words) {
            const double d = std::fabs(b.top + b.height / 2 - (w.top + w.height / 2.0));
            if (b.text == w.text && std::fabs(std::max(1.0, b.left) - w.left) <= 1 && (!own || d < distance)) {
                own = &b;
                distance = d;
            }
        }
        if (own)
            run.box = fz_union_rect(run.box, fz_make_rect(float(own->left), float(own->top),
                                                          float(own->left + own->width), float(own->top + own->height)));
        break;
    }
    return run;
}
