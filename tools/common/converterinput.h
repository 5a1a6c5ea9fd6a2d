#ifndef GRIDMOLT_CONVERTERINPUT_H
#define GRIDMOLT_CONVERTERINPUT_H

#include <string>

// The document the converter draws for a file, decided in one place for the
// converter and for the engine's reading of the converter's runs, so both
// read the same pages. The converter's library (poppler) loses part of some
// files that qpdf reads whole: a page tree with a quirk readers pass over (a
// null or a name among the kids, a page found by its number alone), and a
// file whose table of objects names a second one in a stream (/XRefStm),
// whose objects that library looks for in the first table only, so a page
// loses its fonts. Such files are read as qpdf rewrites them (QpdfRepair).
class ConverterInput
{
public:
    explicit ConverterInput(std::string path);

    // Reads the file with qpdf and decides. False, with why, when the page
    // tree is refused before any library follows it (deeper than readers
    // go). A file qpdf cannot read is left to the converter's library.
    bool prepare(std::string *why);

    // The bytes to read in place of the file; empty when the file is read
    // as it is.
    const std::string &rewrite() const { return rewrite_; }

    // When the file needed a rewrite that qpdf could not make: why, and the
    // file is then read as it is. Empty otherwise.
    const std::string &fallback() const { return fallback_; }

private:
    std::string path_;
    std::string rewrite_;
    std::string fallback_;
};

#endif
