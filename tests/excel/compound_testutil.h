#ifndef GRIDMOLT_COMPOUND_TESTUTIL_H
#define GRIDMOLT_COMPOUND_TESTUTIL_H

// Helpers shared by the compound document tests: temporary paths, raw file
// bytes, little-endian peeks and the independent reader (Python's olefile).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "compound/compoundfile.h"

namespace compoundtest {

inline std::string TempDir()
{
    const char* t = std::getenv("TMPDIR");
    return (t && *t) ? std::string(t) : std::string("/tmp");
}

inline std::string TempPath(const std::string& name)
{
    static int counter = 0;
    return TempDir() + "/cfb_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_" + name;
}

inline std::vector<unsigned char> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t U32(const std::vector<unsigned char>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8
        | static_cast<std::uint32_t>(b.at(at + 2)) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}

inline std::uint16_t U16(const std::vector<unsigned char>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

inline void PutU32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.at(at + static_cast<std::size_t>(i)) = static_cast<unsigned char>(v >> (8 * i));
}

inline void PutU16(std::vector<unsigned char>& b, std::size_t at, std::uint16_t v)
{
    b.at(at) = static_cast<unsigned char>(v);
    b.at(at + 1) = static_cast<unsigned char>(v >> 8);
}

// Byte offset of compound block k in the file.
inline std::size_t BlockOffset(std::uint32_t k)
{
    return (static_cast<std::size_t>(k) + 1) * 512;
}

// Entry i of the big-block table of a document with one table block (block 0).
inline std::uint32_t BatEntry(const std::vector<unsigned char>& b, std::uint32_t i, std::uint32_t tableBlock = 0)
{
    return U32(b, BlockOffset(tableBlock) + 4 * static_cast<std::size_t>(i));
}

// Byte offset of directory entry i when the directory starts in block dirBlock
// and (for i >= 4) continues in the blocks given.
inline std::size_t EntryOffset(std::uint32_t dirBlock, std::uint32_t i)
{
    return BlockOffset(dirBlock) + 128 * static_cast<std::size_t>(i);
}

inline std::string EntryName(const std::vector<unsigned char>& b, std::size_t entryAt)
{
    std::string s;
    for (std::size_t i = 0; i < 32; ++i) {
        const std::uint16_t u = U16(b, entryAt + 2 * i);
        if (u == 0)
            break;
        s += static_cast<char>(u);
    }
    return s;
}

inline std::vector<char> Pattern(std::size_t n, unsigned seed)
{
    std::vector<char> v(n);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (std::size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        v[i] = static_cast<char>(x >> 16);
    }
    return v;
}

inline std::uint32_t Crc32(const std::vector<char>& data)
{
    static std::uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char ch : data)
        crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

inline bool HaveOlefile()
{
    return std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") == 0;
}

// Opens the document with olefile (strict about format defects) and returns
// "path length crc32" per stream, paths joined with '/', sorted; or the
// reader's error text.
inline std::string OlefileListing(const std::string& path)
{
    const std::string script = TempPath("list.py");
    {
        std::ofstream py(script);
        py << "import sys, zlib, olefile\n"
              "try:\n"
              "    o = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)\n"
              "    out = []\n"
              "    for parts in o.listdir(streams=True, storages=False):\n"
              "        d = o.openstream(parts).read()\n"
              "        out.append('%s %d %d' % ('/'.join(parts), len(d), zlib.crc32(d) & 0xffffffff))\n"
              "    o.close()\n"
              "    print('\\n'.join(sorted(out)))\n"
              "except Exception as e:\n"
              "    print('ERROR', type(e).__name__, e)\n";
    }
    const std::string out = TempPath("list.txt");
    const std::string cmd = "/usr/bin/python3 '" + script + "' '" + path + "' > '" + out + "' 2>&1";
    const int rc = std::system(cmd.c_str());
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(script.c_str());
    std::remove(out.c_str());
    if (rc != 0)
        return "ERROR python exit " + std::to_string(rc) + ": " + text.str();
    std::string s = text.str();
    while (!s.empty() && s.back() == '\n')
        s.pop_back();
    return s;
}

// The listing olefile should give for these streams.
inline std::string ExpectedListing(const std::map<std::string, std::vector<char>>& streams)
{
    std::string s;
    for (const auto& kv : streams) {
        if (!s.empty())
            s += "\n";
        s += kv.first + " " + std::to_string(kv.second.size()) + " " + std::to_string(Crc32(kv.second));
    }
    return s;
}

// Reads every given stream (path parts joined with '/') back through a fresh
// object: the directory lists exactly these, each with its size and bytes.
inline void ExpectStreamsRead(const std::string& path, const std::map<std::string, std::vector<char>>& streams)
{
    CompoundDoc::CompoundFile cf;
    ASSERT_TRUE(cf.Open(path.c_str(), std::ios_base::in));
    std::vector<std::wstring> paths;
    cf.StreamPaths(paths);
    EXPECT_EQ(paths.size(), streams.size());
    for (const auto& kv : streams) {
        std::string ours = "\\" + kv.first;
        for (char& c : ours)
            if (c == '/')
                c = '\\';
        std::vector<char> back;
        ASSERT_EQ(cf.ReadFile(ours.c_str(), back), 1) << kv.first;
        EXPECT_TRUE(back == kv.second) << kv.first << " differs, " << back.size() << " bytes read";
        unsigned int size = 0;
        EXPECT_EQ(cf.FileSize(ours.c_str(), size), 1);
        EXPECT_EQ(size, kv.second.size());
    }
}

} // namespace compoundtest

#endif
