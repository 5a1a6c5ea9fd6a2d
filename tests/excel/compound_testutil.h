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

typedef std::vector<unsigned char> Bytes;
typedef std::map<std::string, std::vector<char>> Streams; // path parts joined with '/'

const std::uint32_t FREE = 0xFFFFFFFFu, END = 0xFFFFFFFEu, TABLE = 0xFFFFFFFDu;

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

inline Bytes FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t U16(const Bytes& b, std::size_t at) { return b.at(at) | b.at(at + 1) << 8; }
inline std::uint32_t U32(const Bytes& b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

inline void PutU32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.at(at + static_cast<std::size_t>(i)) = static_cast<unsigned char>(v >> (8 * i));
}

// Byte offset of block k, of big-block table entry i (table in block
// tableBlock) and of directory entry i in directory block dirBlock.
inline std::size_t BlockOffset(std::uint32_t k) { return (static_cast<std::size_t>(k) + 1) * 512; }
inline std::uint32_t BatEntry(const Bytes& b, std::uint32_t i, std::uint32_t tableBlock = 0)
{
    return U32(b, BlockOffset(tableBlock) + 4 * static_cast<std::size_t>(i));
}
inline std::size_t EntryOffset(std::uint32_t dirBlock, std::uint32_t i) { return BlockOffset(dirBlock) + 128 * i; }

inline std::vector<char> Pattern(std::size_t n, unsigned seed)
{
    std::vector<char> v(n);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (char& c : v) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return v;
}

inline std::uint32_t Crc32(const std::vector<char>& data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

// olefile (strict about format defects) lists "path length crc32" per stream,
// sorted, or its error text; "" when olefile is not installed.
inline std::string OlefileListing(const std::string& path)
{
    if (std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") != 0)
        return "";
    const std::string script = TempPath("list.py"), out = TempPath("list.txt");
    std::ofstream(script) << "import sys, zlib, olefile\n"
                             "try:\n"
                             "    o = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)\n"
                             "    out = ['%s %d %d' % ('/'.join(p), len(d), zlib.crc32(d) & 0xffffffff)\n"
                             "           for p in o.listdir(streams=True, storages=False)\n"
                             "           for d in [o.openstream(p).read()]]\n"
                             "    print('\\n'.join(sorted(out)))\n"
                             "except Exception as e:\n"
                             "    print('ERROR', type(e).__name__, e)\n";
    const int rc = std::system(("/usr/bin/python3 '" + script + "' '" + path + "' > '" + out + "' 2>&1").c_str());
    std::stringstream text;
    text << std::ifstream(out).rdbuf();
    std::remove(script.c_str());
    std::remove(out.c_str());
    std::string s = (rc != 0 ? "ERROR exit " + std::to_string(rc) + ": " : "") + text.str();
    while (!s.empty() && s.back() == '\n')
        s.pop_back();
    return s;
}

// Our reader, through a fresh object, lists exactly these streams with their
// sizes and bytes; so does olefile where it is installed.
inline void ExpectStreams(const std::string& path, const Streams& streams, bool olefileToo = true)
{
    CompoundDoc::CompoundFile cf;
    ASSERT_TRUE(cf.Open(path.c_str(), std::ios_base::in));
    std::vector<std::wstring> paths;
    cf.StreamPaths(paths);
    EXPECT_EQ(paths.size(), streams.size());
    std::string listing;
    for (const auto& kv : streams) {
        std::string ours = "\\" + kv.first;
        for (char& c : ours)
            c = c == '/' ? '\\' : c;
        std::vector<char> back;
        ASSERT_EQ(cf.ReadFile(ours.c_str(), back), 1) << kv.first;
        EXPECT_TRUE(back == kv.second) << kv.first << " differs, " << back.size() << " bytes read";
        unsigned int size = 0;
        EXPECT_EQ(cf.FileSize(ours.c_str(), size), 1);
        EXPECT_EQ(size, kv.second.size());
        listing += (listing.empty() ? "" : "\n") + kv.first + " " + std::to_string(kv.second.size()) + " " +
                   std::to_string(Crc32(kv.second));
    }
    const std::string theirs = olefileToo ? OlefileListing(path) : "";
    if (!theirs.empty()) {
        EXPECT_EQ(theirs, listing);
    }
}

// A test with one scratch file, removed after it.
class FileTest : public ::testing::Test {
protected:
    void SetUp() override { path_ = TempPath("scratch.cfb"); }
    void TearDown() override { std::remove(path_.c_str()); }
    void ExpectStreams(const Streams& expected, bool olefileToo = true)
    {
        compoundtest::ExpectStreams(path_, expected, olefileToo);
    }
    std::string path_;
};

} // namespace compoundtest

#endif
