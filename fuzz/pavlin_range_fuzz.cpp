// Page ranges come from the command line as typed: any text must parse or be
// refused, and a range that parses never names page 0.
#include "pagerange.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    PageRange range;
    std::string error;
    if (!range.parse(std::string(reinterpret_cast<const char *>(data), size), &error))
        return error.empty() ? (abort(), 0) : 0;
    // Expanding is what a merge does once the range fits the document; keep
    // the fuzzer to ranges a small document could hold.
    if (range.lastPageNamed() > 5000)
        return 0;
    for (long page : range.pages())
        if (page < 1 || page > range.lastPageNamed())
            abort();
    return 0;
}
