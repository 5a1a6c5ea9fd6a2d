#ifndef CONVERSIONRUN_H
#define CONVERSIONRUN_H

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class MemoryBudget;
class OutputFiles;
class PDFDoc;

namespace Poppler
{
class Document;
}

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
// per page and 16 in all. Pages whose own content (ContentWork), whose forms
// (FormNesting) or whose images with the forms and patterns drawing them
// (ImagePixels) take more work to draw than a page's budget are refused
// before any page is drawn.
class ConversionRun
{
public:
    // Empty on success, else the one-line reason, which names the file.
    // Returns only when every worker has ended, except on a termination
    // signal: then it removes what the run wrote and ends the process.
    static QString convert(const ConversionRequest &request);

private:
    ConversionRun(const QString &pdf, int firstIndex, int count, MemoryBudget *budget, OutputFiles *files);

    // Starts one worker per document, as many as the system gives, each
    // taking the next page until none is left or one fails; false for none.
    // `cores` holds, for each, the same document opened with the library's
    // core, or null.
    bool start(const std::vector<Poppler::Document *> &docs, const std::vector<PDFDoc *> &cores);
    // Waits for the workers. On a termination signal, stops them and gives
    // them a moment to end; returns with those still busy left running.
    void wait();
    void work(Poppler::Document *doc, PDFDoc *core);
    void fail(const QString &message);

    const QString pdf_;
    const int firstIndex_;   // of the first page to convert, 0-based
    const int count_;
    MemoryBudget *budget_;
    OutputFiles *files_;
    std::vector<bool> invisible_;   // for each page to convert, whether it may draw text invisibly
    std::atomic<int> next_{0};
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::condition_variable ended_;
    int running_ = 0;
    QString error_;   // the first failure's reason
    std::vector<std::thread> threads_;
};

#endif
