#ifndef GRIDMOLT_TEMPORARYOUTPUT_H
#define GRIDMOLT_TEMPORARYOUTPUT_H

#include <string>

// A file that appears at its target path only when it is complete. The
// caller that starts us judges the run by the file alone, so a half-written
// or stale file must never stand there: the data goes into a temporary file
// in the target's folder (same file system, so the rename is atomic) that is
// renamed over the target on commit. Until then, and whenever anything
// fails or the program is stopped by a signal (StopCleanup), the temporary
// file is removed again.
//
// The temporary name is ".gm", the process id in decimal, "." and six
// random characters ("/out/.gm12345.aB3xY9"): short, so that it fits
// wherever the target's name fits, and telling whose it is, so that whoever
// killed the process can remove what it left. One at a time per process.
class TemporaryOutput
{
public:
    explicit TemporaryOutput(std::string target);
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput &) = delete;
    TemporaryOutput &operator=(const TemporaryOutput &) = delete;

    // ".gm<pid>.", what every temporary name of process `pid` starts with.
    static std::string namePrefix(long pid);

    // Makes the temporary file; false with the reason when the target's
    // folder is missing or not writable.
    bool create(std::string *error);

    const std::string &target() const { return target_; }
    const std::string &path() const { return temporary_; }

    // Writes all of `data`; false when it could not, the reason kept for commit().
    bool write(const void *data, size_t size);
    // The bytes write() has put into the file.
    long long written() const { return written_; }
    // Why a write() failed; empty while none has.
    std::string writeFailure() const;

    // Puts the complete file at the target path; false with the reason
    // ("File too large" past a file size limit) when any write or this
    // failed, and then no file is left.
    bool commit(std::string *error);

    // Removes the temporary file; the target is left as it was.
    void discard();

private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    int writeError_ = 0;
    long long written_ = 0;
};

#endif
