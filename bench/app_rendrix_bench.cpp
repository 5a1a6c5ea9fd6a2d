// Speed of the converter on a document of dense tables, beside the PDF
// library's own command-line tools doing the same work (a 72 dpi PNG per page
// and the words with their boxes), measured in the same run.
//
// GRIDMOLT_BENCH_PAGES sets the page count (default 40; the import target is
// 2,000 pages of 3,000 words).

#include "benchapplication.h"
#include "programrun.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
int pageCount() { return ProgramRun::pageCount(40); }

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

// A document of `pages` pages with 100 rows of 30 numbers each and ruled
// rows, made once per run.
QString densePdf()
{
    static QString path;
    if (!path.isEmpty())
        return path;
    ensureApplication<QGuiApplication>();
    path = workDir().filePath(QStringLiteral("dense.pdf"));
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QSizeF(612, 792), QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(6);
    painter.setFont(font);
    const int pages = pageCount();
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            writer.newPage();
        for (int r = 0; r < 100; ++r) {
            for (int c = 0; c < 30; ++c)
                painter.drawText(QPointF(10 + c * 20, 12 + r * 7.7),
                                 QString::number((p * 7 + r * 31 + c * 17) % 1000));
            painter.drawLine(QPointF(8, 13 + r * 7.7), QPointF(604, 13 + r * 7.7));
        }
    }
    painter.end();
    return path;
}

QString toolProgram(const char *name)
{
    return QString::fromStdString(ProgramRun::appProgram(name));
}

// Runs a program to its end; returns its peak resident memory in KB, or -1
// when it could not run or failed. No thread count: the converter uses every core.
long runProgram(const QString &program, const QStringList &args, const QString &threads = QString())
{
    std::vector<std::string> argv{QFile::encodeName(program).toStdString()};
    for (const QString &a : args)
        argv.push_back(QFile::encodeName(a).toStdString());
    return ProgramRun::run(argv, {"RENDRIX_THREADS=" + threads.toStdString()});
}

void reportCounters(benchmark::State &state, long peakKb)
{
    state.counters["pages_per_s"] = benchmark::Counter(double(state.iterations()) * pageCount(),
                                                       benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = double(peakKb) / 1024.0;
}

void convertWithRendrix(benchmark::State &state, const QString &threads)
{
    const QString pdf = densePdf();
    const QString program = toolProgram("rendrix");
    if (!QFileInfo(program).isExecutable()) {
        state.SkipWithError("rendrix is not built");
        return;
    }
    long peak = 0;
    for (auto _ : state) {
        QTemporaryDir out;
        const long kb = runProgram(program, {QStringLiteral("-htmlformat"), pdf,
                                             out.filePath(QStringLiteral("text.xml"))}, threads);
        if (kb < 0) {
            state.SkipWithError("rendrix failed");
            return;
        }
        peak = std::max(peak, kb);
    }
    reportCounters(state, peak);
}

void BM_RendrixAllCores(benchmark::State &state)
{
    convertWithRendrix(state, QString());
}
BENCHMARK(BM_RendrixAllCores)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RendrixOneThread(benchmark::State &state)
{
    convertWithRendrix(state, QStringLiteral("1"));
}
BENCHMARK(BM_RendrixOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

// One page from the middle of the document, as the rule editor asks for it.
// Its time is about one page's (BM_RendrixOneThread's over the page count),
// not the document's; pages_per_s still counts every page of the document.
void BM_DorcetOnePage(benchmark::State &state)
{
    const QString pdf = densePdf();
    const QString program = toolProgram("Dorcet.dll");
    if (!QFileInfo(program).isExecutable()) {
        state.SkipWithError("Dorcet.dll is not built");
        return;
    }
    const QString page = QString::number(pageCount() / 2 + 1);
    long peak = 0;
    for (auto _ : state) {
        QTemporaryDir out;
        const long kb = runProgram(program, {pdf, QStringLiteral("-ht"), out.filePath(QStringLiteral("text.png")),
                                             QStringLiteral("-f"), page, QStringLiteral("-l"), page});
        if (kb < 0) {
            state.SkipWithError("Dorcet.dll failed");
            return;
        }
        peak = std::max(peak, kb);
    }
    reportCounters(state, peak);
}
BENCHMARK(BM_DorcetOnePage)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same work by the library's own page renderer and word extractor.
void BM_LibraryToolsSideBySide(benchmark::State &state)
{
    const QString pdf = densePdf();
    const QString toPng = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    const QString toText = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (toPng.isEmpty() || toText.isEmpty()) {
        state.SkipWithError("the library's command-line tools are not installed");
        return;
    }
    long peak = 0;
    for (auto _ : state) {
        QTemporaryDir out;
        const long png = runProgram(toPng, {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"),
                                            pdf, out.filePath(QStringLiteral("pg"))});
        const long text = runProgram(toText, {QStringLiteral("-bbox"), pdf,
                                              out.filePath(QStringLiteral("words.html"))});
        if (png < 0 || text < 0) {
            state.SkipWithError("tool failed");
            return;
        }
        peak = std::max({peak, png, text});
    }
    reportCounters(state, peak);
}
BENCHMARK(BM_LibraryToolsSideBySide)->Unit(benchmark::kMillisecond)->UseRealTime();
}
