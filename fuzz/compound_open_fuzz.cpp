// Feeds arbitrary bytes to the compound document reader: the bytes become a
// file, which is opened and every stream (and the mini stream) read whole.
// A document that opens is then written into (a new stream and a rewrite of
// the first one) and read again, since saving into a loaded document is an
// ordinary use. Nothing may crash or read outside a buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "compound/compoundfile.h"

namespace {

std::string TempFile(const char* tag)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/compound_open_fuzz_" + std::to_string(::getpid()) + tag;
}

bool WriteAll(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

void ReadEverything(CompoundDoc::CompoundFile& cf)
{
    std::vector<std::wstring> paths;
    cf.StreamPaths(paths);
    paths.push_back(L"\\");
    for (const std::wstring& p : paths) {
        std::vector<char> data;
        const int r = cf.ReadFile(p.c_str(), data);
        unsigned int size = 0;
        if (r == 1 && (cf.FileSize(p.c_str(), size) != 1 || size != data.size()))
            __builtin_trap();
        if (r != 1 && !data.empty())
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = TempFile(".doc");
    if (!WriteAll(path, data, size))
        return 0;
    {
        CompoundDoc::CompoundFile cf;
        if (!cf.Open(path.c_str(), std::ios_base::in)) {
            if (cf.IsOpen())
                __builtin_trap(); // a failed open leaves the object closed
            return 0;
        }
        ReadEverything(cf);
    }

    // Write into the loaded document, then read all of it again.
    {
        CompoundDoc::CompoundFile cf;
        if (!cf.Open(path.c_str(), std::ios_base::in | std::ios_base::out))
            return 0;
        const unsigned int length = size > 0 ? (data[0] * 37u) % 9000u : 0;
        std::vector<char> bytes(length, 'z');
        // A damaged document may still make the new bytes read back
        // differently (chains that share blocks); only safety is checked.
        if (cf.MakeFile("fz") == 1 && cf.WriteFile("fz", bytes, length) == 1) {
            std::vector<char> back;
            cf.ReadFile("fz", back);
        }
        std::vector<std::wstring> paths;
        cf.StreamPaths(paths);
        if (!paths.empty()) {
            const unsigned int other = size > 1 ? (data[1] * 61u) % 6000u : 10;
            std::vector<char> more(other, 'y');
            cf.WriteFile(paths[0].c_str(), more, other);
        }
    }
    {
        CompoundDoc::CompoundFile cf;
        if (cf.Open(path.c_str(), std::ios_base::in))
            ReadEverything(cf);
    }
    return 0;
}
