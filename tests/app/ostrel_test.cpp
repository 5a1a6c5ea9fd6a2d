#include "contenttokens.h"
#include "fontcache.h"
#include "glyphfinder.h"
#include "glyphremover.h"
#include "messagetext.h"
#include "mupdfguard.h"
#include "operandcounts.h"
#include "pageruns.h"
#include "picturecheck.h"
#include "rulelines.h"
#include "testfiles.h"
#include "../ostrel/testfonts.h"
#include "textlayer.h"

#include <poppler-qt5.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <malloc.h>
#include <numeric>
#include <QtTest>

namespace
{
struct Word { QString text; QRectF box; };
struct Result { int exitCode = -1; QByteArray out, err; };

Result run(const QString &program, const QStringList &args, const QString &folder = QString())
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(program, args);
    const bool done = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit;
    return done ? Result{p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()} : Result();
}

// Runs the engine, first writing `text` to the rule file when it is given.
Result ostrel(const QString &in, const QString &option, const QString &out, const QString &rules, const QString &text = {},
              const QString &folder = {})
{
    if (!text.isEmpty() && !writeFile(rules, text.toUtf8()))
        return Result();
    return run(QStringLiteral(GRIDMOLT_APP_DIR "/Ostrel.dll"), {in, option, out, rules}, folder);
}

QVector<Word> words(const QString &pdf, int page)
{
    const QString n = QString::number(page);
    static const QRegularExpression word(R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">(.*)</word>)re");
    QVector<Word> list;
    auto it = word.globalMatch(QString::fromUtf8(run("pdftotext", {"-cropbox", "-bbox", "-f", n, "-l", n, pdf, "-"}).out));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString text = m.captured(5).replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
        list.append({text, QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                  QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    }
    return list;
}

// The box of the word; a null rectangle when the page has no such word.
QRectF boxOf(const QVector<Word> &list, const QString &text)
{
    const auto it = std::find_if(list.begin(), list.end(), [&](const Word &w) { return w.text == text; });
    return it == list.end() ? QRectF() : it->box;
}


QString ruleBox(int page, const QRectF &r)
{
    return QString::asprintf("%d-%d-%d-%d-%d", page, qRound(r.left()), qRound(r.top()), qRound(r.width()), qRound(r.height()));
}

// `text` as UTF-16, big- or little-endian, with its byte-order mark or without.
QByteArray utf16(const QString &text, bool bigEndian, bool mark = true)
{
    QByteArray bytes;
    for (const QChar c : (mark ? QString(QChar(0xFEFF)) : QString()) + text) {
        const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

// How many pixels of `area` pass `test`.
template <typename Test> int count(const QImage &image, const QRect &area, Test test)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(image.pixelColor(x, y));
    return n;
}

bool red(QColor c) { return c.red() > 150 && c.green() < 100; }

// The document of `objects`, numbered from 1; the catalog first, the information last.
QByteArray pdfOf(const QVector<QByteArray> &objects)
{
    QByteArray pdf = "%PDF-1.4\n", xref;
    for (int i = 0; i < objects.size(); ++i) {
        xref += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const QByteArray size = QByteArray::number(objects.size() + 1);
    return pdf + "xref\n0 " + size + "\n0000000000 65535 f \n" + xref + "trailer\n<< /Size " + size + " /Root 1 0 R /Info "
        + QByteArray::number(objects.size()) + " 0 R >>\nstartxref\n" + QByteArray::number(pdf.size()) + "\n%%EOF\n";
}

// A picture of 4 x 4 blue pixels at `path`, for picture rules.
bool saveBluePicture(const QString &path)
{
    QImage pixels(4, 4, QImage::Format_RGB32);
    pixels.fill(Qt::blue);
    return pixels.save(path);
}

// A stream object holding `data`, its dictionary `dict` with the length added.
QByteArray stream(const QByteArray &dict, const QByteArray &data)
{
    return "<< " + dict + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// A PDF of one 612 x 792 page drawing `content`, with Helvetica as /F1,
// turned by `rotate`.
QByteArray helveticaPagePdf(const QByteArray &content, int rotate = 0)
{
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate " + QByteArray::number(rotate)
                      + " /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                  stream("", content), "<< /Title (One page) >>"});
}

// A page of the generated document: rotation and crop box (user space, y up).
struct Geometry { int rotate; QRectF crop; };

// Each page shows two lines of Helvetica words, upright as the page is
// shown, whatever its rotation: "Alpha Beta Gamma" at y 100 (Beta in red)
// and, from a form object with a matrix of its own drawn by four nested
// others, "Note: Omega" at y 140 (Note: in red from a CMYK colour space);
// each word a text object placed by a relative move; a ruled line under
// them. Page 1 carries a link and the document an outline and a title.
QByteArray pdfWithPages(const QVector<Geometry> &pages)
{
    const auto num = [](double v) { return QByteArray::number(v); };
    QVector<QByteArray> objects = {"<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>", "",   // the page tree, last
                                   "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                                   "<< /Type /Outlines /First 5 0 R /Last 5 0 R /Count 1 >>",
                                   "<< /Title (Start) /Parent 4 0 R /Dest [6 0 R /Fit] >>"};
    QByteArray kids;
    for (const Geometry &g : pages) {
        const QRectF &c = g.crop;   // top() is the lower edge here
        const int r = g.rotate, cos = r == 0 ? 1 : r == 180 ? -1 : 0, sin = r == 90 ? 1 : r == 270 ? -1 : 0;
        const double h = r % 180 ? c.width() : c.height();   // height as shown
        const int page = objects.size() + 1;   // then its content and its forms
        kids += num(page) + " 0 R ";
        // From a frame upright as shown (origin bottom left) to page space.
        QByteArray content = "q " + num(cos) + ' ' + num(sin) + ' ' + num(-sin) + ' ' + num(cos) + ' '
            + num(r == 90 || r == 180 ? c.right() : c.left()) + ' ' + num(r >= 180 ? c.bottom() : c.top())
            + " cm 0 0 1 RG 30 " + num(h - 150) + " m 300 " + num(h - 150) + " l S\n";
        const struct { const char *text; int x, y, size; const char *color; } placed[] = {
            {"Alpha", 40, 100, 14, "0 g"}, {"Beta", 120, 100, 14, "1 0 0 rg"}, {"Gamma", 260, 100, 14, "0 g"},
            {"Note:", 40, 140, 10, "/DeviceCMYK cs 0 1 1 0 sc"}, {"Omega", 120, 140, 10, "0 g"}};
        QByteArray form;
        for (const auto &p : placed) {
            const bool inForm = p.y == 140;   // the form's matrix moves it 5 units right
            (inForm ? form : content) += "BT /F1 " + num(p.size) + " Tf " + p.color + ' ' + num(p.x - (inForm ? 5 : 0))
                + ' ' + num(h - p.y) + " Td (" + p.text + ") Tj ET\n";
        }
        content += "/Fm1 Do\nQ\n";
        const QByteArray box = num(c.left()) + ' ' + num(c.top()) + ' ' + num(c.right()) + ' ' + num(c.bottom());
        const QByteArray annots = page > 6 ? QByteArray() : " /Annots [<< /Type /Annot /Subtype /Link /Rect [" + box
                + "] /A << /S /URI /URI (https://example.org/kept) >> >>]";
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 700 800] /CropBox [" + box + "] /Rotate " + num(r)
                + " /Resources << /Font << /F1 3 0 R >> /XObject << /Fm1 " + num(page + 2) + " 0 R >> >> /Contents "
                + num(page + 1) + " 0 R" + annots + " >>"
                << "<< /Length " + num(content.size()) + " >>\nstream\n" + content + "\nendstream";
        for (int depth = 1; depth < 5; ++depth)   // forms that only draw the next one
            objects << "<< /Subtype /Form /BBox [-2000 -2000 2000 2000] /Resources << /XObject << /Fm1 "
                    + num(page + depth + 2) + " 0 R >> >> /Length 7 >>\nstream\n/Fm1 Do\nendstream";
        objects << "<< /Type /XObject /Subtype /Form /BBox [-2000 -2000 2000 2000] /Matrix [1 0 0 1 5 0]"
                   " /Resources << /Font << /F1 3 0 R >> >> /Length " + num(form.size()) + " >>\nstream\n" + form
                + "\nendstream";
    }
    objects[1] = "<< /Type /Pages /Count " + num(pages.size()) + " /Kids [" + kids + "] >>";
    return pdfOf(objects << "<< /Title (Kept title) >>");
}

// The run of the converter's text layer named by `key`, as the rule editor
// shows it: the first run of that text; "#N" the N-th run; "?word" the first
// run of the word whose box holds the middle of none of its drawings (the run
// has its line's top and height, which for a word running down the page may
// lie off the word), else its first. A run of width 0 when there is none.
PlacedWord runOf(const QString &pdf, int page, const QString &key)
{
    const bool off = key.startsWith('?'), nth = key.startsWith('#');
    const QString word = key.mid(off ? 1 : 0);
    const QVector<Word> drawn = off ? words(pdf, page) : QVector<Word>();
    const std::unique_ptr<Poppler::Document> doc(Poppler::Document::load(pdf));
    const std::unique_ptr<Poppler::Page> p(doc ? doc->page(page - 1) : nullptr);
    const QVector<PlacedWord> layer = p ? pageRuns(*p) : QVector<PlacedWord>();
    PlacedWord target;
    target.width = 0;
    for (int i = 0; i < layer.size(); ++i) {
        if (nth ? i != key.mid(1).toInt() : layer[i].text != word)
            continue;
        const QRectF box(layer[i].left, layer[i].top, layer[i].width, layer[i].height);
        const bool holds = std::any_of(drawn.begin(), drawn.end(),
                                       [&](const Word &w) { return w.text == word && box.contains(w.box.center()); });
        if (target.width == 0 || !holds)
            target = layer[i];
        if (!holds)
            break;
    }
    return target;
}

// A grey ICC profile (version 2, identity curve), so pages can use ICC colours.
QByteArray grayProfile()
{
    const auto u32 = [](quint32 v) { return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v); };
    const QByteArray d50 = u32(0xF6D6) + u32(0x10000) + u32(0xD32D);
    // ASCII "gray", no Unicode or ScriptCode name, padded to a multiple of 4 bytes.
    const QByteArray desc = "desc" + u32(0) + u32(5) + QByteArray("gray", 5) + u32(0) + u32(0) + QByteArray(3 + 67 + 1, 0);
    const QByteArray wtpt = "XYZ " + u32(0) + d50, curve = "curv" + u32(0) + u32(0);
    const QByteArray tags[] = {desc, wtpt, curve};
    const char *const signatures[] = {"desc", "wtpt", "kTRC"};
    const int tableSize = 4 + 3 * 12;
    QByteArray table = u32(3), data;
    for (int i = 0; i < 3; ++i) {
        table += QByteArray(signatures[i]) + u32(quint32(128 + tableSize + data.size())) + u32(quint32(tags[i].size()));
        data += tags[i];
    }
    const quint32 size = quint32(128 + tableSize + data.size());
    QByteArray header = u32(size) + u32(0) + u32(0x02100000) + "mntrGRAYXYZ " + QByteArray(12, 0) + "acsp"
        + QByteArray(24, 0) + u32(0) + u32(0) + u32(0) + d50 + QByteArray(48, 0);
    return header + table + data;
}

// The engine's removal of one request's words on `pageNumber` of `pdf`,
// as the replacement will be told of them; empty when the file cannot be read.
std::vector<GlyphRemover::Removed> removeAt(const QString &pdf, int pageNumber, const QRectF &box,
                                            const std::vector<std::string> &readings)
{
    fz_context *ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
    pdf_document *doc = nullptr;
    pdf_page *page = nullptr;
    std::vector<GlyphRemover::Removed> removed;
    try {
        fz_matrix toShown;
        const std::string path = pdf.toStdString();
        guarded(ctx, [&] {
            doc = pdf_open_document(ctx, path.c_str());
            page = pdf_load_page(ctx, doc, pageNumber - 1);
            fz_rect bounds;
            pdf_page_transform(ctx, page, &bounds, &toShown);
        });
        FontCache fonts(ctx, doc);
        const fz_rect r = fz_make_rect(float(box.left()), float(box.top()), float(box.right()), float(box.bottom()));
        removed = GlyphRemover::remove(ctx, doc, page, toShown, &fonts, {{r, readings, false, {}}});
    } catch (const std::exception &e) {
        qWarning("%s", e.what());
    }
    fz_drop_page(ctx, page ? &page->super : nullptr);
    pdf_drop_document(ctx, doc);
    fz_drop_context(ctx);
    return removed;
}

// A document of the page shapes that rewriting a page's content must keep:
// page 1 draws a hairline (0 w), a fill in an ICC colour, a pattern, a
// shading and an inline image whose colour space is named in the resources
// (BI /CS /R20), then words separated by blanks, by TJ positioning only, a
// large bold word over a small one, a time with a colon, grey words drawn with
// character spacing, words drawn by the ' and " operators, and a form it shares with
// page 2. Page 2 is turned by /Rotate 90, its content two streams split
// inside a text object. With `sharedNames` the two pages also share the one
// dictionary that names their forms.
QByteArray madePdf(bool sharedNames = false)
{
    // The image's data hold " EI Q ": only its length, from its size and
    // named colour space, tells where they end. The word after it is moved
    // by the state around the image and grey in a named device space.
    const QByteArray image = QByteArray("q 1 0 0 1 0 -20 cm q 100 0 0 20 260 360 cm BI /W 8 /H 1 /BPC 8 /CS /R20 ID ")
        + QByteArray("\x00 EI Q \x01", 8) + " EI Q BT /DeviceGray cs 0.4 sc /F1 9 Tf 380 370 Td (Moved) Tj ET Q\n"
        // The same with the colour space given inline, one sample wide.
        + "q 1 0 0 1 0 -20 cm q 100 0 0 10 460 360 cm BI /W 1 /H 8 /BPC 8 /CS [/I /RGB 1 <ff00000000ff>] ID "
        + QByteArray("\x00 EI Q \x01", 8) + " EI Q BT /F1 9 Tf 470 350 Td (Below) Tj ET Q\n"
        // A stencil mask: one bit a sample, whatever colour space is in use.
        + "q 1 0 0 1 0 -20 cm q 64 0 0 4 540 360 cm BI /W 64 /H 1 /IM true ID "
        + QByteArray("\x00 EI Q \x01", 8) + " EI Q BT /F1 9 Tf 540 350 Td (Masked) Tj ET Q\n";
    const QByteArray page1 = "q 0 w 0 0 1 RG 20 390 m 590 390 l S Q\n"
                             "q /CS0 cs 0.5 sc 20 330 60 40 re f Q\n"
                             "q /Pattern cs /P0 scn 100 330 60 40 re f Q\n"
                             "q 180 330 60 40 re W n /Sh0 sh Q\n" + image +
                             "BT /F1 14 Tf 20 290 Td (Alpha Beta Gamma) Tj ET\n"
                             "BT /F1 12 Tf 20 260 Td [(Cell)-3000(Value)-2500(Total)] TJ ET\n"
                             "BT 0.2 0.4 0.6 rg /F2 20 Tf 20 222 Td (Sidebar) Tj ET\n"
                             "BT /F1 8 Tf 20 208 Td (economist) Tj ET\n"
                             "BT /F1 12 Tf 20 180 Td (Time 10:30 now) Tj ET\n"
                             "q /CS0 cs 0.5 sc BT /F3 12 Tf 300 180 Td (slanted) Tj ET Q\n"
                             "BT /F1 12 Tf 400 180 Td (R&D costs) Tj ET\n"
                             "q 0.4 g BT /F1 10 Tf 20 90 Td 1.5 Tc (Spaced out) Tj ET Q\n"
                             "BT /F1 10 Tf 14 TL 300 100 Td (First) Tj (Quoted line) ' 3 0.5 (Double word) \" ET\n"
                             "q 1 0 0 1 20 120 cm /Fm0 Do Q\n";
    const QByteArray page2 = "BT /F1 14 Tf 40 300 Td", page2Rest = "(Second line) Tj ET\nq 1 0 0 1 40 200 cm /Fm0 Do Q\n";
    const QByteArray form = "BT /F1 12 Tf 0 10 Td (Shared words) Tj ET";
    const QByteArray pattern = "1 0 0 rg 0 0 5 5 re f";
    const QByteArray profile = grayProfile();
    const QByteArray forms = sharedNames ? "13 0 R" : "<< /Fm0 9 0 R >>";
    const QByteArray resources = "/Resources << /Font << /F1 3 0 R /F2 4 0 R /F3 << /Type /Font /Subtype /Type1"
                                 " /BaseFont /Helvetica-Oblique >> >> /XObject " + forms
                                 + " /ColorSpace << /R20 [/Indexed /DeviceRGB 1 <202020e0e0e0>] /CS0 [/ICCBased 10 0 R] >>"
                                 " /Pattern << /P0 11 0 R >> /Shading << /Sh0 << /ShadingType 2 /ColorSpace /DeviceRGB"
                                 " /Coords [180 0 240 0] /Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1]"
                                 " /N 1 >> >> >> >>";
    QVector<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Count 2 /Kids [5 0 R 7 0 R] >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Bold >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 400] " + resources + " /Contents 6 0 R >>",
        stream("", page1),
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 400] /Rotate 90 " + resources + " /Contents [8 0 R 12 0 R] >>",
        stream("", page2),
        stream("/Type /XObject /Subtype /Form /BBox [0 0 300 40] /Resources << /Font << /F1 3 0 R >> >>", form),
        stream("/N 1 /Alternate /DeviceGray", profile),
        stream("/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10"
               " /Resources << >>", pattern),
        stream("", page2Rest)};
    if (sharedNames)
        objects << "<< /Fm0 9 0 R >>";
    return pdfOf(objects << "<< /Title (Made) >>");
}

// Words in fonts whose widths have fractions, as pdfTeX and reportlab write
// them: page 1 in a Type 1 font, page 2 in a TrueType one (neither embedded:
// readers place the glyphs by the widths). Each has a long line drawn by a
// TJ with word spacing and a number of many decimals, and one drawn by a Tj
// with character spacing.
QByteArray fractionalPdf()
{
    QByteArray widths;
    for (int c = 32; c <= 122; ++c)
        widths += QByteArray::number(420 + (c * 37) % 250) + (c % 3 == 0 ? ".4 " : c % 3 == 1 ? ".55 " : ".7 ");
    const QByteArray font = " /FirstChar 32 /LastChar 122 /Widths [" + widths + "] >>";
    const QByteArray content = "BT /F1 16 Tf 0.37 Tw 30 300 Td [(Alpha Bravo )-12.3456789(Charlie Delta Echo Foxtrot Golf)] TJ ET\n"
                               "BT /F1 16 Tf 0.21 Tc 30 260 Td (India Juliet Kilo Lima Mike November) Tj ET\n";
    const QByteArray page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 400] /Contents 5 0 R /Resources << /Font << /F1 ";
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 2 /Kids [3 0 R 4 0 R] >>",
                  page + "6 0 R >> >> >>", page + "7 0 R >> >> >>", stream("", content),
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica" + font,
                  "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /WinAnsiEncoding" + font,
                  "<< /Title (Fractional widths) >>"});
}

// Words whose text readers take from the /ActualText of a marked span over
// glyphs that spell something else: a letter-spaced heading, and a word of
// other letters (its text in UTF-16); one whose /ActualText is in properties
// the page's resources name, which readers pass over; words beside them. And
// words in a font re-encoded as ps2pdf does, whose glyphs are named by
// numbers only ("g65"): readers take the numbers for the characters.
QByteArray markedPdf()
{
    const QByteArray content = "BT /F1 14 Tf 40 300 Td (Before) Tj ET\n"
                               "/Span << /ActualText (INFORMATION) /Lang (en) >> BDC BT /F1 14 Tf 2 Tc 120 300 Td"
                               " (I N F O R M A T I O N) Tj ET EMC\n"
                               "BT /F1 14 Tf 400 300 Td (After) Tj ET\n"
                               "/Span << /ActualText <FEFF00530075006D006D006100720079> >> BDC BT /F1 12 Tf 40 250 Td"
                               " (Zqxjvkw) Tj ET EMC\n"
                               "BT /F1 12 Tf 140 250 Td (more words) Tj ET\n"
                               "/Span /MC0 BDC BT /F1 12 Tf 40 200 Td (Kept) Tj ET EMC\n"
                               "BT /F2 12 Tf 0 Tc 300 200 Td (CAB DAB BAD) Tj ET\n";
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 400] /Contents 4 0 R /Resources << /Font << /F1 << /Type"
                  " /Font /Subtype /Type1 /BaseFont /Helvetica >> /F2 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding"
                  " << /Type /Encoding /BaseEncoding /WinAnsiEncoding /Differences [65 /g65 /g66 /g67 /g68] >> /FirstChar 32"
                  " /LastChar 68 /Widths [278 " + QByteArray("0 ").repeated(32) + "667 667 722 722] >> >>"
                  " /Properties << /MC0 << /ActualText (Other) >> >> >> >>",
                  stream("", content), "<< /Title (Marked) >>"});
}

// A descriptor of a face named Plain, of the given weight, and a font of it.
QByteArray weighed(const QByteArray &weight)
{
    return "<< /Type /FontDescriptor /FontName /Plain /Flags 32 /FontBBox [0 -200 1000 900] /ItalicAngle 0 /Ascent 900"
           " /Descent -200 /CapHeight 700 /StemV 80 /FontWeight " + weight + " >>";
}
QByteArray plainFont(int descriptor)
{
    return "<< /Type /Font /Subtype /Type1 /BaseFont /Plain /FontDescriptor " + QByteArray::number(descriptor) + " 0 R >>";
}

// A ToUnicode map from codes between the two of `codespace` by `entries`
// (a bfchar or bfrange block).
QByteArray unicodeMap(const QByteArray &codespace, const QByteArray &entries)
{
    return "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Map def /CMapType 2 def\n"
           "1 begincodespacerange " + codespace + " endcodespacerange\n" + entries
        + "\nendcmap CMapName currentdict /CMap defineresource pop end end";
}

// A page of words in the colours and encodings the made document leaves
// out: CMYK by k (and by sc after k), device RGB named, calibrated RGB and grey and Lab from the
// resources, ICC based RGB and CMYK, device spaces named in the resources, a word after an inline image in a DeviceN space of two
// colorants and one after an image in an inline indexed space by its long
// name (each image's data hold " EI Q ", which only their length passes
// over), an accented word in WinAnsi and a letter whose ToUnicode entry is a
// character outside the Basic Multilingual Plane.
QByteArray colouredWordsPdf()
{
    const QByteArray content = QByteArray("BT /F1 12 Tf 0.2 0.4 0.6 0 k 40 360 Td (Cmyk) Tj ET\n"
                                          "BT /F1 12 Tf 0 0 0 1 k 0.2 0.4 0.6 0 sc 120 360 Td (Ink) Tj ET\n"
                                          "BT /F1 12 Tf /DeviceRGB cs 0 0 1 sc 40 340 Td (Blue) Tj ET\n"
                                          "BT /F1 12 Tf /CR cs 0 1 0 sc 40 320 Td (Green) Tj ET\n"
                                          "BT /F1 12 Tf /LB cs 50 20 20 sc 40 300 Td (Lab) Tj ET\n"
                                          "BT /F1 12 Tf /CG cs 0.5 sc 40 280 Td (Gray) Tj ET 0 g\n"
                                          "BT /F1 12 Tf /IR cs 1 0 0 sc 120 340 Td (Red) Tj ET\n"
                                          "BT /F1 12 Tf /IK cs 0 0 0 0.5 sc 120 320 Td (Key) Tj ET 0 g\n"
                                          "BT /F1 12 Tf /NG cs 0.5 sc 120 300 Td (Dim) Tj ET 0 g\n"
                                          "BT /F1 12 Tf /NC cs 1 0 0 0 sc 120 280 Td (Cyan) Tj ET 0 g\n"
                                          "q 1 0 0 1 0 -20 cm q 50 0 0 10 300 360 cm BI /W 5 /H 1 /BPC 8 /CS /DN ID ")
        + QByteArray("\x00\x01\x02\x03 EI Q ", 10) + " EI Q BT /F1 12 Tf 300 370 Td (Mixed) Tj ET Q\n"
        + "q 1 0 0 1 0 -20 cm q 50 0 0 10 300 320 cm BI /W 10 /H 1 /BPC 8 /CS [/Indexed /DeviceRGB 1 <ff00000000ff>] ID "
        + QByteArray("\x00\x01\x00\x01 EI Q ", 10) + " EI Q BT /F1 12 Tf 300 330 Td (Listed) Tj ET Q\n"
        // An image whose dictionary gives the data's length (L); and a move
        // of a name, which readers pass over.
        + "q 1 0 0 1 0 -20 cm q 50 0 0 10 300 280 cm BI /W 6 /H 1 /BPC 8 /CS /G /L 6 ID " + QByteArray("\x00 EI Q", 6)
        + " EI Q BT /F1 12 Tf 300 290 Td (Sized) Tj ET Q\n"
        // One bit a sample, 9 a row: each row fills two bytes.
        + "q 1 0 0 1 0 -20 cm q 50 0 0 10 300 240 cm BI /W 9 /H 4 /BPC 1 /CS /G ID " + QByteArray("\x00\x00\x00 EI (", 8)
        + " EI Q BT /F1 12 Tf 300 250 Td (Bits) Tj ET Q\n"
        + "BT /F1 12 Tf 300 220 Td /X 200 Td (Named) Tj ET\n"
        + "BT /F2 12 Tf 40 260 Td (Caf\\351) Tj ET\n"
        + "BT /F3 12 Tf 40 240 Td (AB) Tj ET\n"
        // Faces told only by the weights their descriptors give.
        + "BT /F4 12 Tf 40 220 Td (Heavy) Tj ET BT /F5 12 Tf 40 200 Td (Semi) Tj ET BT /F6 12 Tf 40 180 Td (Medium) Tj ET\n"
        + "BT /F7 12 Tf 300 200 Td <0057006900640065> Tj ET\n";
    const QByteArray white = "<< /WhitePoint [0.9505 1 1.089] >>";
    const QByteArray toUnicode = unicodeMap("<00> <FF>", "2 beginbfchar <41> <D835DC00> <42> <0042> endbfchar");
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 400] /Contents 4 0 R /Resources << /Font << /F1 5 0 R"
                  " /F2 6 0 R /F3 7 0 R /F4 14 0 R /F5 16 0 R /F6 18 0 R /F7 19 0 R >> /ColorSpace << /CR [/CalRGB " + white + "] /CG [/CalGray " + white + "] /LB [/Lab "
                      + white + "] /DN [/DeviceN [/A /B] /DeviceGray 8 0 R] /IR [/ICCBased 10 0 R] /IK [/ICCBased 11 0 R] /NG /DeviceGray /NC /DeviceCMYK >> >> >>",
                  stream("", content), "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 9 0 R >>",
                  stream("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1]", "{ add 2 div }"), stream("", toUnicode),
                  stream("/N 3 /Alternate /DeviceRGB", "profile"), stream("/N 4 /Alternate /DeviceCMYK", "profile"),
                  "<< /Title (Colours) >>", weighed("700"), plainFont(13), weighed("600"), plainFont(15), weighed("599"), plainFont(17),
                  "<< /Type /Font /Subtype /Type0 /BaseFont /Plain /Encoding /Identity-H /DescendantFonts [20 0 R] /ToUnicode 21 0 R >>",
                  "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Plain /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity)"
                  " /Supplement 0 >> /DW 500 /FontDescriptor 13 0 R >>",
                  stream("", unicodeMap("<0000> <FFFF>", "1 beginbfrange <0020> <007E> <0020> endbfrange"))});
}

// The page at 100 dpi (at 72 its crop box, a pixel a point), and what poppler said while drawing it.
struct Rendered { QImage image; QByteArray warnings; };

Rendered render(const QString &pdf, int page, int dpi = 100)
{
    const QString base = QFileInfo(pdf).absolutePath() + "/render", n = QString::number(page);
    const QStringList crop = dpi == 72 ? QStringList{"-cropbox"} : QStringList();
    const Result r = run("pdftoppm", crop + QStringList{"-r", QString::number(dpi), "-png", "-singlefile", "-f", n, "-l", n, pdf, base});
    Rendered out{QImage(base + ".png").convertToFormat(QImage::Format_RGB32), r.err};
    QFile::remove(base + ".png");
    return out;
}

// Pixels that differ between the two pictures outside `allowed` (points).
int changedOutside(const QImage &a, const QImage &b, const QVector<QRectF> &allowed)
{
    if (a.size() != b.size() || a.isNull())
        return -1;
    int n = 0;
    const double scale = 100.0 / 72;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *pb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (pa[x] == pb[x])
                continue;
            const QPointF at(x / scale, y / scale);
            n += std::none_of(allowed.begin(), allowed.end(), [&](const QRectF &r) { return r.adjusted(-2, -2, 2, 2).contains(at); });
        }
    }
    return n;
}

QByteArray pageText(const QString &pdf, int page)
{
    return run("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), pdf, "-"}).out;
}

int pageCount(const QString &pdf)
{
    return QRegularExpression("Pages:\\s+(\\d+)").match(QString::fromUtf8(run("pdfinfo", {pdf}).out)).captured(1).toInt();
}

// The document with the cross-reference offset of its last object (the
// information) 7 bytes early, which the library repairs on opening; empty
// when there is no such object.
QByteArray infoMisplaced(QByteArray pdf)
{
    const int last = pdf.count(" 0 obj\n");
    const int info = pdf.lastIndexOf("\n" + QByteArray::number(last) + " 0 obj") + 1;
    const QByteArray entry = QByteArray::number(info).rightJustified(10, '0') + " 00000 n ";
    if (info == 0 || !pdf.contains(entry))
        return QByteArray();
    return pdf.replace(entry, QByteArray::number(info - 7).rightJustified(10, '0') + " 00000 n ");
}

// A repaired document of two pages of words whose second page draws from
// `contents`: object 7, a stream that cannot be decoded (its predictor
// names more colours than any space has), or anything else. Reading the
// page back is first tried on the written file.
QByteArray repairedTwoPages(const QByteArray &contents)
{
    const QByteArray page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> /Contents ";
    const QByteArray words = "BT /F1 14 Tf 40 700 Td (Alpha Beta) Tj ET";
    const QByteArray bad(64, 'x');
    return infoMisplaced(pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 2 /Kids [4 0 R 6 0 R] >>",
                                "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", page + "5 0 R >>",
                                "<< /Length " + QByteArray::number(words.size()) + " >>\nstream\n" + words + "\nendstream",
                                page + contents + " >>",
                                "<< /Filter /FlateDecode /DecodeParms << /Predictor 12 /Colors 99999 >> /Length 64 >>\nstream\n"
                                    + bad + "\nendstream",
                                "<< /Title (Repaired) >>"}));
}

// Three pages showing "Page 1" to "Page 3", their tree bent as `quirk`
// says: "notype" page 2 lacks /Type, "nodetype" the /Pages node does,
// "null" and "name" such a kid stands among the kids, "twice" page 2 is
// listed again in place of page 3, "self" page 2 is its own parent, "low"
// the /Count is one below the kids, "numbers" page 2 also names its
// content with generation 1; anything else, none of these. Every reader
// takes each with one page count.
QByteArray quirkyTreePdf(const QByteArray &quirk)
{
    const auto num = [](int v) { return QByteArray::number(v); };
    QByteArray kids = "4 0 R 5 0 R 6 0 R";
    if (quirk == "null" || quirk == "name")
        kids = "4 0 R " + QByteArray(quirk == "null" ? "null" : "/Odd") + " 5 0 R 6 0 R";
    if (quirk == "twice")
        kids = "4 0 R 5 0 R 5 0 R";
    if (quirk == "catalog")
        kids = "4 0 R 1 0 R 5 0 R 6 0 R";
    const QByteArray count = quirk == "low" ? "2" : quirk == "high1" ? "4" : quirk == "high2" ? "5" : "3";
    QVector<QByteArray> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                   "<< " + QByteArray(quirk == "nodetype" ? "" : "/Type /Pages ") + "/Count " + count
                                       + " /Kids " + (quirk == "kidsref" ? "4 0 R" : "[" + kids + "]") + " >>",
                                   "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    for (int n = 1; n <= 3; ++n) {
        const bool bent = n == 2;
        const QByteArray type = bent && quirk == "notype" ? "" : bent && quirk == "pagesleaf" ? "/Type /Pages " : "/Type /Page ";
        objects << "<< " + type + "/Parent "
                + (bent && quirk == "self" ? "5" : "2") + " 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >>"
                  " /Contents " + num(6 + n) + " 0 R" + (bent && quirk == "numbers" ? " /PieceInfo << /X 8 1 R >>" : "")
                + (n == 1 && quirk == "pagekids" ? " /Kids [5 0 R]" : "") + " >>";
    }
    for (int n = 1; n <= 3; ++n)
        objects << stream("", "BT /F1 24 Tf 72 700 Td (Page " + num(n) + ") Tj ET");
    return pdfOf(objects << "<< /Title (Quirks) >>");
}

// A page showing "Page 1" whose objects but its content lie in an object
// stream, found through a cross-reference stream (neither compressed); the
// information dictionary `info` is packed with them. `bend`, when given,
// rewrites the stream's list of objects and their places ("1 0 2 34 ...").
QByteArray packedPdf(const QByteArray &info, QByteArray (*bend)(const QByteArray &) = nullptr)
{
    const auto num = [](int v) { return QByteArray::number(v); };
    const QVector<QPair<int, QByteArray>> packed = {
        {1, "<< /Type /Catalog /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Count 1 /Kids [4 0 R] >>"},
        {3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"},
        {4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> /Contents 5 0 R >>"},
        {6, info}};
    QByteArray list, body;
    for (const auto &object : packed) {
        list += num(object.first) + ' ' + num(body.size()) + ' ';
        body += object.second + '\n';
    }
    if (bend)
        list = bend(list);
    QByteArray pdf = "%PDF-1.5\n";
    const int content = pdf.size();
    pdf += "5 0 obj\n" + stream("", "BT /F1 24 Tf 72 700 Td (Page 1) Tj ET") + "\nendobj\n";
    const int objects = pdf.size();
    pdf += "7 0 obj\n" + stream("/Type /ObjStm /N 5 /First " + num(list.size()), list + body) + "\nendobj\n";
    // Entries of 1 + 2 + 1 bytes: the kind, then the place or the stream, then the generation or the index.
    const auto entry = [](int kind, int field, int last) {
        return QByteArray(1, char(kind)) + char(field >> 8) + char(field & 0xFF) + char(last);
    };
    QByteArray entries = entry(0, 0, 255);
    for (int n = 1; n <= 7; ++n) {
        const auto at = std::find_if(packed.begin(), packed.end(), [n](const auto &o) { return o.first == n; });
        entries += at != packed.end() ? entry(2, 7, int(at - packed.begin())) : entry(1, n == 5 ? content : objects, 0);
    }
    entries += entry(1, pdf.size(), 0);
    const int table = pdf.size();
    return pdf + "8 0 obj\n" + stream("/Type /XRef /Size 9 /W [1 2 1] /Root 1 0 R /Info 6 0 R", entries)
        + "\nendobj\nstartxref\n" + num(table) + "\n%%EOF\n";
}

// How pdfinfo says the document is encrypted: "yes (print:yes ...)" or "no".
QString encryptionOf(const QString &pdf)
{
    return QRegularExpression("Encrypted:\\s+([^\\n]*)").match(QString::fromUtf8(run("pdfinfo", {pdf}).out)).captured(1);
}

// The page count qpdf reads.
int qpdfPageCount(const QString &pdf)
{
    const Result r = run("qpdf", {"--show-npages", pdf});
    return r.exitCode == 0 || r.exitCode == 3 ? r.out.trimmed().toInt() : -1;   // 3: read with warnings
}

// The page's own content streams, decoded and joined, as qpdf reads them.
QByteArray pageContent(const QString &pdf, int page)
{
    const QByteArray pages = run("qpdf", {"--show-pages", pdf}).out;
    const int from = pages.indexOf("page " + QByteArray::number(page) + ":");
    const int to = pages.indexOf("\npage ", from + 1);
    QByteArray content;
    const QRegularExpression object("\\n    (\\d+) 0 R");
    const QString listed = from < 0 ? QString() : QString::fromLatin1(pages.mid(from, to < 0 ? -1 : to - from));
    for (auto it = object.globalMatch(listed); it.hasNext();)
        content += run("qpdf", {"--show-object=" + it.next().captured(1), "--filtered-stream-data", pdf}).out + '\n';
    return content;
}

// The text-showing operations of a content stream, as they are written.
QStringList showOperations(const QByteArray &content)
{
    static const QRegularExpression show(R"re((\((?:[^()\\]|\\.)*\)|<[0-9A-Fa-f\s]*>|\[[^\]]*\])\s*(Tj|TJ|'))re");
    QStringList out;
    // Whole: image data may hold zero bytes.
    for (auto it = show.globalMatch(QString::fromLatin1(content.constData(), content.size())); it.hasNext();)
        out << it.next().captured(0);
    return out;
}

// An input for the tables below: a sample, the made document ("made!" with
// its information object's offset wrong, which the library repairs, "made="
// with its pages sharing the names of their forms), the words in fonts of
// fractional widths ("fractional"), the words of marked spans ("marked"), or
// one of them turned by qpdf ("name>rotation").
QString inputFile(const QString &name, const QString &folder)
{
    const QString source = name.section('>', 0, 0);
    QString path = folder + "/in.pdf";
    if (source.startsWith("made") || source == "fractional" || source == "marked") {
        const QByteArray pdf = source == "fractional" ? fractionalPdf()
            : source == "marked"                  ? markedPdf()
            : source == "made!"                   ? infoMisplaced(madePdf())
                                                  : madePdf(source == "made=");
        if (pdf.isEmpty() || !writeFile(path, pdf))
            return QString();
    } else if (!QFile::copy(GRIDMOLT_SAMPLES_DIR "/" + source, path)) {
        return QString();
    }
    if (name.contains('>')) {
        const QString turned = folder + "/turned.pdf";
        run("qpdf", {"--rotate=" + name.section('>', 1), path, turned});
        path = turned;
    }
    return QFileInfo::exists(path) ? path : QString();
}

// Glyphs of one line for the finder: each character of `text` a glyph of
// advance 6 at size 10, a blank a space glyph, a "|" a gap of 20 units
// (words separated by positioning only), a "/" a new line 30 units lower,
// a ">" goes back to where the first line ended, and a "^" makes the
// glyphs after it 40 times as large; a "~" is a space
// glyph of no width (a word spacing that takes the space's advance back);
// a "*" makes the next glyph one the rewrite cannot remove.
std::vector<PageGlyphs::Glyph> lineOfGlyphs(const QString &text)
{
    std::vector<PageGlyphs::Glyph> glyphs;
    float x = 0, y = 100, scale = 1, lineEnd = 0;
    bool fixed = false;
    for (const uint c : text.toUcs4()) {
        if (c == '*') {
            fixed = true;
            continue;
        }
        if (c == '>') {   // back to the end of the first line
            x = lineEnd;
            y = 100;
            continue;
        }
        if (c == '|' || c == '/' || c == '^') {
            lineEnd = y == 100 ? x : lineEnd;
            x = c == '|' ? x + 20 : c == '/' ? 0 : x;
            y += c == '/' ? 30 : 0;
            scale = c == '^' ? 40 : scale;
            continue;
        }
        const float advance = c == '~' ? 0 : 6 * scale;
        PageGlyphs::Glyph g;
        g.text = std::u32string(1, c == '~' ? U' ' : char32_t(c));
        g.space = c == ' ' || c == '~';
        g.origin = {x, y};
        g.size = 10 * scale;
        g.advance = advance;
        g.box = fz_make_rect(x, y - 8 * scale, x + advance, y + 2 * scale);
        g.removable = !fixed;
        fixed = false;
        glyphs.push_back(g);
        x += advance;
    }
    return glyphs;
}
// Pictures of noise, damaged where the PDF library still decodes them from
// what is left: a PNG cut after its first whole data chunk, one with a bit
// of its data flipped (its checksum then wrong), a JPEG cut in the middle.
struct DamagedPictures { QByteArray cutPng, flippedPng, cutJpeg; };

DamagedPictures damagedPictures()
{
    QImage noise(200, 200, QImage::Format_RGB32);
    quint32 seed = 1;
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, seed = seed * 1664525u + 1013904223u);
    QByteArray png, jpeg;
    QBuffer pngBuffer(&png), jpegBuffer(&jpeg);
    if (!noise.save(&pngBuffer, "PNG") || !noise.save(&jpegBuffer, "JPG"))
        return {};
    // Chunks: length, type, data, checksum; the first after the signature is IHDR.
    int at = 8, firstData = -1;
    while (at + 8 <= png.size() && firstData < 0) {
        const int length = int(qFromBigEndian<quint32>(png.constData() + at));
        if (png.mid(at + 4, 4) == "IDAT")
            firstData = at;
        else
            at += 12 + length;
    }
    if (firstData < 0)
        return {};
    const int firstEnd = firstData + 12 + int(qFromBigEndian<quint32>(png.constData() + firstData));
    QByteArray flipped = png;
    flipped[firstData + 20] = char(flipped[firstData + 20] ^ 1);
    return {png.left(firstEnd), flipped, jpeg.left(jpeg.size() / 2)};
}

// One page per rotation (0, 90, 180, 270) showing the shapes that part words
// without a space glyph: a number after a gap made by a TJ offset and one in
// a text object of its own, a list of codes apart by small offsets, a value
// pushed right by a TJ offset, a letter-spaced word (alone on its line: how
// the reader parts such a line depends on its other words), letters spaced
// so wide after a word that each is a word, and words written up the page
// by a turned text matrix.
QByteArray turnedShapesPdf()
{
    const QByteArray content = "BT /F1 12 Tf 40 740 Td [(Total)-2000(1234)] TJ ET\n"
                               "BT /F1 12 Tf 40 710 Td (Amount) Tj ET BT /F1 12 Tf 92 710 Td (567) Tj ET\n"
                               "BT /F1 10 Tf 40 680 Td [(AT,)-250(BE,)-250(IE,)-250(FR)] TJ ET\n"
                               "BT /F1 10 Tf 40 650 Td [(Label)-15000(99.5)] TJ ET\n"
                               "BT /F1 10 Tf 2 Tc 40 620 Td (Spaced) Tj 0 Tc ET\n"
                               "BT /F1 10 Tf 40 590 Td (Code ) Tj 3 Tc (AB12) Tj 0 Tc ET\n"
                               "BT /F1 12 Tf 0 1 -1 0 300 400 Tm (Upwards words here) Tj ET\n";
    QVector<QByteArray> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                   "<< /Type /Pages /Count 4 /Kids [5 0 R 6 0 R 7 0 R 8 0 R] >>",
                                   "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                                   "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content
                                       + "\nendstream"};
    for (const int rotate : {0, 90, 180, 270})
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 500 800] /Rotate " + QByteArray::number(rotate)
                + " /Resources << /Font << /F1 3 0 R >> >> /Contents 4 0 R >>";
    return pdfOf(objects << "<< /Title (Shapes) >>");
}

// A page in fonts that show what Helvetica cannot: /F2 Helvetica whose
// code 200 names a glyph no reader knows a character for; over an embedded
// DejaVu Sans, /F3 written down the page (Identity-V), /F4 written down the
// page by a one-byte map of its own that gives the space no glyph (a space
// then moves by the word spacing only), /F5 written across (Identity-H)
// with no character for "#". In `content`, "{text}" stands for the
// two-byte codes of `text` in /F3 and /F5, a string of one-byte codes
// serves /F4. Empty when the font cannot be read.
QByteArray otherFontsPdf(const QByteArray &content)
{
    QFile file(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
    const QByteArray program = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const QString letters = QStringLiteral("HeloWrdAagin #");
    QMap<QChar, int> gid;   // of each letter in the program
    fz_context *ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
    try {
        guarded(ctx, [&] {
            fz_buffer *buffer = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char *>(program.constData()),
                                                               size_t(program.size()));
            fz_font *font = nullptr;
            fz_try(ctx)
                font = fz_new_font_from_buffer(ctx, "DejaVuSans", buffer, 0, 0);
            fz_always(ctx)
                fz_drop_buffer(ctx, buffer);
            fz_catch(ctx)
                fz_rethrow(ctx);
            for (const QChar c : letters)
                gid[c] = fz_encode_character(ctx, font, c.unicode());
            fz_drop_font(ctx, font);
        });
    } catch (const std::exception &) {
        gid.clear();
    }
    fz_drop_context(ctx);
    if (gid.size() != letters.size() || std::count(gid.begin(), gid.end(), 0))
        return QByteArray();
    const auto hex = [](int v, int digits) { return "<" + QByteArray::number(v, 16).rightJustified(digits, '0') + ">"; };
    const auto toUnicode = [&](const QVector<QPair<int, int>> &pairs, int digits) {
        QByteArray entries;
        for (const auto &p : pairs)
            entries += hex(p.first, digits) + ' ' + hex(p.second, 4) + '\n';
        return "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Letters-UCS def /CMapType 2 def\n"
               "1 begincodespacerange " + hex(0, digits) + ' ' + hex(digits == 2 ? 0xFF : 0xFFFF, digits)
            + " endcodespacerange\n" + QByteArray::number(pairs.size()) + " beginbfchar\n" + entries
            + "endbfchar\nendcmap CMapName currentdict /CMap defineresource pop end end";
    };
    QVector<QPair<int, int>> byGlyph, byCode, known;
    QByteArray cids;
    for (const QChar c : letters) {
        byGlyph << qMakePair(gid[c], int(c.unicode()));
        if (c != '#')
            known << qMakePair(gid[c], int(c.unicode()));
        if (c != ' ' && c != '#') {
            byCode << qMakePair(int(c.unicode()), int(c.unicode()));
            cids += hex(c.unicode(), 2) + ' ' + QByteArray::number(gid[c]) + '\n';
        }
    }
    const QByteArray system = "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>";
    const QByteArray cmap = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap " + system
        + " def /CMapName /Letters-V def /CMapType 1 def /WMode 1 def\n1 begincodespacerange <00> <FF> endcodespacerange\n"
        + QByteArray::number(byCode.size()) + " begincidchar\n" + cids
        + "endcidchar\nendcmap CMapName currentdict /CMap defineresource pop end end";
    QByteArray shown = content;
    static const QRegularExpression braced(QStringLiteral("\\{([^}]*)\\}"));
    for (QRegularExpressionMatch m = braced.match(QString::fromLatin1(shown)); m.hasMatch();
         m = braced.match(QString::fromLatin1(shown))) {
        QByteArray codes;
        for (const QChar c : m.captured(1))
            codes += QByteArray::number(gid.value(c), 16).rightJustified(4, '0');
        shown.replace(m.capturedStart(), m.capturedLength(), "<" + codes + ">");
    }
    // Glyphs a cell high and an em wide; what maps to no glyph (CID 0) moves nothing down the page.
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F2 5 0 R"
                  " /F3 6 0 R /F4 7 0 R /F5 8 0 R >> >> >>",
                  stream("", shown),
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Type /Encoding /Differences [200 /zzqq] >> >>",
                  "<< /Type /Font /Subtype /Type0 /BaseFont /DejaVuSans /Encoding /Identity-V /DescendantFonts [9 0 R] /ToUnicode 12 0 R >>",
                  "<< /Type /Font /Subtype /Type0 /BaseFont /DejaVuSans /Encoding 13 0 R /DescendantFonts [9 0 R] /ToUnicode 14 0 R >>",
                  "<< /Type /Font /Subtype /Type0 /BaseFont /DejaVuSans /Encoding /Identity-H /DescendantFonts [9 0 R] /ToUnicode 15 0 R >>",
                  "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /DejaVuSans " + system + " /FontDescriptor 10 0 R /DW 1000"
                  " /W2 [0 [0 500 880]] /DW2 [880 -1000] /CIDToGIDMap /Identity >>",
                  "<< /Type /FontDescriptor /FontName /DejaVuSans /Flags 32 /FontBBox [-1021 -463 1793 1232] /ItalicAngle 0"
                  " /Ascent 928 /Descent -236 /CapHeight 700 /StemV 80 /FontFile2 11 0 R >>",
                  stream("/Length1 " + QByteArray::number(program.size()), program), stream("", toUnicode(byGlyph, 4)),
                  stream("/Type /CMap /CMapName /Letters-V " + system + " /WMode 1", cmap), stream("", toUnicode(byCode, 2)),
                  stream("", toUnicode(known, 4)), "<< /Title (Other fonts) >>"});
}

// The box of the dark pixels of `image` inside `area`; null when there are none.
QRect inkIn(const QImage &image, const QRect &area)
{
    QRect ink;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                ink |= QRect(x, y, 1, 1);
    return ink;
}
} // namespace

// The replacement engine as the replacement window starts it, checked with
// readers we did not write: pdftotext for words and their boxes, pdftoppm for
// what is drawn where, pdfimages, pdfinfo and qpdf for the document.
class OstrelTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    // Whatever else the machine has, the engine draws only with the fonts
    // these tests expect: a replacement no font can draw is that on any machine.
    void initTestCase() { QVERIFY(TestFonts::useOnlyTheTestFonts(dir_.path().toStdString())); }

    void ruleLinesAreRead()
    {
        // The bytes, whether they are read as picture rules, and what is
        // read: "count: page left top width height|find|replace;..." (every
        // reading of the last rule) or "count: ...|path"; "!" and the start
        // of the error for a refusal.
        const struct { const char *name; QByteArray bytes; bool image; QString expected; } cases[] = {
            {"text after a byte-order mark", "\xEF\xBB\xBF" "3-120-45-60-12:Total:Sum\r\n", false, "1: 3 120 45 60 12|Total|Sum"},
            {"line feeds, blank lines, no replacement", "\n1-2-3-4-5:a:b\n\r\n2-0-0-1-1:x:\n", false, "2: 2 0 0 1 1|x|"},
            {"lone carriage returns end lines", "1-72-133-41-12:Hello:Bye\r1-72-133-41-12:Second:Two\r", false,
                "2: 1 72 133 41 12|Second|Two"},
            {"mixed line ends", "1-0-0-1-1:a:b\r\r\n2-0-0-1-1:c:d\n\r3-0-0-1-1:e:f", false, "3: 3 0 0 1 1|e|f"},
            {"colon in find or replacement: both readings", "12-0-7-130-14:a:b:\r\n", false, "1: 12 0 7 130 14|a|b:;a:b|"},
            {"colon in replacement", "1-0-0-9-9:Time:10:30\r\n", false, "1: 1 0 0 9 9|Time|10:30;Time:10|30"},
            {"leading colon is no empty find", "1-0-0-9-9::x:y\r\n", false, "1: 1 0 0 9 9|:x|y"},
            {"only a leading colon: an empty find text", "1-0-0-9-9::x\r\n", false, "!line 1: the find text is empty"},
            {"leading zeros, huge page", "0099999999999-080-0-1-1:a:b", false, "1: 1000000000=0099999999999 80 0 1 1|a|b"},
            {"image", "3:120:45:(/pics/a.png):80:20\r\n", true, "1: 3 120 45 80 20|/pics/a.png"},
            {"image path with ): and (", "1:5:6:(/p/x):(y).png):7:008\r\n", true, "1: 1 5 6 7 8|/p/x):(y).png"},
            // Nothing to do is no error.
            {"empty file", "", false, "0: "},
            {"blank lines only", "\r\n\r\r\n", true, "0: "},
            {"blanks and tabs only", " \r\n\t \n", false, "0: "},
            {"blank line between rules", "1-2-3-4-5:a:b\r\n \t\r\n2-0-0-1-1:x:y\r\n", false, "2: 2 0 0 1 1|x|y"},
            // Texts up to their limit, every reading within it.
            {"find and replacement at the limit", "1-0-0-1-1:" + QByteArray(4000, 'f') + ':' + QByteArray(4000, 'r'), false,
                "1: 1 0 0 1 1|" + QString(4000, 'f') + '|' + QString(4000, 'r')},
            {"limit counts characters, not bytes", "1-0-0-1-1:" + QString(4000, QChar(0x4e2d)).toUtf8() + ":x", false,
                "1: 1 0 0 1 1|" + QString(4000, QChar(0x4e2d)) + "|x"},
            {"readings past the limit left out", "1-0-0-1-1:a:" + QByteArray(3998, 'b') + ":cc", false,
                "1: 1 0 0 1 1|a:" + QString(3998, 'b') + "|cc"},
            {"pages past any document kept as written", "2147483648-0-0-1-1:a:b", false, "1: 1000000000=2147483648 0 0 1 1|a|b"},
            {"image page as written", "099:2:3:(p):5:5", true, "1: 99=099 2 3 5 5|p"},
            {"image path at the limit", "1:2:3:(" + QByteArray(4096, 'p') + "):5:5", true, "1: 1 2 3 5 5|" + QString(4096, 'p')},
            {"empty number", "3----:a:b\r\n", false, "!line 1: \"\" is not an unsigned integer"},
            {"four numbers", "1-2-3-4:a:b\r\n", false, "!line 1: the position needs five numbers"},
            {"no replacement part", "1-2-3-4-5:ab\r\n", false, "!line 1: no \":\" between"},
            {"sign", "1-2-3-4-+5:a:b\r\n", false, "!line 1: \"+5\" is not"},
            {"bad line after a blank one", "1-2-3-4-5:a:b\r\n\r\nx\r\n", false, "!line 3: no \":\" after the position"},
            {"bad line after lone carriage returns", "1-2-3-4-5:a:b\r\rx\r", false, "!line 3: no \":\" after the position"},
            {"text line read as image", "1-2-3-4-5:a:b\r\n", true, "!line 1: expected"},
            {"zero width", "1:2:3:(p.png):0:5\r\n", true, "!line 1: the picture's width and height must be positive"},
            {"no height after a good line", "1:2:3:(p.png):5:5\r\n1:2:3:(p.png):5\r\n", true, "!line 2: expected"},
            {"empty path", "1:2:3:():5:5\r\n", true, "!line 1: no usable picture path"},
            {"zero byte in a path", QByteArray("1:2:3:(a\0b):5:5\r\n", 17), true, "!line 1: no usable picture path"},
            // Refusals for a text's length or emptiness, with the line's number.
            {"replacement past the limit", "\r\n1-0-0-1-1:a:" + QByteArray(4001, 'r'), false,
                "!line 2: the replacement text is longer than 4000 characters"},
            {"ten megabytes of replacement", "1-0-0-1-1:a:" + QByteArray(10 << 20, 'r'), false,
                "!line 1: the replacement text is longer than 4000 characters"},
            {"find at the limit, replacement past it", "1-0-0-1-1:" + QByteArray(4000, 'f') + ':' + QByteArray(4001, 'r'), false,
                "!line 1: the replacement text is longer than 4000 characters"},
            {"find past the limit", "1-0-0-1-1:" + QByteArray(4001, 'f') + ":r", false,
                "!line 1: the find text is longer than 4000 characters"},
            {"no reading within the limit", "1-0-0-1-1:a:" + QByteArray(4000, 'b') + ":c", false,
                "!line 1: the find or the replacement text is longer than 4000 characters"},
            {"empty find", "1-2-3-4-5::b\r\n", false, "!line 1: the find text is empty"},
            {"only a colon", "1-2-3-4-5::\r\n", false, "!line 1: the find text is empty"},
            {"image path past the limit", "1:2:3:(" + QByteArray(4097, 'p') + "):5:5", true,
                "!line 1: the picture path is longer than 4096 bytes"},
            // Quoted fields: at most 80 characters, control characters escaped.
            {"long field cut", "1-" + QByteArray(300, '9') + "x-3-4-5:a:b", false, "!line 1: \"" + QString(80, '9') + "...\" is not"},
            {"zero byte in a field", QByteArray("1-2\0-3-4-5:a:b", 15), false, "!line 1: \"2\\x00\" is not an unsigned integer"},
            {"tab and invalid byte in a field", "1-2\t\xff-3-4-5:a:b", false, "!line 1: \"2\\t\\xFF\" is not"},
            {"cut sequence in a field", "1-2\xc3x-3-4-5:a:b", false, "!line 1: \"2\\xC3x\" is not"},
            {"letter in a picture rule's number", "1:2:x3:(p.png):5:5\r\n", true, "!line 1: \"x3\" is not an unsigned integer"},
            // What one file may ask of the engine.
            {"rules past the limit", QByteArray("1-0-0-1-1:a:b\n").repeated(200001), false,
                "!line 200001: a rule file holds at most 200000 rules"},
            {"readings past the limit", ("1-0-0-1-1:" + QByteArray(4000, ':') + '\n').repeated(2), false,
                "!line 2: the rules up to here hold more than 16 MB of find and replacement texts"},
            // Files as editors save them: UTF-16 either way round, with or
            // without its mark; a line of other bytes refused, naming it.
            {"UTF-16LE with its mark", utf16(QStringLiteral("1-0-0-9-9:Grüße:中文 😀\r\n"), false), false, "1: 1 0 0 9 9|Grüße|中文 😀"},
            {"UTF-16BE with its mark", utf16(QStringLiteral("\r\n1-0-0-9-9:Grüße:中文 😀"), true), false, "1: 1 0 0 9 9|Grüße|中文 😀"},
            {"UTF-16LE without a mark", utf16(QStringLiteral("1-0-0-9-9:a:ü\n"), false, false), false, "1: 1 0 0 9 9|a|ü"},
            {"UTF-16BE without a mark, a picture", utf16(QStringLiteral("3:120:45:(/p/ü.png):80:20"), true, false), true,
                "1: 3 120 45 80 20|/p/ü.png"},
            {"UTF-16 blank lines only", utf16(QStringLiteral(" \r\n\r"), false), false, "0: "},
            {"UTF-16LE, half a surrogate pair after a lone carriage return", utf16(QStringLiteral("1-0-0-9-9:a:b\r\r\n1-0-0-9-9:a:"), false)
                + QByteArray("\x3D\xD8\r\0\n\0", 6), false, "!line 3: it is not UTF-16 text (it holds U+D83D, half of a surrogate pair, alone)"},
            {"UTF-16BE, the second half of a pair first", utf16(QStringLiteral("1-0-0-9-9:a:"), true) + QByteArray("\xDE\x00", 2), false,
                "!line 1: it is not UTF-16 text (it holds U+DE00"},
            {"UTF-16, a byte left over", utf16(QStringLiteral("1-0-0-9-9:a:b\n"), false) + 'x', false,
                "!line 2: it is not UTF-16 text (the file ends in half a character)"},
            {"UTF-32", QByteArray("\xFF\xFE\0\0" "1\0\0\0", 8), false, "!line 1: the file is UTF-32 text"},
            {"Latin-1 on line 2", "1-0-0-9-9:a:b\r\n1-0-0-9-9:Gr\xFC\xDF" "e:x\r\n", false,
                "!line 2: it is not UTF-8 text (from byte 13: \"\\xFC\\xDFe:x\"); save the rule file as UTF-8"},
            {"a surrogate written as UTF-8", "1-0-0-9-9:a:\xED\xA0\x80", false, "!line 1: it is not UTF-8 text (from byte 13: \"\\xED\\xA0\\x80\")"},
            {"an overlong form", "1-0-0-9-9:\xE0\x80\xAF:x", false, "!line 1: it is not UTF-8 text (from byte 11:"},
            {"past U+10FFFF", "1-0-0-9-9:a:\xF4\x90\x80\x80", false, "!line 1: it is not UTF-8 text (from byte 13:"},
            {"a picture path not UTF-8", "1:2:3:(caf\xE9.png):5:5", true, "!line 1: it is not UTF-8 text (from byte 11: \"\\xE9.png):5:5\")"},
            {"the highest character", "1-0-0-9-9:a:\xF4\x8F\xBF\xBF", false, "1: 1 0 0 9 9|a|\U0010FFFF"},
            // A rule given again is left out, named as a repeat of the first.
            {"a repeated line", "1-0-0-9-9:a:b\r\n2-0-0-1-1:x:y\r\n01-0-0-9-9:a:b\r\n1-0-0-9-9:a:b\r\n", false,
                "2: 2 0 0 1 1|x|y / line 3, page 01, \"a:b\": it repeats line 1; rule skipped"
                " / line 4, page 1, \"a:b\": it repeats line 1; rule skipped"},
            {"the same box with other texts: no repeat", "1-0-0-9-9:a:b\n1-0-0-9-9:a:c\n1-0-0-9-9:b:b\n1-0-0-9-8:a:b\n", false,
                "4: 1 0 0 9 8|a|b"},
            {"a picture repeated in another size", "1:2:3:(p.png):5:5\n1:2:3:(p.png):9:9\n1:2:3:(q.png):5:5\n", true,
                "2: 1 2 3 5 5|q.png / line 2, page 1, picture \"p.png\": it repeats line 1; rule skipped"},
        };
        for (const auto &c : cases) {
            const RuleLines file = RuleLines::parse(c.bytes.toStdString(), c.image ? RuleLines::Kind::Image : RuleLines::Kind::Text);
            // The page, and "=" with the page as written when that is another number.
            const auto box = [](const auto &r) {
                const QString written = QString::fromStdString(r.pageText);
                return QStringLiteral("%1%2 %3 %4 %5 %6")
                    .arg(r.page)
                    .arg(written == QString::number(r.page) ? QString() : '=' + written)
                    .arg(r.left).arg(r.top).arg(r.width).arg(r.height);
            };
            // The last rule read, or the error; a refused file keeps no rule.
            QString got = file.ok() ? QStringLiteral("0: ") : '!' + QString::fromStdString(file.error());
            const int count = int(file.textRules().size() + file.imageRules().size());
            for (const TextRule &r : file.textRules()) {
                QStringList readings;
                for (const TextRule::Reading &reading : r.readings())
                    readings << QString::fromStdString(reading.find + '|' + reading.replace);
                got = QStringLiteral("%1: %2|%3").arg(count).arg(box(r), readings.join(';'));
            }
            for (const ImageRule &r : file.imageRules())
                got = QStringLiteral("%1: %2|%3").arg(count).arg(box(r), QString::fromStdString(r.path));
            for (const std::string &repeat : file.repeats())
                got += " / " + QString::fromStdString(repeat);
            QVERIFY2(file.ok() != c.expected.startsWith('!') && (file.ok() ? got == c.expected : got.startsWith(c.expected)),
                     qPrintable(c.name + (": " + got)));
        }
    }

    void rulesChangeTheWordWhereTheUserSawIt_data()
    {
        QTest::addColumn<int>("rotate");
        QTest::addColumn<QRectF>("crop");
        QTest::addColumn<QString>("format");   // of the picture put over Gamma
        QTest::newRow("upright") << 0 << QRectF(0, 0, 700, 800) << "png";
        QTest::newRow("crop box off the origin") << 0 << QRectF(50, 60, 400, 500) << "png";
        QTest::newRow("90") << 90 << QRectF(50, 60, 400, 500) << "jpg";
        QTest::newRow("180") << 180 << QRectF(0, 0, 700, 800) << "png";
        QTest::newRow("270") << 270 << QRectF(20, 10, 600, 450) << "bmp";
    }

    // In a folder whose name, like the files', holds what a careless
    // quoting or temporary-name step would trip over.
    void rulesChangeTheWordWhereTheUserSawIt()
    {
        QFETCH(int, rotate);
        QFETCH(QRectF, crop);
        QFETCH(QString, format);
        QTemporaryDir work;
        const QString folder = work.filePath(QStringLiteral("a \"b\" #1 %20 ü")) + '/';
        const QString in = folder + "in #%ü.pdf", out = folder + "out \"ü\".pdf", rules = folder + "rules %s.txt";
        QVERIFY(QDir().mkpath(folder) && writeFile(in, pdfWithPages({{rotate, crop}, {90, QRectF(0, 0, 700, 800)}})));
        const QVector<Word> before = words(in, 1);
        const QRectF beta = boxOf(before, "Beta"), note = boxOf(before, "Note:"), gamma = boxOf(before, "Gamma");
        QVERIFY(!beta.isNull() && !note.isNull() && !gamma.isNull() && before.size() == 5);

        // Beta becomes Greek and accented text, the colon rule keeps its
        // colon; a rule over no text, one on a missing page and one whose
        // replacement no font can draw (Gamma stays) are skipped.
        const Result r = ostrel(in, "-tesome", out, rules, ruleBox(1, beta) + ":Beta:Βή Gü\r\n" + ruleBox(1, note) + ":Note::N:\r\n"
                                + "1-1-1-5-5:x:y\r\n4-1-1-10-10:x:y\r\n" + ruleBox(1, gamma) + ":Gamma:\U000F0000\r\n");
        QVERIFY2(r.exitCode == 2 && r.err.contains("line 3, page 1, \"x:y\": its find text is not in its box")
                     && r.err.contains("line 4, page 4, \"x:y\": the document has no such page")
                     && r.err.contains("line 5, page 1, \"Gamma:\xf3\xb0\x80\x80\": no installed font can draw its replacement")
                     && r.err.count('\n') == 3,
                 r.err.constData());

        const QVector<Word> after = words(out, 1);
        for (const Word &w : before) {   // Beta and the note gone, the others where they were
            const QRectF kept = boxOf(after, w.text);
            QVERIFY2(w.text == "Beta" || w.text == "Note:" ? kept.isNull()
                     : qAbs(kept.left() - w.box.left()) < 0.5 && qAbs(kept.top() - w.box.top()) < 0.5, qPrintable(w.text));
        }
        // The new text starts at the old left edge, on the old line, in the
        // old size (14 points for Beta's line, 10 for the note) and colour.
        const QRectF greek = boxOf(after, "Βή"), german = boxOf(after, "Gü"), n = boxOf(after, "N:");
        QVERIFY(!greek.isNull() && !german.isNull() && !n.isNull() && greek.height() > 12 && n.height() < 13);
        QVERIFY(qAbs(greek.left() - beta.left()) < 1 && qAbs(greek.center().y() - beta.center().y()) < 3);
        QVERIFY(german.left() > greek.right() && qAbs(german.center().y() - greek.center().y()) < 1);
        QVERIFY(qAbs(n.left() - note.left()) < 1 && qAbs(n.center().y() - note.center().y()) < 3);
        const QImage shown = render(out, 1, 72).image;
        QVERIFY(count(shown, greek.toAlignedRect(), red) > 10 && count(shown, n.toAlignedRect(), red) > 5);

        // The rest of the document is kept: the other page, title, link and outline.
        QCOMPARE(pageText(out, 2), pageText(in, 2));
        const QByteArray info = run("pdfinfo", {out}).out;
        QVERIFY(info.contains("Kept title") && QRegularExpression("Pages:\\s+2\\n").match(info).hasMatch());
        QVERIFY(run("pdfinfo", {"-url", out}).out.contains("https://example.org/kept"));
        QVERIFY(run("qpdf", {"--json", "--json-key=outlines", out}).out.contains("\"Start\""));
        QCOMPARE(run("qpdf", {"--check", out}).exitCode, 0);

        // Gamma of the first document covered by a picture; the second rule
        // names a place where no text starts: skipped.
        const QString pictured = folder + "pictured ü.pdf", picture = folder + "pic): ü." + format;
        QImage pixels(20, 8, QImage::Format_RGB32);
        pixels.fill(QColor(0, 0, 255));
        QVERIFY(pixels.save(picture, qPrintable(format)));
        const PlacedWord gammaRun = runOf(in, 1, "Gamma");
        const int left = gammaRun.left, top = gammaRun.top;
        QVERIFY(gammaRun.width > 0 && qAbs(left - gamma.left()) < 1);
        const Result placed = ostrel(in, "-pisome", pictured, rules,
                                     QStringLiteral("1:%1:%2:(%3):40:16\r\n1:5:5:(%3):10:10\r\n").arg(left).arg(top).arg(picture));
        QVERIFY2(placed.exitCode == 2 && placed.err.contains("line 2, page 1, picture") && placed.err.contains("no text run starts at 5,5")
                     && placed.err.count('\n') == 1,
                 placed.err.constData());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 5);   // no temporary file left
        const QVector<Word> covered = words(pictured, 1);
        QVERIFY(boxOf(covered, "Gamma").isNull() && !boxOf(covered, "Beta").isNull() && covered.size() == 4);

        // pdfimages: one picture of 20 x 8 pixels drawn 40 x 16 points, so 36 ppi.
        const QStringList list = QString::fromUtf8(run("pdfimages", {"-list", pictured}).out).split('\n').filter(
            QRegularExpression("^\\s*\\d+\\s+\\d+\\s+image\\s"));   // its mask apart
        QVERIFY2(list.size() == 1 && QRegularExpression("^\\s+1\\s+\\d+\\s+image\\s+20\\s+8\\s.*\\s36\\s+36\\s").match(list[0]).hasMatch(),
                 qPrintable(list.join('\n')));
        // Blue inside the box as shown, white just outside it; the kept red word stays red.
        const QImage image = render(pictured, 1, 72).image;
        QVERIFY(count(image, beta.toAlignedRect(), red) > 10);
        const auto blue = [](QColor c) { return c.blue() > 200 && c.red() < 60 && c.green() < 60; };
        const auto white = [](QColor c) { return c == Qt::white; };
        QCOMPARE(count(image, QRect(left + 2, top + 2, 36, 12), blue), 36 * 12);
        QCOMPARE(count(image, QRect(left + 42, top, 4, 16), white) + count(image, QRect(left, top + 18, 40, 2), white), 144);
    }

    void samplesGetChineseTextAndAPicture()
    {
        const QString in = GRIDMOLT_SAMPLES_DIR "/us-017.pdf", out = dir_.filePath("out.pdf"), rules = dir_.filePath("rules.txt");
        const QVector<Word> before = words(in, 2);
        QVERIFY(before.size() > 50);
        // The rightmost word: its replacement may run on into the margin.
        const Word &target = *std::max_element(before.begin(), before.end(),
                                               [](const Word &a, const Word &b) { return a.box.right() < b.box.right(); });
        const Result r = ostrel(in, "-tesome", out, rules, ruleBox(2, target.box) + ':' + target.text + QStringLiteral(":中文替换\r\n"));
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), r.err.constData());
        const QVector<Word> after = words(out, 2);
        QVERIFY(qAbs(boxOf(after, "中文替换").left() - target.box.left()) < 1 && after.size() == before.size());
        QCOMPARE(run("qpdf", {"--check", out}).exitCode, 0);
        // The embedded font (the only TrueType one) is compressed.
        QVERIFY(QRegularExpression(R"("/Filter": "/FlateDecode",\s+"/Length": \d+,\s+"/Length1")")
                    .match(run("qpdf", {"--json=1", "--json-key=objects", out}).out).hasMatch());

        // A picture for a word of a turned page, found by the rounded corner
        // of another library's box.
        const QString turned = GRIDMOLT_SAMPLES_DIR "/rotated_page.pdf", picture = dir_.filePath("pic.png");
        QVERIFY(QImage(10, 10, QImage::Format_RGB32).save(picture));
        const PlacedWord table = runOf(turned, 1, "Table");
        QVERIFY(table.width > 0);
        const Result image = ostrel(turned, "-pisome", out, rules, QStringLiteral("1:%1:%2:(%3):50:15\r\n").arg(table.left).arg(table.top).arg(picture));
        QVERIFY2(image.exitCode == 0 && image.err.isEmpty(), image.err.constData());
        QVERIFY(boxOf(words(out, 1), "Table").isNull() && !boxOf(words(out, 1), "Adjusted").isNull());
        // 10 pixels over 50 and 15 points: 14 and 48 pixels per inch.
        const QString list = QString::fromUtf8(run("pdfimages", {"-list", out}).out);
        QVERIFY2(QRegularExpression("\\n\\s+1\\s+0\\s+image\\s+10\\s+10\\s.*\\s14\\s+48\\s").match(list).hasMatch(),
                 qPrintable(list));
    }

    // A rule on one word, as the window writes it from the converter's run:
    // the word goes whole, the replacement stands at its place, every other
    // word stays where it was (to a thousandth of a unit), and no pixel changes outside the word's box
    // and the replacement (at 100 dpi, where a box is reliable).
    void oneWordChangesOnlyItsPlace_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("page");
        // the run's text; "#N" for the N-th run of the page; "?word" for a
        // run of the word that lies off it
        QTest::addColumn<QString>("word");
        const auto row = [](const char *name, const char *in, int page, const char *word)
        { QTest::newRow(name) << in << page << word; };
        row("words separated by blanks, page of marks", "made", 1, "Beta");
        row("words separated by TJ positioning", "made", 1, "Value");
        row("large bold word over a small one", "made", 1, "Sidebar");
        row("the small word under it", "made", 1, "economist");
        row("character spacing", "made", 1, "Spaced");
        row("shown by '", "made", 1, "Quoted");
        row("shown by \"", "made", 1, "Double");
        row("word in a form shared with page 2", "made", 1, "Shared");
        row("word in a form named in a dictionary shared with page 2", "made=", 1, "Shared");
        row("page turned by /Rotate 90", "made", 2, "Second");
        row("fractional widths, the rest of a TJ after it", "fractional", 1, "Bravo");
        row("fractional widths and character spacing, the rest of a Tj", "fractional", 1, "Juliet");
        row("TrueType of fractional widths", "fractional", 2, "Bravo");
        row("fractional widths, turned", "fractional>+90", 2, "Juliet");
        row("text of a span's /ActualText", "marked", 1, "INFORMATION");
        row("/ActualText in UTF-16 over other letters", "marked", 1, "Summary");
        row("/ActualText in properties the resources name", "marked", 1, "Kept");
        row("glyphs named by numbers only", "marked", 1, "DAB");
        row("ruled table", "AnimalSounds.pdf", 1, "#5");
        row("accents", "argentina_diputados_voting_record.pdf", 1, "#40");
        row("table over pages", "schools.pdf", 2, "#30");
        row("two tables", "twotables.pdf", 1, "#25");
        row("report", "us-017.pdf", 2, "#60");
        row("rotated sample", "rotated_page.pdf", 1, "#12");
        row("right to left", "arabic.pdf", 1, "#3");
        row("Chinese", "china.pdf", 1, "#8");
        row("vertical text", "us-017.pdf>+270:1", 1, "#80");
        row("vertical text, run off its word", "us-017.pdf>+270:1", 1, "?for");
        row("whole page turned", "twotables.pdf>+90", 1, "#25");
    }

    void oneWordChangesOnlyItsPlace()
    {
        QFETCH(QString, input);
        QFETCH(int, page);
        QFETCH(QString, word);
        QTemporaryDir work;
        const QString in = inputFile(input, work.path()), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
        QVERIFY(!in.isEmpty());
        const PlacedWord target = runOf(in, page, word);
        QVERIFY2(target.width > 0 && !target.text.contains(':'), qPrintable(target.text));
        const QRectF box(target.left, target.top, target.width, target.height);
        const Result r = ostrel(in, "-tesome", out, rules, ruleBox(page, box) + ':' + target.text + ":IJ\r\n");
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), r.err.constData());
        QCOMPARE(run("qpdf", {"--check", out}).exitCode, 0);

        // The same words but the target, each at its place. The target is
        // the drawing of its text that starts at the run's left, nearest the
        // run (the converter gives a word its line's top and height, which
        // for text running down the page is not the word's); its box may
        // change, and the replacement's.
        const QVector<Word> before = words(in, page), after = words(out, page);
        const Word *own = nullptr;
        for (const Word &w : before) {
            const auto distance = [&box](const Word &x) { return QLineF(x.box.center(), box.center()).length(); };
            if (w.text == target.text && qAbs(w.box.left() - target.left) < 1.5 && (!own || distance(w) < distance(*own)))
                own = &w;
        }
        QVERIFY(own);
        QVector<QRectF> changed{box, own->box};
        for (const Word &w : before) {
            if (&w == own)
                continue;
            const bool there = std::any_of(after.begin(), after.end(), [&](const Word &a) {
                return a.text == w.text && qAbs(a.box.left() - w.box.left()) < 0.001 && qAbs(a.box.top() - w.box.top()) < 0.001;
            });
            QVERIFY2(there, qPrintable("lost: " + w.text));
        }
        const QRectF around = box.united(own->box).adjusted(-6, -6, 6, 6);
        int replacements = 0;
        for (const Word &a : after) {
            QVERIFY2(!(a.text == target.text && a.box == own->box), "the word is still there");
            if (a.text == "IJ" && around.contains(a.box.center())) {
                changed << a.box;
                ++replacements;
            }
        }
        QVERIFY2(replacements == 1, "no replacement at the word's place");
        // Other pages as they were, in text and pixels.
        for (int other = 1; other <= pageCount(in); ++other) {
            if (other == page)
                continue;
            QCOMPARE(pageText(out, other), pageText(in, other));
            QCOMPARE(changedOutside(render(in, other).image, render(out, other).image, {}), 0);
        }
        const Rendered was = render(in, page), is = render(out, page);
        QCOMPARE(changedOutside(was.image, is.image, changed), 0);
        QVERIFY2(is.warnings.isEmpty() || is.warnings == was.warnings, is.warnings.constData());
        // On the made pages each word is shown by one operation of the page
        // itself or of a form: only that one is written anew, byte for byte
        // the others stay.
        if (input.startsWith(QLatin1String("made"))) {
            QStringList kept = showOperations(pageContent(out, page));
            const QStringList was = showOperations(pageContent(in, page));
            int rewritten = 0;
            for (const QString &op : was)
                rewritten += kept.removeOne(op) ? 0 : 1;
            QVERIFY2(!was.isEmpty() && rewritten <= 1, qPrintable(QStringLiteral("%1 of %2").arg(rewritten).arg(was.size())));
        }
    }

    // A rule whose find text is not at its box changes nothing: exit 2, one
    // line naming it, and every page renders as before.
    void ruleFindingNothingChangesNothing_data()
    {
        QTest::addColumn<QString>("input");
        for (const char *name : {"made", "AnimalSounds.pdf", "argentina_diputados_voting_record.pdf", "schools.pdf",
                                 "twotables.pdf", "us-017.pdf", "rotated_page.pdf", "arabic.pdf", "china.pdf"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void ruleFindingNothingChangesNothing()
    {
        QFETCH(QString, input);
        QTemporaryDir work;
        const QString in = inputFile(input, work.path()), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
        QVERIFY(!in.isEmpty());
        const std::unique_ptr<Poppler::Document> doc(Poppler::Document::load(in));
        const std::unique_ptr<Poppler::Page> p(doc->page(0));
        const QVector<PlacedWord> layer = pageRuns(*p);
        QVERIFY(!layer.isEmpty());
        const PlacedWord &w = layer[layer.size() / 2];
        // Another file's word at this word's box, and a box over the whole page.
        const Result r = ostrel(in, "-tesome", out, rules, ruleBox(1, QRectF(w.left, w.top, w.width, w.height)) + ":Qzxv" + w.text
                                + ":IJ\r\n1-0-0-5000-5000:Supply:IJ\r\n");
        QVERIFY2(r.exitCode == 2 && r.err.count('\n') == 2 && r.err.contains("line 1, page 1, \"Qzxv")
                     && r.err.contains("line 2, page 1, \"Supply:IJ\": its find text is not in its box"),
                 r.err.constData());
        for (int page = 1; page <= pageCount(in); ++page)
            QCOMPARE(changedOutside(render(in, page).image, render(out, page).image, {}), 0);
    }

    // Every run of the converter's text layer holds its word as the page is
    // shown, on pages turned every way and for words written up the page,
    // and a rule built from it (its text, its box) finds that very word:
    // the word goes, the replacement stands at its place, the rest stays.
    void everyRunOfTheLayerIsItsWord_data()
    {
        QTest::addColumn<int>("page");
        for (int page = 1; page <= 4; ++page)
            QTest::newRow(qPrintable(QStringLiteral("turned by %1").arg((page - 1) * 90))) << page;
    }

    void everyRunOfTheLayerIsItsWord()
    {
        QFETCH(int, page);
        QTemporaryDir work;
        const QString in = work.filePath("shapes.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
        QVERIFY(writeFile(in, turnedShapesPdf()));
        const QString n = QString::number(page);
        QCOMPARE(run(QStringLiteral(GRIDMOLT_APP_DIR "/Dorcet.dll"), {in, "-ht", work.filePath("t.png"), "-f", n, "-l", n}).exitCode, 0);
        const Alltext layer = TextLayer::parsePage(readAll(work.filePath("t_pg_0001.htm")));
        const QVector<Word> before = words(in, page);
        QCOMPARE(layer.count, before.size());
        for (const char *word : {"Total", "1234", "Amount", "567", "IE,", "99.5", "Upwards", "here", "B", "Spaced"})
            QVERIFY2(!boxOf(before, word).isNull(), word);
        for (const Subtext &r : layer.subtext) {
            const QRectF run(r.x, r.y, r.width, r.height);
            const auto held = std::find_if(before.begin(), before.end(), [&](const Word &w) {
                return w.text == r.text && run.adjusted(-1, -1, 1, 1).contains(w.box);
            });
            QVERIFY2(held != before.end(), qPrintable(r.text));
            const Result result = ostrel(in, "-tesome", out, rules, ruleBox(page, run) + ':' + r.text + ":IJ\r\n");
            QVERIFY2(result.exitCode == 0 && result.err.isEmpty(), qPrintable(r.text + ": " + result.err));
            const QVector<Word> after = words(out, page);
            const auto at = [&](const Word &w, const QRectF &box) { return box.contains(w.box.center()); };
            QVERIFY2(std::none_of(after.begin(), after.end(), [&](const Word &w) { return w.text == r.text && at(w, held->box); })
                         && std::any_of(after.begin(), after.end(),
                                        [&](const Word &w) { return w.text == "IJ" && at(w, run.adjusted(-6, -6, 6, 6)); }),
                     qPrintable(r.text));
            // The reader may join spaced letters into one word once their
            // neighbour changed: each other word stays within a word there.
            for (const Word &w : before)
                QVERIFY2(&w == &*held || std::any_of(after.begin(), after.end(), [&](const Word &a) {
                             return a.text.contains(w.text) && a.box.adjusted(-0.5, -0.5, 0.5, 0.5).contains(w.box);
                         }),
                         qPrintable(r.text + " took " + w.text));
        }
    }

    // The find text as the window writes it: the ":" split where the page
    // holds the find text, and the text layer's references (the editor
    // hands them on as the layer holds them, the content road decoded).
    void findTextsAsTheWindowWritesThem()
    {
        // The input, the word on the page, the rule after the position, and the replacement's first word.
        const struct { const char *name; QString input, word, rule, drawn; } cases[] = {
            {"colon in both parts", "made", "10:30", "10:30:Sum: 5", "Sum:"},
            {"reference as the layer holds it", "made", "R&D", "R&amp;D:X", "X"},
            {"decoded", "made", "R&D", "R&D:X", "X"},
            {"numeric reference", "made", "R&D", "R&#38;D:Y", "Y"},
            // A damaged input that the library repairs still gives a whole output.
            {"repaired input", "made!", "Beta", "Beta:Bet", "Bet"},
        };
        for (const auto &c : cases) {
            QTemporaryDir work;
            const QString in = inputFile(c.input, work.path()), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
            const QVector<Word> before = words(in, 1);
            const QRectF box = boxOf(before, c.word);
            QVERIFY2(!in.isEmpty() && !box.isNull(), c.name);
            const Result r = ostrel(in, "-tesome", out, rules, ruleBox(1, box) + ':' + c.rule + "\r\n");
            QVERIFY2(r.exitCode == 0, qPrintable(c.name + (": " + r.err)));
            const QVector<Word> after = words(out, 1);
            QVERIFY2(boxOf(after, c.word).isNull() && qAbs(boxOf(after, c.drawn).left() - box.left()) < 1, c.name);
            // One word less, and the replacement's words (the find texts here hold no blank).
            QCOMPARE(after.size(), before.size() - 1 + c.rule.count(' ') + 1);
            QVERIFY2(!boxOf(after, "Shared").isNull() && !boxOf(after, "Gamma").isNull()
                         && pageText(out, 2).contains("Shared words"), c.name);
        }
    }


    // Tokens of content streams: kind, text and byte range, so a rewrite
    // replaces exactly an operator's bytes.
    void contentTokensKeepTheirPlace()
    {
        // The bytes and their tokens as kind:text@start-end, blank-separated.
        const struct { const char *name; std::string bytes; QString expected; } cases[] = {
            {"numbers and keywords", " -.5 +3 12 1.2.3 Tj ", "N:-0.5@1-4 N:3@5-7 N:12@8-10 K:1.2.3@11-16 K:Tj@17-19"},
            {"signs and points alone are keywords", "- + . -. 5- 07.50", "K:-@0-1 K:+@2-3 K:.@4-5 K:-.@6-8 K:5-@9-11 N:7.5@12-17"},
            {"every blank and delimiter ends a word", std::string("a\fb\0c{d%e\rf", 11), "K:a@0-1 K:b@2-3 K:c@4-5 ?:@5-6 K:d@6-7 K:f@10-11"},
            {"literal string escapes", "(a\\(b\\)\\101\\n(c)d\\\nx)Tj", "S:a(b)A\\n(c)dx@0-21 K:Tj@21-23"},
            {"escapes of controls", "(a\\rb\\tc\\bd\\fe)", "S:a\\rb\\tc\\bd\\fe@0-15"},
            {"hex string, odd digits, blanks", "<41 42 4>", "S:AB@@0-9"},
            {"names with # codes", "/F#201 /a#zz", "n:F 1@0-6 n:a#zz@7-12"},
            {"arrays, dicts, comments", "[1(x)]%c ( no\n<</a 2>>", "[:@0-1 N:1@1-2 S:x@2-5 ]:@5-6 <:@14-16 n:a@16-18 N:2@19-20 >:@20-22"},
            {"stray delimiters", ") } >", "?:@0-1 ?:@2-3 ?:@4-5"},
            {"unterminated string", "(abc", "S:abc@0-4"},
        };
        for (const auto &c : cases) {
            ContentTokens tokens(c.bytes);
            QStringList got;
            for (ContentTokens::Token t = tokens.next(); t.kind != ContentTokens::Kind::End; t = tokens.next()) {
                const char *kinds = "ENSnK[]<>?";
                QString text = QString::fromLatin1(t.text.data(), int(t.text.size()))
                                   .replace('\n', "\\n").replace('\r', "\\r").replace('\t', "\\t").replace('\b', "\\b").replace('\f', "\\f");
                if (t.kind == ContentTokens::Kind::Number)
                    text = QString::number(t.number);
                got << QStringLiteral("%1:%2@%3-%4").arg(QChar(kinds[int(t.kind)])).arg(text).arg(t.start).arg(t.end);
            }
            QCOMPARE(got.join(' '), c.expected);
        }
    }

    // An inline image's data end at the "EI" after their length when it is
    // known, else at the first "EI" between blanks; what follows is read on.
    void inlineImagesAreSkipped()
    {
        // What follows "ID", the data's length, and the token after the image.
        const struct { const char *name; std::string bytes; size_t length; QString next; } cases[] = {
            {"known length holding EI", " a EI b EI Tj", 6, "Tj"},
            {"unknown length", std::string(" \x00\x01 EI Q", 8), 0, "Q"},
            {"EI inside a word is data", " xEIx EI Q", 0, "Q"},
            {"no EI", " data", 0, ""},
            {"length past the end is no length", " ab EI Q", 100, "Q"}};
        for (const auto &c : cases) {
            ContentTokens tokens(c.bytes);
            QVERIFY2(tokens.skipInlineImage(c.length) != c.next.isEmpty(), c.name);
            QCOMPARE(QString::fromStdString(tokens.next().text), c.next);
        }
    }

    // The finder takes whole words by their text in the box, however the
    // page separates them, and nothing else.
    void wordsAreFoundWhole()
    {
        const QRectF all(0, 80, 400, 60), first(0, 90, 30, 12);
        // The glyphs' line, the find text (UTF-8, or bytes that are none),
        // the box, the indices of the glyphs taken ("" for none), and what
        // another rule took in the box before.
        const struct { const char *name; QString line; std::string find; QRectF box; QString expected; std::string takenBefore = {}; } cases[] = {
            {"word before a space glyph", "Second line", "Second", first, "0-5"},
            {"two words with their space", "Second line", "Second line", all, "0-10"},
            {"word after a gap", "Cell|Value", "Value", all, "4-8"},
            {"word after a space glyph of no width", "Cell~Value", "Value", all, "5-9"},
            {"blank of the find text matches a gap", "Cell|Value", "Cell Value", all, "0-8"},
            // Blanks of other kinds, at both ends of the range of them.
            {"an en quad of the find text matches a gap", "Cell|Value", "Cell\xe2\x80\x80Value", all, "0-8"},
            {"so does a zero width space", "Cell|Value", "Cell\xe2\x80\x8bValue", all, "0-8"},
            {"an en quad on the page parts words", QString::fromUtf8("Cell\xe2\x80\x80Value"), "Value", all, "5-9"},
            {"part of a word", "outline", "line", all, ""},
            {"part of a word after a blank", "an outline", "line", all, ""},
            {"start of a word", "Second line", "Sec", first, ""},
            {"blank where the page has none", "abcd", "ab cd", all, ""},
            {"box elsewhere", "Second line", "line", first, ""},
            {"nearest of two in a box", "the cat/the dog", "the", QRectF(0, 115, 40, 20), "7-9"},
            {"ligature", QString::fromUtf8("\xef\xac\x81nd it"), "find", all, "0-2"},
            {"drawn right to left", "cba xy", "abc", all, "0-2"},
            {"line break between words", "New/York", "New York", all, "0-6"},
            {"empty find", "abc", " ", all, ""},
            {"unreadable glyphs stand for any", "abc de", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd", all, "0-2"},
            {"but not for fewer", "abc", "\xef\xbf\xbd\xef\xbf\xbd", all, ""},
            // Each ligature is the letters it stands for, on the page and in the find text.
            {"ff ligature", QString::fromUtf8("e\xef\xac\x80" "ect"), "effect", all, "0-4"},
            {"fl ligature", QString::fromUtf8("\xef\xac\x82" "at"), "flat", all, "0-2"},
            {"ffi ligature", QString::fromUtf8("o\xef\xac\x83" "ce"), "office", all, "0-3"},
            {"ffl ligature", QString::fromUtf8("ba\xef\xac\x84" "e"), "baffle", all, "0-3"},
            {"long s t ligature", QString::fromUtf8("fa\xef\xac\x85"), "fast", all, "0-2"},
            {"st ligature", QString::fromUtf8("\xef\xac\x86" "op"), "stop", all, "0-2"},
            {"ligature in the find text", "office", "o\xef\xac\x83" "ce", all, "0-5"},
            // A byte that starts no character is one the extraction could not read.
            {"stray byte in the find text", "abc de", "a\xff" "c", all, "0-2"},
            {"stray bytes count one each", "abc de", "a\x80\x80" "c", all, ""},
            {"words another rule took", "Second line", "Second line", all, "", "line"},
            {"a letter the rewrite cannot remove", "Sec*ond line", "Second", first, ""},
            {"a blank the rewrite cannot remove", "Second* line", "Second line", all, ""},
            {"beside what the rewrite cannot remove", "Second*|line", "Second", first, "0-5"},
            {"huge letters, in the index as well", "^Big word", "Big", all, "0-2"},
            // Where the content's order spells no word, the order shown does.
            {"comma drawn after the next line", "one PT/next>, and", "PT,", all, "4-5,10"},
            {"and the blank before the next word", "one PT/next>, and", "PT, and", all, "4-5,10-14"},
            {"nor over a blank the rewrite cannot remove", "one PT/next>,* and", "PT, and", all, ""},
        };
        for (const auto &c : cases) {
            const std::vector<PageGlyphs::Glyph> glyphs = lineOfGlyphs(c.line);
            GlyphFinder finder(glyphs, 1);
            const fz_rect r = fz_make_rect(float(c.box.left()), float(c.box.top()), float(c.box.right()), float(c.box.bottom()));
            GlyphFinder indexed(glyphs, 100);
            if (!c.takenBefore.empty()) {
                finder.take(finder.find(c.takenBefore, r));
                indexed.take(indexed.find(c.takenBefore, r));
            }
            const GlyphFinder::Match m = finder.find(c.find, r);
            // The glyphs taken, as runs "first-last" of consecutive ones ("10" for one alone).
            QStringList runs;
            for (size_t i = 0; i < m.glyphs.size(); ++i) {
                const size_t from = i;
                while (i + 1 < m.glyphs.size() && m.glyphs[i + 1] == m.glyphs[i] + 1)
                    ++i;
                runs << (i == from ? QString::number(m.glyphs[i]) : QStringLiteral("%1-%2").arg(m.glyphs[from]).arg(m.glyphs[i]));
            }
            const QString got = runs.join(',');
            QVERIFY2(got == c.expected, qPrintable(c.name + (": " + got)));
            // Taken glyphs are not found again; the index finds what scans find.
            finder.take(m);
            QVERIFY(finder.find(c.find, r).glyphs.empty());
            QCOMPARE(indexed.find(c.find, r).glyphs, m.glyphs);
        }
    }

    // Of two matches as good and as near, the one drawn first is taken
    // first, by scan and by index alike; here the later one lies in the
    // index's first cell.
    void equalMatchesGoInContentOrder()
    {
        const std::vector<PageGlyphs::Glyph> glyphs = lineOfGlyphs("|||ab/ab");
        const fz_rect box = fz_make_rect(0, 92, 72, 132);
        for (const size_t queries : {size_t(1), size_t(100)}) {
            GlyphFinder finder(glyphs, queries);
            const GlyphFinder::Match first = finder.find("ab", box);
            QCOMPARE(first.glyphs, std::vector<size_t>({0, 1}));
            finder.take(first);
            QCOMPARE(finder.find("ab", box).glyphs, std::vector<size_t>({2, 3}));
        }
    }

    // What the engine hands the replacement: the removed words' start, width
    // and direction along the line as the page is shown, size and face.
    void removedWordsTellTheirPlaceAndFace()
    {
        const QString made = dir_.filePath("face.pdf"), coloured = dir_.filePath("coloured.pdf");
        QVERIFY(writeFile(made, madePdf()) && writeFile(coloured, colouredWordsPdf()));
        // The words, their size, their face (bold, italic, colour), their
        // page, the direction they run in as shown (y down) and whether
        // they are those of the coloured page.
        const struct { const char *name; QString word; double size; QString face; int page = 1; QPointF direction = {1, 0};
                       bool colouredPage = false; } cases[] = {
            {"regular", "Beta", 14.0, "0 0 0"},
            {"bold by name, RGB", "Sidebar", 20.0, "1 0 336699"},
            {"oblique by name, ICC grey", "slanted", 12.0, "0 1 808080"},
            {"two words", "Alpha Beta", 14.0, "0 0 0"},
            {"after an inline image, grey", "Moved", 9.0, "0 0 666666"},
            {"after an inline image in an inline colour space", "Below", 9.0, "0 0 0"},
            {"after an inline stencil mask", "Masked", 9.0, "0 0 0"},
            {"grey by g after a colour", "Spaced", 10.0, "0 0 666666"},
            // The colour set in the bold word's text object holds on.
            {"shown by ' on the next line", "Quoted", 10.0, "0 0 336699"},
            {"shown by \" with its spacing", "Double word", 10.0, "0 0 336699"},
            {"running down a turned page", "Second", 14.0, "0 0 0", 2, {0, 1}},
            {"CMYK by k", "Cmyk", 12.0, "0 0 cc9966", 1, {1, 0}, true},
            {"CMYK by sc after k", "Ink", 12.0, "0 0 cc9966", 1, {1, 0}, true},
            {"device RGB by name", "Blue", 12.0, "0 0 ff", 1, {1, 0}, true},
            {"calibrated RGB", "Green", 12.0, "0 0 ff00", 1, {1, 0}, true},
            {"Lab is not taken over", "Lab", 12.0, "0 0 0", 1, {1, 0}, true},
            {"calibrated grey", "Gray", 12.0, "0 0 808080", 1, {1, 0}, true},
            {"ICC based RGB", "Red", 12.0, "0 0 ff0000", 1, {1, 0}, true},
            {"ICC based CMYK", "Key", 12.0, "0 0 808080", 1, {1, 0}, true},
            {"device grey named in the resources", "Dim", 12.0, "0 0 808080", 1, {1, 0}, true},
            {"device CMYK named in the resources", "Cyan", 12.0, "0 0 ffff", 1, {1, 0}, true},
            {"after an image of two colorants", "Mixed", 12.0, "0 0 0", 1, {1, 0}, true},
            {"after an image in an indexed space by its long name", "Listed", 12.0, "0 0 0", 1, {1, 0}, true},
            {"after an image of a given length", "Sized", 12.0, "0 0 0", 1, {1, 0}, true},
            {"after an image of rows in whole bytes", "Bits", 12.0, "0 0 0", 1, {1, 0}, true},
            {"a move of a name passed over", "Named", 12.0, "0 0 0", 1, {1, 0}, true},
            {"two-byte character", QString::fromUtf8("Caf\xc3\xa9"), 12.0, "0 0 0", 1, {1, 0}, true},
            {"four-byte character", QString::fromUtf8("\xf0\x9d\x90\x80" "B"), 12.0, "0 0 0", 1, {1, 0}, true},
            {"bold by weight", "Heavy", 12.0, "1 0 0", 1, {1, 0}, true},
            {"bold by the least bold weight", "Semi", 12.0, "1 0 0", 1, {1, 0}, true},
            {"not bold just under it", "Medium", 12.0, "0 0 0", 1, {1, 0}, true},
            {"bold by the weight of a composite font's descendant", "Wide", 12.0, "1 0 0", 1, {1, 0}, true},
        };
        for (const auto &c : cases) {
            const QString in = c.colouredPage ? coloured : made;
            const QVector<Word> list = words(in, c.page);
            QRectF box;
            for (const QString &part : c.word.split(' '))
                box |= boxOf(list, part);
            QVERIFY2(!box.isNull(), c.name);
            const std::vector<GlyphRemover::Removed> removed = removeAt(in, c.page, box, {"Qzxv", c.word.toStdString()});
            QVERIFY2(removed.size() == 1 && removed[0].found == 1, c.name);
            const GlyphRemover::Removed &w = removed[0];
            QCOMPARE(QString::fromStdString(w.text), c.word);
            // The start at the box's first edge in the writing direction, on a
            // baseline inside the box; the width the box's length that way.
            const QPointF origin(w.origin.x, w.origin.y), direction(w.direction.x, w.direction.y);
            const auto along = [&c](const QPointF &p) { return QPointF::dotProduct(p, c.direction); };
            const double first = std::min(along(box.topLeft()), along(box.bottomRight())),
                         last = std::max(along(box.topLeft()), along(box.bottomRight()));
            QVERIFY2(qAbs(along(origin) - first) < 0.5 && qAbs(w.width - (last - first)) < 1
                         && (direction - c.direction).manhattanLength() < 1e-4,
                     qPrintable(QStringLiteral("%1: %2 %3 %4 %5").arg(c.name).arg(w.origin.x).arg(w.origin.y).arg(w.width).arg(direction.y())));
            QVERIFY2(box.contains(origin) && qAbs(w.size - c.size) < 0.01, c.name);
            QCOMPARE(QStringLiteral("%1 %2 %3").arg(w.bold).arg(w.italic).arg(w.color, 0, 16), c.face);
        }
    }

    // Words written down the page and words beside a glyph no character is
    // known for: the words go, "Bye" is read where their ink was (across the
    // line within a quarter of the size of its middle, along it within it),
    // and nothing else moves. The find text's U+FFFD stands for the unknown
    // glyph; without it the word is not whole and the rule is skipped.
    void otherFontsKeepTheirPlaces()
    {
        // The content (see otherFontsPdf), the find text, the words as
        // pdftotext reads them whose boxes make the rule's, whether the
        // line runs down the page, and the exit code.
        const struct { const char *name; QByteArray content; const char *find; QStringList words; bool down; int exitCode; } cases[] = {
            {"written down the page", "BT /F3 24 Tf 300 700 Td {Hello World} Tj ET", "Hello", {"Hello"}, true, 0},
            {"down the page, after a TJ offset", "BT /F3 24 Tf 300 740 Td [{Hello} 3000 {World}] TJ ET", "World", {"World"},
                true, 0},
            {"down the page, a space of word spacing only", "BT /F4 24 Tf -30 Tw 300 750 Td (Hello World Again) Tj ET",
                "Hello World", {"Hello", "World"}, true, 0},
            {"a glyph named with no character", "BT /F2 24 Tf 72 700 Td (World Hello\\310) Tj ET", "Hello\xef\xbf\xbd",
                {QString::fromUtf8("Hello\xc3\x88")}, false, 0},
            {"a word beside a glyph named with no character", "BT /F2 24 Tf 72 700 Td (World Hello\\310) Tj ET", "Hello",
                {QString::fromUtf8("Hello\xc3\x88")}, false, 2},
            {"a glyph the map gives no character", "BT /F5 24 Tf 72 700 Td {World Hello#} Tj ET", "Hello\xef\xbf\xbd",
                {"Hello"}, false, 0},
        };
        for (const auto &c : cases) {
            QTemporaryDir work;
            const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
            const QByteArray pdf = otherFontsPdf(c.content);
            QVERIFY2(!pdf.isEmpty() && writeFile(in, pdf), c.name);
            const QVector<Word> before = words(in, 1);
            QRectF box;
            for (const QString &w : c.words)
                box |= boxOf(before, w);
            QVERIFY2(!box.isNull() && before.size() > c.words.size(), c.name);
            // A column written down the page stands where it was put: its
            // glyphs' left edge half an em left of its x (300), after any TJ
            // move too.
            const std::vector<GlyphRemover::Removed> removed = removeAt(in, 1, box, {c.find});
            QVERIFY2(!c.down || (removed.size() == 1 && qAbs(removed[0].origin.x - 288) < 0.01), c.name);
            const Result r = ostrel(in, "-tesome", out, rules, ruleBox(1, box) + ':' + QString::fromUtf8(c.find) + ":Bye\r\n");
            const Rendered was = render(in, 1, 72), is = render(out, 1, 72);
            if (c.exitCode == 2) {
                QVERIFY2(r.exitCode == 2 && r.err.contains("its find text is not in its box") && r.err.count('\n') == 1,
                         qPrintable(c.name + (": " + r.err)));
                QVERIFY2(changedOutside(render(in, 1).image, render(out, 1).image, {}) == 0, c.name);
                continue;
            }
            QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(c.name + (": " + r.err)));
            const QVector<Word> after = words(out, 1);
            for (const Word &w : before) {
                const QRectF kept = boxOf(after, w.text);
                QVERIFY2(c.words.contains(w.text) ? kept.isNull()
                         : !kept.isNull() && qAbs(kept.left() - w.box.left()) < 0.5 && qAbs(kept.top() - w.box.top()) < 0.5,
                         qPrintable(c.name + (": " + w.text)));
            }
            // Readers box a glyph written down the page an em above its ink.
            const QRect around = box.adjusted(-24, -24, 24, 24).toAlignedRect();
            const QRect old = inkIn(was.image, around), bye = inkIn(is.image, around);
            const QRectF read = boxOf(after, "Bye");
            QVERIFY2(!old.isNull() && !bye.isNull() && !read.isNull() && around.contains(read.center().toPoint()), c.name);
            const double oldAcross = c.down ? old.center().x() : old.center().y(), byeAcross = c.down ? bye.center().x() : bye.center().y();
            const bool within = c.down ? bye.top() >= old.top() - 2 && bye.bottom() <= old.bottom() + 2
                                       : bye.left() >= old.left() - 2 && bye.right() <= old.right() + 2;
            QVERIFY2(qAbs(oldAcross - byeAcross) < 6 && within,
                     qPrintable(QStringLiteral("%1: ink at %2 %3 %4 %5, was %6 %7 %8 %9").arg(c.name).arg(bye.left()).arg(bye.top())
                                    .arg(bye.right()).arg(bye.bottom()).arg(old.left()).arg(old.top()).arg(old.right()).arg(old.bottom())));
            QVERIFY2(changedOutside(render(in, 1).image, render(out, 1).image, {QRectF(around)}) == 0, c.name);
        }
    }

    // One run over two pages: the replacement on the second page may need
    // glyphs the font made for the first lacks, or draw nothing at all
    // (only characters that steer shaping, or a control character). Each
    // page then shows its own replacement, read back and drawn in the
    // removed word's red, and keeps its other words.
    void replacementsOnTwoPagesShareTheirFonts()
    {
        // The replacements of Beta on page 1 and on page 2, and the words read of the second.
        const struct { const char *name; QString first, second; QStringList secondWords; } cases[] = {
            {"the second adds glyphs", "Bye", "Quiz", {"Quiz"}},
            {"the second adds glyphs of another script", "Bye", QString::fromUtf8("\xce\x92\xce\xae"), {QString::fromUtf8("\xce\x92\xce\xae")}},
            {"the second uses the first's glyphs", "Bye", "eyB", {"eyB"}},
            {"the second a zero-width joiner", "Bye", QString(QChar(0x200D)), {}},
            {"the second joiners only", "Bye", QString(QChar(0x200D)) + QChar(0x200C), {}},
            {"the second a control character", "Bye", QString(QChar(1)), {}},
        };
        for (const auto &c : cases) {
            QTemporaryDir work;
            const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
            QVERIFY(writeFile(in, pdfWithPages({{0, QRectF(0, 0, 700, 800)}, {0, QRectF(0, 0, 700, 800)}})));
            const QRectF beta = boxOf(words(in, 1), "Beta");
            QVERIFY2(!beta.isNull() && boxOf(words(in, 2), "Beta") == beta, c.name);
            const Result r = ostrel(in, "-tesome", out, rules, ruleBox(1, beta) + ":Beta:" + c.first + "\r\n" + ruleBox(2, beta)
                                    + ":Beta:" + c.second + "\r\n");
            QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(c.name + (": " + r.err)));
            for (int page = 1; page <= 2; ++page) {
                const QVector<Word> before = words(in, page), after = words(out, page);
                const QStringList expected = page == 1 ? QStringList{c.first} : c.secondWords;
                QVERIFY2(after.size() == before.size() - 1 + expected.size() && boxOf(after, "Beta").isNull(), c.name);
                for (const Word &w : before)
                    QVERIFY2(w.text == "Beta" || boxOf(after, w.text).topLeft() == w.box.topLeft(), qPrintable(c.name + (": " + w.text)));
                const QImage shown = render(out, page, 72).image;
                for (const QString &text : expected) {
                    const QRectF box = boxOf(after, text);
                    QVERIFY2(!box.isNull() && qAbs(box.left() - beta.left()) < 1 && count(shown, box.toAlignedRect(), red) > 10,
                             qPrintable(QStringLiteral("%1: page %2").arg(c.name).arg(page)));
                }
                if (expected.isEmpty())
                    QVERIFY2(count(shown, beta.adjusted(-4, -4, 40, 4).toAlignedRect(), red) == 0, c.name);
            }
        }
    }

    // What one page may ask for, to the unit: as many forms drawn, glyphs
    // shown and tokens read as it may, and one more. A form past its
    // limit is left unread (the rule finding "Hello" there is skipped); a
    // page past the others cannot be changed, and the run stops.
    void pageLimitsHoldToTheUnit()
    {
        const QByteArray shown = "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET";
        // Forms: /E draws nothing, /Fm1 the words.
        const auto forms = [](int empty) { return QByteArray("/E Do ").repeated(empty) + "/Fm1 Do"; };
        const auto glyphs = [&shown](int more) { return shown + " BT /F1 1 Tf 0 0 Td (" + QByteArray(1000000 - 11 + more, ' ') + ") Tj ET"; };
        // The words' 10 tokens, the end of the stream and 49,999,989 more:
        // 50,000,000, all in the page's own content, as forms drawn that
        // often would take more work than a page may.
        const auto tokens = [&shown](int more) { return shown + QByteArray(" n").repeated(50000000 - 11 + more); };
        // The content, the exit code and the start of the message (none
        // for 0); whether the written page is read back (poppler takes
        // seconds over fifty million tokens; the engine reads its words back itself).
        // `annotated`: glyphs an annotation shows away from the words (none when negative).
        const struct { const char *name; QByteArray content; int exitCode; const char *message; bool readBack = true; int annotated = -1; } cases[] = {
            {"as many forms as a page may draw", forms(9999), 0, ""},
            {"one form more", forms(10000), 2, "line 1, page 1, \"Hello:Bye\": its find text is not in its box"},
            {"as many glyphs as a page may show", glyphs(0), 0, ""},
            {"one glyph more", glyphs(1), 1, "cannot change page 1 of \"in.pdf\": the page shows more than 1,000,000 glyphs"},
            {"as many tokens as a page may hold", tokens(0), 0, "", false},
            {"one token more", tokens(1), 1, "cannot change page 1 of \"in.pdf\": the page's content is too long to read", false},
            {"as many glyphs as annotations may show", shown, 0, "", true, 1000000},
            {"one glyph more in annotations", shown, 2, "line 1, page 1, \"Hello:Bye\": the annotations or Type3 glyphs of its page could not all be read", true, 1000001},
        };
        const auto page = [&](const QByteArray &content, int annotated = -1) {
            QVector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
                                        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 5 0 R /Resources << /Font << /F1 4 0 R >>"
                                        " /XObject << /E 6 0 R /Fm1 7 0 R >> >>"
                                            + QByteArray(annotated >= 0 ? " /Annots [9 0 R]" : "") + " >>",
                                        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                                        stream("/Filter /FlateDecode", qCompress(content).mid(4)),
                                        stream("/Type /XObject /Subtype /Form /BBox [0 0 1 1]", ""),
                                        stream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >>", shown)};
            if (annotated >= 0)
                objects << stream("/Type /XObject /Subtype /Form /BBox [0 0 100 20] /Resources << /Font << /F1 4 0 R >> >>",
                                  "BT /F1 1 Tf 0 5 Td (" + QByteArray(annotated, ' ') + ") Tj ET")
                        << "<< /Type /Annot /Subtype /FreeText /Rect [400 100 500 120] /Contents () /DA (/Helv 1 Tf 0 g) /AP << /N 8 0 R >> >>";
            return pdfOf(objects << "<< /Title (Limits) >>");
        };
        QTemporaryDir work;
        const QString plain = work.filePath("plain.pdf");
        QVERIFY(writeFile(plain, page(shown)));
        const QVector<Word> before = words(plain, 1);
        const QRectF hello = boxOf(before, "Hello"), world = boxOf(before, "World");
        QVERIFY(!hello.isNull() && !world.isNull());
        for (const auto &c : cases) {
            const QString out = work.filePath("out.pdf");
            QFile::remove(out);
            QVERIFY2(writeFile(work.filePath("in.pdf"), page(c.content, c.annotated)), c.name);
            const Result r = ostrel("in.pdf", "-tesome", "out.pdf", work.filePath("rules.txt"), ruleBox(1, hello) + ":Hello:Bye\r\n", work.path());
            QVERIFY2(r.exitCode == c.exitCode && (*c.message ? r.err.contains(c.message) && r.err.count('\n') == 1 : r.err.isEmpty()),
                     qPrintable(c.name + (": " + r.err)));
            QVERIFY2(QFile::exists(out) == (c.exitCode != 1), c.name);
            if (c.exitCode == 1 || !c.readBack)
                continue;
            const QVector<Word> after = words(out, 1);
            const QRectF bye = boxOf(after, "Bye");
            QVERIFY2(boxOf(after, c.exitCode == 0 ? "Hello" : "Bye").isNull() && boxOf(after, "World") == world, c.name);
            QVERIFY2(c.exitCode == 2 || (!bye.isNull() && qAbs(bye.left() - hello.left()) < 1), c.name);
        }
    }

    // A subset font's name and descriptor may say nothing of its face; the
    // font program itself then tells that the replacement is bold or slanted.
    void faceFromTheFontProgram()
    {
        const struct { const char *name; const char *file; QString face; } cases[] = {
            {"plain program", "DejaVuSans.ttf", "0 0"},
            {"bold program", "DejaVuSans-Bold.ttf", "1 0"},
            {"oblique program", "DejaVuSans-Oblique.ttf", "0 1"},
        };
        for (const auto &c : cases) {
            QFile font(QStringLiteral("/usr/share/fonts/truetype/dejavu/") + c.file);
            QVERIFY2(font.open(QIODevice::ReadOnly), c.file);
            const QByteArray program = font.readAll();
            const QByteArray content = "BT /F1 14 Tf 72 700 Td (Hello World) Tj ET";
            const QString in = dir_.filePath("program.pdf");
            QVERIFY(writeFile(in, pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 800] /Contents 4 0 R"
                                          " /Resources << /Font << /F1 5 0 R >> >> >>",
                                          "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
                                          "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+F1 /Encoding /WinAnsiEncoding"
                                          " /FontDescriptor 6 0 R >>",
                                          "<< /Type /FontDescriptor /FontName /ABCDEF+F1 /Flags 32 /FontBBox [0 0 1000 1000]"
                                          " /ItalicAngle 0 /Ascent 900 /Descent -200 /CapHeight 700 /StemV 80 /FontFile2 7 0 R >>",
                                          "<< /Length " + QByteArray::number(program.size()) + " >>\nstream\n" + program + "\nendstream"})));
            const QRectF box = boxOf(words(in, 1), QStringLiteral("Hello"));
            QVERIFY2(!box.isNull(), c.name);
            const std::vector<GlyphRemover::Removed> removed = removeAt(in, 1, box, {"Hello"});
            QVERIFY2(removed.size() == 1 && removed[0].found == 0, c.name);
            QCOMPARE(QStringLiteral("%1 %2").arg(removed[0].bold).arg(removed[0].italic), c.face);
        }
    }

    // Glyph boxes reach from the descriptor's descent to its ascent, both
    // in thousandths of the text size; a font without them gets 0.8 and -0.2.
    void fontBoxesFollowTheDescriptor()
    {
        fz_context *ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
        pdf_document *doc = nullptr;
        QString got;
        try {
            guarded(ctx, [&] { doc = pdf_create_document(ctx); });
            FontCache fonts(ctx, doc);
            for (const int descent : {-250, 0}) {
                guarded(ctx, [&] {
                    pdf_obj *font = pdf_add_new_dict(ctx, doc, 4), *descriptor = pdf_add_new_dict(ctx, doc, 4);
                    pdf_dict_put(ctx, font, PDF_NAME(Subtype), PDF_NAME(Type1));
                    pdf_dict_put_name(ctx, font, PDF_NAME(BaseFont), "Plain");
                    pdf_dict_put_name(ctx, descriptor, PDF_NAME(FontName), "Plain");
                    pdf_dict_put_int(ctx, descriptor, PDF_NAME(Ascent), descent ? 750 : 0);
                    pdf_dict_put_int(ctx, descriptor, PDF_NAME(Descent), descent);
                    pdf_dict_put(ctx, font, PDF_NAME(FontDescriptor), descriptor);
                    const FontCache::Font *f = fonts.get(nullptr, font);
                    got += f ? QStringLiteral("%1 %2 ").arg(double(f->ascent)).arg(double(f->descent)) : "none ";
                    pdf_drop_obj(ctx, descriptor);
                    pdf_drop_obj(ctx, font);
                });
            }
        } catch (const std::exception &e) {
            got = e.what();
        }
        pdf_drop_document(ctx, doc);
        fz_drop_context(ctx);
        QCOMPARE(got, QStringLiteral("0.75 -0.25 0.8 -0.2 "));
    }

    // Advance widths as the font's dictionary writes them, fractions kept:
    // a simple font's /Widths, a Type 3 font's scaled by its matrix, a CID
    // font's /W in both of its forms; where every width is whole, and for
    // what the dictionary does not give, the library's.
    void fontWidthsAsWritten()
    {
        const QByteArray type3 = "<< /Type /Font /Subtype /Type3 /FontMatrix [0.01 0 0 0.01 0 0] /FontBBox [0 0 100 100]"
                                 " /CharProcs << /a 8 0 R >> /Encoding << /Differences [65 /a] >> /Resources << >>"
                                 " /FirstChar 65 /LastChar 65 /Widths [45.25] >>";
        const QByteArray cid = "<< /Type /Font /Subtype /Type0 /BaseFont /Plain /Encoding /Identity-H /DescendantFonts"
                               " [<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Plain /CIDSystemInfo << /Registry (Adobe)"
                               " /Ordering (Identity) /Supplement 0 >> /DW 1000 /W [1 [500.5 250.25] 10 20 333.3]"
                               " /FontDescriptor << /Type /FontDescriptor /FontName /Plain /Flags 32 /FontBBox [0 0 1000 1000]"
                               " /ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 >> >>] >>";
        const struct { QByteArray font; QVector<int> codes; } cases[] = {
            {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 65 /LastChar 67 /Widths [611.5 667.25 722] >>",
             {65, 66, 67, 68}},
            {"<< /Type /Font /Subtype /TrueType /BaseFont /Helvetica /FirstChar 65 /LastChar 66 /Widths [600 700] >>", {65, 66}},
            {type3, {65}},
            {cid, {1, 2, 15, 5}},
        };
        QVector<QByteArray> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 0 /Kids [] >>"};
        for (const auto &c : cases)
            objects << c.font;
        objects << "<< >>" << stream("", "0 0 d0") << "<< /Title (Widths) >>";
        const QByteArray pdf = pdfOf(objects);
        fz_context *ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
        pdf_document *doc = nullptr;
        QStringList got;
        try {
            guarded(ctx, [&] {
                fz_stream *in = fz_open_memory(ctx, reinterpret_cast<const unsigned char *>(pdf.constData()), size_t(pdf.size()));
                fz_try(ctx)
                    doc = pdf_open_document_with_stream(ctx, in);
                fz_always(ctx)
                    fz_drop_stream(ctx, in);
                fz_catch(ctx)
                    fz_rethrow(ctx);
            });
            FontCache fonts(ctx, doc);
            for (int i = 0; i < int(std::size(cases)); ++i) {
                pdf_obj *dict = nullptr;
                guarded(ctx, [&] { dict = pdf_new_indirect(ctx, doc, 3 + i, 0); });
                const FontCache::Font *f = fonts.get(nullptr, dict);
                QStringList widths;
                for (const int code : cases[i].codes)
                    widths << (f ? QString::number(f->width(ctx, code)) : "none");
                got << widths.join(' ');
                guarded(ctx, [&] { pdf_drop_obj(ctx, dict); });
            }
        } catch (const std::exception &e) {
            got << e.what();
        }
        pdf_drop_document(ctx, doc);
        fz_drop_context(ctx);
        // Code 68 of the first font has no width of its own: the library's
        // for a missing one.
        QCOMPARE(got.join(" | "), QStringLiteral("611.5 667.25 722 0 | 600 700 | 452.5 | 500.5 250.25 333.3 1000"));
    }

    // A picture rule names the converter's run starting at its left and
    // top; that run's words go, found as for a text rule, whatever
    // separates them from their neighbours.
    void pictureRulesTakeTheConvertersRun()
    {
        const struct { const char *name; QString input; int page; QString word; } cases[] = {
            {"word separated by positioning", "made", 1, "Value"},
            {"word in a shared form", "made", 1, "Shared"},
            {"word beside a colon word", "made", 1, "now"},
            {"turned page", "made", 2, "line"},
            {"short word running down the page", "us-017.pdf>+270:1", 1, "for"},
        };
        for (const auto &c : cases) {
            QTemporaryDir work;
            const QString in = inputFile(c.input, work.path()), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
            const QString picture = work.filePath("p.png");
            const PlacedWord target = runOf(in, c.page, '?' + c.word);
            QVERIFY2(saveBluePicture(picture) && target.width > 0, c.name);
            const Result r = ostrel(in, "-pisome", out, rules,
                                    QStringLiteral("%1:%2:%3:(%4):20:8\r\n").arg(c.page).arg(target.left).arg(target.top).arg(picture));
            QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(c.name + (": " + r.err)));
            const QVector<Word> before = words(in, c.page), after = words(out, c.page);
            const auto count = [](const QVector<Word> &list, const QString &text)
            { return std::count_if(list.begin(), list.end(), [&](const Word &w) { return w.text == text; }); };
            QVERIFY2(after.size() == before.size() - 1, c.name);
            for (const Word &w : before)
                QCOMPARE(count(after, w.text), count(before, w.text) - (w.text == c.word));
            const QString n = QString::number(c.page);
            QVERIFY2(QString::fromUtf8(run("pdfimages", {"-list", "-f", n, "-l", n, out}).out)
                             .count(QRegularExpression("\\n\\s+\\d+\\s+\\d+\\s+image\\s+4\\s+4\\s")) == 1, c.name);
        }
    }

    // On a tree the converter draws as qpdf rewrites it (a null among the
    // kids: poppler alone reads no text after it), a picture rule names a
    // run of the layer the converter wrote; the engine reads the runs of the
    // same rewrite and takes it.
    void pictureRulesTakeTheRunsOfARepairedTree()
    {
        QTemporaryDir work;
        const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
        const QString picture = work.filePath("p.png");
        QVERIFY(saveBluePicture(picture) && writeFile(in, quirkyTreePdf("null")));
        const Result drawn = run(QStringLiteral(GRIDMOLT_APP_DIR "/Dorcet.dll"),
                                 {in, "-ht", work.filePath("t.png"), "-f", "2", "-l", "2"});
        QVERIFY2(drawn.exitCode == 0, drawn.err.constData());
        const QRegularExpressionMatch layer = QRegularExpression(R"(left:(\d+);top:(\d+);[^>]*>Page<)")
                                                  .match(QString::fromUtf8(readAll(work.filePath("t_pg_0001.htm"))));
        QVERIFY(layer.hasMatch());
        const Result r = ostrel(in, "-pisome", out, rules,
                                QStringLiteral("2:%1:%2:(%3):20:8\r\n").arg(layer.captured(1), layer.captured(2), picture));
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), r.err.constData());
        const QVector<Word> after = words(out, 2);
        QVERIFY(boxOf(after, "Page").isNull() && !boxOf(after, "2").isNull());
        QCOMPARE(QString::fromUtf8(run("pdfimages", {"-list", "-f", "2", "-l", "2", out}).out)
                     .count(QRegularExpression("\\n\\s+\\d+\\s+\\d+\\s+image\\s+4\\s+4\\s")), 1);
    }

    // The same word four times at the same left as shown: a column of rows
    // on a page upright or turned by 180, and on pages turned by 90 and 270
    // a line running down (or up) the page whose words stand up to two and
    // a half units apart across it, so the line's band starts that far off
    // some of them. A picture rule on one word takes that word, whichever it
    // is, and draws one picture; a rule whose place starts no run is skipped.
    void pictureRuleTakesItsOwnRowOfAColumn()
    {
        const struct { int rotate; QByteArray content; } pages[] = {
            {0, "BT /F1 12 Tf 72 700 Td (Yes) Tj 0 -14 Td (Yes) Tj 0 -14 Td (Yes) Tj 0 -14 Td (Yes) Tj ET"},
            {180, "BT /F1 12 Tf 72 700 Td (Yes) Tj 0 -14 Td (Yes) Tj 0 -14 Td (Yes) Tj 0 -14 Td (Yes) Tj ET"},
            {90, "BT /F1 12 Tf 72 400 Td (Yes) Tj 60 -2 Td (Yes) Tj 60 2.5 Td (Yes) Tj 60 -2.5 Td (Yes) Tj ET"},
            {270, "BT /F1 12 Tf 72 400 Td (Yes) Tj 60 2 Td (Yes) Tj 60 -2.5 Td (Yes) Tj 60 2.5 Td (Yes) Tj ET"},
        };
        for (const auto &page : pages) {
            QTemporaryDir work;
            const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
            const QString picture = work.filePath("p.png");
            QVERIFY(saveBluePicture(picture) && writeFile(in, helveticaPagePdf(page.content, page.rotate)));
            const QVector<Word> before = words(in, 1);
            QCOMPARE(before.size(), 4);
            // Each row alone, then two rules on the page, then one beside
            // a run's start.
            for (const QVector<int> &taken : QVector<QVector<int>>{{0}, {1}, {2}, {3}, {0, 2}, {-1}}) {
                QString lines;
                QVector<QRect> runs;
                for (int row : taken) {
                    const PlacedWord target = runOf(in, 1, '#' + QString::number(qMax(row, 0)));
                    QVERIFY(target.text == "Yes");
                    runs << QRect(target.left, target.top, target.width, target.height);
                    lines += QStringLiteral("1:%1:%2:(%3):8:8\r\n").arg(target.left + (row < 0)).arg(target.top).arg(picture);
                }
                const Result r = ostrel(in, "-pisome", out, rules, lines);
                const QString why = QStringLiteral("turned by %1, rows %2: %3").arg(page.rotate).arg(taken.size()).arg(r.err.constData());
                if (taken[0] < 0) {
                    QVERIFY2(r.exitCode == 2 && r.err.count('\n') == 1
                                 && r.err.contains(QStringLiteral("no text run starts at %1,%2; rule skipped")
                                                       .arg(runs[0].left() + 1).arg(runs[0].top()).toUtf8()),
                             qPrintable(why));
                    continue;
                }
                QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(why));
                // The words left: those whose middle no taken run holds.
                QStringList left, expected;
                for (const Word &w : words(out, 1))
                    left << QStringLiteral("%1,%2").arg(qRound(w.box.left())).arg(qRound(w.box.top()));
                for (const Word &w : before)
                    if (std::none_of(runs.begin(), runs.end(), [&](const QRect &run) { return QRectF(run).adjusted(-1, -1, 1, 1).contains(w.box.center()); }))
                        expected << QStringLiteral("%1,%2").arg(qRound(w.box.left())).arg(qRound(w.box.top()));
                QVERIFY2(left == expected && expected.size() == 4 - taken.size(), qPrintable(why + left.join(' ')));
                QCOMPARE(QString::fromUtf8(run("pdfimages", {"-list", out}).out).count(QRegularExpression("\\n\\s+1\\s+\\d+\\s+image\\s")),
                         taken.size());
            }
        }
    }

    // A picture rule whose run is drawn only where forms nest too deeply
    // to be read is skipped: its words are not found. The page keeps its
    // words and gets no picture.
    void pictureRuleOutOfReachIsSkipped()
    {
        QVector<QByteArray> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
                                       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /Fm1 5 0 R >> >>"
                                       " /Contents 4 0 R >>",
                                       stream("", "/Fm1 Do")};
        for (int depth = 1; depth <= 12; ++depth)
            objects << stream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << /Font << /F1 << /Type /Font"
                              " /Subtype /Type1 /BaseFont /Helvetica >> >> /XObject << /Fm1 " + QByteArray::number(objects.size() + 2) + " 0 R >> >>",
                              depth < 12 ? QByteArray("/Fm1 Do") : QByteArray("BT /F1 24 Tf 72 700 Td (Hello World) Tj ET"));
        objects << "<< /Title (Deep) >>";
        QTemporaryDir work;
        const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
        const QString picture = work.filePath("p.png");
        QVERIFY(writeFile(in, pdfOf(objects)) && saveBluePicture(picture));
        const PlacedWord target = runOf(in, 1, "Hello");
        QVERIFY(target.width > 0);
        const Result r = ostrel(in, "-pisome", out, rules,
                                QStringLiteral("1:%1:%2:(%3):20:8\r\n").arg(target.left).arg(target.top).arg(picture));
        QVERIFY2(r.exitCode == 2 && r.err.count('\n') == 1 && r.err.contains("line 1, page 1, picture")
                     && r.err.contains(QStringLiteral(": the words of the run at %1,%2 are not found; rule skipped").arg(target.left).arg(target.top).toUtf8()),
                 r.err.constData());
        QCOMPARE(run("pdftotext", {out, "-"}).out, run("pdftotext", {in, "-"}).out);
        QVERIFY(!run("pdfimages", {"-list", out}).out.contains(" image "));
    }

    // Pages made to trip the rewrite: the word "Hello" of "Hello World",
    // drawn again over itself, in a form, placed far right by a TJ offset,
    // on turned pages and running up the page, after content that ends
    // inside an array or a string, under a page tree whose object bears
    // another generation than its references name, in a Type3 font
    // whose glyphs are the letters, beside a stray delimiter or a name that
    // readers pass over, or in the font a graphics state sets. Each time the word goes
    // (every drawing), "Bye" is read inside its box from its start, World
    // stays, the page is found, and no pixel outside the word changes.
    void hostilePagesKeepEveryPromise()
    {
        // The content, the page's rotation, the edge of the word as shown
        // where the text starts (L, T, R or B), whether the page tree is
        // misnumbered, and whether the page takes its resources from it.
        const struct { const char *name; QByteArray content; int rotate; char start; bool misnumbered; bool inherited = false; } cases[] = {
            {"plain", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET", 0, 'L', false},
            {"drawn twice, a bolder look", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET BT /F1 24 Tf 72.3 700 Td (Hello World) Tj ET",
                0, 'L', false},
            {"drawn again from a form", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET q 1 0 0 1 0.2 0 cm /Fm1 Do Q", 0, 'L', false},
            {"in a form only", "/Fm1 Do", 0, 'L', false},
            {"right-aligned by a TJ offset", "BT /F1 24 Tf 72 700 Td [(World) -9000 (Hello)] TJ ET", 0, 'L', false},
            {"page turned by 90", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET", 90, 'T', false},
            {"page turned by 180", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET", 180, 'R', false},
            {"page turned by 270", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET", 270, 'B', false},
            {"text at 90 degrees", "BT /F1 24 Tf 0 1 -1 0 300 300 Tm (Hello World) Tj ET", 0, 'B', false},
            {"content ends in an open array", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET [", 0, 'L', false},
            {"content ends in an open string", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET (", 0, 'L', false},
            {"content ends in an inline image", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET BI /W 1 /H 1 ID ab", 0, 'L', false},
            {"content ends in a comment", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET % ends here", 0, 'L', false},
            {"content ends in operands", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET 1 0 0", 0, 'L', false},
            // "|" parts the content into streams, which readers read as one.
            {"operands in one stream, their operator in the next", "BT /F1 24 Tf 72 700 Td (Hello World)|Tj ET", 0, 'L', false},
            {"page tree misnumbered", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET", 0, 'L', true},
            {"in a Type3 font whose glyphs are the letters", "BT /F2 24 Tf 72 700 Td (Hello World) Tj ET", 0, 'L', false},
            {"resources inherited from the page tree", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET", 0, 'L', false, true},
            {"inside as many saved states as a page may hold", QByteArray("q ").repeated(4096) + "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET"
                + QByteArray(" Q").repeated(4096), 0, 'L', false},
            // Readers take a stray delimiter for a broken object and go on; the
            // rewrite leaves it out with the operator after it.
            {"a stray delimiter before the words", "BT /F1 24 Tf 72 700 Td ) (Hello World) Tj ET", 0, 'L', false},
            {"a name inside a TJ array", "BT /F1 24 Tf 72 700 Td [(Hello) /X ( World)] TJ ET", 0, 'L', false},
            {"placed by TD and T*", "BT /F1 24 Tf 72 740 Td 0 -20 TD T* (Hello World) Tj ET", 0, 'L', false},
            {"narrowed by Tz", "BT /F1 24 Tf 60 Tz 72 700 Td (Hello World) Tj ET", 0, 'L', false},
            {"font and size set by a graphics state", "BT /GS1 gs 72 700 Td (Hello World) Tj ET", 0, 'L', false},
        };
        for (const auto &c : cases) {
            QTemporaryDir work;
            const QString in = work.filePath("in.pdf"), plain = work.filePath("plain.pdf"), out = work.filePath("out.pdf"),
                          rules = work.filePath("rules.txt");
            const auto made = [&c](const QByteArray &content) {
                const QByteArray form = "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET";
                QVector<QByteArray> objects = {
                    "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "",
                    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                    "<< /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >>"
                    " /Length " + QByteArray::number(form.size()) + " >>\nstream\n" + form + "\nendstream"};
                QByteArray streams;
                for (const QByteArray &part : content.split('|')) {
                    objects << "<< /Length " + QByteArray::number(part.size()) + " >>\nstream\n" + part + "\nendstream";
                    streams += QByteArray::number(objects.size()) + " 0 R ";
                }
                // A Type3 font of blocks, one per letter, named by the letter's glyph name.
                QByteArray type3;
                if (content.contains("/F2")) {
                    const struct { const char *name; int code; } letters[] = {{"space", 32}, {"H", 72}, {"W", 87}, {"d", 100},
                                                                             {"e", 101}, {"l", 108}, {"o", 111}, {"r", 114}};
                    QByteArray procs, differences, widths;
                    for (const auto &l : letters) {
                        const QByteArray glyph = l.code == 32 ? "600 0 d0" : "600 0 0 0 600 700 d1 50 0 500 700 re f";
                        objects << "<< /Length " + QByteArray::number(glyph.size()) + " >>\nstream\n" + glyph + "\nendstream";
                        procs += '/' + QByteArray(l.name) + ' ' + QByteArray::number(objects.size()) + " 0 R ";
                        differences += QByteArray::number(l.code) + " /" + l.name + ' ';
                    }
                    for (int code = 32; code <= 114; ++code)
                        widths += std::any_of(std::begin(letters), std::end(letters), [code](const auto &l) { return l.code == code; })
                            ? "600 " : "0 ";
                    objects << "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 600 700] /FontMatrix [0.001 0 0 0.001 0 0] /CharProcs << "
                            + procs + ">> /Encoding << /Type /Encoding /Differences [" + differences
                            + "] >> /FirstChar 32 /LastChar 114 /Widths [" + widths + "] >>";
                    type3 = " /F2 " + QByteArray::number(objects.size()) + " 0 R";
                }
                const QByteArray resources = " /Resources << /Font << /F1 4 0 R" + type3 + " >> /XObject << /Fm1 5 0 R >>"
                                             " /ExtGState << /GS1 << /Font [4 0 R 24] >> >> >>";
                if (c.inherited)
                    objects[1] = "<< /Type /Pages /Count 1 /Kids [3 0 R]" + resources + " >>";
                objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate " + QByteArray::number(c.rotate)
                    + (c.inherited ? QByteArray() : resources) + " /Contents [" + streams + "] >>";
                return pdfOf(objects << "<< /Title (Hostile) >>");
            };
            QByteArray pdf = made(c.content);
            if (c.misnumbered) {
                // The library finds the object and reads it as 2 400; every reference says 2 0.
                const int at = pdf.indexOf("\n2 0 obj") + 1;
                const QByteArray entry = QByteArray::number(at).rightJustified(10, '0') + " 00000 n ";
                QVERIFY(at > 0 && pdf.contains(entry));
                pdf.replace(entry, QByteArray::number(at).rightJustified(10, '0') + " 00400 n ").replace("\n2 0 obj", "\n2 400 obj");
            }
            // The word's box is read from the document as a reader takes it;
            // the misnumbered one no reader opens, so from its sound twin.
            QVERIFY(writeFile(in, pdf) && writeFile(plain, made(c.content)));
            const QVector<Word> before = words(plain, 1);
            const QRectF hello = boxOf(before, "Hello"), world = boxOf(before, "World");
            QVERIFY2(!hello.isNull() && !world.isNull(), c.name);
            const Result r = ostrel(in, "-tesome", out, rules, ruleBox(1, hello) + ":Hello:Bye\r\n");
            QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(c.name + (": " + r.err)));
            QVERIFY2(pageCount(out) == 1, c.name);
            const QVector<Word> after = words(out, 1);
            const QRectF bye = boxOf(after, "Bye"), kept = boxOf(after, "World");
            QVERIFY2(boxOf(after, "Hello").isNull() && after.size() == 2, c.name);
            QVERIFY2(!kept.isNull() && qAbs(kept.left() - world.left()) < 0.5 && qAbs(kept.top() - world.top()) < 0.5, c.name);
            // (Boxes come from each font's own height: only the ink below is held to the word's box.)
            QVERIFY2(!bye.isNull() && hello.contains(bye.center()), qPrintable(QStringLiteral("%1: Bye at %2 %3 %4 %5").arg(c.name)
                         .arg(bye.left()).arg(bye.top()).arg(bye.right()).arg(bye.bottom())));
            const double startGap = c.start == 'L' ? bye.left() - hello.left() : c.start == 'R' ? hello.right() - bye.right()
                : c.start == 'T' ? bye.top() - hello.top() : hello.bottom() - bye.bottom();
            QVERIFY2(qAbs(startGap) < 1, qPrintable(c.name + QStringLiteral(": starts %1 off").arg(startGap)));
            const Rendered was = render(plain, 1), is = render(out, 1);
            QVERIFY2(changedOutside(was.image, is.image, {hello, bye}) == 0, c.name);
            QVERIFY2(is.warnings.isEmpty(), qPrintable(c.name + (": " + is.warnings)));
        }
    }

    // Files every reader takes with one page count, which the engine's own
    // library cannot take as they stand (it refuses their page tree, or
    // fails writing what it read): they are rewritten as the second library
    // repairs them, with the pages pdfinfo gives, and keep their encryption.
    void filesReadersTakeAreRewritten()
    {
        // The input, the text of each page the readers number ("|" between
        // pages), the page whose "Page" the rule replaces (0: none), and whether it is
        // encrypted (an owner password, none to open it). Poppler stops at a
        // null or a name among the kids, and reads no text after them.
        const struct { const char *name; QByteArray pdf; QByteArray texts; int page; bool encrypted = false; } cases[] = {
            {"a page without /Type", quirkyTreePdf("notype"), "Page 1|Page 2|Page 3", 2},
            {"a /Pages node without /Type", quirkyTreePdf("nodetype"), "Page 1|Page 2|Page 3", 2},
            {"a null among the kids", quirkyTreePdf("null"), "Page 1|Page 2|Page 3", 2},
            {"a name among the kids", quirkyTreePdf("name"), "Page 1|Page 2|Page 3", 3},
            {"a page listed twice", quirkyTreePdf("twice"), "Page 1|Page 2|Page 2", 3},
            {"a page that is its own parent", quirkyTreePdf("self"), "Page 1|Page 2|Page 3", 2},
            {"a /Count one below the kids", quirkyTreePdf("low"), "Page 1|Page 2", 2},
            {"an object named by two numbers", quirkyTreePdf("numbers"), "Page 1|Page 2|Page 3", 2},
            // Readers count the claim and show the pages it does not hold blank.
            {"a /Count one above the kids", quirkyTreePdf("high1"), "Page 1|Page 2|Page 3|", 3},
            {"a /Count two above the kids", quirkyTreePdf("high2"), "Page 1|Page 2|Page 3||", 1},
            {"/Kids a reference to a page", quirkyTreePdf("kidsref"), "||", 0},
            // Readers show the catalog among the kids as a blank page.
            {"the catalog among the kids", quirkyTreePdf("catalog"), "Page 1||Page 2", 3},
            {"a page that lists kids", quirkyTreePdf("pagekids"), "Page 1|Page 2|Page 3", 1},
            // The engine's library walks it as a node without pages.
            {"a page of /Type /Pages", quirkyTreePdf("pagesleaf"), "Page 1|Page 2|Page 3", 2},
            // Text for a key where a name must be, in an object stream: read on open, refused when written.
            {"a key that is no name in an object stream", packedPdf("<< (Title) (Packed) >>"), "Page 1", 1},
            {"an object stream placing an object past its end", packedPdf("<< /Title (Packed) >>", [](const QByteArray &list) {
                 return list.left(list.lastIndexOf(" 6 ")) + " 6 9999 ";
             }), "Page 1", 1},
            {"an owner password, a null among the kids", quirkyTreePdf("null"), "Page 1|Page 2|Page 3", 2, true},
            {"an owner password that forbids changes", quirkyTreePdf(""), "Page 1|Page 2|Page 3", 2, true},
        };
        for (const auto &c : cases) {
            QTemporaryDir work;
            const QString plain = work.filePath("plain.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
            QString in = plain;
            QVERIFY(writeFile(plain, c.pdf));
            if (c.encrypted) {
                in = work.filePath("in.pdf");
                QVERIFY(run("qpdf", {"--encrypt", "", "owner", "256", "--modify=none", "--", plain, in}).exitCode == 0);
            }
            const QByteArray bytes = readAll(in);
            const QList<QByteArray> texts = c.texts.split('|');
            // The readers agree on the input's pages.
            QVERIFY2(pageCount(in) == texts.size() && qpdfPageCount(in) == texts.size(), c.name);
            // First without a rule; the word's place is then read from what was written.
            for (const bool ruled : {false, true}) {
                if (ruled && !c.page)
                    continue;
                const QRectF word = ruled ? boxOf(words(out, c.page), "Page") : QRectF();
                QVERIFY2(!ruled || !word.isNull(), c.name);
                QVERIFY(writeFile(rules, ruled ? (ruleBox(c.page, word) + ":Page:Leaf\r\n").toUtf8() : QByteArray()));
                QFile::remove(out);
                const Result r = ostrel(in, "-tesome", out, rules);
                const QString what = QString(c.name) + (ruled ? ": " : ", no rule: ") + r.err;
                QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(what));
                // The input as it was; no temporary file of the first try left.
                QVERIFY2(readAll(in) == bytes, qPrintable(what));
                QVERIFY2(QDir(work.path()).entryList({".gm*"}, QDir::Files | QDir::Hidden).isEmpty(), qPrintable(what));
                QVERIFY2(pageCount(out) == texts.size() && qpdfPageCount(out) == texts.size(), qPrintable(what));
                QVERIFY2(run("qpdf", {"--check", out}).exitCode == 0, qPrintable(what));
                // The same encryption, algorithm and permissions.
                const QString locked = encryptionOf(out);
                QVERIFY2(locked == encryptionOf(in) && locked.contains(c.encrypted ? "yes" : "no"), qPrintable(what + ": " + locked));
                for (int n = 1; n <= texts.size(); ++n) {
                    QByteArray expected = texts[n - 1];
                    if (ruled && n == c.page)
                        expected.replace("Page", "Leaf");
                    const QByteArray is = pageText(out, n).trimmed();
                    QVERIFY2(is == expected, qPrintable(what + QStringLiteral(", page %1: ").arg(n) + is));
                }
            }
        }
        // A repaired file whose second page draws from content no reader
        // decodes, or from an object it lacks: written as readers take it.
        for (const QByteArray &contents : {QByteArray("7 0 R"), QByteArray("[5 0 R 9 0 R]")}) {
            QTemporaryDir work;
            const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
            QVERIFY(writeFile(in, repairedTwoPages(contents)) && writeFile(rules, "1-0-0-9-9:x:y\r\n"));
            const Result r = ostrel(in, "-tesome", out, rules);
            QVERIFY2(r.exitCode == 2 && r.err.contains("its find text is not in its box"), qPrintable(r.err));
            QVERIFY2(pageCount(out) == 2 && qpdfPageCount(out) == 2 && pageText(out, 1).contains("Alpha Beta"), contents.constData());
        }
    }

    // Where the text state puts a word: its start on the baseline as shown
    // and its width, as the engine hands them to the replacement.
    void textStatePlacesTheWord()
    {
        // Helvetica's "Hello" at 24 points is 54.672 wide; the page is 792 high.
        // "Hello World" is 124.008 wide.
        const struct { const char *name; QByteArray state; QPointF origin; double width; const char *find = "Hello"; } cases[] = {
            {"plain", "72 700 Td", {72, 92}, 54.672},
            {"lines moved by TD and T*", "72 740 Td 0 -20 TD T*", {72, 92}, 54.672},
            {"narrowed by Tz", "60 Tz 72 700 Td", {72, 92}, 54.672 * 0.6},
            {"raised by Ts", "6 Ts 72 700 Td", {72, 86}, 54.672},
            {"a leading set by TL", "30 TL 72 730 Td T*", {72, 92}, 54.672},
            {"set by Tm", "1 0 0 1 72 700 Tm", {72, 92}, 54.672},
            {"sized by Tm", "0.5 0 0 0.5 72 700 Tm", {72, 92}, 54.672 / 2},
            {"spaced by Tc", "2 Tc 72 700 Td", {72, 92}, 62.672},
            {"in a space scaled by cm", "", {72, 92}, 54.672},
            // An operator short of its numbers is passed over, as readers pass it.
            {"a Ts of a name", "6 Ts /X Ts 72 700 Td", {72, 86}, 54.672},
            {"a Tc of a name", "2 Tc /X Tc 72 700 Td", {72, 92}, 62.672},
            {"a Tz of a name", "60 Tz /X Tz 72 700 Td", {72, 92}, 54.672 * 0.6},
            {"a TL of a name", "30 TL /X TL 72 730 Td T*", {72, 92}, 54.672},
            {"a Td with a name", "72 700 Td /X 5 Td", {72, 92}, 54.672},
            {"a TD with a name", "72 700 Td /X -20 TD", {72, 92}, 54.672},
            {"a Tm with a name", "1 0 0 1 72 700 Tm /X 0 0 1 9 9 Tm", {72, 92}, 54.672},
            {"spaced by Tw", "5 Tw 72 700 Td", {72, 92}, 129.008, "Hello World"},
            {"a Tw of a name", "5 Tw /X Tw 72 700 Td", {72, 92}, 129.008, "Hello World"},
        };
        for (const auto &c : cases) {
            const QByteArray content = c.state.isEmpty() ? "q 2 0 0 2 0 0 cm BT /F1 12 Tf 36 350 Td (Hello World) Tj ET Q"
                                                         : "BT /F1 24 Tf " + c.state + " (Hello World) Tj ET";
            QTemporaryDir work;
            const QString in = work.filePath("in.pdf");
            QVERIFY(writeFile(in, helveticaPagePdf(content)));
            const QVector<Word> shown = words(in, 1);
            const QRectF box = boxOf(shown, "Hello").united(boxOf(shown, QString::fromLatin1(c.find).section(' ', -1)));
            QVERIFY2(!box.isNull(), c.name);
            const std::vector<GlyphRemover::Removed> removed = removeAt(in, 1, box, {c.find});
            QVERIFY2(removed.size() == 1 && removed[0].found == 0, c.name);
            QVERIFY2(qAbs(removed[0].origin.x - c.origin.x()) < 0.01 && qAbs(removed[0].origin.y - c.origin.y()) < 0.01
                         && qAbs(removed[0].width - c.width) < 0.01,
                     qPrintable(QStringLiteral("%1: %2 %3 %4").arg(c.name).arg(removed[0].origin.x).arg(removed[0].origin.y).arg(removed[0].width)));
        }
    }

    // A showing the rewrite cannot reach (a form drawn more deeply than
    // it follows, an annotation's appearance, what a Type3 glyph's
    // procedure draws) stays on the page: the rule is reported as skipped,
    // in one line, and the page is left as it was. Such showings elsewhere
    // on the page keep nothing from the rule.
    void wordsThatCannotAllGoAreSkipped()
    {
        // What the content draws after "Hello World" (72 700, 24-point
        // Helvetica); the subtype of an annotation whose appearance draws
        // "Hello" on the baseline `shownAt` (none when empty); how deeply
        // nested forms draw "Hello World" again (0 for none).
        // `mode` sets how the appearance renders its text ("" fills it).
        // `twoCharacters` maps the Type3 glyph X to "He".
        const struct { const char *name; QByteArray more; const char *annotation; int shownAt, forms; const char *replace; int exitCode;
                       const char *mode = ""; bool twoCharacters = false; } cases[] = {
            {"again in a form drawn more deeply than followed", "/Fm1 Do", "", 0, 12, "Bye", 2},
            {"again in forms nested as deeply as followed", "/Fm1 Do", "", 0, 8, "Bye", 0},
            {"again in forms nested one deeper than followed", "/Fm1 Do", "", 0, 9, "Bye", 2},
            {"again by a FreeText annotation", "", "FreeText", 700, 0, "Bye", 2},
            {"again by a Stamp annotation", "", "Stamp", 700, 0, "Bye", 2},
            {"again by a form field", "", "Widget", 700, 0, "Bye", 2},
            {"again by an annotation stroking it", "", "FreeText", 700, 0, "Bye", 2, "1 Tr"},
            {"again by an annotation clipping with it", "", "FreeText", 700, 0, "Bye", 2, "7 Tr"},
            {"again by an annotation stroking and clipping with it", "", "FreeText", 700, 0, "Bye", 2, "5 Tr"},
            {"again by an annotation hiding it", "", "FreeText", 700, 0, "Bye", 2, "3 Tr"},
            {"again by a Type3 glyph's procedure", "BT /F2 24 Tf 72 700 Td (X) Tj ET", "", 0, 0, "Bye", 2},
            {"again by a Type3 glyph drawn elsewhere first", "BT /F2 24 Tf 72 300 Td (X) Tj 0 400 Td (X) Tj ET", "", 0, 0, "Bye", 2},
            {"an annotation showing it elsewhere", "", "FreeText", 400, 0, "Bye", 0},
            {"a Type3 glyph's procedure showing it elsewhere", "BT /F2 24 Tf 72 300 Td (X) Tj ET", "", 0, 0, "Bye", 0},
            {"... by a glyph standing for two characters", "BT /F2 24 Tf 72 300 Td (X) Tj ET", "", 0, 0, "Bye", 0, "", true},
            {"a replacement holding the find text, an annotation elsewhere", "", "Stamp", 400, 0, "Hello there", 0},
        };
        for (const auto &c : cases) {
            const QByteArray content = "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET " + c.more;
            const bool field = QByteArray(c.annotation) == "Widget";
            QVector<QByteArray> objects = {field ? "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [9 0 R] >> >>"
                                                 : "<< /Type /Catalog /Pages 2 0 R >>",
                                           "<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "",
                                           "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                                        stream("/Filter /FlateDecode", qCompress(content).mid(4)),
                                           // The glyph X of a Type3 font draws "Hello" in Helvetica, an em high.
                                           stream("", "2700 0 d0 BT /F1 1000 Tf 0 0 Td (Hello) Tj ET"),
                                           "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 2700 1000] /FontMatrix [0.001 0 0 0.001 0 0]"
                                           " /CharProcs << /X 6 0 R >> /Encoding << /Type /Encoding /Differences [88 /X] >>"
                                           " /FirstChar 88 /LastChar 88 /Widths [2700] /Resources << /Font << /F1 4 0 R >> >> >>"};
            QByteArray annots;
            if (*c.annotation) {
                objects << stream("/Type /XObject /Subtype /Form /BBox [0 0 200 40] /Resources << /Font << /F1 4 0 R >> >>",
                                  "BT /F1 24 Tf " + QByteArray(c.mode) + " 0 5 Td (Hello) Tj ET");
                objects << "<< /Type /Annot /Subtype /" + QByteArray(c.annotation) + (field ? " /FT /Tx /T (f) /V (Hello)" : "") + " /Rect [72 " + QByteArray::number(c.shownAt - 5)
                        + " 272 " + QByteArray::number(c.shownAt + 35) + "] /Contents (Hello) /DA (/Helv 24 Tf 0 g) /AP << /N "
                        + QByteArray::number(objects.size()) + " 0 R >> >>";
                annots = " /Annots [" + QByteArray::number(objects.size()) + " 0 R]";
            }
            const QByteArray firstForm = QByteArray::number(objects.size() + 1);
            // Forms, each drawing the next; the last draws the words again.
            for (int depth = 1; depth <= c.forms; ++depth) {
                const QByteArray body = depth < c.forms ? QByteArray("/Fm1 Do") : QByteArray("BT /F1 24 Tf 72.2 700 Td (Hello World) Tj ET");
                objects << stream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> /XObject << /Fm1 "
                                      + QByteArray::number(objects.size() + 2) + " 0 R >> >>", body);
            }
            objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R"
                + QByteArray(c.more.contains("/F2") ? " /F2 7 0 R" : "") + " >>"
                + (c.forms ? " /XObject << /Fm1 " + firstForm + " 0 R >>" : QByteArray()) + " >> /Contents 5 0 R" + annots + " >>";
            objects << "<< /Title (Shown again) >>";
            if (c.twoCharacters) {
                objects << stream("", unicodeMap("<00> <FF>", "1 beginbfchar <58> <00480065> endbfchar"));
                objects[6].insert(objects[6].size() - 3, " /ToUnicode " + QByteArray::number(objects.size()) + " 0 R");
            }
            QTemporaryDir work;
            const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
            QVERIFY(writeFile(in, pdfOf(objects)));
            const QRectF hello = boxOf(words(in, 1), "Hello");
            QVERIFY2(!hello.isNull(), c.name);
            const QString replace = c.replace;
            const Result r = ostrel(in, "-tesome", out, rules, ruleBox(1, hello) + ":Hello:" + replace + "\r\n");
            const QVector<Word> after = words(out, 1);
            const int helloThere = int(std::count_if(after.begin(), after.end(), [&](const Word &w) {
                return w.text == "Hello" && w.box.intersects(hello);
            }));
            const QString last = replace.split(' ').last();
            if (c.exitCode == 2) {
                // Named with its reason: forms too deep to read, or a drawing the scan does not follow.
                const QByteArray why = c.forms ? "where forms nest too deeply to be read" : "shows its words there too";
                QVERIFY2(r.exitCode == 2 && r.err.contains("line 1, page 1, \"Hello:" + replace.toUtf8() + '"')
                             && r.err.contains(why) && r.err.count('\n') == 1, qPrintable(c.name + (": " + r.err)));
                QVERIFY2(helloThere == 1 && boxOf(after, last).isNull(), c.name);
                QVERIFY2(changedOutside(render(in, 1).image, render(out, 1).image, {}) == 0, c.name);
            } else {
                QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(c.name + (": " + r.err)));
                QVERIFY2(helloThere == (replace.contains("Hello") ? 1 : 0), c.name);
                QVERIFY2(!boxOf(after, last).isNull() && boxOf(after, last).intersects(hello.adjusted(0, 0, 100, 0)), c.name);
            }
        }
    }

    // Where poppler stops reading a page's content: at an operator given
    // fewer operands than it takes, arrays and dictionaries counting one.
    void operatorsShortOfOperandsAreFound()
    {
        const struct { const char *content; bool stops; } cases[] = {
            {"1 w 0 0 m 10 10 l S", false},
            {"w 0 0 m", true},
            {"BT /F1 12 Tf 72 700 Td (Hi) Tj ET", false},
            {"BT /F1 Tf ET", true},
            {"[3 1] 0 d [(a) -20 (b)] TJ", false},
            {"[3 1] d", true},
            {"/P << /MCID 0 >> BDC EMC", false},
            {"<< /MCID 0 >> BDC", true},
            {"0x12 w", true},
            {"q 1 0 0 1 0 0 cm Q 0.5 g 1 0 0 rg", false},
            {"1 0 0 rg 0 0 RG", true},
            {"BI /W 2 /H 1 /BPC 8 /CS /G ID w) EI 1 w", false},
            {"BI /W 2 /H 1 /BPC 8 /CS /G ID w) EI w", true},
            {") } 1 w", false},
            {"(a\\) (b) c) Tj <41 42> Tj % w\n(x) Tj", false},
            {"(a\\) (b) c) Tf", true},
            {"", false},
        };
        for (const auto &c : cases)
            QVERIFY2(OperandCounts::anyShort(c.content) == c.stops, c.content);
    }

    // Poppler gives up a content stream at an operator without its operands,
    // where the engine's library reads on: a replacement drawn after such
    // damage, or for words after it, is not read by the converter. Such a
    // rule is skipped and its page left as it was; a damage both read past
    // keeps the rule.
    void replacementsTheConverterCannotReadAreSkipped()
    {
        const QByteArray first = "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET\n";
        const QByteArray second = "\nBT /F1 24 Tf 72 600 Td (Second line) Tj ET\n";
        const struct { const char *name; QByteArray content; const char *word; int exitCode; } cases[] = {
            {"no damage", first + second, "Hello", 0},
            {"damage after the words", first + "w" + second, "Hello", 2},
            {"damage before the words", second + "Tj\n" + first, "Hello", 2},
            {"another operator without operands after the words", first + "rg" + second, "World", 2},
            {"an unknown operator both read past", first + "0x12" + second, "Hello", 0},
        };
        QTemporaryDir work;
        const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
        const QString whole = work.filePath("whole.pdf");
        for (const auto &c : cases) {
            // The word's box as poppler finds it on the page without the damage.
            QVERIFY(writeFile(whole, helveticaPagePdf(first + second)) && writeFile(in, helveticaPagePdf(c.content)));
            const QRectF box = boxOf(words(whole, 1), c.word);
            QVERIFY2(!box.isNull(), c.name);
            const Result r = ostrel(in, "-tesome", out, rules, ruleBox(1, box) + ':' + c.word + ":ZQXJ\r\n");
            if (c.exitCode == 0) {
                QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(c.name + (": " + r.err)));
                QVERIFY2(pageText(out, 1).contains("ZQXJ") && !pageText(out, 1).contains(c.word), c.name);
                continue;
            }
            QVERIFY2(r.exitCode == 2 && r.err.count('\n') == 1
                         && r.err.contains("line 1, page 1, \"" + QByteArray(c.word) + ":ZQXJ\": the converter does not read"),
                     qPrintable(c.name + (": " + r.err)));
            QVERIFY2(pageContent(out, 1) == pageContent(in, 1), c.name);
        }
    }

    // An annotation drawing "Hello" over the words shows them there too:
    // by a glyph its font's map gives two characters ("He" of "Hllo"), or
    // after other words that stand outside the rule's box.
    void annotationGlyphsCountOneByOne()
    {
        const QByteArray map = unicodeMap("<00> <FF>", "3 beginbfchar <48> <00480065> <6C> <006C> <6F> <006F> endbfchar");
        // The font of the appearance (/F1 Helvetica, /FH with the map), what
        // it shows and where its line starts ("Say " is 48.024 wide).
        const struct { const char *name; QByteArray font, shown, left; } cases[] = {
            {"a glyph standing for two characters", "FH", "(Hllo)", "72"},
            {"after words outside the box", "F1", "(Say Hello)", "23.976"},
        };
        for (const auto &c : cases) {
            const QVector<QByteArray> objects = {
                "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
                "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R"
                " /Annots [9 0 R] >>",
                "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", stream("", "BT /F1 24 Tf 72 700 Td (Hello World) Tj ET"),
                stream("", map), "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 6 0 R >>",
                stream("/Type /XObject /Subtype /Form /BBox [0 0 200 40] /Resources << /Font << /FH 7 0 R /F1 4 0 R >> >>",
                       "BT /" + c.font + " 24 Tf 0 5 Td " + c.shown + " Tj ET"),
                "<< /Type /Annot /Subtype /FreeText /Rect [" + c.left + " 695 " + QByteArray::number(c.left.toDouble() + 200) + " 735] /Contents (Hello)"
                " /DA (/Helv 24 Tf 0 g) /AP << /N 8 0 R >> >>",
                "<< /Title (One by one) >>"};
            QTemporaryDir work;
            const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
            QVERIFY(writeFile(in, pdfOf(objects)));
            const QRectF hello = boxOf(words(in, 1), "Hello");
            QVERIFY2(!hello.isNull(), c.name);
            const Result r = ostrel(in, "-tesome", out, rules, ruleBox(1, hello) + ":Hello:Bye\r\n");
            QVERIFY2(r.exitCode == 2 && r.err.contains("line 1, page 1, \"Hello:Bye\": an annotation or a Type3 glyph shows its words there too")
                         && r.err.count('\n') == 1,
                     qPrintable(c.name + (": " + r.err)));
        }
    }

    void failedRunLeavesNoFile()
    {
        // The input ("" for a good document), option, rules ("" for no rule
        // file), output (in the work folder) and what the message names.
        // `blocks`: the most 512-byte blocks a file of the run may hold (0: no limit).
        const struct { const char *name, *input, *option, *rules, *output, *named; int blocks = 0; } cases[] = {
            {"not a PDF", "notes.pdf", "-tesome", "1-0-0-9-9:x:y\r\n", "out.pdf", "notes.pdf"},
            {"damaged", "cut.pdf", "-tesome", "1-0-0-9-9:x:y\r\n", "out.pdf", "cut.pdf"},
            {"password", GRIDMOLT_SAMPLES_DIR "/encrypted.pdf", "-tesome", "1-0-0-9-9:x:y\r\n", "out.pdf", "encrypted.pdf"},
            {"a page saving 200,000 graphics states", GRIDMOLT_SOURCE_DIR "/tests/data/hostile/nested-states.pdf",
                "-tesome", "1-0-0-9999-9999:x:y\r\n", "out.pdf", "nested-states.pdf"},
            {"a page saving one state more than it may", "states.pdf", "-tesome", "1-0-0-9999-9999:x:y\r\n", "out.pdf",
                "states.pdf\": the content saves more than 4096 graphics states"},
            {"malformed line, stale output removed", "", "-tesome", "1-40-88-30-14:Alpha:A\r\n1-x-2-3-4:a:b\r\n",
                "stale.pdf", "rules.txt"},
            {"missing picture", "", "-pisome", "1:40:88:(nowhere.png):10:10\r\n", "out.pdf", "nowhere.png"},
            {"picture not an image", "", "-pisome", "1:40:88:(notes.pdf):10:10\r\n", "out.pdf", "notes.pdf"},
            {"no rule file", "", "-tesome", "", "out.pdf", "rules.txt"},
            {"no rule file, stale output removed", "", "-tesome", "", "stale.pdf", "rules.txt"},
            {"output folder missing", "", "-tesome", "1-0-0-9-9:x:y\r\n", "gone/out.pdf", "gone/out.pdf"},
            {"unknown option", "", "-other", "1-0-0-9-9:x:y\r\n", "out.pdf", "usage"},
            {"empty find text", "", "-tesome", "1-40-88-30-14::A\r\n", "out.pdf", "line 1: the find text is empty"},
            {"picture cut after a whole chunk", "", "-pisome", "1:40:88:(cut.png):10:10\r\n", "out.pdf",
                "cannot read the picture \"cut.png\" (line 1): it is damaged"},
            {"picture with a damaged chunk", "", "-pisome", "1:40:88:(flipped.png):10:10\r\n", "out.pdf",
                "cannot read the picture \"flipped.png\" (line 1): it is damaged (IDAT: "},
            {"picture cut before its end", "", "-pisome", "1:40:88:(cut.jpg):10:10\r\n", "out.pdf",
                "cannot read the picture \"cut.jpg\" (line 1): it is damaged (Premature end of JPEG file)"},
            {"lone carriage returns, one line unreadable", "", "-tesome", "1-40-88-30-14:Alpha:A\rBye1-72-133-41-12:Second:Two\r",
                "out.pdf", "line 2"},
            // Neither library finds the catalog in a stream whose list of objects is damaged.
            {"an object stream no reader reads", "packed.pdf", "-tesome", "1-0-0-9-9:x:y\r\n", "out.pdf",
                "cannot open \"packed.pdf\": the document has no pages; it cannot be repaired either: "},
            {"picture of one pixel too many", "", "-pisome", "1:40:88:(wide.png):10:10\r\n", "out.pdf",
                "cannot read the picture \"wide.png\" (line 1): it is 754717 x 53 pixels, more than the 40 million a picture may have"},
            {"disk full", "", "-tesome", "1-0-0-9-9:x:y\r\n", "out.pdf", "cannot write \"out.pdf\": File too large", 1},
        };
        for (const auto &c : cases) {
            QTemporaryDir work;
            const QDir d(work.path());
            const QByteArray good = pdfWithPages({{0, QRectF(0, 0, 700, 800)}});
            const QByteArray states = QByteArray("q ").repeated(4097) + "BT /F1 24 Tf 72 700 Td (Hello) Tj ET" + QByteArray(" Q").repeated(4097);
            const QByteArray savedStates = pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
                                                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R"
                                                  " /Resources << /Font << /F1 5 0 R >> >> >>",
                                                  "<< /Length " + QByteArray::number(states.size()) + " >>\nstream\n" + states + "\nendstream",
                                                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", "<< /Title (States) >>"});
            const DamagedPictures pictures = damagedPictures();
            QVERIFY(writeFile(d.filePath("cut.png"), pictures.cutPng) && writeFile(d.filePath("flipped.png"), pictures.flippedPng)
                    && writeFile(d.filePath("cut.jpg"), pictures.cutJpeg));
            QVERIFY(writeFile(d.filePath("notes.pdf"), "not a document\n") && writeFile(d.filePath("good.pdf"), good)
                    && writeFile(d.filePath("cut.pdf"), good.left(good.size() / 4)) && writeFile(d.filePath("stale.pdf"), good)
                    && writeFile(d.filePath("packed.pdf"), packedPdf("<< /Title (Packed) >>", [](const QByteArray &list) {
                        return "1 0 2 x" + list.mid(7);
                    }))
                    && writeFile(d.filePath("states.pdf"), savedStates)
                    && (!*c.rules || writeFile(d.filePath("rules.txt"), c.rules)));
            if (QByteArray(c.rules).contains("wide.png")) {
                QImage wide(754717, 53, QImage::Format_Grayscale8);   // 40,000,001 pixels
                wide.fill(0);
                QVERIFY(wide.save(d.filePath("wide.png")));
            }
            QStringList filesBefore = d.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            const QString input = *c.input ? c.input : "good.pdf";
            const Result r = c.blocks ? run("sh", {"-c", QStringLiteral("ulimit -f %1; exec \"$0\" \"$@\"").arg(c.blocks),
                                                   GRIDMOLT_APP_DIR "/Ostrel.dll", input, c.option, c.output, "rules.txt"}, work.path())
                                      : ostrel(input, c.option, c.output, "rules.txt", {}, work.path());
            const QString err = QString::fromUtf8(r.err).trimmed();
            QVERIFY2(r.exitCode == 1 && !err.contains('\n') && err.contains(c.named), qPrintable(c.name + (": " + err)));
            // Nothing new in the folder (no temporary file); a stale output is gone, the input kept.
            filesBefore.removeAll(c.output);
            QCOMPARE(d.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), filesBefore);
        }
    }

    // A picture of as many pixels as one may have is placed (one more is
    // refused, above).
    void pictureAtThePixelLimitIsPlaced()
    {
        QTemporaryDir work;
        const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
        const QString picture = work.filePath("limit.png");
        QImage limit(800000, 50, QImage::Format_Grayscale8);   // 40,000,000 pixels
        limit.fill(0);
        QVERIFY(limit.save(picture) && writeFile(in, helveticaPagePdf("BT /F1 24 Tf 72 700 Td (Hello) Tj ET")));
        const PlacedWord target = runOf(in, 1, "Hello");
        const Result r = ostrel(in, "-pisome", out, rules,
                                QStringLiteral("1:%1:%2:(%3):20:8\r\n").arg(target.left).arg(target.top).arg(picture));
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), r.err.constData());
        QVERIFY(QString::fromUtf8(run("pdfimages", {"-list", out}).out).contains(QRegularExpression("\\s+image\\s+800000\\s+50\\s")));
    }

    // Pictures of every kind the window writes pass the check whole; cut
    // or damaged ones do not; other files are left to the library.
    void picturesAreCheckedWhole()
    {
        const auto saved = [](const QImage &image, const char *format, bool progressive = false) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            QImageWriter writer(&buffer, format);
            writer.setProgressiveScanWrite(progressive);
            return writer.write(image) ? bytes : QByteArray();
        };
        QImage colour(64, 48, QImage::Format_ARGB32);
        colour.fill(QColor(200, 30, 40, 120));
        const DamagedPictures damaged = damagedPictures();
        // The file, and the start of what is wrong ("" for nothing).
        const struct { const char *name; QByteArray bytes; QString expected; } cases[] = {
            {"PNG with alpha", saved(colour, "PNG"), ""},
            {"PNG with a palette", saved(colour.convertToFormat(QImage::Format_Indexed8), "PNG"), ""},
            {"grey PNG", saved(colour.convertToFormat(QImage::Format_Grayscale8), "PNG"), ""},
            {"16-bit PNG", saved(colour.convertToFormat(QImage::Format_RGBA64), "PNG"), ""},
            {"JPEG", saved(colour, "JPG"), ""},
            {"progressive grey JPEG", saved(colour.convertToFormat(QImage::Format_Grayscale8), "JPG", true), ""},
            {"PNG cut after a chunk", damaged.cutPng, "read beyond end of data"},
            {"PNG with a bit flipped", damaged.flippedPng, "IDAT: "},
            {"JPEG cut", damaged.cutJpeg, "Premature end of JPEG file"},
            {"PNG signature only", QByteArray("\x89PNG\r\n\x1a\n"), "read beyond end of data"},
            {"JPEG start only", QByteArray("\xFF\xD8"), "JPEG datastream contains no image"},
            {"not a picture", "GIF89a", ""},
        };
        for (const auto &c : cases) {
            QVERIFY2(!c.bytes.isEmpty(), c.name);
            const QString got = QString::fromStdString(PictureCheck::damage(c.bytes.toStdString()));
            QVERIFY2(c.expected.isEmpty() ? got.isEmpty() : got.startsWith(c.expected), qPrintable(c.name + (": " + got)));
        }
        // Each check gives back what its decoder took, whole picture or not:
        // a run may check many pictures.
        const size_t inUse = mallinfo2().uordblks;
        for (int i = 0; i < 1000; ++i)
            for (const auto &c : cases)
                PictureCheck::damage(c.bytes.toStdString());
        QVERIFY2(mallinfo2().uordblks < inUse + (1 << 20), qPrintable(QString::number(qint64(mallinfo2().uordblks - inUse))));
    }

    // A rule file without a rule asks for nothing: the output holds the
    // input's pages as they were, and the run is a success.
    void nothingToDoCopiesThePages()
    {
        const struct { const char *name, *option; QByteArray rules; } cases[] = {
            {"no byte", "-tesome", ""},
            {"line ends only", "-tesome", "\r\n\n\r"},
            {"blanks and tabs", "-pisome", " \t\r\n   \r\n"},
            {"byte-order mark only", "-pisome", "\xEF\xBB\xBF"},
        };
        QTemporaryDir work;
        const QString in = inputFile("made", work.path()), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
        QVERIFY(!in.isEmpty());
        const QImage before1 = render(in, 1).image, before2 = render(in, 2).image;
        for (const auto &c : cases) {
            QFile::remove(out);
            QVERIFY(writeFile(rules, c.rules));
            const Result r = ostrel(in, c.option, out, rules);
            QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(c.name + (": " + r.err)));
            QCOMPARE(pageCount(out), 2);
            QCOMPARE(pageText(out, 1), pageText(in, 1));
            QCOMPARE(pageText(out, 2), pageText(in, 2));
            QVERIFY2(changedOutside(render(out, 1).image, before1, {}) == 0 && changedOutside(render(out, 2).image, before2, {}) == 0,
                     c.name);
        }
    }

    // A rule skipped names its line, the page as the file writes it, and at
    // most the start of its text, with control characters shown.
    void skippedRulesNameWhatTheFileSays()
    {
        const QByteArray long81 = QByteArray(81, 'L');
        const struct { const char *name; QByteArray rules; QString expected; } cases[] = {
            {"page past a 32-bit number", "2147483648-40-88-30-14:Alpha:A\r\n",
                "line 1, page 2147483648, \"Alpha:A\": the document has no such page (it has 1); rule skipped"},
            {"page past a 64-bit number", "\r\n99999999999999999999-40-88-30-14:Alpha:A\r\n",
                "line 2, page 99999999999999999999, \"Alpha:A\": the document has no such page (it has 1)"},
            {"page 0, with leading zeros", "000-40-88-30-14:Alpha:A\r\n", "line 1, page 000, \"Alpha:A\": the document has no such page"},
            {"zero byte and escape in the find text", QByteArray("1-40-88-30-14:Al") + '\0' + "ph\x1b:A\r\n",
                "line 1, page 1, \"Al\\x00ph\\x1B:A\": its find text is not in its box; rule skipped"},
            {"long find text cut", "1-40-88-30-14:" + long81 + ":A\r\n",
                "line 1, page 1, \"" + QString(80, 'L') + "...\": its find text is not in its box"},
        };
        QTemporaryDir work;
        const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
        QVERIFY(writeFile(in, pdfWithPages({{0, QRectF(0, 0, 700, 800)}})));
        for (const auto &c : cases) {
            QVERIFY(writeFile(rules, c.rules));
            const Result r = ostrel(in, "-tesome", out, rules);
            const QString err = QString::fromUtf8(r.err);
            QVERIFY2(r.exitCode == 2 && err.count('\n') == 1 && err.contains(c.expected), qPrintable(c.name + (": " + err)));
            QCOMPARE(pageText(out, 1), pageText(in, 1));
        }
    }

    // Rule files as editors save them: UTF-8 with or without its mark and
    // UTF-16 either way round are applied as typed; a line of other bytes
    // (Latin-1) refuses the run, naming the line, and nothing is written;
    // a line given twice is skipped as a repeat of the first.
    void ruleFilesAsEditorsSaveThem()
    {
        QTemporaryDir work;
        const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
        QVERIFY(writeFile(in, pdfWithPages({{0, QRectF(0, 0, 700, 800)}})));
        const QVector<Word> before = words(in, 1);
        const QString beta = ruleBox(1, boxOf(before, "Beta")) + QStringLiteral(":Beta:Grüße\r\n");
        const QString gamma = ruleBox(1, boxOf(before, "Gamma")) + QStringLiteral(":Gamma:中文替换\r\n");
        const struct { const char *name; QByteArray rules; int exitCode; QString message; } cases[] = {
            {"UTF-8", (beta + gamma).toUtf8(), 0, {}},
            {"UTF-8 with its mark", "\xEF\xBB\xBF" + (beta + gamma).toUtf8(), 0, {}},
            {"UTF-16LE with its mark", utf16(beta + gamma, false), 0, {}},
            {"UTF-16BE with its mark", utf16(beta + gamma, true), 0, {}},
            {"Latin-1, its second line not UTF-8", (ruleBox(1, boxOf(before, "Gamma")) + ":Gamma:Ok\r\n" + beta).toLatin1(), 1,
                "\", line 2: it is not UTF-8 text (from byte "},
            {"a line given twice", (beta + gamma + beta).toUtf8(), 2, "\", line 3, page 1, \"Beta:Grüße\": it repeats line 1; rule skipped"},
        };
        for (const auto &c : cases) {
            QFile::remove(out);
            QVERIFY(writeFile(rules, c.rules));
            const Result r = ostrel(in, "-tesome", out, rules);
            const QString err = QString::fromUtf8(r.err);
            QVERIFY2(r.exitCode == c.exitCode
                         && (c.message.isEmpty() ? err.isEmpty()
                                                 : err.count('\n') == 1 && err.startsWith("Ostrel.dll: rule file \"" + rules)
                                                       && err.contains(c.message)),
                     qPrintable(c.name + QStringLiteral(" (exit %1): ").arg(r.exitCode) + err));
            if (c.exitCode == 1) {
                QVERIFY2(!QFile::exists(out), c.name);
                continue;
            }
            // pdftotext reads the replacements where the old words were.
            const QVector<Word> after = words(out, 1);
            const QRectF german = boxOf(after, QStringLiteral("Grüße")), chinese = boxOf(after, QStringLiteral("中文替换"));
            QVERIFY2(!german.isNull() && !chinese.isNull() && qAbs(german.left() - boxOf(before, "Beta").left()) < 1
                         && qAbs(chinese.left() - boxOf(before, "Gamma").left()) < 1 && boxOf(after, "Beta").isNull()
                         && boxOf(after, "Gamma").isNull() && !boxOf(after, "Alpha").isNull(),
                     c.name);
        }
    }

    // A C++ exception out of a guarded call (memory running out in a
    // container it fills) leaves the library's error handler as an error of
    // the library does: a later error is caught where it is raised, not
    // thrown into the handler of a call that has returned.
    void guardedCallsLeaveTheLibrarysHandlerOnAnyException()
    {
        fz_context *ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
        QVERIFY(ctx);
        const fz_error_stack_slot *const top = ctx->error.top;
        bool thrown = false;
        try {
            guarded(ctx, [] { throw std::bad_alloc(); });
        } catch (const std::bad_alloc &) {
            thrown = true;
        }
        QVERIFY(thrown && ctx->error.top == top);
        // Nested: the inner call's handler is left as well.
        thrown = false;
        try {
            guarded(ctx, [&] { guarded(ctx, [] { throw std::runtime_error("inner"); }); });
        } catch (const std::runtime_error &e) {
            thrown = std::string(e.what()) == "inner" && !dynamic_cast<const MupdfError *>(&e);
        }
        QVERIFY(thrown && ctx->error.top == top);
        QString later;
        try {
            guarded(ctx, [&] { fz_throw(ctx, FZ_ERROR_GENERIC, "later"); });
        } catch (const MupdfError &e) {
            later = e.what();
        }
        QCOMPARE(later, QStringLiteral("later"));
        QVERIFY(ctx->error.top == top);
        fz_drop_context(ctx);
    }

    // Texts in messages stay on one line: line ends, tabs and bytes that
    // start no character are written as escapes, UTF-8 as it is.
    void messagesQuoteTextsOnOneLine()
    {
        const struct { const char *name; std::string text, expected; } cases[] = {
            {"line feed and carriage return", "a\nb\rc\r\n", "\"a\\nb\\rc\\r\\n\""},
            {"tab, delete and a cut sequence", "\t\x7f\xc3(", "\"\\t\\x7F\\xC3(\""},
            {"two- and four-byte characters", "\xc3\xbc\xf0\x9f\x98\x80", "\"\xc3\xbc\xf0\x9f\x98\x80\""},
        };
        for (const auto &c : cases)
            QVERIFY2(MessageText::quoted(c.text) == c.expected, qPrintable(c.name + (": " + QString::fromStdString(MessageText::quoted(c.text)))));
    }

    // The engine holds every rule at once: with as many rules, or as much
    // replacement text, as a rule file may hold, it stays within 1000 MB.
    void anyRuleFileFitsInAGigabyte()
    {
        QTemporaryDir work;
        const QString in = work.filePath("in.pdf"), out = work.filePath("out.pdf"), rules = work.filePath("rules.txt");
        QVERIFY(QFile::copy(GRIDMOLT_SAMPLES_DIR "/schools.pdf", in));
        // Words of every page, each to be replaced by 4000 characters; as many
        // as keep the written pages under the million glyphs a page may show.
        QByteArray everyWord;
        int taken = 0;
        for (int page = 1; page <= 5; ++page) {
            const QVector<Word> pageWords = words(in, page);
            for (int k = 0; k < pageWords.size() && k < 200; ++k) {
                const Word &w = pageWords[k];
                if (!w.text.contains(':')) {
                    everyWord += ruleBox(page, w.box).toUtf8() + ':' + w.text.toUtf8() + ':' + QByteArray(4000, 'x') + '\n';
                    ++taken;
                }
            }
        }
        const struct { const char *name; QByteArray rules; } cases[] = {
            {"as many rules as a file holds", QByteArray("1-40-88-30-14:Alpha:A\n").repeated(int(kMaxRules))},
            {"every word replaced by the longest text", everyWord},
            {"as many readings as a file holds", "1-0-0-1-1:" + QByteArray(4000, ':') + '\n'},
        };
        for (const auto &c : cases) {
            QVERIFY(writeFile(rules, c.rules));
            QProcess engine;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("OSTREL_MEMORY_MB", "1000");
            engine.setProcessEnvironment(environment);
            engine.start(GRIDMOLT_APP_DIR "/Ostrel.dll", {in, "-tesome", out, rules});
            const bool ended = engine.waitForFinished(120000) && engine.exitStatus() == QProcess::NormalExit;
            const QByteArray err = engine.readAllStandardError();
            QVERIFY2(ended && (engine.exitCode() == 0 || engine.exitCode() == 2), qPrintable(c.name + (": " + err.left(300))));
            QCOMPARE(pageCount(out), 5);
            // Most words were replaced: the rules skipped are a few.
            if (c.rules == everyWord)
                QVERIFY2(taken > 900 && err.count('\n') < taken / 10, c.name);
        }
    }
};

QTEST_GUILESS_MAIN(OstrelTest)
#include "ostrel_test.moc"
