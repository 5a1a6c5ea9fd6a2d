// The replacement engine's edits of page content, through Ostrel.dll and
// its classes, read back with readers we did not write: pdftoppm pixels,
// pdftotext (as it orders a page and as the content runs), qpdf's rewrite
// of the file as text.

#include "../pdfobjects.h"
#include "commandrun.h"
#include "testfonts.h"

#include "glyphfinder.h"
#include "markedtexts.h"
#include "mupdfguard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace
{
std::string streamObject(const std::string &dict, const std::string &data)
{
    return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// A one-page document, 300 by 200, with Helvetica as /F1, the content
// `content`, and `extra` objects numbered from 5 on (the page's resources
// and dictionary may name them through `resources` and `pageKeys`).
std::string onePage(const std::string &content, const std::string &resources = {},
                    const std::vector<std::string> &extra = {}, const std::string &pageKeys = {},
                    const std::string &catalogKeys = {})
{
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R " + catalogKeys + " >>",
        "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R /Resources << /Font << /F1 << "
        "/Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> "
            + resources + " >> " + pageKeys + " >>",
        streamObject("", content),
    };
    objects.insert(objects.end(), extra.begin(), extra.end());
    return pdfFromObjects(objects);
}

// A page as pdftoppm draws it at `dpi`, grey.
struct Picture
{
    int width = 0, height = 0;
    std::string grey;
    int at(int x, int y) const { return static_cast<unsigned char>(grey[size_t(y) * size_t(width) + size_t(x)]); }
};

Picture drawn(const std::string &pdf, int dpi)
{
    run({"pdftoppm", "-gray", "-r", std::to_string(dpi), "-singlefile", pdf, pdf});
    std::ifstream in(pdf + ".pgm", std::ios::binary);
    std::string magic;
    Picture p;
    int maximum = 0;
    in >> magic >> p.width >> p.height >> maximum;
    in.get();
    p.grey.assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (magic != "P5" || p.grey.size() != size_t(p.width) * size_t(p.height))
        p = Picture();
    return p;
}

// The page's text as MuPDF extracts it; empty when it cannot.
std::string mupdfText(const std::string &pdf)
{
    std::unique_ptr<fz_context, void (*)(fz_context *)> owned(fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT),
                                                              fz_drop_context);
    fz_context *ctx = owned.get();
    std::string text;
    fz_document *doc = nullptr;
    fz_page *page = nullptr;
    fz_stext_page *stext = nullptr;
    fz_buffer *buffer = nullptr;
    try {
        guarded(ctx, [&] {
            fz_register_document_handlers(ctx);
            doc = fz_open_document(ctx, pdf.c_str());
            page = fz_load_page(ctx, doc, 0);
            stext = fz_new_stext_page_from_page(ctx, page, nullptr);
            buffer = fz_new_buffer_from_stext_page(ctx, stext);
            text = fz_string_from_buffer(ctx, buffer);
        });
    } catch (const MupdfError &) {
        text.clear();
    }
    fz_drop_buffer(ctx, buffer);
    fz_drop_stext_page(ctx, stext);
    fz_drop_page(ctx, page);
    fz_drop_document(ctx, doc);
    return text;
}

// The first line of `text`.
std::string firstLine(const std::string &text)
{
    return text.substr(0, text.find('\n'));
}

// A rule file's line replacing the word `w` of page 1.
std::string rule(const Word &w, const std::string &replacement)
{
    return "1-" + std::to_string(std::lround(w.x0)) + '-' + std::to_string(std::lround(w.y0)) + '-'
        + std::to_string(std::lround(w.x1 - w.x0)) + '-' + std::to_string(std::lround(w.y1 - w.y0)) + ':' + w.text
        + ':' + replacement;
}

class OstrelContentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp ? tmp : "/tmp") + "/ostrel-content-XXXXXX";
        ASSERT_TRUE(mkdtemp(&pattern[0]));
        dir_ = pattern + '/';
        ASSERT_TRUE(TestFonts::useOnlyTheTestFonts(pattern));
    }
    void TearDown() override
    {
        if (!std::getenv("OSTREL_CONTENT_KEEP"))
            run({"rm", "-rf", dir_});
    }

    // Runs the engine on `pdf` with one rule line; returns its exit code.
    int replaced(const std::string &pdf, const std::string &ruleLine, const std::string &out)
    {
        const std::string in = dir_ + "in.pdf", rules = dir_ + "rules.txt";
        if (!writeFile(in, pdf) || !writeFile(rules, ruleLine + "\r\n"))
            return -1;
        return run({GRIDMOLT_APP_DIR "/Ostrel.dll", in, "-tesome", out, rules}).status;
    }

    std::string dir_;
};

// ---- Words drawn invisibly over a scan ----

// A scan-like picture of the whole page, one pixel a point: paper of grey
// 235 (or, `busy`, a fine checkerboard, of which no colour prevails), a
// black bar where the word "price" stands, from x 100 to 143 and from y 96
// (its descenders) to 111, and another, of the line above, from y 114 to
// 119, inside the top of the glyphs' box.
std::string scanned(bool busy, int wordEnd = 143)
{
    std::string pixels(300 * 200, char(235));
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x) {
            const bool word = (x >= 100 && x < wordEnd && y >= 200 - 111 && y < 200 - 96)
                || (x >= 100 && x < 143 && y >= 200 - 119 && y < 200 - 114);
            pixels[size_t(y) * 300 + size_t(x)] = char(word ? 0 : busy && (x + y) % 2 ? 60 : 235);
        }
    return streamObject("/Type /XObject /Subtype /Image /Width 300 /Height 200 /ColorSpace /DeviceGray "
                        "/BitsPerComponent 8",
                        pixels);
}

std::string scanWithText(bool busy, int mode, int wordEnd = 143, const std::string &pageKeys = {})
{
    return onePage("q 300 0 0 200 0 0 cm /Im1 Do Q BT " + std::to_string(mode)
                       + " Tr /F1 20 Tf 100 100 Td (price) Tj ET BT 3 Tr /F1 20 Tf 160 100 Td (kept) Tj ET",
                   "/XObject << /Im1 5 0 R >>", {scanned(busy, wordEnd)}, pageKeys);
}

// The share of the old word's black bar that is still black at `dpi`, and
// the share of it now dark at all (what the replacement draws).
struct BarShares
{
    double black = 0, dark = 0;
};

BarShares barShares(const std::string &pdf, int dpi)
{
    const Picture p = drawn(pdf, dpi);
    BarShares s;
    if (p.width == 0)
        return {-1, -1};
    const double k = dpi / 72.0;
    int n = 0;
    for (int y = int(std::ceil((200 - 110) * k)); y < int((200 - 97) * k); ++y)
        for (int x = int(std::ceil(101 * k)); x < int(142 * k); ++x) {
            ++n;
            s.black += p.at(x, y) < 20;
            s.dark += p.at(x, y) < 128;
        }
    s.black /= n;
    s.dark /= n;
    return s;
}

// The old word no longer shows: where its bar was, the paper's grey and
// the new word's strokes; outside its place every pixel is as it was. Or,
// where the ground cannot be told, the rule is skipped and the page stays.
TEST_F(OstrelContentTest, wordsDrawnInvisiblyAreCoveredOrTheRuleSkipped)
{
    const struct { const char *name; bool busy; int mode; int wordEnd; int status; } cases[] = {
        {"invisible over paper", false, 3, 143, 0},
        {"invisible and clipping over paper", false, 7, 143, 0},
        {"invisible over a busy picture", true, 3, 143, 2},
        // The scan's word runs 7 units past the box: covering it would change the page there.
        {"invisible over a longer word", false, 3, 150, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = dir_ + "scan.pdf", out = dir_ + "out.pdf";
        ASSERT_TRUE(writeFile(in, scanWithText(c.busy, c.mode, c.wordEnd)));
        ASSERT_EQ(replaced(scanWithText(c.busy, c.mode, c.wordEnd), "1-100-82-43-22:price:cost", out), c.status);
        if (c.status != 0) {
            // Skipped: nothing of the page changes.
            if (!readFile(out).empty()) {
                EXPECT_EQ(drawn(out, 72).grey, drawn(in, 72).grey);
                EXPECT_EQ(run({"pdftotext", out, "-"}).out, "price kept\n\n\f");
            }
            continue;
        }
        EXPECT_EQ(run({"pdftotext", out, "-"}).out, "cost kept\n\n\f");
        for (const int dpi : {72, 150}) {
            SCOPED_TRACE(dpi);
            const BarShares s = barShares(out, dpi);
            EXPECT_LT(s.black, 0.5);   // the bar is gone, but for the new strokes
            EXPECT_GT(s.dark, 0.05);   // which show
            // Outside the word's box the page is as it was; the line above,
            // inside the top of that box, shows whole.
            const Picture before = drawn(in, dpi), after = drawn(out, dpi);
            ASSERT_EQ(before.grey.size(), after.grey.size());
            const double k = dpi / 72.0;
            std::string changed;   // where, in points
            for (int y = 0; y < after.height; ++y)
                for (int x = 0; x < after.width; ++x) {
                    const bool nearWord = x >= 98 * k && x < 145 * k && y >= 80.5 * k && y < 105.5 * k;
                    if (!nearWord && std::abs(before.at(x, y) - after.at(x, y)) > 40)
                        changed += ' ' + std::to_string(int(x / k)) + ',' + std::to_string(int(y / k));
                }
            EXPECT_EQ(changed, "");
            int lineAbove = 0, black = 0;
            for (int y = int(std::ceil(82 * k)); y < int(85 * k); ++y)
                for (int x = int(std::ceil(101 * k)); x < int(142 * k); ++x) {
                    ++lineAbove;
                    black += after.at(x, y) < 20;
                }
            EXPECT_EQ(black, lineAbove);
        }
    }
}
// The share of the box `w` (grown by `pad`, or shrunk where negative) that
// is black at `dpi`.
double blackIn(const std::string &pdf, const Word &w, double pad, int dpi)
{
    const Picture p = drawn(pdf, dpi);
    const double k = dpi / 72.0;
    int n = 0, black = 0;
    for (int y = int(std::ceil((w.y0 - pad) * k)); y < int((w.y1 + pad) * k) && y < p.height; ++y)
        for (int x = int(std::ceil((w.x0 - pad) * k)); x < int((w.x1 + pad) * k) && x < p.width; ++x) {
            ++n;
            black += p.at(x, y) < 20;
        }
    return n ? double(black) / n : -1;
}

// On a page turned by a quarter, the scan's word runs down the page as
// shown: it is found and covered all the same.
TEST_F(OstrelContentTest, wordsDrawnInvisiblyOnATurnedPageAreCovered)
{
    const std::string pdf = scanWithText(false, 3, 143, "/Rotate 90");
    const std::string in = dir_ + "turned.pdf", out = dir_ + "out.pdf";
    ASSERT_TRUE(writeFile(in, pdf));
    const std::vector<Word> before = words(in);
    ASSERT_EQ(before.size(), 2u);
    ASSERT_EQ(before[0].text, "price");
    EXPECT_GT(blackIn(in, before[0], -1, 150), 0.4);
    ASSERT_EQ(replaced(pdf, rule(before[0], "cost"), out), 0);
    EXPECT_EQ(run({"pdftotext", out, "-"}).out.find("price"), std::string::npos);
    EXPECT_NE(run({"pdftotext", out, "-"}).out.find("cost"), std::string::npos);
    EXPECT_LT(blackIn(out, before[0], -1, 150), 0.3);
}

// ---- Texts the document gives for the words ----

// A tagged page: "Secret" in a span whose properties are written in the
// content, "Hidden" in one the resources name, "Plan" under a figure's
// /Alt, each tied by MCID to a structure element with texts of its own.
std::string taggedPage()
{
    const std::string content =
        "/Span << /MCID 0 /ActualText (Secret) /E (Secret) >> BDC BT /F1 12 Tf 20 150 Td (Secret) Tj ET EMC\n"
        "/Span /Named BDC BT /F1 12 Tf 20 120 Td (Hidden) Tj ET EMC\n"
        "/P << /MCID 2 >> BDC BT /F1 12 Tf 20 90 Td (Plan B) Tj ET EMC\n"
        "/P << /MCID 3 /ActualText (Secretary) >> BDC BT /F1 12 Tf 20 60 Td (Secretary) Tj ET EMC\n";
    return onePage(content, "/Properties << /Named << /MCID 1 /ActualText (Hidden) /Alt (Hidden) >> >>",
                   {
                       // 5: the structure tree's root; 6 the document element, 7 to 10 its kids.
                       "<< /Type /StructTreeRoot /K 6 0 R /ParentTree << /Nums [0 [7 0 R 8 0 R 9 0 R 10 0 R]] >> >>",
                       "<< /Type /StructElem /S /Document /P 5 0 R /K [7 0 R 8 0 R 11 0 R 10 0 R] /Alt (Secret Hidden Plan) >>",
                       "<< /Type /StructElem /S /Span /P 6 0 R /Pg 3 0 R /K 0 /ActualText (Secret) /Alt (Secret) >>",
                       "<< /Type /StructElem /S /Span /P 6 0 R /Pg 3 0 R /K [<< /Type /MCR /MCID 1 /Pg 3 0 R >>]"
                       " /E (Hidden) >>",
                       "<< /Type /StructElem /S /P /P 11 0 R /Pg 3 0 R /K [2] /Alt (Plan B) >>",
                       "<< /Type /StructElem /S /P /P 6 0 R /Pg 3 0 R /K 3 /Alt (Secretary) >>",
                       // 11: a figure holding 9, and holding itself again below: a cycle.
                       "<< /Type /StructElem /S /Figure /P 6 0 R /K [9 0 R 11 0 R] /Alt (Plan) >>",
                   },
                   "/StructParents 0", "/StructTreeRoot 5 0 R /MarkInfo << /Marked true >>");
}

// `word` in UTF-16BE, as hex digits in lower case.
std::string utf16Hex(const std::string &word)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : word)
        hex += std::string("00") + digits[(c >> 4) & 0xF] + digits[c & 0xF];
    return hex;
}

// None of the replaced words stays in the file, as the content writes it
// or in a text string, written plainly or in UTF-16; what did not hold
// them stays as it was.
TEST_F(OstrelContentTest, markedContentAndStructureReadTheReplacement)
{
    const struct { const char *name; const char *rule; const char *word; const char *now; } cases[] = {
        {"properties in the content", "1-20-38-40-14:Secret:Public", "Secret", "Public"},
        {"properties the resources name", "1-20-68-40-14:Hidden:Shown", "Hidden", "Shown"},
        {"a figure's alternate text", "1-20-98-25-14:Plan:Idea", "Plan", "Idea"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir_ + "out.pdf";
        ASSERT_EQ(replaced(taggedPage(), c.rule, out), 0);
        std::string qdf = run({"qpdf", "--qdf", "--object-streams=disable", out, "-"}).out;
        ASSERT_FALSE(qdf.empty());
        std::transform(qdf.begin(), qdf.end(), qdf.begin(), [](char k) { return char(std::tolower(k)); });
        // qpdf's JSON gives every text string decoded.
        const std::string json = run({"qpdf", "--json", "--json-key=qpdf", out}).out;
        const std::string word(c.word);
        const std::regex whole("\\b" + word + "\\b");
        EXPECT_FALSE(std::regex_search(json, whole)) << json;
        EXPECT_FALSE(std::regex_search(qdf, std::regex("\\b" + std::string(1, char(std::tolower(word[0]))) + word.substr(1) + "\\b")));
        EXPECT_EQ(qdf.find(utf16Hex(word)), std::string::npos);
        EXPECT_NE(json.find(c.now), std::string::npos);
        EXPECT_FALSE(std::regex_search(run({"pdftotext", "-raw", out, "-"}).out, whole));
        // Texts of words no rule named stay, longer words holding one too.
        EXPECT_NE(json.find("Secretary"), std::string::npos);
        for (const char *other : {"Secret", "Hidden", "Plan"})
            EXPECT_TRUE(other == word || std::regex_search(json, std::regex(std::string("\\b") + other + "\\b"))) << other;
    }
}

// A structure tree thousands of elements deep, each holding the next and
// the root again: the element holding the word, and every one above it,
// read the replacement.
TEST_F(OstrelContentTest, deepStructureTreesAreWalkedWhole)
{
    const int depth = 3000;
    std::vector<std::string> extra = {"<< /Type /StructTreeRoot /K 6 0 R >>"};
    for (int i = 0; i < depth; ++i) {
        const std::string next = i + 1 < depth ? std::to_string(7 + i) + " 0 R " : std::string("<< /MCID 0 /Pg 3 0 R >> ");
        extra.push_back("<< /Type /StructElem /S /Div /K [" + next + "6 0 R] /Alt (Secret " + std::to_string(i) + ") >>");
    }
    const std::string pdf = onePage("/Span << /MCID 0 >> BDC BT /F1 12 Tf 20 150 Td (Secret) Tj ET EMC", "", extra,
                                    "/StructParents 0", "/StructTreeRoot 5 0 R");
    const std::string out = dir_ + "out.pdf";
    ASSERT_EQ(replaced(pdf, "1-20-38-40-14:Secret:Public", out), 0);
    const std::string json = run({"qpdf", "--json", "--json-key=qpdf", out}).out;
    EXPECT_EQ(json.find("Secret"), std::string::npos);
    EXPECT_NE(json.find("Public 2999"), std::string::npos);
    EXPECT_NE(json.find("Public 0"), std::string::npos);
}

// The text strings of marked content read in content and as structure.
TEST_F(OstrelContentTest, propertyListsChangeOnlyTheirTexts)
{
    const std::vector<MarkedTexts::Change> changes = {{"Secret", "Public"}, {"Secret plan", "Idea"}};
    const struct { const char *bytes; const char *expected; } cases[] = {
        {"<< /ActualText (Secret) >>", "<< /ActualText <FEFF005000750062006C00690063> >>"},
        {"<</MCID 3/Alt(a Secret plan)>>", "<</MCID 3/Alt<FEFF006100200049006400650061>>>"},
        {"<< /E <FEFF005300650063007200650074> /Lang (Secret) >>",
         "<< /E <FEFF005000750062006C00690063> /Lang (Secret) >>"},
        {"<< /ActualText (Open) /X << /Alt (Secret) >> >>", "<< /ActualText (Open) /X << /Alt (Secret) >> >>"},
    };
    std::unique_ptr<fz_context, void (*)(fz_context *)> ctx(fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT),
                                                            fz_drop_context);
    for (const auto &c : cases)
        EXPECT_EQ(MarkedTexts::changedProperties(ctx.get(), c.bytes, changes), c.expected) << c.bytes;
    EXPECT_EQ(MarkedTexts::changed("Secret plans: Secret", changes), "Ideas: Public");
}

// ---- Lines shown with character and word spacing ----

// A rule on one word of a spaced line: the rest of the line keeps its
// strings and spacing, and every reader reads it as before, the
// replacement in the word's place.
TEST_F(OstrelContentTest, spacedLinesReadAsBeforeAroundTheReplacement)
{
    const struct { const char *name; const char *show; const char *first; } cases[] = {
        {"character spacing", "T* 1.5 Tc (Letter spaced words here) Tj", "Letter"},
        {"word spacing", "T* 4 Tw (Wordy spaced words here) Tj", "Wordy"},
        {"both, in an array", "T* 4 Tw 1.5 Tc [(Both spaced) -20 ( words here)] TJ", "Both"},
        {"a quote", "1.5 Tc (Quoted spaced words here) '", "Quoted"},
        {"a double quote", "4 1.5 (Double spaced words here) \"", "Double"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = dir_ + "spaced.pdf", out = dir_ + "out.pdf";
        const std::string pdf = onePage(std::string("BT /F1 10 Tf 12 TL 20 174 Td (Above) Tj ") + c.show + " ET");
        ASSERT_TRUE(writeFile(in, pdf));
        const std::vector<Word> before = words(in);
        ASSERT_EQ(before.size(), 5u);
        ASSERT_EQ(before[2].text, "spaced");
        ASSERT_EQ(replaced(pdf, rule(before[2], "spread"), out), 0);
        const std::string first(c.first);
        // As the page is ordered, the replacement in its place.
        const std::vector<Word> after = words(out);
        ASSERT_EQ(after.size(), 5u);
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i].text, i == 2 ? std::string("spread") : before[i].text);
            EXPECT_NEAR(after[i].x0, before[i].x0, 0.01) << after[i].text;
        }
        EXPECT_EQ(firstLine(run({"pdftotext", out, "-"}).out.substr(6)), first + " spread words here");
        // As the content runs: the rest of the line as it was, the replacement after it.
        EXPECT_EQ(run({"pdftotext", "-raw", out, "-"}).out, "Above\n" + first + " words here\nspread\n\f");
        // MuPDF, which keeps the content's order: the same letters, the
        // replacement's last.
        std::string was = mupdfText(in), now = mupdfText(out);
        for (std::string *text : {&was, &now})
            text->erase(std::remove_if(text->begin(), text->end(), [](char k) { return std::isspace(k); }), text->end());
        EXPECT_EQ(now, std::regex_replace(was, std::regex("spaced"), "") + "spread") << mupdfText(out);
        // The kept glyphs stay in their strings; a number stands for each
        // removed glyph, the array's own number stays.
        const std::string qdf = run({"qpdf", "--qdf", "--object-streams=disable", out, "-"}).out;
        EXPECT_TRUE(std::regex_search(qdf, std::regex("\\(" + first + " \\)( +-[0-9.]+){6} +(-20 +)?\\( words here\\)\\] TJ")));
    }
}
// ---- Finding words among glyphs of any box ----

PageGlyphs::Glyph glyph(char32_t c, float x0, float x1)
{
    PageGlyphs::Glyph g;
    g.text = std::u32string(1, c);
    g.box = fz_make_rect(x0, 92, x1, 102);
    g.origin = fz_make_point(x0, 100);
    g.size = 10;
    g.advance = g.extent = x1 - x0;
    g.removable = true;
    return g;
}

// A glyph whose box is no number lies on no line: the search passes it by
// and finds the word the other glyphs spell, in the order they are shown
// (the content draws its "a" last), with and without the index of places.
TEST_F(OstrelContentTest, glyphsWithoutAFiniteBoxArePassedBy)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const struct { const char *name; fz_rect box; } cases[] = {
        {"no number", fz_make_rect(nan, nan, nan, nan)},
        {"infinite", fz_make_rect(-inf, -inf, inf, inf)},
        {"infinite across", fz_make_rect(10, -inf, 20, inf)},
        {"no number along", fz_make_rect(nan, 92, 20, 102)},
        {"far away", fz_make_rect(200, 92, 210, 102)},
    };
    for (const auto &c : cases) {
        for (const size_t queries : {size_t(1), size_t(1000)}) {
            SCOPED_TRACE(std::string(c.name) + (queries > 1 ? ", indexed" : ""));
            std::vector<PageGlyphs::Glyph> glyphs = {glyph('a', 0, 0), glyph('x', 300, 310), glyph('b', 20, 30),
                                                     glyph('c', 30, 40), glyph('a', 10, 20)};
            glyphs[0].box = c.box;
            glyphs[0].origin = fz_make_point(c.box.x0, c.box.y1);
            const GlyphFinder finder(glyphs, queries);
            const GlyphFinder::Match m = finder.find("abc", fz_make_rect(5, 90, 45, 104));
            EXPECT_EQ(m.glyphs, (std::vector<size_t>{4, 2, 3}));
        }
    }
}
} // namespace
