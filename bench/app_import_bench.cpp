// The main window's part of an import: reading every page's text layer
// through the chain, parsing it into runs, and setting the window up (page
// list with thumbnails, first page). The converter is a stand-in that links
// prepared page files into place, so only the window's own work is timed.
//
// GRIDMOLT_BENCH_PAGES sets the page count (default 100; the import target
// is 2,000 pages of 3,000 words).

#include "excelmain.h"
#include "pagefiles.h"
#include "../tests/app/scripteddialogs.h"

#include "benchapplication.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

namespace
{
int pageCount()
{
    bool ok = false;
    const int pages = qEnvironmentVariableIntValue("GRIDMOLT_BENCH_PAGES", &ok);
    return ok && pages > 0 ? pages : 100;
}

// Page files of `pages` letter-size pages, 100 rows of 30 words each, made
// once per run; returns the folder, or an empty string on failure.
QString preparedPages(int pages, qint64 *textBytes)
{
    static QTemporaryDir dir;
    static int made = 0;
    static qint64 bytes = 0;
    if (made != pages) {
        QImage image(612, 792, QImage::Format_RGB32);
        image.fill(Qt::white);
        QByteArray png;
        {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
        }
        QByteArray htm;
        for (int r = 0; r < 100; ++r)
            for (int c = 0; c < 30; ++c)
                htm += QStringLiteral("<span style=\"left:%1;top:%2;width:18;height:7;\">%3</span>\n")
                           .arg(10 + c * 20).arg(20 + r * 7).arg(r * 30 + c).toUtf8();
        bytes = 0;
        for (int n = 1; n <= pages; ++n) {
            QFile p(PageFiles::imagePath(dir.path(), n));
            QFile t(PageFiles::textPath(dir.path(), n));
            if (!p.open(QIODevice::WriteOnly) || !t.open(QIODevice::WriteOnly))
                return QString();
            p.write(png);
            t.write(htm);
            bytes += htm.size();
        }
        made = pages;
    }
    *textBytes = bytes;
    return dir.path();
}

void BM_ImportIntoWindow(benchmark::State &state)
{
    ensureApplication<QApplication>();
    const int pages = pageCount();
    qint64 textBytes = 0;
    const QString source = preparedPages(pages, &textBytes);
    if (source.isEmpty()) {
        state.SkipWithError("could not write the page files");
        return;
    }
    // Hard links: the stand-in converter costs next to nothing.
    const QString converter = QDir::currentPath() + QStringLiteral("/rendrix");
    {
        QFile script(converter);
        if (!script.open(QIODevice::WriteOnly)) {
            state.SkipWithError("could not write the stand-in converter");
            return;
        }
        script.write(QStringLiteral("#!/bin/sh\ncp -l \"%1\"/text_pg_* \"$(dirname \"$3\")\"/\n")
                         .arg(source).toUtf8());
    }
    QFile::setPermissions(converter, QFile::permissions(converter) | QFileDevice::ExeOwner);
    const QString pdf = source + QStringLiteral("/doc.pdf");
    QFile(pdf).open(QIODevice::WriteOnly);

    ScriptedDialogs dialogs;
    dialogs.onExec = [](QDialog *d) {
        QEventLoop loop;
        QObject::connect(d, &QDialog::finished, &loop, &QEventLoop::quit);
        loop.exec();
        return d->result();
    };
    ExcelMain window;
    window.setDialogService(&dialogs);
    QPushButton *open = window.findChild<QPushButton *>(QStringLiteral("pushButton_openfile"));
    for (auto _ : state) {
        dialogs.fileAnswers.enqueue(pdf);
        open->click();
        if (window.pageCount != pages) {
            const QString why = dialogs.boxes.isEmpty() ? QStringLiteral("the import did not load every page")
                                                        : dialogs.boxes.last().text;
            static QByteArray message;
            message = why.toUtf8();
            state.SkipWithError(message.constData());
            return;
        }
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    state.counters["pages"] = pages;
    state.counters["pages_per_s"] =
        benchmark::Counter(double(pages) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["text_MB_per_s"] = benchmark::Counter(
        double(textBytes) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
    state.counters["peak_RSS_MB"] = double(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_ImportIntoWindow)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace
