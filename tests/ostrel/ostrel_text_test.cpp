// The replacement engine's new text, drawn by PageWriter directly (so the
// old words' width and face can be set) and by Ostrel.dll on rules, read
// back with readers we did not write: pdftotext for the text and where it
// is, pdffonts for the faces, qpdf for the file, fontTools for what the
// embedded fonts hold.

#include "../pdfobjects.h"
#include "commandrun.h"
#include "testfonts.h"

#include "mupdfguard.h"
#include "pagewriter.h"
#include "replacementfonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
// The box around all words of the page but `except`.
Word extent(const std::vector<Word> &list, const std::string &except)
{
    Word all{"", 1e9, 1e9, -1e9, -1e9};
    for (const Word &w : list)
        if (w.text != except)
            all = {"", std::min(all.x0, w.x0), std::min(all.y0, w.y0), std::max(all.x1, w.x1), std::max(all.y1, w.y1)};
    return all;
}

// The page's text as pdftotext reads it, line by line, without the
// direction marks it puts around right-to-left lines.
std::vector<std::string> lines(const std::string &pdf)
{
    std::string text = run({"pdftotext", pdf, "-"}).out;
    text = std::regex_replace(text, std::regex("\xE2\x80[\xAA-\xAE]|\f"), "");
    std::vector<std::string> list;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        line = std::regex_replace(line, std::regex("^\\s+|\\s+$"), "");
        if (!line.empty())
            list.push_back(line);
    }
    return list;
}

// Embedded font names (without subset tag) and their glyphs with outlines,
// and one "type0 ok" line per Type0 font whose map and dictionaries are
// well formed; or,
// with "--glyphs", the outlines a font file gives a text.
std::string embeddedFonts(const std::string &pdf, const std::string &font = {}, const std::string &text = {})
{
    const std::string script = GRIDMOLT_SOURCE_DIR "/tests/ostrel/embeddedfonts.py";
    return run(font.empty() ? std::vector<std::string>{"/usr/bin/python3", script, pdf}
                            : std::vector<std::string>{"/usr/bin/python3", script, pdf, font, text})
        .out;
}

// One line of Helvetica (F1) or Helvetica-Bold (F2) per entry, from the
// top of a 600 x 400 page, each in a content stream of its own (so new text
// joins a list of streams).
struct Line
{
    const char *font;
    double x, y, size;
    std::string text;
};

// How the page lists its content: as an array of streams, as the one
// stream (of the first line) or not at all.
enum class Contents { List, One, None };

std::string pdfWithLines(const std::vector<Line> &lines, Contents shape = Contents::List)
{
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
        "",   // the page, once its streams are numbered
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >>",
    };
    std::string contents;
    for (const Line &l : lines) {
        const std::string content = "BT /" + std::string(l.font) + ' ' + std::to_string(l.size) + " Tf "
            + std::to_string(l.x) + ' ' + std::to_string(l.y) + " Td (" + l.text + ") Tj ET";
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
        contents += std::to_string(objects.size()) + " 0 R ";
    }
    objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 400] /Resources << /Font << /F1 4 0 R /F2 5 0 R >> >>"
        + (shape == Contents::List ? " /Contents [" + contents + "]" : shape == Contents::One ? std::string(" /Contents 6 0 R") : "")
        + " >>";
    return pdfFromObjects(objects);
}

// A blank page with one word, "Kept", near its foot.
const std::vector<Line> kBlankPage = {{"F1", 50, 40, 12, "Kept"}};

class OstrelTextTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp ? tmp : "/tmp") + "/ostrel-text-XXXXXX";
        ASSERT_TRUE(mkdtemp(&pattern[0]));
        dir_ = pattern + '/';
        // Whatever else the machine has, only the fonts these tests expect.
        ASSERT_TRUE(TestFonts::useOnlyTheTestFonts(pattern));
        ASSERT_TRUE(writeFile(dir_ + "in.pdf", pdfWithLines(kBlankPage)));
    }
    void TearDown() override { run({"rm", "-rf", dir_}); }

    // A text as the engine passes it on: its baseline starts at (50, 100)
    // of the page as shown, in black.
    static PageWriter::Text text(const std::string &replacement, float size, float width = 0, bool bold = false,
                                 bool italic = false, int color = 0)
    {
        GlyphRemover::Removed at;
        at.origin = {50, 100};
        at.size = size;
        at.width = width;
        at.color = color;
        at.bold = bold;
        at.italic = italic;
        return {at, replacement};
    }

    // Draws `t` onto the blank page and saves the document as the engine
    // does, to `out`. Returns the error, empty when drawn.
    std::string drawn(const PageWriter::Text &t, const std::string &out)
    {
        std::unique_ptr<fz_context, void (*)(fz_context *)> ctx(fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT),
                                                                fz_drop_context);
        fz_context *c = ctx.get();
        pdf_document *doc = nullptr;
        pdf_page *page = nullptr;
        const std::string in = dir_ + "in.pdf";
        std::string error;
        try {
            fz_rect box;
            fz_matrix toShown;
            guarded(c, [&] {
                doc = pdf_open_document(c, in.c_str());
                page = pdf_load_page(c, doc, 0);
                pdf_page_transform(c, page, &box, &toShown);
            });
            ReplacementFonts fonts(c);
            PageWriter writer(c, doc, &fonts);
            if (!writer.canDraw(t.replacement))
                error = "cannot draw";
            writer.draw(page, toShown, {t}, {});
            pdf_write_options options = pdf_default_write_options;
            options.do_compress_fonts = 1;
            options.do_garbage = 1;
            guarded(c, [&] { pdf_save_document(c, doc, out.c_str(), &options); });
        } catch (const std::exception &e) {
            error += std::string(error.empty() ? "" : ": ") + e.what();
        }
        if (page)
            fz_drop_page(c, &page->super);
        pdf_drop_document(c, doc);
        return error;
    }

    std::string dir_;
};

// The new text goes after the page's own content, however the page lists it.
TEST_F(OstrelTextTest, newTextFollowsContentOfAnyShape)
{
    const struct { const char *name; Contents shape; const char *read; } cases[] = {
        {"a list of streams", Contents::List, "Kept\nNeu"},
        {"one stream", Contents::One, "Kept\nNeu"},
        {"no content", Contents::None, "Neu"},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(writeFile(dir_ + "in.pdf", pdfWithLines(kBlankPage, c.shape)));
        const std::string out = dir_ + "out.pdf";
        EXPECT_EQ(drawn(text("Neu", 12), out), "") << c.name;
        std::string read = run({"pdftotext", "-raw", out, "-"}).out;
        read.erase(read.find_last_not_of("\n\f") + 1);
        EXPECT_EQ(read, c.read) << c.name;
        EXPECT_EQ(run({"qpdf", "--check", out}).status, 0) << c.name;
    }
}

TEST_F(OstrelTextTest, textIsReadAsTypedInTheFaceOfTheOldWords)
{
    const struct
    {
        const char *name;
        std::string replacement;
        bool bold, italic;
        const char *font;   // as pdffonts names it, after the subset tag
    } cases[] = {
        {"accents", "Grüße Welt", false, false, "DejaVuSans"},
        {"bold", "Fett", true, false, "DejaVuSans-Bold"},
        {"italic", "Schräg", false, true, "DejaVuSans-Oblique"},
        {"bold italic", "Beides", true, true, "DejaVuSans-BoldOblique"},
        {"Hebrew, right to left", "שלום עולם", false, false, "DejaVuSans"},
        {"Hebrew, bold", "שלום", true, false, "DejaVuSans-Bold"},
        {"Arabic, joined and right to left", "مرحبا بالعالم", false, false, "DejaVuSans"},
        {"Arabic with a lam-alef ligature", "السلام عليكم", false, false, "DejaVuSans"},
        {"Chinese", "中文替换", false, false, "WenQuanYiMicroHei"},
        {"Chinese, bold from a face without bold", "中文", true, false, "WenQuanYiMicroHei"},
        {"Chinese, italic from a face without a slant", "中文", false, true, "WenQuanYiMicroHei"},
        {"emoji past the BMP", "ok 😀", false, false, "DejaVuSans"},
        {"ligature", "office", false, false, "DejaVuSans"},
        {"letter only another installed font has", "𝒜", false, false, "DejaVuMathTeXGyre-Regular"},
        // Several have it (the serif and its condensed cut): the first by file name, whatever order the system lists them in.
        {"letter two installed fonts have", "x˯", false, false, "DejaVuSerif"},
        {"letter two installed fonts have, bold", "x˯", true, false, "DejaVuSerif-Bold"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir_ + "out.pdf";
        ASSERT_EQ(drawn(text(c.replacement, 14, 0, c.bold, c.italic), out), "");
        EXPECT_EQ(lines(out), (std::vector<std::string>{c.replacement, "Kept"}));
        // Starts at the old place, on the old line.
        const Word all = extent(words(out), "Kept");
        EXPECT_NEAR(all.x0, 50, 1.5);
        EXPECT_TRUE(all.y0 < 100 && all.y1 > 100 && all.y1 < 106) << all.y0 << ' ' << all.y1;
        const std::string fonts = run({"pdffonts", out}).out;
        EXPECT_TRUE(std::regex_search(fonts, std::regex(std::string("\\n[A-Z]{6}\\+") + c.font
                                                        + " +CID TrueType +Identity-H +yes +yes +yes ")))
            << fonts;
        const std::string embedded = embeddedFonts(out);
        EXPECT_NE(embedded.find("type0 ok"), std::string::npos) << embedded;
        EXPECT_EQ(embedded.find("type0 bad"), std::string::npos) << embedded;
        EXPECT_EQ(run({"qpdf", "--check", out}).status, 0);
    }
}

// How many pixels of the page, rendered at 100 dpi, pass `test` (red,
// green, blue); -1 when it could not be rendered.
template <typename Test> int pixels(const std::string &pdf, Test test)
{
    run({"pdftoppm", "-r", "100", "-singlefile", pdf, pdf});
    std::ifstream in(pdf + ".ppm", std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    in >> magic >> width >> height >> maximum;
    in.get();
    const std::string p((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (magic != "P6" || p.size() != size_t(width) * size_t(height) * 3)
        return -1;
    int count = 0;
    for (size_t at = 0; at + 3 <= p.size(); at += 3)
        count += test(static_cast<unsigned char>(p[at]), static_cast<unsigned char>(p[at + 1]), static_cast<unsigned char>(p[at + 2]));
    return count;
}

// Dark pixels: the text is black, so every part of them is dark.
bool dark(int r, int g, int b) { return r < 128 && g < 128 && b < 128; }

TEST_F(OstrelTextTest, textKeepsTheOldColour)
{
    for (const int rgb : {0xFF0000, 0x00FF00, 0x0000FF, 0xFF00FF}) {
        SCOPED_TRACE(rgb);
        const std::string out = dir_ + "out.pdf";
        ASSERT_EQ(drawn(text("Farbe", 20, 0, false, false, rgb), out), "");
        // Mostly of the colour: each part (0 or 0xFF) high or low.
        const auto part = [rgb](int p, int shift) { return ((rgb >> shift) & 0xFF) ? p > 160 : p < 90; };
        EXPECT_GT(pixels(out, [&](int r, int g, int b) { return part(r, 16) && part(g, 8) && part(b, 0); }), 100);
    }
    // Tones between: the solid inside of the strokes has the very colour.
    for (const int rgb : {0x335577, 0x997755, 0x010305}) {
        SCOPED_TRACE(rgb);
        const std::string out = dir_ + "out.pdf";
        ASSERT_EQ(drawn(text("Farbe", 20, 0, false, false, rgb), out), "");
        EXPECT_GT(pixels(out, [rgb](int r, int g, int b) { return (r << 16 | g << 8 | b) == rgb; }), 20);
    }
}

TEST_F(OstrelTextTest, faceWithoutBoldIsMadeBold)
{
    const std::string regular = dir_ + "regular.pdf", bold = dir_ + "bold.pdf";
    ASSERT_EQ(drawn(text("中文替换", 20), regular), "");
    ASSERT_EQ(drawn(text("中文替换", 20, 0, true, false), bold), "");
    const int thin = pixels(regular, dark), thick = pixels(bold, dark);
    EXPECT_GT(thin, 100);
    EXPECT_GT(thick, thin * 1.15) << thin << ' ' << thick;
}

TEST_F(OstrelTextTest, widerTextIsCondensedToTheOldWidth)
{
    const std::string natural = dir_ + "natural.pdf", out = dir_ + "out.pdf", replacement = "Replacement text";
    ASSERT_EQ(drawn(text(replacement, 20), natural), "");
    const Word own = extent(words(natural), "Kept");
    ASSERT_GT(own.x1 - own.x0, 100);
    // The old words' width, and the width and height drawn, as shares of the text's own.
    const struct { const char *name; double share, widthShare, heightShare; } cases[] = {
        {"room to spare: as it is", 1.5, 1, 1},
        {"a quarter too wide: condensed", 0.75, 0.75, 1},
        {"twice as wide: condensed to half", 0.5, 0.5, 1},
        {"four times as wide: half, and half the size", 0.25, 0.25, 0.5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const double width = (own.x1 - own.x0) * c.share;
        ASSERT_EQ(drawn(text(replacement, 20, float(width)), out), "");
        EXPECT_EQ(lines(out), (std::vector<std::string>{replacement, "Kept"}));
        const Word all = extent(words(out), "Kept");
        EXPECT_NEAR(all.x0, own.x0, 0.5);
        EXPECT_NEAR(all.x1 - all.x0, (own.x1 - own.x0) * c.widthShare, 1);
        EXPECT_NEAR(all.y1 - all.y0, (own.y1 - own.y0) * c.heightShare, 1);
    }
}

// Letters keep their kerning, and a character that shows nothing takes the
// script of the letter before it, so it does not split the letters around
// it: they keep theirs too.
TEST_F(OstrelTextTest, ignorableCharacterKeepsItsNeighboursKerning)
{
    const std::string out = dir_ + "out.pdf";
    const auto widthOf = [&](const std::string &replacement) {
        EXPECT_EQ(drawn(text(replacement, 40), out), "") << replacement;
        const Word all = extent(words(out), "Kept");
        return all.x1 - all.x0;
    };
    // The pair is kerned: together narrower than apart.
    EXPECT_GT(widthOf("A") + widthOf("V") - widthOf("AV"), 1);
    const double own = widthOf("AVAV");
    const struct { const char *name; std::string replacement; } cases[] = {
        {"a separator of another script (Mongolian)", "A\u180EVAV"},
        {"a word joiner", "AV\u2060AV"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(widthOf(c.replacement), own, 0.2);
    }
}

// `text` with its characters in the opposite order.
std::string reversed(const std::string &text)
{
    std::string out;
    for (size_t end = text.size(), i = end; i-- > 0;)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {   // a character starts here
            out += text.substr(i, end - i);
            end = i;
        }
    return out;
}

TEST_F(OstrelTextTest, mixedDirectionsAreShownInDisplayOrder)
{
    const struct
    {
        const char *name;
        std::string replacement;
        std::vector<std::string> shown;   // the words from left to right on the page
    } cases[] = {
        {"number inside Hebrew", "שלום 123 עולם", {"עולם", "123", "שלום"}},
        {"Hebrew inside Latin", "abc שלום עולם def", {"abc", "עולם", "שלום", "def"}},
        {"Latin inside Hebrew", "שלום abc def עולם", {"עולם", "abc", "def", "שלום"}},
        {"Arabic after Chinese", "中文 مرحبا بالعالم", {"中文", "بالعالم", "مرحبا"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir_ + "out.pdf";
        ASSERT_EQ(drawn(text(c.replacement, 14), out), "");
        std::vector<Word> found = words(out);
        found.erase(std::remove_if(found.begin(), found.end(), [](const Word &w) { return w.text == "Kept"; }), found.end());
        std::sort(found.begin(), found.end(), [](const Word &a, const Word &b) { return a.x0 < b.x0; });
        ASSERT_EQ(found.size(), c.shown.size());
        // pdftotext -bbox gives a right-to-left word as it reads it or as it is shown.
        for (size_t i = 0; i < found.size(); ++i)
            EXPECT_TRUE(found[i].text == c.shown[i] || found[i].text == reversed(c.shown[i])) << i << ' ' << found[i].text;
    }
}

TEST_F(OstrelTextTest, textNoFontCanDrawIsRefusedNotDrawnAsBoxes)
{
    const struct { const char *name; std::string replacement; bool drawable; size_t glyphs; } cases[] = {
        {"Latin", "abc", true, 3},
        {"a tab and a control character: a space", "\t\x01", true, 1},
        {"controls at the ends of their ranges go, the characters beside them stay", "\x1F~\x7F\u0080\u009F \u00A0", true, 3},
        {"joiner and direction mark only", "\u200D\u200F", true, 0},
        {"control characters only", "\x01\x02", true, 0},
        {"a heart and its emoji selector", "\u2764\uFE0F", true, 1},
        {"a mark with no letter before it", "\u0301a", true, 2},
        {"an Egyptian hieroglyph", "Name \U00013000", false, 0},
        {"a letter of an unassigned block", "a\U0003FFF0", false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // The fonts alone refuse it too, handing out no glyph.
        std::unique_ptr<fz_context, void (*)(fz_context *)> ctx(fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT),
                                                                fz_drop_context);
        ReplacementFonts fonts(ctx.get());
        std::vector<ReplacementFonts::Glyph> glyphs;
        EXPECT_EQ(fonts.shape(c.replacement, ReplacementFonts::Face(), &glyphs), c.drawable);
        EXPECT_EQ(glyphs.size(), c.glyphs);
        // Refused by both: the caller asks first, and draw() does not draw it.
        EXPECT_EQ(drawn(text(c.replacement, 14), dir_ + "out.pdf"),
                  c.drawable ? "" : "cannot draw: no installed font can draw the replacement \"" + c.replacement + '"');
    }
}

std::string repeated(const std::string &piece, int times)
{
    std::string out;
    while (times-- > 0)
        out += piece;
    return out;
}

// `count` different Chinese characters, as UTF-8.
std::string distinctIdeographs(int count)
{
    std::string out;
    for (int c = 0x4E00; c < 0x4E00 + count; ++c) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
    return out;
}

// Text no one types but a rule file may hold: drawn, and the file stays sound.
TEST_F(OstrelTextTest, strangeTextIsDrawnIntoASoundFile)
{
    const struct
    {
        const char *name;
        std::string replacement;
        std::string read;   // the start of what pdftotext reads (it drops a letter under a pile of marks)
    } cases[] = {
        {"embeddings nested past the limit", repeated("\u202B", 300) + "abc" + repeated("\u202C", 300), "abc"},
        {"twenty thousand marks on one letter", "a" + repeated("\u0301", 20000), "\u0301"},
        {"ninety thousand letters, few glyphs", repeated("x", 50000) + repeated("שלום", 10000), "xxx"},
        {"invalid bytes and a lone surrogate", "\xFF\xFE\xED\xA0\x80" "abc", "\uFFFD\uFFFD"},
        {"emoji joined by joiners", repeated("\U0001F600\uFE0F\u200D", 1000), "\U0001F600"},
        {"more glyphs than a block of the ToUnicode map", distinctIdeographs(250), distinctIdeographs(250)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir_ + "out.pdf";
        // Small, so the 250 characters fit on the page.
        ASSERT_EQ(drawn(text(c.replacement, 1.8f), out), "");
        const std::vector<std::string> read = lines(out);
        ASSERT_FALSE(read.empty());
        EXPECT_EQ(read[0].rfind(c.read, 0), 0u) << read[0].substr(0, 40);
        EXPECT_EQ(embeddedFonts(out).find("type0 bad"), std::string::npos);
        EXPECT_EQ(run({"qpdf", "--check", out}).status, 0);
    }
}

// A rule file's line for the word `w` of page 1.
std::string rule(const Word &w, const std::string &replacement)
{
    return "1-" + std::to_string(std::lround(w.x0)) + '-' + std::to_string(std::lround(w.y0)) + '-'
        + std::to_string(std::lround(w.x1 - w.x0)) + '-' + std::to_string(std::lround(w.y1 - w.y0)) + ':' + w.text
        + ':' + replacement + "\r\n";
}

// Through the program: each word on a line of its own becomes text of
// another script, read back as typed; the embedded font holds the
// replacement's glyphs and none of the removed word's.
TEST_F(OstrelTextTest, engineDrawsEveryScriptReadableAndEmbedsOnlyTheNewGlyphs)
{
    const struct { const char *word; std::string replacement; } cases[] = {
        // "i" and "f" would bring in the "fi" ligature if the font kept its layout tables.
        {"Secret", "Xylo if"},
        {"Hebrew", "שלום עולם"},
        {"Arabic", "السلام عليكم"},
        {"Chinese", "中文替换"},
        {"Smile", "ok 😀"},
        {"Math", "𝒜"},
    };
    // pdftotext orders the words of a line by the direction most of the
    // page's text has: left to right here.
    const std::string filler = "Most of this page reads from left to right";
    std::vector<Line> page;
    for (const auto &c : cases)
        page.push_back({"F1", 50, 360 - 45.0 * double(page.size()), 14, c.word});
    page.push_back({"F1", 50, 80, 12, filler});
    page.push_back(kBlankPage[0]);
    const std::string in = dir_ + "words.pdf", rules = dir_ + "rules.txt", out = dir_ + "out.pdf";
    ASSERT_TRUE(writeFile(in, pdfWithLines(page)));
    const std::vector<Word> before = words(in);
    ASSERT_GT(before.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        ASSERT_EQ(before[i].text, cases[i].word);

    // The first word alone: the only embedded font has the new letters' glyphs, no other.
    ASSERT_TRUE(writeFile(rules, rule(before[0], cases[0].replacement)));
    ASSERT_EQ(run({GRIDMOLT_APP_DIR "/Ostrel.dll", in, "-tesome", out, rules}).status, 0);
    EXPECT_EQ(embeddedFonts(out), "DejaVuSans " + embeddedFonts("--glyphs", ReplacementFonts::kDejaVuFiles[0], cases[0].replacement)
                                      + "type0 ok\n");
    // The old words leave the file, not only the page: no stream that held them stays behind.
    std::ifstream written(out, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(!bytes.empty() && bytes.find("(Secret)") == std::string::npos);

    // All of them.
    std::string all;
    std::vector<std::string> expected;
    for (size_t i = 0; i < std::size(cases); ++i) {
        all += rule(before[i], cases[i].replacement);
        expected.push_back(cases[i].replacement);
    }
    expected.push_back(filler);
    expected.push_back("Kept");
    ASSERT_TRUE(writeFile(rules, all));
    ASSERT_EQ(run({GRIDMOLT_APP_DIR "/Ostrel.dll", in, "-tesome", out, rules}).status, 0);
    EXPECT_EQ(lines(out), expected);
    const std::string embedded = embeddedFonts(out);
    EXPECT_EQ(embedded.find("type0 bad"), std::string::npos) << embedded;
    EXPECT_EQ(run({"qpdf", "--check", out}).status, 0);
}
} // namespace
