#ifndef GRIDMOLT_OUTPUTPATH_H
#define GRIDMOLT_OUTPUTPATH_H

#include <string>
#include <vector>

// Where a program may put its output. Our programs replace the file at the
// output path by renaming a finished file over it; that must never reach a
// file the run reads (the same file under another name counts: a symbolic
// or hard link), nor replace a folder, a FIFO or a device somebody else
// uses. Checked before the program touches anything.
class OutputPath
{
public:
    // Why `output` cannot take this run's result, phrased for the user;
    // empty when it can (it does not exist yet, or is a regular file that is
    // none of `inputs`).
    static std::string refusal(const std::string &output, const std::vector<std::string> &inputs);

    // Removes the regular file an earlier run left at `output` so a failed
    // run is not judged by it; keeps it when it is one of `inputs`. False
    // with the reason when it could not be removed.
    static bool removeStale(const std::string &output, const std::vector<std::string> &inputs, std::string *error);

    // The folder a file of `path` lies in, as a path ("." for a bare name).
    static std::string folderOf(const std::string &path);
};

#endif
