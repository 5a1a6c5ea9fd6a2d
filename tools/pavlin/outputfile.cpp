#include "outputfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::string folderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string reasonFor(int error, const std::string &folder)
{
    if (error == ENOENT || error == ENOTDIR)
        return "the folder \"" + folder + "\" does not exist";
    return std::strerror(error);
}

// Files we make get the usual mode (0666 less the umask), not the owner-only
// mode of a temporary file.
mode_t usualMode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}
}

OutputFile::OutputFile(std::string target) : target_(std::move(target))
{
}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::create(std::string *error)
{
    const std::string folder = folderOf(target_);
    if (nameOf(target_).empty()) {
        *error = "the output path names a folder, not a file";
        return false;
    }
    // Hidden and named after the target, so a file left by a killed run is
    // recognisable.
    std::string pattern = folder + "/." + nameOf(target_) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        *error = reasonFor(errno, folder);
        return false;
    }
    temporary_ = name.data();
    stream_ = fdopen(fd, "wb");
    if (!stream_ || fchmod(fd, usualMode()) != 0) {
        *error = std::strerror(errno);
        if (!stream_)
            close(fd);
        discard();
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string *error)
{
    if (!stream_) {
        *error = "nothing was written";
        return false;
    }
    errno = 0;
    bool written = std::fflush(stream_) == 0 && !std::ferror(stream_) && fsync(fileno(stream_)) == 0;
    int reason = errno != 0 ? errno : EIO;
    if (std::fclose(stream_) != 0 && written) {
        written = false;
        reason = errno;
    }
    stream_ = nullptr;
    if (written && std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        written = false;
        reason = errno;
    }
    if (!written) {
        *error = reasonFor(reason, folderOf(target_));
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void OutputFile::discard()
{
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool OutputFile::removeStaleTarget(const std::string &keep, std::string *error) const
{
    struct stat target;
    if (lstat(target_.c_str(), &target) != 0 || S_ISDIR(target.st_mode))
        return true;
    struct stat kept;
    if (stat(keep.c_str(), &kept) == 0 && stat(target_.c_str(), &target) == 0 && kept.st_dev == target.st_dev
        && kept.st_ino == target.st_ino)
        return true;
    if (unlink(target_.c_str()) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}
