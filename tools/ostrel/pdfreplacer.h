#ifndef OSTREL_PDFREPLACER_H
#define OSTREL_PDFREPLACER_H

#include "rulelines.h"

#include <string>
#include <vector>

struct fz_context;

// Applies the rules of one rule file to one PDF and writes the result.
//
// Positions are page units as the page is shown: points, origin at the top
// left of the crop box, y downwards, the page's rotation applied. A text
// rule removes from the page content every glyph whose centre lies in its
// box and draws the replacement where the first removed glyph stood: same
// baseline, direction, size and colour. An image rule removes the word whose
// box starts at its left and top and draws the picture there instead.
class PdfReplacer
{
public:
    PdfReplacer();
    ~PdfReplacer();
    PdfReplacer(const PdfReplacer &) = delete;
    PdfReplacer &operator=(const PdfReplacer &) = delete;

    // Writes `output` only when the whole run succeeds, never half-written
    // (a temporary file in its folder is renamed into place). Returns false
    // with one line naming the file and the reason in `error` otherwise.
    // A rule naming a page the document lacks, or a place that holds no
    // text, is skipped with a line in notes().
    bool run(const std::string &input, const std::string &output, const RuleLines &rules, std::string *error);

    const std::vector<std::string> &notes() const { return notes_; }

private:
    fz_context *ctx_;
    std::vector<std::string> notes_;
};

#endif
