#include "converterruns.h"

#include "pageruns.h"
#include "converterdocument.h"
#include "popplerroom.h"

#include <poppler-qt5.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

ConverterRuns::ConverterRuns(const std::string &path)
    : doc_(ConverterDocument::open(path))
{
}

ConverterRuns::~ConverterRuns() = default;

const ConverterRuns::Page *ConverterRuns::read(int64_t page)
{
    if (!doc_ || doc_->isLocked() || page < 1 || page > doc_->numPages())
        return nullptr;
    auto known = pages_.find(page);
    if (known == pages_.end()) {
        PopplerRoom::need();
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

namespace
{
// A word's extent along its writing, rounded as the layer writes its run:
// whole points, at least 1 (see groupLines).
std::pair<long, long> alongOf(const WordBox &b)
{
    const double start = b.vertical ? std::min(b.top, b.top + b.height) : std::min(b.left, b.left + b.width);
    const double length = std::fabs(b.vertical ? b.height : b.width);
    const long first = std::max(1L, std::lround(start));
    return {first, std::max(1L, std::lround(start + length) - first)};
}
}

fz_rect ConverterRuns::withOwnWord(const Page &page, const QString &text, const fz_rect &box)
{
    // A run starts where its word starts along its writing and is as long,
    // but across it takes its line's band, which may start up to a unit off
    // the word's own edge: the word is the one of that text whose start
    // (and, better, length) is the run's, nearest the run's band. A word
    // running down the page has its start at the run's top, not its left.
    const WordBox *own = nullptr;
    int ownRank = 0;
    double distance = 0;
    const long left = std::lround(box.x0), top = std::lround(box.y0);
    const long width = std::lround(box.x1) - left, height = std::lround(box.y1) - top;
    for (const WordBox &b : page.words) {
        if (b.text != text)
            continue;
        const std::pair<long, long> along = alongOf(b);
        const long start = b.vertical ? top : left, length = b.vertical ? height : width;
        if (std::abs(along.first - start) > 1)
            continue;
        const int rank = along.first == start && along.second == length ? 0 : 1;
        const double d = b.vertical ? std::fabs(b.left + b.width / 2 - (box.x0 + box.x1) / 2.0)
                                    : std::fabs(b.top + b.height / 2 - (box.y0 + box.y1) / 2.0);
        if (!own || rank < ownRank || (rank == ownRank && d < distance)) {
            own = &b;
            ownRank = rank;
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
    const PlacedWord *found = nullptr;
    int starting = 0;
    for (int i = 0; p && i < p->runs.size(); ++i) {
        const PlacedWord &w = p->runs[i];
        if (w.left == left && w.top == top && ++starting == 1)
            found = &w;
    }
    const std::string place = std::to_string(left) + "," + std::to_string(top);
    if (starting != 1) {
        // Of two runs at one place the layer cannot tell which was meant.
        run.missing = starting == 0 ? "no text run starts at " + place : "two text runs start at " + place;
        return run;
    }
    // As the layer shows it: control characters are blanks there.
    QString text = found->text;
    for (QChar &c : text)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    run.text = text.toStdString();
    run.box = withOwnWord(*p, found->text,
                          fz_make_rect(float(found->left), float(found->top), float(found->left + found->width),
                                       float(found->top + found->height)));
    return run;
}

fz_rect ConverterRuns::wordBox(int64_t page, const std::string &text, const fz_rect &box)
{
    const Page *p = read(page);
    return p ? withOwnWord(*p, QString::fromStdString(text), box) : box;
}
