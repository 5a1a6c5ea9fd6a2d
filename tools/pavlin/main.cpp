// Pavlin.dll: page count and page ranges of a PDF, for the application's
// file list and its split step.
//
//   Pavlin.dll FILE.pdf -getinfo -outfile INFO.txt
//       writes INFO.txt holding the line "NumberOfPages: N".
//   Pavlin.dll FILE.pdf -merge RANGE -outfile OUT.pdf
//       writes OUT.pdf made of the pages RANGE names, in that order.
//
// RANGE is written as PageRange reads it ("1-3,7,10-12", pages from 1); it
// may come split over several arguments, which are joined with blanks.
// The output file is there only when the run succeeded: a failed run also
// removes what an earlier run left at that path, because the caller reads
// the file without looking at our exit status. Exit status 0 on success;
// otherwise one line on standard error names the file and the reason.

#include "outputfile.h"
#include "pagerange.h"
#include "pdfpages.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace
{
enum ExitCode { Done = 0, Failed = 1, Usage = 2 };

const char kProgram[] = "Pavlin.dll";

int usage()
{
    std::fprintf(stderr,
                 "usage: %s FILE.pdf -getinfo -outfile INFO.txt | %s FILE.pdf -merge RANGE -outfile OUT.pdf"
                 " (RANGE: pages from 1 and spans of pages separated by commas, e.g. 1-3,7,10-12)\n",
                 kProgram, kProgram);
    return Usage;
}

std::string failure(const char *what, const std::string &path, const std::string &reason)
{
    return std::string(what) + " \"" + path + "\": " + reason;
}

// Each returns an empty text on success, else the failure.
std::string getInfo(const std::string &input, OutputFile *out)
{
    PdfPages pdf;
    std::string error;
    if (!pdf.open(input, &error))
        return failure("cannot open", input, error);
    if (!out->create(&error))
        return failure("cannot write", out->target(), error);
    std::fprintf(out->stream(), "NumberOfPages: %ld\n", pdf.pageCount());
    if (!out->commit(&error))
        return failure("cannot write", out->target(), error);
    return std::string();
}

std::string merge(const std::string &input, const std::string &rangeText, OutputFile *out)
{
    PageRange range;
    std::string error;
    if (!range.parse(rangeText, &error))
        return failure("cannot take pages of", input, "page range \"" + rangeText + "\": " + error);
    PdfPages pdf;
    if (!pdf.open(input, &error))
        return failure("cannot open", input, error);
    const std::string refusal = pdf.extractionRefusal();
    if (!refusal.empty())
        return failure("cannot take pages of", input, refusal);
    if (range.lastPageNamed() > pdf.pageCount())
        return failure("cannot take pages of", input,
                       "page " + std::to_string(range.lastPageNamed()) + " is outside the document, which has "
                           + std::to_string(pdf.pageCount()) + (pdf.pageCount() == 1 ? " page" : " pages"));
    if (!out->create(&error))
        return failure("cannot write", out->target(), error);
    if (!pdf.writePages(range.pages(), out->stream(), out->target(), &error))
        return failure("cannot take pages of", input, error);
    if (!out->commit(&error))
        return failure("cannot write", out->target(), error);
    return std::string();
}
}

int main(int argc, char **argv)
{
    if (argc < 5 || std::strcmp(argv[argc - 2], "-outfile") != 0)
        return usage();
    const std::string input = argv[1];
    OutputFile out(argv[argc - 1]);
    std::string error;
    if (std::strcmp(argv[2], "-getinfo") == 0 && argc == 5) {
        error = getInfo(input, &out);
    } else if (std::strcmp(argv[2], "-merge") == 0) {
        std::string range;
        for (int i = 3; i < argc - 2; ++i)
            range += (i > 3 ? " " : "") + std::string(argv[i]);
        error = merge(input, range, &out);
    } else {
        return usage();
    }
    if (error.empty())
        return Done;
    std::string staleError;
    if (!out.removeStaleTarget(input, &staleError))
        error += "; the file an earlier run left at \"" + out.target() + "\" could not be removed: " + staleError;
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return Failed;
}
