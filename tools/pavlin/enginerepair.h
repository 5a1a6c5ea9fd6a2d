#ifndef GRIDMOLT_ENGINEREPAIR_H
#define GRIDMOLT_ENGINEREPAIR_H

#include <string>

// A document the page tool's library cannot open, as the replacement
// engine's library (MuPDF) reads it: that library rebuilds a broken table
// of objects its own way, and finds a catalog the trailer does not name.
// Written again whole, with the encryption it has, the page tool then
// reads those bytes.
class EngineRepair
{
public:
    // The document `bytes` rewritten into `out`; false when the library
    // cannot open it, it needs a password or holds no page. Running out of
    // memory throws std::bad_alloc.
    static bool rewrite(const std::string &bytes, std::string *out);
};

#endif
