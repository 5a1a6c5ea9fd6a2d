// Saving and loading text workbooks: cells per second, peak memory, and the
// same cells written by Python's xlwt for comparison (our save should be at
// least 20 times faster). Saving must stay linear in the number of cells, up
// to a full 65,536 x 256 sheet.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "formatmanager.h"
#include "xlsworkbook.h"

namespace {

const int kColumns = 16;

std::string TempPath(const std::string& name)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/" + name + "." + std::to_string(::getpid());
}

double PeakRssMegabytes()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// 20-character texts: all distinct, or 90 percent drawn from 100 repeats.
// The xlwt script below builds exactly the same texts.
std::wstring Text(long i, bool repeats)
{
    char buffer[32];
    if (!repeats || i % 10 == 0)
        std::snprintf(buffer, sizeof(buffer), "cell-%015ld", i);
    else
        std::snprintf(buffer, sizeof(buffer), "repeat-%013ld", i % 100);
    return std::wstring(buffer, buffer + 20);
}

std::vector<std::wstring> Texts(long count, bool repeats)
{
    std::vector<std::wstring> texts;
    texts.reserve(static_cast<size_t>(count));
    for (long i = 0; i < count; ++i)
        texts.push_back(Text(i, repeats));
    return texts;
}

// What the main window does for one save: build the workbook, fill it, save.
// The workbook is handed back so that its teardown can be timed apart (the
// xlwt timing below does not include freeing its objects either).
std::unique_ptr<Biff::XlsWorkbook> SaveTexts(const std::vector<std::wstring>& texts, int columns,
                                             const std::string& path, bool& saved)
{
    std::unique_ptr<Biff::XlsWorkbook> book(new Biff::XlsWorkbook);
    book->New(1);
    Biff::XlsWorksheet* sheet = book->GetWorksheet(0);
    XlsFormat::FormatManager formats(*book);
    formats.get_font_idx(XlsFormat::CellFont(L"Arial", 200, 700));
    for (size_t i = 0; i < texts.size(); ++i)
        sheet->Cell(static_cast<int>(i / columns), static_cast<int>(i % columns))->SetWString(texts[i].c_str());
    saved = book->SaveAs(path.c_str());
    return book;
}

bool SaveTexts(const std::vector<std::wstring>& texts, int columns, const std::string& path)
{
    bool saved = false;
    SaveTexts(texts, columns, path, saved);
    return saved;
}

const char* kXlwtScript = R"(
import sys, time
try:
    import xlwt
except ImportError:
    sys.exit(77)
n, mode, out, cols = int(sys.argv[1]), sys.argv[2], sys.argv[3], int(sys.argv[4])
def text(i):
    if mode == "distinct" or i % 10 == 0:
        return "cell-%015d" % i
    return "repeat-%013d" % (i % 100)
texts = [text(i) for i in range(n)]
start = time.perf_counter()
book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("Sheet1")
for i, s in enumerate(texts):
    sheet.write(i // cols, i % cols, s)
book.save(out)
print(time.perf_counter() - start)
)";

// Seconds xlwt needs for the same cells, measured once per size and kind.
std::map<std::pair<long, bool>, double>& XlwtSeconds()
{
    static std::map<std::pair<long, bool>, double> seconds;
    return seconds;
}

double RunXlwt(long count, bool repeats)
{
    auto& known = XlwtSeconds();
    auto found = known.find({count, repeats});
    if (found != known.end())
        return found->second;
    const std::string script = TempPath("xlwt_bench.py");
    const std::string out = TempPath("xlwt_bench.xls");
    std::ofstream(script) << kXlwtScript;
    const std::string command = "/usr/bin/python3 '" + script + "' " + std::to_string(count) + " " +
                                (repeats ? "repeats" : "distinct") + " '" + out + "' " + std::to_string(kColumns);
    double seconds = 0;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        if (std::fscanf(pipe, "%lf", &seconds) != 1)
            seconds = 0;
        pclose(pipe);
    }
    std::remove(script.c_str());
    std::remove(out.c_str());
    known[{count, repeats}] = seconds;
    return seconds;
}

void BM_XlwtSave(benchmark::State& state)
{
    const long count = state.range(0);
    const bool repeats = state.range(1) != 0;
    double seconds = 0;
    for (auto _ : state) {
        XlwtSeconds().erase({count, repeats});
        seconds = RunXlwt(count, repeats);
        if (seconds <= 0) {
            state.SkipWithError("python3-xlwt is not available");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["cells_per_s"] = static_cast<double>(count) / seconds;
}

void BM_SaveTexts(benchmark::State& state)
{
    const long count = state.range(0);
    const bool repeats = state.range(1) != 0;
    const std::vector<std::wstring> texts = Texts(count, repeats);
    const std::string path = TempPath("save_bench.xls");
    double seconds = 0;
    double teardown = 0;
    long runs = 0;
    for (auto _ : state) {
        bool saved = false;
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<Biff::XlsWorkbook> book = SaveTexts(texts, kColumns, path, saved);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        book.reset();
        const std::chrono::duration<double> freed = std::chrono::steady_clock::now() - start - took;
        if (!saved) {
            state.SkipWithError("save failed");
            break;
        }
        state.SetIterationTime(took.count());
        seconds += took.count();
        teardown += freed.count();
        ++runs;
    }
    std::remove(path.c_str());
    if (runs == 0)
        return;
    const double ours = seconds / static_cast<double>(runs);
    state.counters["cells_per_s"] = static_cast<double>(count) / ours;
    state.counters["teardown_ms"] = 1000.0 * teardown / static_cast<double>(runs);
    state.counters["peak_rss_MB"] = PeakRssMegabytes();
    const double xlwt = RunXlwt(count, repeats);
    if (xlwt > 0)
        state.counters["times_faster_than_xlwt"] = xlwt / ours;
}

void BM_LoadTexts(benchmark::State& state)
{
    const long count = state.range(0);
    const bool repeats = state.range(1) != 0;
    const std::string path = TempPath("load_bench.xls");
    if (!SaveTexts(Texts(count, repeats), kColumns, path)) {
        state.SkipWithError("save failed");
        return;
    }
    for (auto _ : state) {
        Biff::XlsWorkbook book;
        if (!book.Load(path.c_str())) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(book.GetWorksheet(0)->GetTotalRows());
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
    state.counters["peak_rss_MB"] = PeakRssMegabytes();
}

// The tallest sheet the format allows, 4 columns of short texts.
void BM_SaveTallSheet(benchmark::State& state)
{
    const int rows = 65536;
    const int columns = 4;
    std::vector<std::wstring> texts;
    texts.reserve(static_cast<size_t>(rows) * columns);
    for (long i = 0; i < static_cast<long>(rows) * columns; ++i)
        texts.push_back(L"r" + std::to_wstring(i / columns) + L"c" + std::to_wstring(i % columns));
    const std::string path = TempPath("tall_bench.xls");
    for (auto _ : state) {
        if (!SaveTexts(texts, columns, path)) {
            state.SkipWithError("save failed");
            break;
        }
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * rows * columns);
    state.counters["peak_rss_MB"] = PeakRssMegabytes();
}

// Every cell of a sheet: 65,536 x 256 short texts (16.7 million cells).
void BM_SaveFullSheet(benchmark::State& state)
{
    const std::string path = TempPath("full_bench.xls");
    for (auto _ : state) {
        Biff::XlsWorkbook book;
        book.New(1);
        Biff::XlsWorksheet* sheet = book.GetWorksheet(0);
        wchar_t text[8];
        for (int r = 0; r < 65536; ++r)
            for (int c = 0; c < 256; ++c) {
                std::swprintf(text, 8, L"%x", (r * 7 + c) & 0xFFFF);
                sheet->Cell(r, c)->SetWString(text);
            }
        if (!book.SaveAs(path.c_str())) {
            state.SkipWithError("save failed");
            break;
        }
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 65536 * 256);
    state.counters["peak_rss_MB"] = PeakRssMegabytes();
}

} // namespace

BENCHMARK(BM_XlwtSave)
    ->Args({100000, 0})->Args({100000, 1})->Args({1000000, 0})->Args({1000000, 1})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTexts)
    ->Args({100000, 0})->Args({100000, 1})->Args({1000000, 0})->Args({1000000, 1})
    ->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTexts)
    ->Args({100000, 0})->Args({100000, 1})->Args({1000000, 0})->Args({1000000, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTallSheet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveFullSheet)->Iterations(1)->Unit(benchmark::kMillisecond);
