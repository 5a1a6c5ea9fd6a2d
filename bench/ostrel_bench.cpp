// Speed of the replacement engine on a long table document with one text
// rule on every page, beside a plain rewrite of the same file by qpdf,
// measured in the same run: the engine should stay within three times qpdf,
// and its memory within a few pages. And on one page of 100,000 glyphs with
// 10,000 rules, one per word: within a second, as finding a rule's words
// goes through an index of the page's glyphs.
//
// GRIDMOLT_BENCH_PAGES sets the page count (default 500).

#include "fontcache.h"
#include "glyphremover.h"
#include "mupdfguard.h"
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

// A PDF of pages `width` x `height` drawing `contents` in Helvetica (/F1).
void writePdf(const std::string &path, const std::vector<std::string> &contents, int width, int height)
{
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    const auto object = [&](const std::string &body) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    std::string kids;
    for (size_t p = 0; p < contents.size(); ++p)
        kids += std::to_string(4 + 2 * p) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Count " + std::to_string(contents.size()) + " /Kids [" + kids + "] >>");
    object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    for (size_t p = 0; p < contents.size(); ++p) {
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(width) + ' ' + std::to_string(height)
               + "] /Resources << /Font << /F1 3 0 R >> >> /Contents " + std::to_string(5 + 2 * p) + " 0 R >>");
        object("<< /Length " + std::to_string(contents[p].size()) + " >>\nstream\n" + contents[p] + "\nendstream");
    }
    char buf[64];
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const size_t offset : offsets) {
        std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", offset);
        pdf += buf;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + std::to_string(xref) + "\n%%EOF\n";
    std::ofstream(path, std::ios::binary) << pdf;
}

// A letter-size page per page: a ruled table of numbers in Helvetica 9, and
// the rule file naming one cell per page, as the replacement window writes it.
void writeDocument(const std::string &pdfPath, const std::string &rulesPath)
{
    const int pages = pageCount();
    std::vector<std::string> contents;
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
        contents.push_back(content);
        const int row = p % kRows, column = p % kColumns;
        std::snprintf(buf, sizeof buf, "%d-%d-%d-40-12:%d.%02d:Replaced %d\r\n", p + 1, int(cellLeft(column)),
                      int(cellBaseline(row)) - 9, (p * 7 + row * 31 + column * 17) % 10000, (row + column) % 100,
                      p + 1);
        rules += buf;
    }
    writePdf(pdfPath, contents, 612, 792);
    std::ofstream(rulesPath, std::ios::binary) << rules;
}

// One page of 100 lines of 100 words of 10 glyphs each (Helvetica 4, in a
// text object per line), and a rule file naming every word by its box.
const int kDenseLines = 100, kDenseWords = 100;
const int kDenseWidth = 2500, kDenseHeight = 520;

void writeDenseDocument(const std::string &pdfPath, const std::string &rulesPath)
{
    std::string content, rules;
    char buf[160];
    for (int line = 0; line < kDenseLines; ++line) {
        const double baseline = 10 + line * 5;
        std::snprintf(buf, sizeof buf, "BT /F1 4 Tf 10 %.1f Td", kDenseHeight - baseline);
        content += buf;
        for (int w = 0; w < kDenseWords; ++w) {
            const int n = line * kDenseWords + w;
            std::snprintf(buf, sizeof buf, " (w%05dabc) Tj 24 0 Td", n);
            content += buf;
            std::snprintf(buf, sizeof buf, "1-%d-%d-22-4:w%05dabc:x%d\r\n", 10 + w * 24, int(baseline) - 3, n, n);
            rules += buf;
        }
        content += " ET\n";
    }
    writePdf(pdfPath, {content}, kDenseWidth, kDenseHeight);
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

void BM_OstrelTenThousandRulesOnOnePage(benchmark::State &state)
{
    const std::string program = ProgramRun::appProgram("Ostrel.dll");
    if (access(program.c_str(), X_OK) != 0) {
        state.SkipWithError("Ostrel.dll is not built");
        return;
    }
    const std::string in = workFolder() + "/dense.pdf", rules = workFolder() + "/dense-rules.txt";
    writeDenseDocument(in, rules);
    // Exit code 0 only when every rule found its word.
    for (auto _ : state) {
        if (ProgramRun::run({program, in, "-tesome", workFolder() + "/dense-out.pdf", rules}) < 0) {
            state.SkipWithError("Ostrel.dll failed or skipped rules");
            return;
        }
    }
    state.counters["rules_per_s"] = benchmark::Counter(double(state.iterations()) * kDenseLines * kDenseWords,
                                                       benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OstrelTenThousandRulesOnOnePage)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same page and rules in the engine's own process, without drawing the
// replacements: reading the page's glyphs, finding every rule's word and
// rewriting the operators that show them.
void BM_FindAndRemoveTenThousandWords(benchmark::State &state)
{
    const std::string in = workFolder() + "/dense-inproc.pdf", rules = workFolder() + "/dense-inproc.txt";
    writeDenseDocument(in, rules);
    std::vector<GlyphRemover::Request> requests;
    for (int n = 0; n < kDenseLines * kDenseWords; ++n) {
        const float left = float(10 + (n % kDenseWords) * 24), top = float(10 + (n / kDenseWords) * 5 - 3);
        char word[16];
        std::snprintf(word, sizeof word, "w%05dabc", n);
        requests.push_back({fz_make_rect(left, top, left + 22, top + 4), {word}, false, {}});
    }
    fz_context *ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
    for (auto _ : state) {
        pdf_document *doc = nullptr;
        pdf_page *page = nullptr;
        fz_matrix toShown = fz_identity;
        size_t found = 0;
        try {
            guarded(ctx, [&] {
                doc = pdf_open_document(ctx, in.c_str());
                page = pdf_load_page(ctx, doc, 0);
                fz_rect box;
                pdf_page_transform(ctx, page, &box, &toShown);
            });
            FontCache fonts(ctx, doc);
            for (const GlyphRemover::Removed &r : GlyphRemover::remove(ctx, doc, page, toShown, &fonts, requests))
                found += r.found == 0;
        } catch (const std::exception &e) {
            state.SkipWithError(e.what());
        }
        fz_drop_page(ctx, page ? &page->super : nullptr);
        pdf_drop_document(ctx, doc);
        if (found != requests.size()) {
            state.SkipWithError("not every word was found");
            break;
        }
    }
    fz_drop_context(ctx);
    state.counters["rules_per_s"] = benchmark::Counter(double(state.iterations()) * double(requests.size()),
                                                       benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FindAndRemoveTenThousandWords)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_QpdfRewriteSideBySide(benchmark::State &state)
{
    measure(state, {"qpdf", documentPath(), workFolder() + "/qpdf-out.pdf"});
}
BENCHMARK(BM_QpdfRewriteSideBySide)->Unit(benchmark::kMillisecond)->UseRealTime();
}
