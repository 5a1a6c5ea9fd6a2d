// Writing and reading the shared string table: cost per string must stay flat
// from 10,000 to 1,000,000 strings (the writer places every byte once).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "biff/workbook.h"

namespace {

typedef Biff::Workbook::SharedStringTable SST;

// Cell-like texts: mostly short, some 16-bit, now and then a long one that
// crosses a piece boundary.
SST makeTable(int count)
{
    SST t;
    t.strings.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (i % 997 == 0) {
            t.strings[i] = std::wstring(3000 + i % 5000, static_cast<wchar_t>(0x0400 + i % 200)).c_str();
        } else if (i % 3 == 0) {
            std::wstring w = L"Zelle \u00FC" + std::to_wstring(i);
            t.strings[i] = w.c_str();
        } else {
            std::string s = "cell text " + std::to_string(i);
            t.strings[i] = s.c_str();
        }
    }
    t.totalStrings = static_cast<unsigned int>(count);
    return t;
}

void BM_SstWrite(benchmark::State& state)
{
    SST t = makeTable(static_cast<int>(state.range(0)));
    std::vector<char> out(t.RecordSize());
    for (auto _ : state) {
        const unsigned int n = t.Write(out.data());
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// Reading into a fresh table each time, as a load does. Freeing the table
// afterwards is timed apart (BM_SstTeardown): it is no part of reading.
void BM_SstRead(benchmark::State& state)
{
    SST t = makeTable(static_cast<int>(state.range(0)));
    std::vector<char> stream(t.RecordSize());
    stream.resize(t.Write(stream.data()));
    for (auto _ : state) {
        std::unique_ptr<SST> back(new SST);
        const unsigned int n = back->Read(stream.data(), static_cast<unsigned int>(stream.size()));
        benchmark::DoNotOptimize(n);
        state.PauseTiming();
        back.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_SstTeardown(benchmark::State& state)
{
    SST t = makeTable(static_cast<int>(state.range(0)));
    std::vector<char> stream(t.RecordSize());
    stream.resize(t.Write(stream.data()));
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<SST> back(new SST);
        back->Read(stream.data(), static_cast<unsigned int>(stream.size()));
        state.ResumeTiming();
        back.reset();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// The same into one table read again and again: the reader's own cost
// without the kernel's first touch of ~100 MB of fresh memory per read.
void BM_SstReadReused(benchmark::State& state)
{
    SST t = makeTable(static_cast<int>(state.range(0)));
    std::vector<char> stream(t.RecordSize());
    stream.resize(t.Write(stream.data()));
    SST back;
    for (auto _ : state) {
        const unsigned int n = back.Read(stream.data(), static_cast<unsigned int>(stream.size()));
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(BM_SstWrite)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SstRead)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SstTeardown)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SstReadReused)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
