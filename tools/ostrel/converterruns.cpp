#include "converterruns.h"

#include "pageruns.h"

#include <poppler-qt5.h>

#include <QFile>

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
        known = pages_.emplace(page, p ? pageRuns(*p) : QVector<PlacedWord>()).first;
    }
    for (const PlacedWord &w : known->second) {
        if (w.left != left || w.top != top)
            continue;
        // As the layer shows it: control characters are blanks there.
        QString text = w.text;
        for (QChar &c : text)
            if (c.unicode() < 0x20)
                c = QLatin1Char(' ');
        run.text = text.toStdString();
        run.box = fz_make_rect(float(w.left), float(w.top), float(w.left + w.width), float(w.top + w.height));
        break;
    }
    return run;
}
