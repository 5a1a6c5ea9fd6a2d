// rendrix: turns every page of a PDF into a page image (72 dpi, one pixel per
// point) and a text layer of positioned words, for the table extractor.
//
//   rendrix -htmlformat <file.pdf> <folder>/text.xml
//
// writes <folder>/text_pg_0001.png, text_pg_0001.htm, ... for every page.

#include "pageconverter.h"

#include <poppler-qt5.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
void fail(const QString &message)
{
    std::fprintf(stderr, "rendrix: %s\n", message.toLocal8Bit().constData());
}

// Opens the document for one worker; nullptr with a message when it cannot.
std::unique_ptr<Poppler::Document> openDocument(const QString &path, QString *error)
{
    std::unique_ptr<Poppler::Document> doc(Poppler::Document::load(path));
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

// The library's own diagnostics (syntax warnings, "Incorrect password")
// would bury our one clear message; the outcome is reported by us.
void ignoreLibraryMessage(const QString &, const QVariant &)
{
}

int workerCount(int pages)
{
    int n = QThread::idealThreadCount();
    // Lets a test show that the output does not depend on the thread count.
    bool ok = false;
    const int forced = qEnvironmentVariableIntValue("RENDRIX_THREADS", &ok);
    if (ok && forced > 0)
        n = forced;
    return qBound(1, n, pages);
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4 || args.at(1) != QLatin1String("-htmlformat")) {
        fail(QStringLiteral("usage: rendrix -htmlformat <file.pdf> <output folder>/text.xml"));
        return 2;
    }
    const QString pdfPath = args.at(2);
    const QString outputDir = QFileInfo(args.at(3)).absolutePath();

    const QFileInfo pdfInfo(pdfPath);
    if (!pdfInfo.isFile() || !pdfInfo.isReadable()) {
        fail(QStringLiteral("cannot open \"%1\": no such readable file").arg(pdfPath));
        return 1;
    }
    if (!QFileInfo(outputDir).isDir()) {
        fail(QStringLiteral("output folder \"%1\" does not exist").arg(outputDir));
        return 1;
    }

    Poppler::setDebugErrorFunction(ignoreLibraryMessage, QVariant());

    QString error;
    std::vector<std::unique_ptr<Poppler::Document>> docs;
    docs.push_back(openDocument(pdfPath, &error));
    if (!docs.front()) {
        fail(error);
        return 1;
    }
    const int pages = docs.front()->numPages();

    // One document per worker: the library's document objects are not safe
    // to use from several threads at once. They are opened (and closed) here
    // on the main thread, as loading touches the library's shared state.
    const int workers = workerCount(pages);
    for (int w = 1; w < workers; ++w) {
        std::unique_ptr<Poppler::Document> doc = openDocument(pdfPath, &error);
        if (!doc || doc->numPages() != pages)
            break;   // fewer workers; the output is the same
        docs.push_back(std::move(doc));
    }

    std::atomic<int> nextPage(0);
    std::atomic<bool> stopped(false);
    std::mutex errorLock;
    QString writeError;
    const auto work = [&](Poppler::Document *doc) {
        const PageConverter converter(doc, outputDir);
        for (;;) {
            if (stopped.load())
                return;
            const int page = nextPage.fetch_add(1);
            if (page >= pages)
                return;
            QString message;
            if (!converter.convert(page, &message)) {
                stopped.store(true);
                std::lock_guard<std::mutex> guard(errorLock);
                if (writeError.isEmpty())
                    writeError = message;
            }
        }
    };
    std::vector<std::thread> threads;
    for (size_t w = 1; w < docs.size(); ++w)
        threads.emplace_back(work, docs[w].get());
    work(docs.front().get());
    for (std::thread &t : threads)
        t.join();
    docs.clear();

    if (!writeError.isEmpty()) {
        fail(writeError);
        return 1;
    }
    return 0;
}
