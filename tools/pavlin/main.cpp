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
// The output file is there only when the run succeeded: every run first
// removes what an earlier run left at that path, so that a failed or
// stopped one leaves nothing there; an output path that is the input
// (through any link) or no regular file is refused and left alone.
// PAVLIN_MEMORY_MB bounds its memory and the size of FILE.pdf (MemoryLimit).
// Exit status 0 on success; otherwise one line on standard error names the
// file and the reason.

#include "enginerepair.h"
#include "erroroutput.h"
#include "inputfile.h"
#include "memorylimit.h"
#include "outputpath.h"
#include "pagecount.h"
#include "pagerange.h"
#include "pdfpages.h"
#include "stopcleanup.h"
#include "temporaryoutput.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace
{
enum ExitCode { Done = 0, Failed = 1, Usage = 2 };

const char kProgram[] = "Pavlin.dll";

int usage()
{
    ErrorOutput::say(std::string("usage: ") + kProgram + " FILE.pdf -getinfo -outfile INFO.txt | " + kProgram
                     + " FILE.pdf -merge RANGE -outfile OUT.pdf"
                       " (RANGE: pages from 1 and spans of pages separated by commas, e.g. 1-3,7,10-12)");
    return Usage;
}

std::string failure(const char *what, const std::string &path, const std::string &reason)
{
    return std::string(what) + " \"" + path + "\": " + reason;
}

// The document `bytes` as the engine's library repairs it, read again;
// nullptr when that library cannot repair it or the repair does not read.
std::unique_ptr<PdfPages> reread(const std::string &name, const std::string &bytes)
{
    std::string repaired, error;
    if (!EngineRepair::rewrite(bytes, &repaired))
        return nullptr;
    std::unique_ptr<PdfPages> pdf(new PdfPages);
    if (!pdf->open(name, std::move(repaired), &error))
        return nullptr;
    return pdf;
}

// Reads the document into `pdf` (the whole file: the library then parses it
// without a system call per object, and it must fit in the memory share
// anyway); empty on success, else the failure.
std::string openInput(const std::string &input, long long maxBytes, std::unique_ptr<PdfPages> *pdf)
{
    std::string bytes, error;
    if (!InputFile::read(input, maxBytes, &bytes, &error))
        return failure("cannot open", input, error);
    pdf->reset(new PdfPages);
    const bool opened = (*pdf)->open(input, std::move(bytes), &error);
    // What the library could not read at all, or read without a page, the
    // engine's library may read otherwise, repairing its own way; a tree
    // refused or a password wanted stays so.
    const bool retry = (*pdf)->heldNone() || (!opened && (*pdf)->unreadable());
    if (!retry)
        return opened ? std::string() : failure("cannot open", input, error);
    std::unique_ptr<PdfPages> repaired = reread(input, (*pdf)->bytes());
    if (repaired && !repaired->heldNone())
        pdf->swap(repaired);
    else if (!opened)
        return failure("cannot open", input, error);
    return std::string();
}

// Puts the finished output in place, unless an allocation failed on the
// way: the library repairs around some failures, and what it made after one
// is not trusted (run() reports it).
std::string commit(TemporaryOutput *out)
{
    std::string error;
    if (MemoryLimit::exhausted())
        throw std::bad_alloc();
    if (!out->commit(&error))
        return failure("cannot write", out->target(), error);
    return std::string();
}

// Each returns an empty text on success, else the failure.
std::string getInfo(const std::string &input, long long maxBytes, TemporaryOutput *out)
{
    std::unique_ptr<PdfPages> pdf;
    std::string error = openInput(input, maxBytes, &pdf);
    if (!error.empty())
        return error;
    const long pages = pdf->pageCount(), engine = PageCount::engine(pdf->bytes());
    if (engine != pages)
        return failure("cannot open", input,
                       "it is damaged, and readers disagree on its pages (" + std::to_string(pages) + " or "
                           + (engine > 0 ? std::to_string(engine) : std::string("none")) + ")");
    if (!out->create(&error))
        return failure("cannot write", out->target(), error);
    const std::string line = "NumberOfPages: " + std::to_string(pages) + "\n";
    out->write(line.data(), line.size());
    return commit(out);
}

std::string merge(const std::string &input, const std::string &rangeText, long long maxBytes, TemporaryOutput *out)
{
    PageRange range;
    std::string error;
    if (!range.parse(rangeText, &error))
        return failure("cannot take pages of", input, "page range \"" + rangeText + "\": " + error);
    std::unique_ptr<PdfPages> pdf;
    error = openInput(input, maxBytes, &pdf);
    if (!error.empty())
        return error;
    if (range.lastPageNamed() > pdf->pageCount())
        return failure("cannot take pages of", input,
                       "page " + std::to_string(range.lastPageNamed()) + " is outside the document, which has "
                           + std::to_string(pdf->pageCount()) + (pdf->pageCount() == 1 ? " page" : " pages"));
    if (!out->create(&error))
        return failure("cannot write", out->target(), error);
    if (!pdf->writePages(range.pages(), out, &error)) {
        // What the library's repair made of the pages did not read back
        // whole: the engine's library repairs another way, and the cut is
        // made again from its repair when that holds as many pages.
        std::unique_ptr<PdfPages> again = out->writeFailure().empty() ? reread(input, pdf->bytes()) : nullptr;
        std::string second;
        if (!again || again->pageCount() != pdf->pageCount() || !out->create(&second)
            || !again->writePages(range.pages(), out, &second))
            return out->writeFailure().empty() ? failure("cannot take pages of", input, error)
                                               : failure("cannot write", out->target(), out->writeFailure());
    }
    return commit(out);
}

std::string run(int argc, char **argv, const std::string &input, TemporaryOutput *out)
{
    const MemoryLimit memory(MemoryLimit::shareOfThisMachine("PAVLIN_MEMORY_MB"));
    const long long maxBytes = memory.shareMegabytes() << 20;
    std::string error;
    try {
        if (std::strcmp(argv[2], "-getinfo") == 0) {
            error = getInfo(input, maxBytes, out);
        } else {
            std::string range;
            for (int i = 3; i < argc - 2; ++i)
                range += (i > 3 ? " " : "") + std::string(argv[i]);
            error = merge(input, range, maxBytes, out);
        }
    } catch (const std::bad_alloc &) {
        MemoryLimit::noteExhaustion();
    } catch (const std::exception &) {
        // A library's failure where none was caught: its words name its own
        // objects and offsets, not the user's file.
        error = failure("cannot read", input, "the file is damaged or not a PDF document, and could not be repaired");
    }
    // The library takes some failures for damage and repairs around them:
    // nothing made after a failed allocation is trusted.
    if (MemoryLimit::exhausted())
        error = failure("cannot read", input,
                        "it needs more memory than this run may use (" + std::to_string(memory.shareMegabytes())
                            + " MB; PAVLIN_MEMORY_MB sets it)");
    if (!error.empty())
        out->discard();
    return error;
}
}

int main(int argc, char **argv)
{
    StopCleanup::prepare(kProgram);
    if (argc < 5 || std::strcmp(argv[argc - 2], "-outfile") != 0
        || !((std::strcmp(argv[2], "-getinfo") == 0 && argc == 5) || std::strcmp(argv[2], "-merge") == 0))
        return usage();
    const std::string input = argv[1];
    TemporaryOutput out(argv[argc - 1]);
    // Before anything is read or written: nothing at the output path is
    // removed when the path itself is refused.
    const std::string refusal = OutputPath::refusal(out.target(), {input});
    if (!refusal.empty()) {
        ErrorOutput::say(failure("cannot write", out.target(), refusal));
        return Failed;
    }
    // Removed before the work starts too, so that a run stopped by a signal
    // or ended by the runtime leaves no earlier result; a file that cannot
    // be removed is named once the run has failed.
    std::string staleError;
    OutputPath::removeStale(out.target(), {input}, &staleError);
    std::string error = run(argc, argv, input, &out);
    if (error.empty())
        return Done;
    if (!OutputPath::removeStale(out.target(), {input}, &staleError))
        error += "; the file an earlier run left at \"" + out.target() + "\" could not be removed: " + staleError;
    ErrorOutput::say(error);
    return Failed;
}
