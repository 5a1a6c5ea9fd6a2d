#ifndef OSTREL_CONVERTERRUNS_H
#define OSTREL_CONVERTERRUNS_H

#include "linegrouping.h"

#include <mupdf/fitz.h>

#include <QVector>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace Poppler
{
class Document;
}

// The runs of a document's text layer as the converter writes them (the
// layer the rule editor showed), read with the converter's own code from the
// document the converter draws (ConverterDocument: qpdf's rewrite where the
// converter draws that), so a picture rule's left and top name the same run
// here as there.
class ConverterRuns
{
public:
    struct Run
    {
        std::string text;                // UTF-8; empty when no run, or more than one, starts there
        std::string missing;             // then why no run is taken, in our words
        // Page as shown: the run's box (its line's band, which holds the
        // word), joined with its word's own box.
        fz_rect box = fz_empty_rect;
    };

    explicit ConverterRuns(const std::string &path);
    ~ConverterRuns();
    ConverterRuns(const ConverterRuns &) = delete;
    ConverterRuns &operator=(const ConverterRuns &) = delete;

    // The run that starts at (left, top) of `page` (1-based): the only one,
    // as a rule names its run by that place alone.
    Run at(int64_t page, int64_t left, int64_t top);

    // `box` (a run's, as a text rule names it) joined with the box of the
    // word `text` (UTF-8) that starts where it starts along its writing,
    // nearest its line.
    fz_rect wordBox(int64_t page, const std::string &text, const fz_rect &box);

private:
    std::unique_ptr<Poppler::Document> doc_;
    struct Page
    {
        QVector<WordBox> words;
        QVector<PlacedWord> runs;
    };
    const Page *read(int64_t page);
    static fz_rect withOwnWord(const Page &page, const QString &text, const fz_rect &box);

    std::map<int64_t, Page> pages_;
};

#endif
