#ifndef OSTREL_PAGERULES_H
#define OSTREL_PAGERULES_H

#include "appliedrule.h"
#include "rulelines.h"

#include <mupdf/pdf.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ConverterRuns;
class FontCache;
class PageWriter;
class RulePictures;

// The rules of one page applied: their words taken out of the page's
// content and what replaces them drawn, on the page as shown (ShownPage).
class PageRules
{
public:
    // What changing the pages of one pass shares.
    struct Editing
    {
        fz_context *ctx;
        pdf_document *doc;
        const std::string &input;
        PageWriter *writer;
        FontCache *pageFonts;
        std::unique_ptr<ConverterRuns> *runs;   // the converter's reading, made when first needed
        const RulePictures &pictures;
        std::vector<AppliedRule> *applied;      // what was applied, for the read-back
        std::vector<std::string> *skipped;      // one line for each rule skipped
    };

    // Applies the rules of page `number`; throws InputFault where the
    // library cannot read or change the page.
    static void apply(const Editing &e, int64_t number, const std::vector<const TextRule *> &pageTextRules,
                      const std::vector<const ImageRule *> &pageImageRules);
};

#endif
