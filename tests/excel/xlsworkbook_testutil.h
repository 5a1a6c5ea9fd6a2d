#ifndef GRIDMOLT_XLSWORKBOOK_TESTUTIL_H
#define GRIDMOLT_XLSWORKBOOK_TESTUTIL_H

// Helpers shared by the workbook file tests: a scratch folder removed at the
// end, whole files as bytes, a workbook stream in a file of its own and the
// output of outside programs.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

#include "compound/compoundfile.h"

namespace xlsTest {

class TempDir {
public:
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/xlswb.XXXXXX";
        path_ = mkdtemp(&pattern[0]) ? pattern : std::string();
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    std::size_t Entries() const
    {
        std::size_t n = 0;
        if (DIR* d = opendir(path_.c_str())) {
            while (dirent* e = readdir(d))
                n += e->d_name[0] != '.';
            closedir(d);
        }
        return n;
    }

private:
    std::string path_;
};

inline std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

inline bool WriteWorkbookStream(const std::string& path, const std::vector<char>& stream)
{
    CompoundDoc::CompoundFile doc;
    return doc.Create(path.c_str()) && doc.MakeFile("Workbook") == 1 &&
           doc.WriteFile("Workbook", stream.data(), static_cast<unsigned int>(stream.size())) == 1;
}

// What `command` prints; its exit status in `status` when asked for.
inline std::string Output(const std::string& command, int* status = nullptr)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return out;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        out.append(buffer, n);
    const int code = pclose(pipe);
    if (status)
        *status = code;
    return out;
}

} // namespace xlsTest

#endif
