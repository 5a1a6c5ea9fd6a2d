#ifndef GRIDMOLT_PAGECOUNT_H
#define GRIDMOLT_PAGECOUNT_H

#include <string>

// The page count of a well-formed PDF, read the way viewers read it: from
// the count at the root of the page tree, without loading any page. That
// count is taken only when the file could hold it: at least as many pages as
// the root has children, and no more than the file has objects (every page
// is one), so a file of a few hundred bytes claiming two billion pages is no
// reason to believe it. On MuPDF, which opens a document in a few
// milliseconds where walking its pages takes tens of them.
class PageCount
{
public:
    // The count, or 0 when the file is damaged, locked, or its count is not
    // one to believe; the caller then reads the document fully (PdfPages)
    // and gives the reason.
    static long quick(const std::string &path);
};

#endif
