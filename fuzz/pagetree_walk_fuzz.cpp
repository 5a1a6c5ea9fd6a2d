// Any bytes as a PDF whose page tree is walked before a library follows it:
// the walk ends within its limits; a refusal has a reason; a count is given
// only without a reason against it, and is at least one page.
#include "pagetree.h"

#include <qpdf/QPDF.hh>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    PageTree tree;
    std::string why;
    try {
        pdf.processMemoryFile("fuzz.pdf", reinterpret_cast<const char *>(data), size);
        if (!tree.walk(pdf, &why))
            return why.empty() ? (abort(), 0) : 0;
    } catch (const std::exception &) {
        // Refused by the library: the programs leave that to their own.
        return 0;
    }
    if (!why.empty() || tree.countRefusal().empty() != (tree.pages() > 0))
        abort();
    return 0;
}
