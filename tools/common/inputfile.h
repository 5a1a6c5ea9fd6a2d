#ifndef GRIDMOLT_INPUTFILE_H
#define GRIDMOLT_INPUTFILE_H

#include <string>

// A file a program reads: the document, a rule file, a picture. Only a
// regular file qualifies: a folder or a device would fail deep inside a
// library with its own words, /dev/zero never ends, and a FIFO blocks the
// reader until somebody writes. Files are opened without blocking, checked,
// and read no further than a limit.
class InputFile
{
public:
    // Why `path` is no input; empty when it is a regular file we may read.
    static std::string refusal(const std::string &path);

    // All bytes of the regular file `path` when there are at most `maxBytes`
    // of them; false with the reason otherwise.
    static bool read(const std::string &path, long long maxBytes, std::string *bytes, std::string *error);
};

#endif
