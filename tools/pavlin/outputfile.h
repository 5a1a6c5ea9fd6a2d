#ifndef GRIDMOLT_OUTPUTFILE_H
#define GRIDMOLT_OUTPUTFILE_H

#include <cstdio>
#include <string>

// A file that appears at its path only when it is complete. The caller that
// starts us judges the run by the file alone, so a half-written or stale file
// must never stand there: we write a temporary file in the target's folder
// (same file system, so the rename is atomic) and rename it over the target
// on commit. Until then, and whenever anything fails, the temporary file is
// removed again.
class OutputFile
{
public:
    explicit OutputFile(std::string target);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Makes the temporary file; false with the reason when the target's
    // folder is missing or not writable.
    bool create(std::string *error);

    const std::string &target() const { return target_; }

    // Where to write between create() and commit().
    FILE *stream() const { return stream_; }

    // Flushes the data to disk and puts the file at the target path; false
    // with the reason when any of it failed, and then no file is left.
    bool commit(std::string *error);

    // Removes a file left at the target by an earlier run, so a failed run
    // is never judged by it; a target that is the file `keep` (the input of
    // this run) is kept. False with the reason when it cannot be removed.
    bool removeStaleTarget(const std::string &keep, std::string *error) const;

private:
    void discard();

    std::string target_;
    std::string temporary_;
    FILE *stream_ = nullptr;
};

#endif
