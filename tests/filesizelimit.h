#ifndef GRIDMOLT_FILESIZELIMIT_H
#define GRIDMOLT_FILESIZELIMIT_H

// Stands in for a full disk: lowers this process's file size limit (which
// binds root too) with SIGXFSZ ignored, so a write past the limit fails with
// an error instead of ending the process. Restored by restore() or on
// destruction, so a failed assertion never leaves the limit behind.

#include <csignal>
#include <sys/resource.h>

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        saved_ = ::getrlimit(RLIMIT_FSIZE, &old_) == 0;
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        ok_ = saved_ && lower(bytes);
    }
    ~FileSizeLimit() { restore(); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    // Whether the limit is in force.
    bool ok() const { return ok_; }

    bool lower(rlim_t bytes)
    {
        struct rlimit limited = old_;
        limited.rlim_cur = bytes;
        return ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }

    void restore()
    {
        if (restored_)
            return;
        restored_ = true;
        if (saved_)
            ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    struct rlimit old_ {};
    void (*previous_)(int) = SIG_DFL;
    bool saved_ = false;
    bool ok_ = false;
    bool restored_ = false;
};

#endif
