// Writing and reading one stream of 1, 16, 64 and 256 MB in a new compound
// document, next to a single fwrite / fread of the same bytes. The rate
// (bytes_per_second) must stay flat across the sizes and within a factor of
// two of the plain file calls.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "compound/compoundfile.h"

namespace {

std::string BenchPath(const char* tag)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/compound_bench_" + std::to_string(::getpid()) + tag;
}

const std::vector<char>& Data(std::size_t megabytes)
{
    static std::vector<char> data;
    const std::size_t size = megabytes << 20;
    if (data.size() < size) {
        data.resize(size);
        unsigned int x = 12345;
        for (std::size_t i = 0; i < size; ++i) {
            x = x * 1103515245u + 12345u;
            data[i] = static_cast<char>(x >> 16);
        }
    }
    return data;
}

void WriteDocument(const std::string& path, const std::vector<char>& data, unsigned int size, benchmark::State& state)
{
    CompoundDoc::CompoundFile cf;
    if (!cf.Create(path.c_str()) || cf.MakeFile("Workbook") != 1 || cf.WriteFile("Workbook", data.data(), size) != 1)
        state.SkipWithError("writing the document failed");
}

void BM_CompoundWriteStream(benchmark::State& state)
{
    const std::size_t mb = static_cast<std::size_t>(state.range(0));
    const std::vector<char>& data = Data(mb);
    const unsigned int size = static_cast<unsigned int>(mb << 20);
    const std::string path = BenchPath(".xls");
    for (auto _ : state)
        WriteDocument(path, data, size, state);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
    std::remove(path.c_str());
}

void BM_PlainFwrite(benchmark::State& state)
{
    const std::size_t mb = static_cast<std::size_t>(state.range(0));
    const std::vector<char>& data = Data(mb);
    const std::size_t size = mb << 20;
    const std::string path = BenchPath(".bin");
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(data.data(), 1, size, f) != size || std::fclose(f) != 0)
            state.SkipWithError("fwrite failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
    std::remove(path.c_str());
}

void BM_CompoundReadStream(benchmark::State& state)
{
    const std::size_t mb = static_cast<std::size_t>(state.range(0));
    const std::vector<char>& data = Data(mb);
    const unsigned int size = static_cast<unsigned int>(mb << 20);
    const std::string path = BenchPath(".xls");
    WriteDocument(path, data, size, state);
    std::vector<char> back;
    for (auto _ : state) {
        CompoundDoc::CompoundFile cf;
        if (!cf.Open(path.c_str(), std::ios_base::in) || cf.ReadFile("Workbook", back) != 1 || back.size() != size)
            state.SkipWithError("reading the document failed");
        benchmark::DoNotOptimize(back.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
    std::remove(path.c_str());
}

void BM_PlainFread(benchmark::State& state)
{
    const std::size_t mb = static_cast<std::size_t>(state.range(0));
    const std::vector<char>& data = Data(mb);
    const std::size_t size = mb << 20;
    const std::string path = BenchPath(".bin");
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(data.data(), 1, size, f) != size || std::fclose(f) != 0)
            state.SkipWithError("fwrite failed");
    }
    std::vector<char> back(size);
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f || std::fread(back.data(), 1, size, f) != size || std::fclose(f) != 0)
            state.SkipWithError("fread failed");
        benchmark::DoNotOptimize(back.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
    std::remove(path.c_str());
}

// Rewriting a big stream a little shorter cuts blocks out of the middle of
// the file; one pass over the file, not one per block.
void BM_CompoundShrinkStream(benchmark::State& state)
{
    const std::size_t mb = static_cast<std::size_t>(state.range(0));
    const std::vector<char>& data = Data(mb);
    const unsigned int size = static_cast<unsigned int>(mb << 20);
    const std::string path = BenchPath(".xls");
    for (auto _ : state) {
        state.PauseTiming();
        CompoundDoc::CompoundFile cf;
        if (!cf.Create(path.c_str()) || cf.MakeFile("A") != 1 || cf.MakeFile("B") != 1
            || cf.WriteFile("A", data.data(), size) != 1 || cf.WriteFile("B", data.data(), 100000) != 1)
            state.SkipWithError("writing the document failed");
        state.ResumeTiming();
        if (cf.WriteFile("A", data.data(), size / 2) != 1)
            state.SkipWithError("shrinking failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
    std::remove(path.c_str());
}

} // namespace

BENCHMARK(BM_CompoundWriteStream)->Arg(1)->Arg(16)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainFwrite)->Arg(1)->Arg(16)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompoundReadStream)->Arg(1)->Arg(16)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainFread)->Arg(1)->Arg(16)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompoundShrinkStream)->Arg(1)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
