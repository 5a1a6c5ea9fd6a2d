#include "conversionrun.h"

#include "contentwork.h"
#include "converterinput.h"
#include "converterprocess.h"
#include "formnesting.h"
#include "imagepixels.h"
#include "invisibletextcheck.h"
#include "memorybudget.h"
#include "outputfiles.h"
#include "pageconverter.h"
#include "pagerefusal.h"

#include <PDFDoc.h>
#include <Stream.h>
#include <poppler-qt5.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <system_error>

namespace
{
// What a run says when `what` (the document or one of its pages) does not
// fit in its memory share.
QString memoryRefusal(const QString &pdf, const QString &what, const MemoryBudget &budget)
{
    return QStringLiteral("cannot convert \"%1\": %2 needs more memory than this run may use (%3 MB)")
        .arg(pdf, what).arg(budget.share() >> 20);
}

// How long stopped workers get to finish their page before the files are
// removed from under them.
const auto kStopGrace = std::chrono::seconds(2);
// Each worker holds a document of its own; beyond this many, more only wait
// for memory or processors.
const int kMaxWorkers = 16;

using DocumentPointer = std::unique_ptr<Poppler::Document>;

// The document page a worker is converting, 0 while it converts none: names
// the page when memory runs out.
thread_local int pageInWork = 0;

// The library sets up its colour profile for every drawing the first time
// one starts, in a variable all documents share: workers starting their
// first pages at once would set it together and free it twice. One blank
// page drawn here, before any worker runs, sets it up once.
void prepareSharedDrawingState()
{
    QByteArray pdf("%PDF-1.4\n");
    QVector<int> offsets;
    for (const char *object : {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1 1] >>"}) {
        offsets.push_back(pdf.size());
        pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + object + "\nendobj\n";
    }
    const int table = pdf.size();
    pdf += "xref\n0 4\n0000000000 65535 f \n";
    for (const int offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(table) + "\n%%EOF\n";
    const std::unique_ptr<Poppler::Document> doc(Poppler::Document::loadFromData(pdf));
    const std::unique_ptr<Poppler::Page> page(doc ? doc->page(0) : nullptr);
    if (page)
        page->renderToImage(72, 72);
}

// `repaired`, when not empty, holds the document rewritten from the file at `path`.
DocumentPointer openDocument(const QString &path, const QByteArray &repaired, QString *error)
{
    DocumentPointer doc(repaired.isEmpty() ? Poppler::Document::load(path) : Poppler::Document::loadFromData(repaired));
    if (!doc) {
        *error = QStringLiteral("cannot open \"%1\": the file is damaged or not a PDF document").arg(path);
        return nullptr;
    }
    if (doc->isLocked()) {
        *error = QStringLiteral("cannot open \"%1\": the document is password-protected").arg(path);
        return nullptr;
    }
    if (doc->numPages() < 1) {
        *error = QStringLiteral("cannot open \"%1\": the document has no pages").arg(path);
        return nullptr;
    }
    doc->setRenderHint(Poppler::Document::Antialiasing, true);
    doc->setRenderHint(Poppler::Document::TextAntialiasing, true);
    return doc;
}

using CorePointer = std::unique_ptr<PDFDoc>;

// The document drawn (the file at `path`, or `repaired` when not empty,
// which must outlive it) opened with the library's core, for a worker to
// read the pages that may draw text invisibly; null when it does not open
// as the same document of `pages` pages.
CorePointer openCore(const std::string &path, const std::string &repaired, int pages)
{
    CorePointer doc = repaired.empty()
        ? std::make_unique<PDFDoc>(std::make_unique<GooString>(path))
        : std::make_unique<PDFDoc>(new MemStream(repaired.data(), 0, Goffset(repaired.size()), Object(objNull)));
    return doc->isOk() && doc->getNumPages() == pages ? std::move(doc) : nullptr;
}

// One core document for each of `workers`, opened only when a page of
// `marked` may draw text invisibly; null entries otherwise.
std::vector<CorePointer> openCores(const std::vector<bool> &marked, const std::string &path, const std::string &repaired,
                                   int pages, size_t workers)
{
    std::vector<CorePointer> cores;
    const bool wanted = std::find(marked.begin(), marked.end(), true) != marked.end();
    for (size_t k = 0; k < workers; ++k)
        cores.push_back(wanted ? openCore(path, repaired, pages) : nullptr);
    return cores;
}

// Before any page is drawn, and within the limit: content inflating to more
// operators or text than a few seconds of drawing read, forms nested to
// draw millions of times, images declaring more pixels than a few seconds
// of drawing read, and pattern cells placed billions of times are refused,
// not followed. The document drawn (the file at `path`, or `repaired` when
// not empty) is read again: the reading that decided it is gone. Which
// pages may draw text invisibly is noted in `invisible` on the way.
std::string pageRefusal(const std::string &path, const std::string &repaired, int first, int last,
                        InvisibleTextCheck *invisible)
{
    std::vector<int> numbers;
    for (int number = first; number <= last; ++number)
        numbers.push_back(number);
    // The content's own work first: it is counted without being kept.
    ContentWork content;
    FormNesting nesting;
    ImagePixels pixels;
    if (repaired.empty())
        return firstRefusedPage(path, numbers, content, nesting, pixels, *invisible);
    return firstRefusedPageOf([&repaired](QPDF &pdf) { pdf.processMemoryFile("repaired", repaired.data(), repaired.size()); },
                              numbers, content, nesting, pixels, *invisible);
}

int workerLimit()
{
    bool ok = false;
    const int forced = qEnvironmentVariableIntValue("RENDRIX_THREADS", &ok);
    return qBound(1, ok && forced > 0 ? forced : QThread::idealThreadCount(), kMaxWorkers);
}
}

ConversionRun::ConversionRun(const QString &pdf, int firstIndex, int count, MemoryBudget *budget,
                             OutputFiles *files)
    : pdf_(pdf), firstIndex_(firstIndex), count_(count), budget_(budget), files_(files)
{
}

QString ConversionRun::convert(const ConversionRequest &request)
{
    const QString &pdf = request.pdfPath;
    const QFileInfo pdfInfo(pdf);
    if (!pdfInfo.isFile() || !pdfInfo.isReadable())
        return QStringLiteral("cannot open \"%1\": no such readable file").arg(pdf);
    if (!QFileInfo(request.folder).isDir())
        return QStringLiteral("output folder \"%1\" does not exist").arg(request.folder);

    // The budget goes first, and with it the action that uses the files.
    OutputFiles files(request.folder, request.base);
    MemoryBudget budget(MemoryBudget::shareOfThisMachine());
    budget.onExhaustion([&pdf, &budget, &files] {
        files.discard();
        const QString what = pageInWork ? QStringLiteral("page %1").arg(pageInWork) : QStringLiteral("it");
        ConverterProcess::report(memoryRefusal(pdf, what, budget));
    });
    // The limit goes first: reading the file with qpdf, its rewrite and the
    // checks below are the run's as much as the drawing is. Without the
    // limit (no process information) a normal run is the same; only a
    // hostile page could take more.
    budget.limitProcess(workerLimit());
    try {
        // Before the library opens it: a page tree too deep for the
        // library's recursion is refused, and what it would lose part of is
        // drawn as qpdf rewrites it (ConverterInput).
        const std::string path = QFile::encodeName(pdf).toStdString();
        ConverterInput input(path);
        std::string why;
        if (!input.prepare(&why))
            return QStringLiteral("cannot open \"%1\": %2").arg(pdf, QString::fromStdString(why));
        const std::string &repaired = input.rewrite();
        if (repaired.size() > size_t(std::numeric_limits<int>::max()))
            return QStringLiteral("cannot convert \"%1\": its rewrite is larger than this converter reads (2 GB)").arg(pdf);
        // Not copied here: the library copies what it loads.
        const QByteArray repairedBytes = QByteArray::fromRawData(repaired.data(), int(repaired.size()));
        QString error;
        std::vector<DocumentPointer> docs;
        docs.push_back(openDocument(pdf, repairedBytes, &error));
        if (!docs.front())
            return error;
        const int pages = docs.front()->numPages();
        int first = 1;
        int last = pages;
        if (request.firstPage != 0 || request.lastPage != 0) {
            first = request.firstPage;
            last = request.lastPage;
            if (first < 1 || last < first || last > pages)
                return QStringLiteral("cannot convert \"%1\": pages %2 to %3 are not a range of the document, "
                                      "which has %4 pages").arg(pdf).arg(first).arg(last).arg(pages);
        }
        const int count = last - first + 1;

        // One document per worker: the library's document objects are not
        // safe to use from several threads at once. They are opened (and
        // closed) here on one thread, as loading touches the library's
        // shared state.
        int workers = qBound(1, workerLimit(), count);
        // No more workers than the first page's image fits in the share:
        // more would only wait for memory, each holding a document.
        const std::unique_ptr<Poppler::Page> firstPage(docs.front()->page(first - 1));
        if (firstPage) {
            const QSizeF points = firstPage->pageSizeF();
            const auto side = [](double v) { return int(qBound(1.0, std::ceil(v), double(PageConverter::maxSide))); };
            const qint64 bytes = MemoryBudget::imageBytes(QSize(side(points.width()), side(points.height())));
            workers = int(qBound<qint64>(1, budget.imageShare() / bytes, workers));
        }
        std::vector<Poppler::Document *> workerDocs{docs.front().get()};
        while (int(docs.size()) < workers) {
            DocumentPointer doc = openDocument(pdf, repairedBytes, &error);
            if (!doc || doc->numPages() != pages)
                break;   // fewer workers; the output is the same
            workerDocs.push_back(doc.get());
            docs.push_back(std::move(doc));
        }

        InvisibleTextCheck invisible;
        const std::string refusal = pageRefusal(path, repaired, first, last, &invisible);
        if (!refusal.empty())
            return QStringLiteral("cannot convert \"%1\": %2").arg(pdf, QString::fromStdString(refusal));
        // Destroyed before the documents above: the core's shared state is
        // theirs.
        const std::vector<CorePointer> cores = openCores(invisible.pages(), path, repaired, pages, workerDocs.size());
        if (!files.checkTargets(count, pdf, &error) || !files.open(&error))
            return error;
        if (workerDocs.size() > 1)
            prepareSharedDrawingState();
        ConversionRun run(pdf, first - 1, count, &budget, &files);
        run.invisible_ = invisible.pages();
        std::vector<PDFDoc *> workerCores;
        for (const CorePointer &core : cores)
            workerCores.push_back(core.get());
        if (!run.start(workerDocs, workerCores)) {
            files.discard();
            return memoryRefusal(pdf, QStringLiteral("it"), budget);
        }
        run.wait();
        if (ConverterProcess::stopSignal()) {
            files.discard();
            ConverterProcess::endByStopSignal();
        }
        if (!run.error_.isEmpty()) {
            files.discard();
            return run.error_;
        }
        if (!files.commit(count, &error)) {
            files.discard();
            return error;
        }
        // Said of a run that succeeds only: a failure's one line is its reason.
        if (!input.fallback().empty())
            ConverterProcess::report(QStringLiteral("note: \"%1\" is drawn as read, not as qpdf rewrites it: %2")
                                         .arg(pdf, QString::fromStdString(input.fallback())));
        return QString();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("cannot convert \"%1\": it needs more memory than this run may use").arg(pdf);
    } catch (const std::exception &e) {
        return QStringLiteral("cannot convert \"%1\": unexpected failure (%2)").arg(pdf, QString::fromLocal8Bit(e.what()));
    }
}

bool ConversionRun::start(const std::vector<Poppler::Document *> &docs, const std::vector<PDFDoc *> &cores)
{
    // A thread the system cannot give (memory is tight) means one worker
    // less; every worker takes pages until none is left, so one does all.
    // No failure may leave this function once a worker runs: a thread left
    // unjoined would end the process without a word.
    std::lock_guard<std::mutex> guard(lock_);
    try {
        threads_.reserve(docs.size());
    } catch (const std::bad_alloc &) {
        return false;
    }
    for (size_t k = 0; k < docs.size(); ++k) {
        try {
            threads_.emplace_back(&ConversionRun::work, this, docs[k], cores[k]);
        } catch (const std::system_error &) {
            break;
        } catch (const std::bad_alloc &) {
            break;
        }
        ++running_;
    }
    return running_ > 0;
}

void ConversionRun::wait()
{
    std::unique_lock<std::mutex> guard(lock_);
    while (running_ > 0) {
        ended_.wait_for(guard, std::chrono::milliseconds(50));
        if (ConverterProcess::stopSignal()) {
            stop_.store(true);
            if (!ended_.wait_for(guard, kStopGrace, [this] { return running_ == 0; }))
                return;
        }
    }
    guard.unlock();
    for (std::thread &t : threads_)
        t.join();
    threads_.clear();
}

void ConversionRun::work(Poppler::Document *doc, PDFDoc *core)
{
    const PageConverter converter(doc, core, budget_, &stop_);
    try {
        PageContent content;
        QString message;
        for (;;) {
            const int index = next_.fetch_add(1);
            if (stop_.load() || index >= count_)
                break;
            pageInWork = firstIndex_ + index + 1;
            const bool invisible = size_t(index) < invisible_.size() && invisible_[size_t(index)];
            const bool converted = converter.convert(firstIndex_ + index, invisible, &content, &message);
            pageInWork = 0;
            if (!converted) {
                fail(QStringLiteral("cannot convert \"%1\": %2").arg(pdf_, message));
                break;
            }
            if (!files_->write(index + 1, "htm", content.textLayer, &message)
                || !files_->write(index + 1, "png", content.png, &message)) {
                fail(message);
                break;
            }
        }
    } catch (const std::bad_alloc &) {
        fail(QStringLiteral("cannot convert \"%1\": it needs more memory than this run may use").arg(pdf_));
    }
    std::lock_guard<std::mutex> guard(lock_);
    --running_;
    ended_.notify_all();
}

void ConversionRun::fail(const QString &message)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!stop_.exchange(true))
        error_ = message;
}
