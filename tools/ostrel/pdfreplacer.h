#ifndef OSTREL_PDFREPLACER_H
#define OSTREL_PDFREPLACER_H

#include "rulelines.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

struct fz_context;
class ConverterRuns;
class QpdfRepair;
class RulePictures;

// Applies the rules of one rule file to one PDF and writes the result.
//
// Positions are page units as the page is shown: points, origin at the top
// left of the crop box, y downwards, the page's rotation applied. A text
// rule removes the words its find text spells where its box lies (each
// drawing of them there), and draws the replacement from where the first
// of them started: same baseline, direction, size and colour. An image rule names the run of the converter's text layer
// that starts at its left and top; it removes that run's words (found as
// for a text rule) and draws the picture there instead. A rule whose words
// are not found changes nothing and is reported as skipped.
//
// The output is the input as qpdf reads it with what the rules changed or
// made carried over (OutputAssembly), so nothing else changes in the file.
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
    // Rules that found nothing (a page the document lacks, words not at
    // their place) are left out of the output, one line each in skipped(),
    // and so are rules the written file does not read back as asked (their
    // words still shown there, by the content, an annotation or a Type3
    // glyph, or their replacement not read there): the
    // written file is read again as readers read it, through its page tree
    // and every reference of its pages, and an output they could not open
    // is refused. An input the library cannot take as it stands (it cannot
    // open it, find its pages, or write what it read), or that qpdf reads
    // otherwise, is taken as `repair` rewrites it, when given; where qpdf
    // alone reads it otherwise, the library then writes what it read
    // itself. It is refused only when that fails too, naming the input and
    // its fault.
    bool run(const std::string &input, const std::string &output, const RuleLines &rules, QpdfRepair *repair,
             std::string *error);

    const std::vector<std::string> &skipped() const { return skipped_; }

private:
    // The passes over the input as read, then, when the library or qpdf
    // cannot take it so, as repaired, or as the library alone reads it.
    void readings(const std::string &input, const std::string &output, const RuleLines &rules, QpdfRepair *repair);
    // Reads the input as `repair` rewrites it before the library reads it
    // as it stands, where the library would misnumber its pages; false
    // when that is not called for or the rewrite fails where the input
    // may still be read as it stands.
    bool readRepairedFirst(const std::string &input, const std::string &output, const RuleLines &rules,
                           QpdfRepair *repair);
    // The passes over the rules, each leaving out those the last could not
    // read back, until one writes the output.
    void passes(const std::string &input, const std::string &output, const RuleLines &rules);
    // One pass over the rules but those of `left` (rule line to its reason).
    // Rules that were applied but are not read back as asked from the
    // written file land in `unread`, and the output is not committed.
    void attempt(const std::string &input, const std::string &output, const RuleLines &rules,
                 const std::map<int, std::string> &left, std::map<int, std::string> *unread);

    fz_context *ctx_;
    int libraryMessages_ = 0;   // the library's errors and warnings in this pass
    std::vector<std::string> skipped_;
    // The input as repaired, read instead of the file once it had to be; empty before.
    std::string repaired_;
    // Read once for the whole run: the pictures the rules name, and the
    // converter's reading of the input (made when first needed).
    std::unique_ptr<RulePictures> pictures_;
    std::unique_ptr<ConverterRuns> runs_;
    // The library writes the output itself, where qpdf reads the input otherwise.
    bool libraryWrites_ = false;
};

#endif
