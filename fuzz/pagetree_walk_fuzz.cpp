// Any bytes as a PDF whose page tree is walked before a library follows it:
// the walk ends within its limits; a refusal has a reason; a count is given
// only without a reason against it, is at least one page, and lists as many.
#include "pagetree.h"

#include <qpdf/QPDF.hh>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    // Parsed page by page, and told from the bytes where they are plain.
    for (const std::string *given : {static_cast<const std::string *>(nullptr), &bytes}) {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        PageTree tree;
        std::string why;
        try {
            pdf.processMemoryFile("fuzz.pdf", bytes.data(), bytes.size());
            if (!tree.walk(pdf, &why, given)) {
                if (why.empty())
                    abort();
                continue;
            }
        } catch (const std::exception &) {
            // Refused by the library: the programs leave that to their own.
            return 0;
        }
        if (!why.empty() || tree.countRefusal().empty() != (tree.pages() > 0) || tree.inOrder().size() != size_t(tree.pages()))
            abort();
    }
    return 0;
}
