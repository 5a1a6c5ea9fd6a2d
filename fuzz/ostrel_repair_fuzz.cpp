// Any bytes as the input the engine's own library could not take: the
// repair reads them, walks their page tree and rewrites them within its
// limits; a rewrite it gives is read again with the pages it stated, and a
// refusal has a reason.
#include "qpdfrepair.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
// The repair reads a file, as the engine hands it one: one file for the
// whole run, rewritten for each input.
const std::string &inputPath()
{
    static std::string path;
    if (path.empty()) {
        char name[] = "/tmp/ostrel_repair_fuzzXXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0)
            abort();
        close(fd);
        path = name;
    }
    return path;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &path = inputPath();
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        abort();
    QpdfRepair repair(path);
    std::string bytes, why;
    if (!repair.rewrite(&bytes, &why)) {
        if (why.empty())
            abort();
        return 0;
    }
    QPDF again;
    again.setSuppressWarnings(true);
    try {
        again.processMemoryFile("repaired.pdf", bytes.data(), bytes.size());
        const long long pages = static_cast<long long>(QPDFPageDocumentHelper(again).getAllPages().size());
        std::vector<QPDFObjectHandle> listed;
        if (pages < 1 || !repair.pages(&listed, &why) || pages != static_cast<long long>(listed.size()))
            abort();
        // Read without a repair of its own: a rebuilt table may take bytes of a stream for objects.
        for (const QPDFExc &warning : again.getWarnings()) {
            if (warning.getMessageDetail().find("reconstruct") != std::string::npos)
                abort();
        }
    } catch (const std::exception &) {
        // What was written is read back whole: a rewrite that cannot be is a fault.
        abort();
    }
    return 0;
}
