// What Ostrel.dll writes beside the words its rules name: every other
// object as the input holds it, every number it does not change in the
// input's digits, every pixel outside a rule's box as it was, a skipped
// rule's page byte for byte, and pages readers draw blank as they stand.
// Read back with readers we did not write: pdftoppm for the pixels, qpdf
// for the objects, pdftotext for the words, pdfinfo for the pages.

#include "../pdfobjects.h"
#include "commandrun.h"
#include "testfonts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{
// Ostrel.dll's exit code on a text rule file.
int ostrel(const std::string &in, const std::string &out, const std::string &rules)
{
    const Output r = run({"sh", "-c", "\"$0\" \"$1\" -tesome \"$2\" \"$3\" 2>/dev/null; echo $?",
                          GRIDMOLT_APP_DIR "/Ostrel.dll", in, out, rules});
    return r.out.empty() ? -1 : std::atoi(r.out.c_str());
}

struct Box
{
    double x0, y0, x1, y1;
};

// The box of `word` on page 1 as pdftotext reads it, points from the top left.
bool wordBox(const std::string &pdf, const std::string &word, Box *box)
{
    static const std::regex words(
        R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">(.*)</word>)re");
    const std::string xml = run({"pdftotext", "-f", "1", "-l", "1", "-bbox", pdf, "-"}).out;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), words); it != std::sregex_iterator(); ++it) {
        if ((*it)[5] == word) {
            *box = {std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4])};
            return true;
        }
    }
    return false;
}

// A rule naming `find` at its box on page 1, as the rule editor writes it.
std::string rule(const Box &b, const std::string &find, const std::string &replace)
{
    return "1-" + std::to_string(std::lround(b.x0)) + '-' + std::to_string(std::lround(b.y0)) + '-'
        + std::to_string(std::lround(b.x1 - b.x0)) + '-' + std::to_string(std::lround(b.y1 - b.y0)) + ':' + find + ':'
        + replace + "\r\n";
}

struct Raster
{
    int width = 0, height = 0;
    std::string pixels;
};

// Page `page` in grey at `dpi`, as pdftoppm draws it.
Raster raster(const std::string &pdf, int dpi, const std::string &root, int page = 1)
{
    Raster r;
    const std::string number = std::to_string(page);
    run({"pdftoppm", "-r", std::to_string(dpi), "-gray", "-f", number, "-l", number, "-singlefile", pdf, root});
    std::istringstream in(readFile(root + ".pgm"));
    std::string magic;
    int maxValue = 0;
    in >> magic >> r.width >> r.height >> maxValue;
    in.get();
    if (magic != "P5" || maxValue != 255)
        return Raster();
    r.pixels.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
}

// Pixels of `b` that differ from `a` by more than a shade, outside `box`
// (points, grown by two for the drawing's edges); -1 when the sizes differ.
long changedOutside(const Raster &a, const Raster &b, const Box &box, int dpi)
{
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size() || a.pixels.empty())
        return -1;
    const double scale = dpi / 72.0;
    long changed = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const double px = (x + 0.5) / scale, py = (y + 0.5) / scale;
            if (px > box.x0 - 2 && px < box.x1 + 2 && py > box.y0 - 2 && py < box.y1 + 2)
                continue;
            const size_t i = size_t(y) * size_t(a.width) + size_t(x);
            changed += std::abs(int((unsigned char)a.pixels[i]) - int((unsigned char)b.pixels[i])) > 8;
        }
    }
    return changed;
}

// The raw data of page 1's content streams, joined, as qpdf reads them.
std::string pageContent(const std::string &pdf)
{
    const std::string pages = run({"qpdf", "--show-pages", pdf}).out;
    static const std::regex stream(R"(\n\s+(\d+) 0 R)");
    std::string joined;
    for (auto it = std::sregex_iterator(pages.begin(), pages.end(), stream); it != std::sregex_iterator(); ++it)
        joined += run({"qpdf", "--show-object=" + (*it)[1].str(), "--raw-stream-data", pdf}).out + "|";
    return joined;
}

const double kA4Width = 595.275591, kA4Height = 841.889764;
const int kScanWidth = 300, kScanHeight = 420;

// A page of A4 as scanners write it (numbers of six decimals), a grey scan
// over all of it, and text over the scan: Helvetica with widths of six
// decimals ("Unit Price 18.50") and a Type3 square whose font matrix has
// eleven ("a").
std::string scannedPage()
{
    std::string scan;
    for (int y = 0; y < kScanHeight; ++y)
        for (int x = 0; x < kScanWidth; ++x)
            scan += char(200 + (x * 7 + y * 13) % 50 - ((x / 10 + y / 10) % 2) * 60);
    std::string widths;
    for (int c = 32; c <= 126; ++c)
        widths += "556.123457 ";
    const std::string content = "q 595.275591 0 0 841.889764 0 0 cm /Im1 Do Q\n"
                                "BT /F1 14 Tf 72 700 Td (Unit Price 18.50) Tj ET\n"
                                "BT /F2 20 Tf 300 400 Td (a) Tj ET\n";
    const std::string square = "612.792969 0 0 0 600 600 d1 0 0 600 600 re f";
    return pdfFromObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595.275591 841.889764] /Resources << /XObject << /Im1 4 0 R >>"
        " /Font << /F1 5 0 R /F2 6 0 R >> >> /Contents 7 0 R >>",
        "<< /Type /XObject /Subtype /Image /Width " + std::to_string(kScanWidth) + " /Height "
            + std::to_string(kScanHeight) + " /ColorSpace /DeviceGray /BitsPerComponent 8 /Length "
            + std::to_string(scan.size()) + " >>\nstream\n" + scan + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 32 /LastChar 126 /Widths [" + widths + "] >>",
        "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 600 600] /FontMatrix [.00100000005 0 0 .00100000005 0 0]"
        " /CharProcs << /a 8 0 R >> /Encoding << /Type /Encoding /Differences [97 /a] >> /FirstChar 97 /LastChar 97"
        " /Widths [612.792969] /Resources << >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
        "<< /Length " + std::to_string(square.size()) + " >>\nstream\n" + square + "\nendstream",
    });
}

// A page whose only words are `words` at 72 300 in Helvetica 24, the
// page's dictionary carrying `extra` too; with `stamped`, a stamp shows
// the first word again where the content shows it.
std::string wordsPage(const std::string &words, const std::string &extra, bool stamped = false)
{
    const std::string content = "BT /F1 24 Tf 72 300 Td (" + words + ") Tj ET";
    const std::string stamp = "BT /F1 24 Tf 72 300 Td (" + words.substr(0, words.find(' ')) + ") Tj ET";
    return pdfFromObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] " + extra
            + " /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R" + (stamped ? " /Annots [6 0 R]" : "") + " >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Annot /Subtype /Stamp /Rect [60 280 200 340] /F 4 /AP << /N 7 0 R >> >>",
        "<< /Type /XObject /Subtype /Form /BBox [60 280 200 340] /Resources << /Font << /F1 4 0 R >> >> /Length "
            + std::to_string(stamp.size()) + " >>\nstream\n" + stamp + "\nendstream",
    });
}

// A page and its font in an object stream, with a cross-reference stream;
// the page box has six decimals.
std::string packedPage()
{
    const std::vector<std::pair<int, std::string>> packed = {
        {1, "<< /Type /Catalog /Pages 2 0 R >>"},
        {2, "<< /Type /Pages /Count 1 /Kids [4 0 R] >>"},
        {3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"},
        {4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612.123456 792] /Resources << /Font << /F1 3 0 R >> >>"
            " /Contents 5 0 R >>"}};
    std::string list, body;
    for (const auto &o : packed) {
        list += std::to_string(o.first) + ' ' + std::to_string(body.size()) + ' ';
        body += o.second + '\n';
    }
    const auto stream = [](const std::string &dict, const std::string &data) {
        return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
    };
    const std::string words = "BT /F1 24 Tf 72 700 Td (Page 1) Tj ET";
    std::string pdf = "%PDF-1.5\n";
    const size_t content = pdf.size();
    pdf += "5 0 obj\n" + stream("", words) + "\nendobj\n";
    const size_t objects = pdf.size();
    pdf += "6 0 obj\n" + stream("/Type /ObjStm /N 4 /First " + std::to_string(list.size()), list + body) + "\nendobj\n";
    // Entries of 1 + 2 + 1 bytes: the kind, then the place or the stream, then the generation or the index.
    const auto entry = [](int kind, size_t field, int last) {
        return std::string{char(kind), char(field >> 8), char(field & 0xFF), char(last)};
    };
    std::string entries = entry(0, 0, 255);
    for (int n = 1; n <= 4; ++n)
        entries += entry(2, 6, n - 1);
    entries += entry(1, content, 0) + entry(1, objects, 0) + entry(1, pdf.size(), 0);
    const size_t table = pdf.size();
    return pdf + "7 0 obj\n" + stream("/Type /XRef /Size 8 /W [1 2 1] /Root 1 0 R", entries) + "\nendobj\nstartxref\n"
        + std::to_string(table) + "\n%%EOF\n";
}

class OstrelWriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp ? tmp : "/tmp") + "/ostrel-writer-XXXXXX";
        ASSERT_TRUE(mkdtemp(&pattern[0]));
        dir_ = pattern + '/';
        ASSERT_TRUE(TestFonts::useOnlyTheTestFonts(pattern));
    }
    void TearDown() override { run({"rm", "-rf", dir_}); }

    std::string dir_;
};

// On a scan, a rule applied and a rule skipped: no pixel outside the rule's
// box changes at 72 and 150 dpi, the numbers keep their digits, the scan
// keeps its bytes; the skipped rule's page keeps its content byte for byte.
TEST_F(OstrelWriterTest, untouchedObjectsKeepTheirBytesAndNumbersTheirDigits)
{
    const std::string in = dir_ + "scan.pdf", out = dir_ + "out.pdf", rules = dir_ + "rules.txt";
    ASSERT_TRUE(writeFile(in, scannedPage()));
    Box price;
    ASSERT_TRUE(wordBox(in, "Price", &price));
    const struct { const char *name; std::string rule; int status; const char *shown, *gone; } cases[] = {
        {"applied", rule(price, "Price", "Cost"), 0, "Cost", "Price"},
        {"skipped", rule(price, "Nothing", "Cost"), 2, "Price", "Cost"},
    };
    const std::string input = readFile(in);
    const size_t scanAt = input.find("stream\n", input.find("/Subtype /Image")) + 7;
    const std::string scanBytes = input.substr(scanAt, size_t(kScanWidth * kScanHeight));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFile(rules, c.rule));
        ASSERT_EQ(ostrel(in, out, rules), c.status);
        Box word;
        EXPECT_TRUE(wordBox(out, c.shown, &word) && !wordBox(out, c.gone, &word));
        for (const int dpi : {72, 150}) {
            const Raster before = raster(in, dpi, dir_ + "before"), after = raster(out, dpi, dir_ + "after");
            EXPECT_EQ(changedOutside(before, after, price, dpi), 0) << dpi << " dpi";
            EXPECT_EQ(before.pixels == after.pixels, c.status == 2) << dpi << " dpi";
        }
        // The input's digits, whatever qpdf makes of the rest.
        const std::string objects = run({"qpdf", "--qdf", "--object-streams=disable", out, "-"}).out;
        for (const char *digits : {"595.275591", "841.889764", ".00100000005", "612.792969", "556.123457"})
            EXPECT_NE(objects.find(digits), std::string::npos) << digits;
        // The scan's bytes as they stand, not decoded and written again.
        EXPECT_NE(readFile(out).find(scanBytes), std::string::npos);
        // Nothing of the old content stays in a rule's page.
        EXPECT_EQ(objects.find("(Unit Price 18.50)") == std::string::npos, c.status == 0);
        EXPECT_EQ(pageContent(out) == pageContent(in), c.status == 2);
        EXPECT_EQ(run({"qpdf", "--check", out}).status, 0);
    }
}

// An empty rule file writes every page as readers take it: a page whose
// content is a dictionary, or missing, is blank to every reader and is
// written so, also where the file had to be repaired first.
TEST_F(OstrelWriterTest, pagesReadersDrawBlankAreWrittenAsTheyStand)
{
    const std::string content = "BT /F1 24 Tf 72 300 Td (Kept) Tj ET";
    const auto pdf = [&](const std::string &contents) {
        return pdfFromObjects({
            "<< /Type /Catalog /Pages 2 0 R >>",
            "<< /Type /Pages /Count 2 /Kids [3 0 R 6 0 R] >>",
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
            "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
            "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Resources << /Font << /F1 4 0 R >> >>" + contents
                + " >>",
        });
    };
    // A table of objects that points nowhere makes both libraries repair the file.
    const auto damaged = [](std::string bytes) {
        const size_t at = bytes.rfind("startxref\n") + 10;
        return bytes.replace(at, bytes.find('\n', at) - at, "9999");
    };
    const struct { const char *name; std::string pdf; } cases[] = {
        {"content a dictionary", pdf(" /Contents << /Length 0 >>")},
        {"content missing", pdf("")},
        {"content an object the file lacks", pdf(" /Contents 9 0 R")},
        {"content a dictionary, repaired", damaged(pdf(" /Contents << /Length 0 >>"))},
        {"content missing, repaired", damaged(pdf(""))},
    };
    const std::string out = dir_ + "out.pdf", rules = dir_ + "rules.txt", in = dir_ + "in.pdf";
    ASSERT_TRUE(writeFile(rules, ""));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFile(in, c.pdf));
        ASSERT_EQ(ostrel(in, out, rules), 0);
        EXPECT_TRUE(std::regex_search(run({"pdfinfo", out}).out, std::regex("Pages:\\s+2\\n")));
        EXPECT_EQ(run({"qpdf", "--show-npages", out}).out, "2\n");
        EXPECT_NE(run({"pdftotext", "-f", "1", "-l", "1", out, "-"}).out.find("Kept"), std::string::npos);
        const Raster blank = raster(out, 72, dir_ + "blank", 2);
        EXPECT_TRUE(!blank.pixels.empty() && blank.pixels.find_first_not_of('\xff') == std::string::npos);
    }
}

// The converter leaves /UserUnit aside: a rule made from its reading of a
// page of unit 2 names the word where the converter showed it, and a stamp
// showing the word there too is found there.
TEST_F(OstrelWriterTest, pageUnitsAreThoseTheConverterShows)
{
    const std::string in = dir_ + "in.pdf", out = dir_ + "out.pdf", rules = dir_ + "rules.txt";
    for (const std::string unit : {"", "/UserUnit 2", "/UserUnit 2 /Rotate 90"}) {
        SCOPED_TRACE(unit);
        Box huge;
        ASSERT_TRUE(writeFile(in, wordsPage("Huge Words", unit, true)) && wordBox(in, "Huge", &huge));
        ASSERT_TRUE(writeFile(rules, rule(huge, "Huge", "Tiny")));
        EXPECT_EQ(ostrel(in, out, rules), 2);
        ASSERT_TRUE(writeFile(in, wordsPage("Huge Words", unit)));
        ASSERT_EQ(ostrel(in, out, rules), 0);
        Box tiny, words;
        ASSERT_TRUE(wordBox(out, "Tiny", &tiny) && wordBox(out, "Words", &words));
        Box left;
        EXPECT_FALSE(wordBox(out, "Huge", &left));
        // Where the word started, across its line (the new face has its own height).
        const bool across = unit.find("Rotate") == std::string::npos;
        EXPECT_NEAR(across ? tiny.x0 : tiny.y0, across ? huge.x0 : huge.y0, 1);
        const double middle = across ? (huge.y0 + huge.y1) / 2 : (huge.x0 + huge.x1) / 2;
        EXPECT_TRUE(across ? tiny.y0 < middle && middle < tiny.y1 : tiny.x0 < middle && middle < tiny.x1);
    }
}
}

// A page the rules change inside an object stream keeps the digits of its
// numbers, and the file its object streams.
TEST_F(OstrelWriterTest, changedObjectsInAnObjectStreamKeepTheirDigits)
{
    const std::string in = dir_ + "in.pdf", out = dir_ + "out.pdf", rules = dir_ + "rules.txt";
    ASSERT_TRUE(writeFile(in, packedPage()));
    ASSERT_NE(run({"qpdf", "--show-xref", in}).out.find("compressed"), std::string::npos);
    Box page;
    ASSERT_TRUE(wordBox(in, "Page", &page));
    ASSERT_TRUE(writeFile(rules, rule(page, "Page", "Leaf")));
    ASSERT_EQ(ostrel(in, out, rules), 0);
    Box leaf;
    EXPECT_TRUE(wordBox(out, "Leaf", &leaf) && !wordBox(out, "Page", &leaf));
    EXPECT_NE(run({"qpdf", "--qdf", "--object-streams=disable", out, "-"}).out.find("612.123456"), std::string::npos);
    EXPECT_NE(run({"qpdf", "--show-xref", out}).out.find("compressed"), std::string::npos);
    EXPECT_EQ(run({"qpdf", "--check", out}).status, 0);
}
