#include "outputpath.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The input that `target` is, through links; empty when none.
std::string inputAt(const struct stat &target, const std::vector<std::string> &inputs)
{
    for (const std::string &input : inputs) {
        struct stat in;
        if (::stat(input.c_str(), &in) == 0 && sameFile(in, target))
            return input;
    }
    return std::string();
}
}

std::string OutputPath::refusal(const std::string &output, const std::vector<std::string> &inputs)
{
    if (output.empty())
        return "the output path is empty";
    struct stat target;
    // Followed through links: a link to the input leads the user's data into
    // the rename just as the input's own name would.
    if (::stat(output.c_str(), &target) != 0)
        return std::string();   // nothing there yet (or a dangling link, which the rename replaces)
    if (S_ISDIR(target.st_mode))
        return "it is a folder, not a file";
    if (!S_ISREG(target.st_mode))
        return "it is not a regular file (a device, pipe or socket stands there)";
    const std::string input = inputAt(target, inputs);
    if (!input.empty())
        return "it is the input file \"" + input + "\" (the output must not replace what the run reads)";
    return std::string();
}

bool OutputPath::removeStale(const std::string &output, const std::vector<std::string> &inputs, std::string *error)
{
    struct stat target;
    if (::lstat(output.c_str(), &target) != 0 || !(S_ISREG(target.st_mode) || S_ISLNK(target.st_mode)))
        return true;
    if (::stat(output.c_str(), &target) == 0 && (!S_ISREG(target.st_mode) || !inputAt(target, inputs).empty()))
        return true;
    if (::unlink(output.c_str()) != 0 && errno != ENOENT) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

std::string OutputPath::folderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
