#include "temporaryoutput.h"

#include "outputpath.h"
#include "stopcleanup.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
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
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}
}

TemporaryOutput::TemporaryOutput(std::string target) : target_(std::move(target))
{
}

TemporaryOutput::~TemporaryOutput()
{
    discard();
}

std::string TemporaryOutput::namePrefix(long pid)
{
    return ".gm" + std::to_string(pid) + ".";
}

bool TemporaryOutput::create(std::string *error)
{
    discard();
    const std::string folder = OutputPath::folderOf(target_);
    if (target_.empty() || target_.back() == '/') {
        *error = "the output path names a folder, not a file";
        return false;
    }
    const std::string pattern = (target_.find('/') == std::string::npos ? std::string() : folder + "/")
        + namePrefix(long(::getpid())) + "XXXXXX";
    int fd = -1;
    int reason = 0;
    {
        const StopCleanup::Hold hold;
        char *name = StopCleanup::buffer(pattern.size() + 1);
        std::memcpy(name, pattern.c_str(), pattern.size() + 1);
        fd = ::mkstemp(name);
        if (fd >= 0) {
            StopCleanup::arm();
            temporary_ = name;
        } else {
            reason = errno;
        }
    }
    if (fd < 0) {
        *error = reasonFor(reason, folder);
        return false;
    }
    fd_ = fd;
    if (::fchmod(fd_, usualMode()) != 0) {
        *error = std::strerror(errno);
        return false;   // the file goes with discard() or this object
    }
    writeError_ = 0;
    written_ = 0;
    return true;
}

bool TemporaryOutput::write(const void *data, size_t size)
{
    const char *bytes = static_cast<const char *>(data);
    while (size > 0 && writeError_ == 0) {
        const ssize_t n = ::write(fd_, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            writeError_ = n < 0 ? errno : EIO;
            break;
        }
        bytes += n;
        size -= size_t(n);
        written_ += n;
    }
    return writeError_ == 0;
}

std::string TemporaryOutput::writeFailure() const
{
    return writeError_ ? std::strerror(writeError_) : std::string();
}

bool TemporaryOutput::commit(std::string *error)
{
    if (fd_ < 0) {
        *error = "nothing was written";
        return false;
    }
    int reason = writeError_;
    if (reason == 0 && ::fsync(fd_) != 0)
        reason = errno;
    if (::close(fd_) != 0 && reason == 0)
        reason = errno;
    fd_ = -1;
    if (reason == 0) {
        const StopCleanup::Hold hold;
        if (std::rename(temporary_.c_str(), target_.c_str()) == 0) {
            StopCleanup::disarm();
            temporary_.clear();
        } else {
            reason = errno;
        }
    }
    if (reason != 0) {
        *error = reasonFor(reason, OutputPath::folderOf(target_));
        discard();
        return false;
    }
    return true;
}

void TemporaryOutput::discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) {
        const StopCleanup::Hold hold;
        ::unlink(temporary_.c_str());
        StopCleanup::disarm();
        temporary_.clear();
    }
}
