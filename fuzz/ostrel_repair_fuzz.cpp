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
// The repair reads a file, as the engine hands it one: one of our own for
// each input, in the run's temporary folder, gone when the input is done,
// so runs side by side never share one and none is left behind.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
    {
        const char *folder = std::getenv("TMPDIR");
        std::string name = std::string(folder && *folder ? folder : "/tmp") + "/ostrel_repair_fuzzXXXXXX";
        const int fd = mkstemp(&name[0]);
        if (fd < 0)
            abort();
        path_ = name;
        for (size_t done = 0; done < size;) {
            const ssize_t n = write(fd, data + done, size - done);
            if (n <= 0)
                abort();
            done += size_t(n);
        }
        if (close(fd) != 0)
            abort();
    }
    ~FuzzInput() { unlink(path_.c_str()); }
    FuzzInput(const FuzzInput &) = delete;
    FuzzInput &operator=(const FuzzInput &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const FuzzInput input(data, size);
    QpdfRepair repair(input.path());
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
