// Speed and peak memory of the PDF tool on a long document: the page count
// (the file list asks for it for every file added), beside pdfinfo's on the
// same document in the same run, and taking one page out.
//
// GRIDMOLT_BENCH_PAGES sets the page count (default 5,000).

#include "programrun.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
int pageCount() { return ProgramRun::pageCount(5000); }

// The document and the outputs.
std::string workDir()
{
    static const ProgramRun::WorkFolder dir("pavlin_bench");
    return dir.path();
}

// A document of `pageCount()` pages, each with its own content stream, as
// made by a simple writer (one flat page tree, a cross-reference table).
// Empty when it could not be written.
std::string longPdf()
{
    static std::string path;
    if (!path.empty() || workDir().empty())
        return path;
    const int pages = pageCount();
    const int font = 3 + 2 * pages;
    std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>"};
    std::string kids;
    for (int p = 0; p < pages; ++p)
        kids += std::to_string(3 + 2 * p) + " 0 R ";
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    for (int p = 0; p < pages; ++p) {
        const std::string content = "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(p + 1) + ") Tj ET";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents "
                          + std::to_string(4 + 2 * p) + " 0 R /Resources << /Font << /F1 " + std::to_string(font)
                          + " 0 R >> >> >>");
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
    }
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");

    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    char entry[32];
    for (size_t offset : offsets) {
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + std::to_string(xref) + "\n%%EOF\n";

    const std::string target = workDir() + "/long.pdf";
    FILE *file = std::fopen(target.c_str(), "wb");
    if (!file)
        return path;
    const bool written = std::fwrite(pdf.data(), 1, pdf.size(), file) == pdf.size();
    if (std::fclose(file) == 0 && written)
        path = target;
    return path;
}

void runPavlin(benchmark::State &state, const std::vector<std::string> &options, const std::string &output)
{
    const std::string pdf = longPdf();
    const std::string tool = ProgramRun::appProgram("Pavlin.dll");
    if (pdf.empty()) {
        state.SkipWithError("the test document could not be written");
        return;
    }
    if (access(tool.c_str(), X_OK) != 0) {
        state.SkipWithError("Pavlin.dll is not built");
        return;
    }
    std::vector<std::string> args{tool, pdf};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("-outfile");
    args.push_back(workDir() + "/" + output);
    long peak = 0;
    for (auto _ : state) {
        const long kb = ProgramRun::run(args);
        if (kb < 0) {
            state.SkipWithError("Pavlin.dll failed");
            return;
        }
        peak = std::max(peak, kb);
    }
    state.counters["pages"] = pageCount();
    state.counters["peak_MB"] = double(peak) / 1024.0;
}

void BM_PageCount(benchmark::State &state)
{
    runPavlin(state, {"-getinfo"}, "fileinfo.txt");
}
BENCHMARK(BM_PageCount)->Unit(benchmark::kMillisecond)->UseRealTime();

// The tool's page count timed against pdfinfo's, run by turns on the same
// document: "x_pdfinfo" is the tool's time over pdfinfo's (the aim: 2 at most).
void BM_PageCountAgainstPdfinfo(benchmark::State &state)
{
    const std::string pdf = longPdf();
    const std::vector<std::string> tool{ProgramRun::appProgram("Pavlin.dll"), pdf, "-getinfo", "-outfile",
                                        workDir() + "/fileinfo.txt"};
    const std::vector<std::string> pdfinfo{"pdfinfo", pdf};
    if (pdf.empty() || access(tool[0].c_str(), X_OK) != 0 || ProgramRun::run(pdfinfo) < 0) {
        state.SkipWithError("the document, Pavlin.dll or pdfinfo is missing");
        return;
    }
    using Clock = std::chrono::steady_clock;
    std::chrono::duration<double> ours{0}, theirs{0};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const bool counted = ProgramRun::run(tool) >= 0;
        const Clock::time_point middle = Clock::now();
        ProgramRun::run(pdfinfo);
        theirs += Clock::now() - middle;
        ours += middle - start;
        if (!counted) {
            state.SkipWithError("Pavlin.dll failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(middle - start).count());
    }
    state.counters["pages"] = pageCount();
    state.counters["x_pdfinfo"] = ours.count() / theirs.count();
}
BENCHMARK(BM_PageCountAgainstPdfinfo)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_OneMiddlePage(benchmark::State &state)
{
    runPavlin(state, {"-merge", std::to_string(pageCount() / 2)}, "one.pdf");
}
BENCHMARK(BM_OneMiddlePage)->Unit(benchmark::kMillisecond)->UseRealTime();
}
