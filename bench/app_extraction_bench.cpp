// Extraction speed: one large page while a line is dragged (must stay well
// under a frame), and "Apply to All" over a 2,000-page document.
#include "tableextraction.h"
#include "tablefile.h"

#include <benchmark/benchmark.h>

#include <QRandomGenerator>

namespace {

struct Grid
{
    Alltext page;
    QRectF rect;
    QVector<QRectF> lines;
};

// A table of rows x columns cells, one or two words per cell, every word of
// a column starting at the same left edge (as converters write aligned
// columns), heights varying a little, runs in text-layer order.
Grid makeGrid(int rows, int columns, quint32 seed)
{
    QRandomGenerator rng(seed);
    Grid g;
    const int cellWidth = 60;
    const int rowHeight = 14;
    g.rect = QRectF(40, 40, columns * cellWidth + 10, rows * rowHeight + 10);
    for (int c = 1; c < columns; ++c)
        g.lines.append(QRectF(45 + c * cellWidth, 40, 0, g.rect.height()));
    int made = 0;
    const int wanted = rows * columns;
    for (int r = 0; r < rows && made < wanted; ++r) {
        const int top = 45 + r * rowHeight;
        for (int c = 0; c < columns && made < wanted; ++c) {
            Subtext s;
            s.x = 50 + c * cellWidth;
            s.y = top + int(rng.bounded(2));
            s.width = 20 + int(rng.bounded(20));
            s.height = 9 + int(rng.bounded(2));
            s.text = QStringLiteral("r%1c%2").arg(r).arg(c);
            g.page.subtext.append(s);
            ++made;
        }
    }
    // Some text outside the table: a title and a footer.
    for (int i = 0; i < 20; ++i) {
        Subtext s;
        s.x = 50 + 30 * i;
        s.y = i < 10 ? 5 : int(g.rect.bottom()) + 30;
        s.width = 25;
        s.height = 10;
        s.text = QStringLiteral("outside");
        g.page.subtext.append(s);
    }
    g.page.count = g.page.subtext.size();
    return g;
}

void BM_ExtractOnePage(benchmark::State &state)
{
    // 125 rows of 40 columns: 5,000 runs.
    const Grid g = makeGrid(125, 40, 1);
    for (auto _ : state) {
        auto r = TableExtraction::extract(g.page, g.rect, g.lines);
        benchmark::DoNotOptimize(r.text.data());
    }
    state.SetItemsProcessed(state.iterations() * g.page.subtext.size());
    state.counters["runs/s"] = benchmark::Counter(double(state.iterations()) * g.page.subtext.size(),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ExtractOnePage)->Unit(benchmark::kMillisecond);

void BM_ApplyToAll(benchmark::State &state)
{
    // 2,000 pages of 3,000 runs (100 rows of 30 columns); distinct pages
    // shared implicitly, as identical imports would be.
    const int pages = 2000;
    QVector<Grid> distinct;
    for (int i = 0; i < 8; ++i)
        distinct.append(makeGrid(100, 30, quint32(100 + i)));
    QVector<Alltext> pageRuns;
    for (int p = 0; p < pages; ++p)
        pageRuns.append(distinct.at(p % distinct.size()).page);
    const TableExtraction::Geometry geometry =
        TableExtraction::toPageUnits(distinct.at(0).rect, distinct.at(0).lines, 1.0f);

    QVector<QString> pageTexts(pages);
    QVector<TableFile::PageRows> pageCells(pages);
    for (auto _ : state) {
        for (int p = 0; p < pages; ++p) {
            TableExtraction::Result r = TableExtraction::extract(pageRuns.at(p), geometry);
            pageTexts[p] = std::move(r.text);
            pageCells[p] = std::move(r.rows);
        }
        benchmark::ClobberMemory();
    }
    state.counters["pages/s"] = benchmark::Counter(double(state.iterations()) * pages,
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ApplyToAll)->Unit(benchmark::kMillisecond);

void BM_ExchangeOrderManyTies(benchmark::State &state)
{
    QRandomGenerator rng(3);
    std::vector<int> keys(size_t(state.range(0)));
    for (int &k : keys)
        k = 50 + 60 * int(rng.bounded(40));
    for (auto _ : state)
        benchmark::DoNotOptimize(TableExtraction::exchangeOrder(keys).data());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ExchangeOrderManyTies)->Arg(1000)->Arg(5000)->Arg(50000);

void BM_WriteTableFile(benchmark::State &state)
{
    const Grid g = makeGrid(100, 30, 9);
    const auto r = TableExtraction::extract(g.page, g.rect, g.lines);
    const QVector<TableFile::PageRows> pages(2000, r.rows);
    for (auto _ : state)
        benchmark::DoNotOptimize(TableFile::encode(pages).data());
    state.counters["pages/s"] = benchmark::Counter(double(state.iterations()) * pages.size(),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WriteTableFile)->Unit(benchmark::kMillisecond);

} // namespace
