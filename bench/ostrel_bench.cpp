// Speed of the replacement engine on a long table document with one text
// rule on every page, beside a plain rewrite of the same file by qpdf,
// measured in the same run. The engine should stay within five times qpdf,
// and its memory within a few pages.
//
// GRIDMOLT_BENCH_PAGES sets the page count (default 500).

#include "programrun.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace
{
const int kRows = 40, kColumns = 6;

int pageCount() { return ProgramRun::pageCount(500); }

// The document, the rule file and the outputs.
std::string workFolder()
{
    static const ProgramRun::WorkFolder folder("ostrel-bench");
    return folder.path();
}

// Where the cell of `row` and `column` is drawn, as the page is shown.
double cellLeft(int column) { return 40 + column * 90; }
double cellBaseline(int row) { return 60 + row * 17.5; }

// A letter-size page per page: a ruled table of numbers in Helvetica 9, and
// the rule file naming one cell per page, as the replacement window writes it.
void writeDocument(const std::string &pdfPath, const std::string &rulesPath)
{
    const int pages = pageCount();
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    const auto object = [&](const std::string &body) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    std::string kids;
    for (int p = 0; p < pages; ++p)
        kids += std::to_string(4 + 2 * p) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Count " + std::to_string(pages) + " /Kids [" + kids + "] >>");
    object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    std::string rules;
    char buf[160];
    for (int p = 0; p < pages; ++p) {
        std::string content = "0.5 w\n";
        for (int r = 0; r < kRows; ++r) {
            std::snprintf(buf, sizeof buf, "36 %.2f m 576 %.2f l S\n", 792 - cellBaseline(r) - 5,
                          792 - cellBaseline(r) - 5);
            content += buf;
            for (int c = 0; c < kColumns; ++c) {
                std::snprintf(buf, sizeof buf, "BT /F1 9 Tf %.2f %.2f Td (%d.%02d) Tj ET\n", cellLeft(c),
                              792 - cellBaseline(r), (p * 7 + r * 31 + c * 17) % 10000, (r + c) % 100);
                content += buf;
            }
        }
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >>"
               " /Contents " + std::to_string(5 + 2 * p) + " 0 R >>");
        object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
        const int row = p % kRows, column = p % kColumns;
        std::snprintf(buf, sizeof buf, "%d-%d-%d-40-12:%d.%02d:Replaced %d\r\n", p + 1, int(cellLeft(column)),
                      int(cellBaseline(row)) - 9, (p * 7 + row * 31 + column * 17) % 10000, (row + column) % 100,
                      p + 1);
        rules += buf;
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const size_t offset : offsets) {
        std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", offset);
        pdf += buf;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + std::to_string(xref) + "\n%%EOF\n";
    std::ofstream(pdfPath, std::ios::binary) << pdf;
    std::ofstream(rulesPath, std::ios::binary) << rules;
}

const std::string &documentPath()
{
    static std::string path;
    if (path.empty()) {
        path = workFolder() + "/table.pdf";
        writeDocument(path, workFolder() + "/rules.txt");
    }
    return path;
}

void measure(benchmark::State &state, const std::vector<std::string> &command)
{
    long peak = 0;
    for (auto _ : state) {
        const long kb = ProgramRun::run(command);
        if (kb < 0) {
            state.SkipWithError((command.front() + " failed").c_str());
            return;
        }
        peak = std::max(peak, kb);
    }
    state.counters["pages_per_s"] = benchmark::Counter(double(state.iterations()) * pageCount(),
                                                       benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = double(peak) / 1024.0;
}

void BM_OstrelOneRulePerPage(benchmark::State &state)
{
    const std::string in = documentPath();
    const std::string program = ProgramRun::appProgram("Ostrel.dll");
    if (access(program.c_str(), X_OK) != 0) {
        state.SkipWithError("Ostrel.dll is not built");
        return;
    }
    measure(state, {program, in, "-tesome", workFolder() + "/ostrel-out.pdf", workFolder() + "/rules.txt"});
}
BENCHMARK(BM_OstrelOneRulePerPage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_QpdfRewriteSideBySide(benchmark::State &state)
{
    measure(state, {"qpdf", documentPath(), workFolder() + "/qpdf-out.pdf"});
}
BENCHMARK(BM_QpdfRewriteSideBySide)->Unit(benchmark::kMillisecond)->UseRealTime();
}
