#include "inputfile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// An open descriptor of a regular file, or -1 with the reason.
int openRegular(const std::string &path, struct stat *info, std::string *error)
{
    *info = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
        *error = S_ISDIR(info->st_mode) ? "it is a folder, not a file"
                                        : "it is not a regular file (a device, pipe or socket)";
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string tooLarge(long long maxBytes)
{
    const long long mb = maxBytes >> 20;
    return "it is larger than " + (mb > 0 ? std::to_string(mb) + " MB" : std::to_string(maxBytes) + " bytes")
        + ", the most this program reads";
}
}

std::string InputFile::refusal(const std::string &path)
{
    struct stat info;
    std::string error;
    const int fd = openRegular(path, &info, &error);
    if (fd >= 0)
        ::close(fd);
    return error;
}

bool InputFile::read(const std::string &path, long long maxBytes, std::string *bytes, std::string *error)
{
    struct stat info;
    const int fd = openRegular(path, &info, error);
    if (fd < 0)
        return false;
    if (info.st_size > maxBytes) {
        ::close(fd);
        *error = tooLarge(maxBytes);
        return false;
    }
    bytes->clear();
    bytes->reserve(size_t(info.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = std::strerror(errno);
            break;
        }
        if (n == 0) {
            ::close(fd);
            return true;
        }
        if ((long long)(bytes->size()) + n > maxBytes) {   // it grew while we read
            *error = tooLarge(maxBytes);
            break;
        }
        bytes->append(chunk, size_t(n));
    }
    ::close(fd);
    bytes->clear();
    return false;
}
