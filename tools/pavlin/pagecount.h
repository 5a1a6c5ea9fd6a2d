#ifndef GRIDMOLT_PAGECOUNT_H
#define GRIDMOLT_PAGECOUNT_H

#include <string>

// The page count the replacement engine's library (MuPDF) gives a document.
// Each library repairs a damaged file its own way: one may find the page
// tree where another finds none, or another count. The page count the tool
// reports is held against this one, so the file list never shows a count
// the engine will not find. Opening costs a millisecond: the library reads
// the table of objects and the count at the root, no page.
class PageCount
{
public:
    // The pages the library counts in the document `bytes`; 0 when it
    // cannot open them or finds none.
    static long engine(const std::string &bytes);
};

#endif
