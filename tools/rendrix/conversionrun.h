#ifndef CONVERSIONRUN_H
#define CONVERSIONRUN_H

#include <QString>

// What to convert: pages `firstPage` to `lastPage` (1-based, both included;
// both 0 for the whole document) of a PDF, into the page files
// "BASE_pg_0001.png" and ".htm", ... in a folder, numbered from 1 whatever
// the first page is.
struct ConversionRequest
{
    QString pdfPath;
    QString folder;
    QString base;
    int firstPage = 0;
    int lastPage = 0;
};

// One conversion: pages in parallel, one document per worker, page images
// within the memory share (MemoryBudget), all page files or none. The
// workers are RENDRIX_THREADS when set, else one per processor, at most one
// per page.
class ConversionRun
{
public:
    // Empty on success, else the one-line reason, which names the file.
    // Returns only when every worker has ended, except on a termination
    // signal: then it removes what the run wrote and ends the process.
    static QString convert(const ConversionRequest &request);
};

#endif
