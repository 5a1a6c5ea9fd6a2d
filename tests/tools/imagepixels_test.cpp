// The count of image pixels a page draws, from the declarations alone: every
// way a page draws an image (itself, through forms, patterns, annotations),
// as often as it draws it, and the numbers a hostile file declares.

#include "../pdfobjects.h"

#include "contentwork.h"
#include "formnesting.h"
#include "imagepixels.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{
std::string stream(const std::string &dict, const std::string &data)
{
    return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

std::string image(const std::string &width, const std::string &height, const std::string &more = "")
{
    return stream("/Type /XObject /Subtype /Image /Width " + width + " /Height " + height
                      + " /ColorSpace /DeviceGray /BitsPerComponent 8 " + more,
                  std::string(64, 'x'));
}

// An image of `width` x `height` pixels with `keys` for its depth and colours.
std::string imageWith(const std::string &width, const std::string &height, const std::string &keys)
{
    return stream("/Type /XObject /Subtype /Image /Width " + width + " /Height " + height + " " + keys, std::string(64, 'x'));
}

std::string form(const std::string &content, const std::string &resources = "")
{
    return stream("/Type /XObject /Subtype /Form /BBox [0 0 9 9] " + resources, content);
}

std::string repeated(const std::string &text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

// One page drawing `content` with `resources` (inside its /Resources) and
// `pageKeys` more; `more` are objects 5, 6, ...
std::string onePage(const std::string &content, const std::string &resources, const std::vector<std::string> &more,
                    const std::string &pageKeys = "")
{
    std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                     "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R /Resources << "
                                         + resources + " >> " + pageKeys + " >>",
                                     stream("", content)};
    objects.insert(objects.end(), more.begin(), more.end());
    return pdfFromObjects(objects);
}

// Forms `depth` deep, each drawing the next under two names, the last a
// pixel: 2^depth paths to one image.
std::string doublingForms(int depth)
{
    std::vector<std::string> more;
    for (int i = 0; i < depth; ++i) {
        const std::string next = std::to_string(6 + i);
        more.push_back(form("/A Do /B Do", "/Resources << /XObject << /A " + next + " 0 R /B " + next + " 0 R >> >>"));
    }
    more.push_back(image("1", "1"));
    return onePage("/F Do", "/XObject << /F 5 0 R >>", more);
}

// Tiling patterns `levels` deep, each painting one cell of the next, the
// last an image of 10 x 10 pixels.
std::string patternChain(int levels)
{
    std::vector<std::string> more;
    for (int i = 0; i < levels; ++i) {
        const std::string next = std::to_string(6 + i);
        const bool last = i == levels - 1;
        more.push_back(stream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 9 9] /XStep 9 /YStep 9 /Resources << "
                                  + std::string(last ? "/XObject << /Im " : "/Pattern << /P ") + next + " 0 R >> >>",
                              last ? "/Im Do" : "/Pattern cs /P scn 0 0 9 9 re f"));
    }
    more.push_back(image("10", "10"));
    return onePage("/Pattern cs /P scn 0 0 9 9 re f", "/Pattern << /P 5 0 R >>", more);
}

long long pixelsOf(const std::string &bytes, bool work = false)
{
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.processMemoryFile("page", bytes.data(), bytes.size());
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (pages.size() != 1)
        return -1;
    return work ? ImagePixels().work(pages[0]) : ImagePixels().pixels(pages[0]);
}

long long workOf(const std::string &bytes)
{
    return pixelsOf(bytes, true);
}
}

TEST(ImagePixels, EveryDrawingOfAnImageCounts)
{
    const std::string im = "/XObject << /Im 5 0 R >>";
    const std::string inlineData = " ID xxxx EI ";
    const std::string pattern = "/Pattern << /P 5 0 R >>";
    const auto overlapping = [](const std::string &steps) {
        return stream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 9 9] " + steps
                          + " /Resources << /XObject << /Im 6 0 R >> >>",
                      "/Im Do");
    };
    const std::string tile = stream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 9 9] /XStep 9 /YStep 9"
                                    " /Resources << /XObject << /Im 6 0 R >> >>",
                                    "/Im Do");
    const std::string gray1 = "/ColorSpace /DeviceGray /BitsPerComponent 1";
    // The work (when not -1): a unit a pixel and one a byte of its data, twice
    // that for four inks and six times for Lab, and what FormNesting counts
    // for each drawing of a form or pattern cell.
    const struct { const char *what; std::string content, resources; std::vector<std::string> more; long long pixels;
                   std::string pageKeys = ""; long long work = -1; } rows[] = {
        {"an image", "q /Im Do Q", im, {image("100", "200")}, 20000, "", 40000},
        {"a one-bit scan of a sheet of A3 at 1200 dpi", "/Im Do", im,
         {imageWith("20000", "14000", gray1 + " /Filter /CCITTFaxDecode")}, 280000000, "", 315000000},
        {"a gray scan of a sheet of A2 at 600 dpi", "/Im Do", im, {image("9921", "14031")}, 139201551, "", 278403102},
        {"a mask", "/Im Do", im, {imageWith("800", "100", "/ImageMask true /BitsPerComponent 8")}, 80000, "", 90000},
        {"in colour", "/Im Do", im, {imageWith("10", "10", "/ColorSpace /DeviceRGB /BitsPerComponent 8")}, 100, "", 400},
        {"16-bit CMYK", "/Im Do", im, {imageWith("10", "10", "/ColorSpace /DeviceCMYK /BitsPerComponent 16")}, 100, "", 1800},
        {"Lab", "/Im Do", im, {imageWith("10", "10", "/ColorSpace [/Lab << /WhitePoint [0.95 1 1.09] >>] /BitsPerComponent 8")},
         100, "", 2400},
        {"ICC-based", "/Im Do", im, {imageWith("10", "10", "/ColorSpace [/ICCBased 6 0 R] /BitsPerComponent 8"),
                                     stream("/N 3", "x")}, 100, "", 400},
        {"indexed", "/Im Do", im, {imageWith("10", "10", "/ColorSpace [/Indexed /DeviceRGB 1 <000000FFFFFF>] /BitsPerComponent 8")},
         100, "", 200},
        {"two inks", "/Im Do", im, {imageWith("10", "10", "/ColorSpace [/DeviceN [/A /B] /DeviceCMYK 6 0 R] /BitsPerComponent 2"),
                                    "<< /FunctionType 2 /Domain [0 1] /N 1 >>"}, 100, "", 300},
        {"depth and colours its own", "/Im Do", im, {imageWith("10", "10", "/Filter /JPXDecode")}, 100, "", 1000},
        {"a depth of no image", "/Im Do", im, {imageWith("10", "10", "/ColorSpace /DeviceGray /BitsPerComponent 99")}, 100, "", 200},
        {"drawn three times", "/Im Do /Im Do\n/Im Do", im, {image("100", "200")}, 60000},
        {"after tokens a reader skips", ") > ] } /Im Do", im, {image("100", "200")}, 20000},
        {"a name not drawn", "/Im gs /Other Do", im, {image("100", "200")}, 0},
        {"with its soft mask", "/Im Do", im, {image("10", "10", "/SMask 6 0 R"), image("30", "40")}, 1300, "", 2600},
        {"with its mask", "/Im Do", im, {image("10", "10", "/Mask 6 0 R"), image("5", "5")}, 125, "", 228},
        {"a colour-key mask is no image", "/Im Do", im, {image("10", "10", "/Mask [0 9]")}, 100},
        {"sizes as fractions", "/Im Do", im, {image("10.9", "3.2")}, 30},
        {"a negative size", "/Im Do", im, {image("-10", "3")}, 0},
        {"no size", "/Im Do", im, {stream("/Subtype /Image", "x")}, 0},
        {"a size that is a name", "/Im Do", im, {image("/W", "30")}, 0},
        {"a zero width", "/Im Do", im, {image("0", "30")}, 0},
        {"inline", "BI /W 30 /H 40 /CS /G /BPC 8" + inlineData, "", {}, 1200, "", 2400},
        {"inline, a mask", "BI /W 80 /H 10 /IM true" + inlineData, "", {}, 800, "", 900},
        {"inline, indexed", "BI /W 10 /H 10 /CS [/I /RGB 1 <000000FFFFFF>] /BPC 8" + inlineData, "", {}, 100, "", 200},
        {"inline, colours of the page's", "BI /W 10 /H 10 /CS /CS0 /BPC 8" + inlineData, "", {}, 100, "", 1000},
        {"inline, full names", "BI /Width 30 /Height 4.5 /ColorSpace /DeviceGray" + inlineData + "0 g", "", {}, 120},
        {"inline data like a drawing", "BI /W 2 /H 2 ID /Im Do EI /Im Do", im, {image("3", "3")}, 13},
        {"inline, negative", "BI /W -30 /H 40" + inlineData, "", {}, 0},
        {"two inline", "BI /W 3 /H 4" + inlineData + "BI /H 5 /W 6" + inlineData, "", {}, 42},
        {"a form drawing it twice, drawn four times", "/F Do /F Do /F Do /F Do", "/XObject << /F 5 0 R >>",
         {form("/Im Do /Im Do", "/Resources << /XObject << /Im 6 0 R >> >>"), image("10", "10")}, 800, "", 4 * (400 + 5390)},
        {"a symbol drawn 120,000 times", repeated("/F Do ", 120000), "/XObject << /F 5 0 R >>", {form("0 0 1 1 re f")}, 0, "",
         120000 * 5360},
        // Each drawing of a form reads its content and keeps a word for each text it shows.
        {"a form showing text 1,000 times, drawn twice", "/F Do /F Do", "/XObject << /F 5 0 R >>",
         {form(repeated("(a) Tj ", 1000))}, 0, "", 2 * (5000 + 7000 * 30 + 1000 * 5000)},
        {"a texture tiled 1,600 times", repeated("/Im Do ", 1600), im,
         {imageWith("256", "256", "/ColorSpace /DeviceRGB /BitsPerComponent 8")}, 1600 * 65536, "", 1600 * 65536 * 4},
        {"a form drawing with the page's resources", "/F Do /F Do", "/XObject << /F 5 0 R /Im 6 0 R >>",
         {form("/Im Do BI /W 2 /H 2" + inlineData), image("10", "10")}, 208},
        {"a form without resources, drawn with two", "/F Do /G Do", "/XObject << /F 5 0 R /G 6 0 R /Im 7 0 R >>",
         {form("/Im Do"), form("/F Do", "/Resources << /XObject << /F 5 0 R /Im 8 0 R >> >>"), image("10", "10"),
          image("2", "2")}, 104},
        {"a form drawing itself", "/F Do", "/XObject << /F 5 0 R >>",
         {form("/F Do /Im Do", "/Resources << /XObject << /F 5 0 R /Im 6 0 R >> >>"), image("10", "10")}, 100},
        {"an annotation's appearance", "", "", {form("/Im Do", "/Resources << /XObject << /Im 6 0 R >> >>"), image("7", "7")},
         49, "/Annots [<< /Subtype /Square /Rect [0 0 9 9] /AP << /N 5 0 R >> >>]"},
        // Cells that do not overlap are drawn once a paint and placed on
        // every tile: 124 of 9 x 9 points on the page.
        {"a tiling pattern painting twice", "/Pattern cs /P scn 0 0 9 9 re f\n0 0 5 5 re f", pattern, {tile, image("10", "10")}, 200,
         "", 2 * (200 + 5180 + 124 * 50)},
        {"cells a hundredth of a point, placed 100 million times", "/P scn f", pattern,
         {stream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 0.01 0.01] /XStep 0.01 /YStep 0.01", "0 0 0.01 0.01 re f")},
         0, "", 5540 + 100000000LL * 50},
        {"a pattern restored away", "q /Pattern cs /P scn 0 0 9 9 re f Q 0 0 9 9 re f", pattern, {tile, image("10", "10")}, 100},
        {"a pattern and a colour", "/Pattern cs /P scn 0 0 9 9 re f 0.5 g f /P scn 1 0 0 scn f", pattern,
         {tile, image("10", "10")}, 100},
        {"a pattern stroking, filling and showing text", "/Pattern CS /P SCN S /P scn B BT (a) Tj ET", pattern,
         {tile, image("10", "10")}, 400},
        {"a shading pattern", "/P scn f", pattern, {"<< /PatternType 2 /Shading << >> >>"}, 0},
        // 100 x 100 points: 10,000 cells of 1 point, 2,500 of 2 (by the matrix), none without a step.
        // The cell's drawing is weighed once a paint; its images on every
        // tile, and placing each tile 50 units.
        {"overlapping cells, drawn for every tile", "/P scn f", pattern, {overlapping("/XStep 1 /YStep -1"), image("2", "3")},
         60000, "", 5180 + 10000 * 12 + 10000 * 50},
        {"overlapping cells, scaled", "/P scn f", pattern,
         {overlapping("/XStep 1 /YStep 1 /Matrix [0 2 2 0 5 5]"), image("2", "3")}, 15000},
        {"overlapping cells without a step", "/P scn f", pattern, {overlapping("/XStep 0 /YStep 1"), image("2", "3")},
         1000000000000000000LL},
        {"declared huge", "/Im Do", im, {image("100000", "100000")}, 10000000000LL, "", 20000000000LL},
        {"declared huge, one bit", "/Im Do", im, {imageWith("100000", "100000", gray1)}, 10000000000LL, "", 11250000000LL},
        {"declared past any integer, beside an image", "/Bad Do /Im Do", "/XObject << /Im 5 0 R /Bad 6 0 R >>",
         {image("5", "5"), image("99999999999999999999", "1")}, 25},
        {"declared past any fraction", "/Im Do", im, {image("99999999999999999999.5", "99999999999999999999.5")},
         1000000000000000000LL},
        {"inline past any integer", "BI /W 99999999999999999999 /H 99999999999999999999.5" + inlineData, "", {},
         1000000000000000000LL},
    };
    for (const auto &row : rows) {
        const std::string page = onePage(row.content, row.resources, row.more, row.pageKeys);
        EXPECT_EQ(pixelsOf(page), row.pixels) << row.what;
        if (row.work >= 0) {
            EXPECT_EQ(workOf(page), row.work) << row.what;
        }
    }
}

TEST(ImagePixels, ContentThatCannotBeReadDrawsNothing)
{
    // The page's own content fails to decode; its annotation still draws.
    const std::string page = pdfFromObjects(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R /Resources << /XObject << /Im 6 0 R >> >>"
         " /Annots [<< /Subtype /Square /Rect [0 0 9 9] /AP << /N 5 0 R >> >>] >>",
         stream("/Filter /FlateDecode", "/Im Do, not compressed"),
         form("/Im Do", "/Resources << /XObject << /Im 6 0 R >> >>"), image("7", "7")});
    EXPECT_EQ(pixelsOf(page), 49);
}

TEST(ImagePixels, PathsThroughFormsAreMultipliedNotWalked)
{
    // 2^20 drawings of one pixel; then 2^70, past any count: each form is read once.
    EXPECT_EQ(pixelsOf(doublingForms(20)), 1LL << 20);
    EXPECT_EQ(pixelsOf(doublingForms(70)), 1000000000000000000LL);
    // The renderers stop forms nested this deep (and the form count refuses them).
    EXPECT_EQ(pixelsOf(doublingForms(101)), 0);
    // Patterns painting patterns count as forms drawing forms, a level each.
    EXPECT_EQ(pixelsOf(patternChain(1)), 100);
    EXPECT_EQ(pixelsOf(patternChain(100)), 100);
    EXPECT_EQ(pixelsOf(patternChain(101)), 0);
}

TEST(ImagePixels, RefusalNamesThePageAndTheLimit)
{
    char folder[] = "/tmp/imagepixels.XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string im = "/XObject << /Im 5 0 R >>";
    const std::string atLimit = std::string(folder) + "/at-limit.pdf", pastLimit = std::string(folder) + "/past-limit.pdf";
    // A pixel of one gray byte is two units of work.
    ASSERT_TRUE(std::ofstream(atLimit, std::ios::binary) << onePage("/Im Do /Im Do", im, {image("250000000", "1")}));
    ASSERT_TRUE(std::ofstream(pastLimit, std::ios::binary) << onePage("/Im Do", im, {image("500000001", "1")}));

    EXPECT_EQ(ImagePixels::refusal(atLimit, {}), "");
    EXPECT_EQ(ImagePixels::refusal(pastLimit, {}),
              "page 1: its images (501 million pixels) and forms take more work to draw than a page may")
        << "500,000,001 pixels, rounded up";
    EXPECT_EQ(ImagePixels::refusal(pastLimit, {2}), "");   // no such page
    // Forms alone: 200,000 drawings of one form of 12 bytes, a billion units and more.
    const std::string forms = std::string(folder) + "/forms.pdf";
    ASSERT_TRUE(std::ofstream(forms, std::ios::binary)
                << onePage(repeated("/F Do ", 200000), "/XObject << /F 5 0 R >>", {form("0 0 1 1 re f")}));
    EXPECT_EQ(ImagePixels::refusal(forms, {}), "page 1: drawing its forms and patterns takes more work than a page may");
    EXPECT_EQ(ImagePixels::refusal(std::string(folder) + "/missing.pdf", {}), "");   // left to the program's library
    ::unlink(atLimit.c_str());
    ::unlink(pastLimit.c_str());
    ::unlink(forms.c_str());
    ::rmdir(folder);
}

TEST(ImagePixels, ContentPastTheBoundIsRefused)
{
    // One stream of a mebibyte named 257 times in the page's /Contents,
    // drawing a form: 257 MB to read, refused at the bound; named twice, it
    // is read as ever.
    const auto page = [](int times) {
        std::string contents;
        for (int i = 0; i < times; ++i)
            contents += " 4 0 R";
        return pdfFromObjects({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents [" + contents
                                   + " ] /Resources << /XObject << /F 5 0 R >> >> >>",
                               stream("", repeated("0 0 m\n", (1 << 20) / 6) + "/F Do\n"), form("0 0 1 1 re f")});
    };
    for (const int times : {257, 2}) {
        const std::string bytes = page(times);
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile("page", bytes.data(), bytes.size());
        QPDFPageObjectHelper first = QPDFPageDocumentHelper(pdf).getAllPages().at(0);
        const std::string expected = times == 257 ? "its content decodes to more than 256 MB" : "";
        EXPECT_EQ(ImagePixels().refusal(first), expected) << times;
        EXPECT_EQ(FormNesting().refusal(first), expected) << times;
    }
}

TEST(ContentWork, BytesAndTextShowsCount)
{
    // 30 units a byte of the page's content and 5,000 a text shown; the
    // count stops just past the budget, whatever the content holds.
    const std::string show = "BT (a) Tj ET\n";   // 13 bytes, one show
    const std::string over = "its content takes more work to draw than a page may (at least ";
    const struct { const char *what; std::string content; long long work; std::string refusal; } rows[] = {
        {"paths", "0 0 m 1 1 l S", 13 * 30, ""},
        {"each way of showing text", "(a) Tj [(b)] TJ (c) ' 1 2 (d) \"", 31 * 30 + 4 * 5000, ""},
        {"a dense page: 20,000 shows", repeated(show, 20000), 20000 * (13 * 30 + 5000), ""},
        {"185,528 shows, the most within the budget", repeated(show, 185528), 185528LL * (13 * 30 + 5000), ""},
        {"one more", repeated(show, 185529), -1, over},
        {"34 MB of paths", repeated("0 0 m 1 1 l S\n", (34 << 20) / 14), -1, over},
    };
    for (const auto &row : rows) {
        const std::string bytes = onePage(row.content, "", {});
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile("page", bytes.data(), bytes.size());
        QPDFPageObjectHelper page = QPDFPageDocumentHelper(pdf).getAllPages().at(0);
        const long long work = ContentWork().work(page);
        if (row.work >= 0) {
            EXPECT_EQ(work, row.work) << row.what;
        } else {
            EXPECT_GT(work, FormNesting::kMaxWork) << row.what;
        }
        // The refusal says how much was counted before the count stopped.
        EXPECT_EQ(ContentWork().refusal(page).substr(0, row.refusal.size()), row.refusal) << row.what;
        EXPECT_EQ(ContentWork().refusal(page).empty(), row.refusal.empty()) << row.what;
    }
}

TEST(FormNesting, AFormTooLargeToDrawOnceRefusesThePage)
{
    // 34 MB of drawings of another form: one drawing of the outer form is
    // past the budget, whatever it draws, for both counts.
    const std::string page = onePage("/F Do", "/XObject << /F 5 0 R >>",
                                     {form(repeated("/X Do\n", (34 << 20) / 6), "/Resources << /XObject << /X 6 0 R >> >>"),
                                      form("0 0 1 1 re f")});
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.processMemoryFile("page", page.data(), page.size());
    QPDFPageObjectHelper first = QPDFPageDocumentHelper(pdf).getAllPages().at(0);
    EXPECT_EQ(FormNesting().refusal(first), "drawing its forms takes more work than a page may (at least 1 form drawings)");
    EXPECT_EQ(ImagePixels().refusal(first), "drawing its forms and patterns takes more work than a page may");
}
