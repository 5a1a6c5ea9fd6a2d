#ifndef GRIDMOLT_PDFPAGES_H
#define GRIDMOLT_PDFPAGES_H

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <cstdio>
#include <string>
#include <vector>

// One PDF document, for counting its pages and writing a document of some of
// them. The library reports failures by throwing; every method here catches
// and returns false with a reason instead, phrased for the user.
class PdfPages
{
public:
    PdfPages();
    PdfPages(const PdfPages &) = delete;
    PdfPages &operator=(const PdfPages &) = delete;

    // Opens and repairs what can be repaired; false when the file is missing,
    // not a PDF, damaged beyond repair, needs a password or has no pages.
    bool open(const std::string &path, std::string *error);

    long pageCount() const { return static_cast<long>(pages_.size()); }

    // Why the document's permissions forbid taking pages out of it; empty
    // when they allow it (always for a document that is not encrypted).
    std::string extractionRefusal();

    // Writes a document of the given pages (numbered from 1, each within
    // pageCount(), repeats allowed) in that order to `out`. Each page keeps
    // its content, resources, annotations and links; the rest of the
    // document (information, metadata, outlines) is kept too, with references
    // to pages that were left out made null. Changes this object: call once.
    bool writePages(const std::vector<long> &pages, FILE *out, const std::string &description,
                    std::string *error);

private:
    QPDF pdf_;
    std::vector<QPDFPageObjectHelper> pages_;
};

#endif
