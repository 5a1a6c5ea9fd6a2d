// Speed of the page text-layer reader on large pages (the import reads one
// text layer per page, so this bounds the parse time of a document).
#include "textlayer.h"

#include <benchmark/benchmark.h>

namespace
{
// A page of `words` runs as the converter writes them, dense table text.
QByteArray makePage(int words)
{
    QByteArray page;
    page.reserve(words * 72);
    for (int i = 0; i < words; ++i) {
        const int row = i / 12;
        const int col = i % 12;
        page += "<span style=\"left:" + QByteArray::number(20 + col * 48) + ";top:"
            + QByteArray::number(30 + row * 3) + ";width:" + QByteArray::number(20 + i % 23)
            + ";height:9;\">" + (i % 5 ? QByteArray("1,234.") + QByteArray::number(i % 100)
                                       : QByteArray("Caf\xc3\xa9 &amp; total")) + "</span>\n";
    }
    return page;
}

void BM_ParseDensePage(benchmark::State &state)
{
    const QByteArray page = makePage(int(state.range(0)));
    for (auto _ : state) {
        Alltext runs = TextLayer::parsePage(page);
        benchmark::DoNotOptimize(runs);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * page.size());
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ParseDensePage)->Arg(3000)->Arg(300000);

// One very long line: the key and "</span>" searches stay linear.
void BM_ParseLongLine(benchmark::State &state)
{
    QByteArray line(int(state.range(0)), 'x');
    line += "left:5;</span>\n";
    for (auto _ : state) {
        Alltext runs = TextLayer::parsePage(line);
        benchmark::DoNotOptimize(runs);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * line.size());
}
BENCHMARK(BM_ParseLongLine)->Arg(1 << 20)->Arg(1 << 24);
}
