#ifndef OSTREL_APPLIEDRULE_H
#define OSTREL_APPLIEDRULE_H

#include "glyphremover.h"

#include <mupdf/fitz.h>

#include <cstdint>
#include <string>

// A rule that was applied, to be checked again in the written file.
struct AppliedRule
{
    int64_t page;
    fz_rect box;
    std::string find;
    int line;
    std::string what;          // the rule as its skipped line names it
    std::string replace;       // the text that must be read back; empty for a picture
    GlyphRemover::Removed at;  // where the replacement was drawn
};

#endif
