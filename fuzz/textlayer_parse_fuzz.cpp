// Feeds arbitrary bytes to the page text-layer reader: it must never crash or
// read out of bounds, and its results must keep their invariants.
#include "textlayer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const Alltext page = TextLayer::parsePage(bytes);
    if (page.count != page.subtext.size())
        std::abort();
    for (const Subtext &run : page.subtext) {
        if (run.x < 0 || run.y < 0 || run.width < 0 || run.height < 0)
            std::abort();
    }
    // The line list the windows keep must match the runs one to one.
    if (TextLayer::splitLines(TextLayer::decodePage(bytes)).size() != page.count)
        std::abort();
    return 0;
}
