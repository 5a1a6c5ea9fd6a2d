// Any bytes as the PDF tool's document: it opens with a page count of at
// least 1 that the file's objects can hold, or is refused with a reason; its
// last and first page are cut (into a temporary file that is discarded),
// or refused with a reason; and the counts of form drawings and image pixels
// on every page end, within their limits.
#include "formnesting.h"
#include "imagepixels.h"
#include "pdfpages.h"
#include "temporaryoutput.h"

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    PdfPages pages;
    std::string error;
    if (!pages.open("fuzz.pdf", std::string(reinterpret_cast<const char *>(data), size), &error))
        return error.empty() ? (abort(), 0) : 0;
    if (pages.pageCount() < 1)
        abort();
    // Named after this process, so runs side by side never share it; it is
    // discarded, never committed, and its temporary file goes with it.
    const char *folder = std::getenv("TMPDIR");
    TemporaryOutput out(std::string(folder && *folder ? folder : "/tmp") + "/pavlin-fuzz-cut-" + std::to_string(getpid()) + ".pdf");
    if (out.create(&error) && !pages.writePages({pages.pageCount(), 1}, &out, &error) && error.empty())
        abort();
    out.discard();
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    try {
        pdf.processMemoryFile("fuzz.pdf", reinterpret_cast<const char *>(data), size);
        FormNesting nesting;
        ImagePixels images;
        for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(pdf).getAllPages()) {
            nesting.refusal(page);
            if (images.pixels(page) < 0)
                abort();
        }
    } catch (const std::exception &) {
        // Refused by the library: the programs report that in their words.
    }
    return 0;
}
