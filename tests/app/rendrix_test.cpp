#include "converterruns.h"
#include "testfiles.h"
#include "textlayer.h"

#include <QtTest>

#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtMath>

#include <cmath>
#include <functional>
#include <tuple>

namespace
{
QString outputOf(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Every page's size as shown (turned by its rotation), as pdfinfo reports it.
QVector<QSize> shownSizes(const QString &pdf)
{
    QVector<QSize> sizes;
    const QRegularExpression re(QStringLiteral("size: +([\\d.]+) x ([\\d.]+) pts.*\\n.*rot: +(\\d+)"));
    for (auto it = re.globalMatch(outputOf("pdfinfo", {"-f", "1", "-l", "9999", pdf})); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QSize size(qRound(m.captured(1).toDouble()), qRound(m.captured(2).toDouble()));
        sizes.append(m.captured(3).toInt() % 180 ? size.transposed() : size);
    }
    return sizes;
}

// The text without its combining marks.
QString withoutMarks(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("\\p{M}")));
    return text;
}

// Whether some pixel of the box is darker than `gray`.
bool inked(const QImage &image, const QRect &box, int gray)
{
    const QRect inside = box & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (qGray(image.pixel(x, y)) < gray)
                return true;
    return false;
}

// A page of 300 x 200 points, object 3: "Hello" in 12-point Helvetica,
// baseline at (50, 150), with further page box entries; object 6 is no page.
QByteArray helloPdf(const QByteArray &pageBoxes, const QByteArray &kids)
{
    const QByteArray content = "BT /F1 12 Tf 50 150 Td (Hello) Tj ET";
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>",
                  "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(kids.count('R')) + " >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] " + pageBoxes
                      + " /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
                  "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", "(not a page)"});
}

// A page of 300 x 200 points (or `mediaBox`) drawing `content` with /F1,
// Helvetica in the Windows encoding (so ' is a straight quote).
QByteArray textPdf(const QByteArray &content, const QByteArray &pageBoxes, const QByteArray &mediaBox = "0 0 300 200")
{
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [" + mediaBox + "] " + pageBoxes
                      + " /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
                  "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"});
}

// The words pdftotext reads on the first page, their boxes on the page as shown.
QVector<QPair<QRectF, QString>> popplerWords(const QString &pdf)
{
    QVector<QPair<QRectF, QString>> out;
    QXmlStreamReader words(outputOf("pdftotext", {"-bbox", "-f", "1", "-l", "1", pdf, "-"}));
    while (!words.atEnd()) {
        if (words.readNext() != QXmlStreamReader::StartElement || words.name() != QLatin1String("word"))
            continue;
        const QXmlStreamAttributes a = words.attributes();
        const QRectF box(QPointF(a.value("xMin").toDouble(), a.value("yMin").toDouble()),
                         QPointF(a.value("xMax").toDouble(), a.value("yMax").toDouble()));
        out.append({box, words.readElementText()});
    }
    return out;
}

// Text drawn by a text matrix turned by `degrees` from its baseline origin
// (x, y) in PDF space, in Helvetica of `size` points.
struct Turned
{
    double x, y, size, degrees;
    QByteArray text;

    QByteArray content() const
    {
        const double a = qDegreesToRadians(degrees);
        return QStringLiteral("BT /F1 %1 Tf %2 %3 %4 %5 %6 %7 Tm (%8) Tj ET\n")
            .arg(size).arg(std::cos(a)).arg(std::sin(a)).arg(-std::sin(a)).arg(std::cos(a)).arg(x).arg(y)
            .arg(QString::fromLatin1(text)).toLatin1();
    }

    // Each glyph's box, advance by ascent and descent (Helvetica's), turned,
    // on the page as shown, with the word it belongs to; none for a letter
    // whose advance is not known here. `shown` maps PDF space onto the page
    // as shown.
    QVector<QPair<QRectF, QString>> glyphBoxes(const std::function<QPointF(QPointF)> &shown) const
    {
        // Helvetica's advances, per mille of the size, of the letters used.
        const QHash<char, int> advance{{' ', 278}, {'a', 556}, {'b', 556}, {'c', 500}, {'d', 556}, {'e', 556}, {'f', 278},
                                       {'g', 556}, {'h', 556}, {'i', 222}, {'l', 222}, {'n', 556}, {'o', 556},
                                       {'r', 333}, {'s', 500}, {'t', 278}, {'u', 556}, {'w', 722}, {'x', 500},
                                       {'y', 500}, {'Q', 778}, {'R', 722}, {'S', 667}};
        const double a = qDegreesToRadians(degrees), c = std::cos(a), s = std::sin(a);
        QVector<QPair<QRectF, QString>> out;
        double along = 0;
        for (const QByteArray &word : text.split(' ')) {
            for (const char ch : word) {
                if (!advance.contains(ch))
                    return {};
                const double w = advance.value(ch) * size / 1000, up = 0.718 * size, down = -0.207 * size;
                QRectF box;
                for (const QPointF corner : {QPointF(along, down), QPointF(along + w, down), QPointF(along, up), QPointF(along + w, up)}) {
                    const QPointF p = shown(QPointF(x + corner.x() * c - corner.y() * s, y + corner.x() * s + corner.y() * c));
                    box = box.isNull() ? QRectF(p, QSizeF(0.001, 0.001)) : box.united(QRectF(p, QSizeF(0.001, 0.001)));
                }
                out.append({box, QString::fromLatin1(word)});
                along += w;
            }
            along += advance.value(' ') * size / 1000;
        }
        return out;
    }
};

// A page of 300 x 200 points showing the Arabic word "عمّان" (with a
// shadda over its second letter) as a shaped line is drawn: its glyphs in
// the order shown, left to right, the shadda before the letter it stands
// over, moved `shift` thousandths of an em ahead of the pen and back; and
// "level words" in Helvetica below. The glyphs are DejaVu Sans's
// presentation forms, each mapped to its letter. Empty when the font cannot
// be read.
QByteArray shaddaPdf(int shift)
{
    const QString path = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    QFile file(path);
    const QByteArray program = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const QRawFont font(path, 1000);
    // Shown left to right: noon, alef, shadda, meem, ain; each with its letter.
    const QVector<QPair<uint, uint>> shown{{0xFEE5, 0x0646}, {0xFE8E, 0x0627}, {0x0651, 0x0651}, {0xFEE4, 0x0645}, {0xFECB, 0x0639}};
    QByteArray codes, widths, toUnicode;
    for (const auto &glyph : shown) {
        const QVector<quint32> index = font.glyphIndexesForString(QString::fromUcs4(&glyph.first, 1));
        if (program.isEmpty() || index.size() != 1 || index[0] == 0)
            return QByteArray();
        const QByteArray code = "<" + QByteArray::number(index[0], 16).rightJustified(4, '0') + ">";
        const QPointF advance = font.advancesForGlyphIndexes(index, QRawFont::UseDesignMetrics).value(0);
        codes += glyph.second == 0x0651 ? " -" + QByteArray::number(shift) + " " + code + " " + QByteArray::number(shift) + " " : code;
        widths += QByteArray::number(index[0]) + " [" + QByteArray::number(qRound(advance.x())) + "] ";
        toUnicode += code + " <" + QByteArray::number(glyph.second, 16).rightJustified(4, '0') + ">\n";
    }
    const QByteArray content = "BT /F1 24 Tf 50 150 Td [" + codes + "] TJ ET\nBT /F2 12 Tf 50 100 Td (level words) Tj ET\n";
    const QByteArray cmap = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Shown-UCS def /CMapType 2 def\n"
                            "1 begincodespacerange <0000> <FFFF> endcodespacerange\n5 beginbfchar\n" + toUnicode
        + "endbfchar\nendcmap CMapName currentdict /CMap defineresource pop end end";
    const auto stream = [](const QByteArray &entries, const QByteArray &data) {
        return "<< " + entries + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
    };
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R"
                  " /Resources << /Font << /F1 5 0 R /F2 10 0 R >> >> >>",
                  stream("", content),
                  "<< /Type /Font /Subtype /Type0 /BaseFont /DejaVuSans /Encoding /Identity-H /DescendantFonts [6 0 R] /ToUnicode 9 0 R >>",
                  "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /DejaVuSans /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity)"
                  " /Supplement 0 >> /FontDescriptor 7 0 R /DW 1000 /W [" + widths + "] /CIDToGIDMap /Identity >>",
                  "<< /Type /FontDescriptor /FontName /DejaVuSans /Flags 32 /FontBBox [-1021 -463 1793 1232] /ItalicAngle 0"
                  " /Ascent 928 /Descent -236 /CapHeight 700 /StemV 80 /FontFile2 8 0 R >>",
                  stream("/Length1 " + QByteArray::number(program.size()), program), stream("", cmap),
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"});
}

// Three columns of other sizes and line spacings, so their lines drift
// against each other down the page.
QByteArray columnsContent()
{
    const char *words[] = {"brown", "AV,", "fox", "jumps", "over", "the", "lazy", "dog", "and", "more"};
    QByteArray content;
    int k = 0;
    for (const auto &column : {std::make_tuple(40, 10.4, 10), std::make_tuple(230, 11.9, 10), std::make_tuple(420, 9.7, 9)})
        for (int line = 0; line < 30; ++line) {
            QByteArray text;
            for (int w = 0; w < 4; ++w)
                text += QByteArray(words[k++ % 10]) + (w < 3 ? " " : "");
            content += "BT /F1 " + QByteArray::number(std::get<2>(column)) + " Tf " + QByteArray::number(std::get<0>(column))
                + " " + QByteArray::number(370 - line * std::get<1>(column)) + " Td (" + text + ") Tj ET\n";
        }
    return content;
}

// Lines of 10-point text, each with a raised 6-point mark after a word.
QByteArray raisedMarksContent()
{
    QByteArray content;
    for (int line = 0; line < 8; ++line)
        content += "BT /F1 10 Tf 40 " + QByteArray::number(170 - line * 11.5) + " Td (Results of line " + QByteArray::number(line)
            + ") Tj 3.5 Ts /F1 6 Tf (" + QByteArray::number(line + 1) + ") Tj 0 Ts /F1 10 Tf ( were checked) Tj ET\n";
    return content;
}

// A scan of 300 x 200 points with a text layer, as OCR programs write one:
// a gray picture of the page, light with a dark bar where each word of the
// layer stands, from a unit past its start to two before the next (past
// the glyphs the reader boxes, short of its space's end), and
// over it the layer's words drawn invisibly (`mode` 3 or 7), each with its
// space in one show, in Helvetica of 10 points scaled along (Tz) so that
// word and space span from the word's start to the next's; `inForm` draws
// them in a form, as some programs do. A visible line is drawn too. The
// words start at `starts` along the baseline at y 120; the last spans
// `lastSpan`.
struct ScanLayer
{
    QVector<QByteArray> words{"Alpha", "Beta", "Gamma"};
    QVector<double> starts{40, 80, 110};
    double lastSpan = 38.34;

    // Helvetica's advance of the word and its space, in thousandths of the size.
    static int advance(const QByteArray &word)
    {
        const QHash<char, int> widths{{'A', 667}, {'l', 222}, {'p', 556}, {'h', 556}, {'a', 556},
                                      {'B', 667}, {'e', 556}, {'t', 278}, {'G', 778}, {'m', 833}};
        int sum = 278;
        for (const char c : word)
            sum += widths.value(c);
        return sum;
    }
    double span(int k) const { return k + 1 < starts.size() ? starts[k + 1] - starts[k] : lastSpan; }

    QByteArray invisibleLine(int mode) const
    {
        QByteArray line = "BT " + QByteArray::number(mode) + " Tr /F1 10 Tf 1 0 0 1 " + QByteArray::number(starts[0]) + " 120 Tm\n";
        for (int k = 0; k < words.size(); ++k) {
            if (k > 0)
                line += QByteArray::number(starts[k] - starts[k - 1]) + " 0 Td ";
            line += QByteArray::number(100 * span(k) / (advance(words[k]) / 100.0), 'f', 4) + " Tz [(" + words[k] + " )] TJ\n";
        }
        return line + "ET\n";
    }

    QByteArray picture() const
    {
        QByteArray gray(300 * 200, char(235));
        for (int k = 0; k < words.size(); ++k)
            for (int y = 200 - 127; y < 200 - 120; ++y)
                for (int x = int(starts[k]) + 1; x < int(starts[k] + span(k)) - 2; ++x)
                    gray[y * 300 + x] = char(30);
        return gray;
    }

    QByteArray pdf(int mode, bool inForm, const QByteArray &pageBoxes) const
    {
        const QByteArray layer = invisibleLine(mode), image = picture();
        const QByteArray content = "q 300 0 0 200 0 0 cm /Im0 Do Q\nBT /F1 10 Tf 40 60 Td (Visible words here ) Tj ET\n"
            + (inForm ? QByteArray("/Fx Do\n") : layer);
        return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] " + pageBoxes
                          + " /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> /XObject << /Im0 6 0 R /Fx 7 0 R >> >> >>",
                      "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
                      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
                      "<< /Type /XObject /Subtype /Image /Width 300 /Height 200 /ColorSpace /DeviceGray /BitsPerComponent 8 /Length "
                          + QByteArray::number(image.size()) + " >>\nstream\n" + image + "\nendstream",
                      "<< /Type /XObject /Subtype /Form /BBox [0 0 300 200] /Resources << /Font << /F1 5 0 R >> >> /Length "
                          + QByteArray::number(layer.size()) + " >>\nstream\n" + layer + "\nendstream"});
    }
};
}

// The converter as the import starts it: page images and text layers, word
// positions in points, rows of printed lines, the page as shown; and
// Dorcet.dll, which shares its engine, makes the same files. Their command
// lines and failures are tested in dorcet_test.
class RendrixTest : public QObject
{
    Q_OBJECT

private slots:
    void samplesAgreeWithPopplerToolsAndDorcet()
    {
        // "name>+90": the sample turned by qpdf, so its words run down or up
        // the page as shown.
        for (const QString name : {"AnimalSounds", "rotated_page", "china", "arabic", "schools", "us-017", "twotables",
                                   "argentina_diputados_voting_record", "AnimalSounds>+270", "us-017>+90",
                                   "rotated_page>+180", "twotables>+270", "china>+90"}) {
            QTemporaryDir dir, split, turned;
            QString pdf = samplePdf(name.section('>', 0, 0));
            if (name.contains('>')) {
                QProcess qpdf;
                qpdf.start("qpdf", {"--rotate=" + name.section('>', 1), pdf, turned.filePath("turned.pdf")});
                QVERIFY(qpdf.waitForFinished(60000) && qpdf.exitCode() != 2);
                pdf = turned.filePath("turned.pdf");
            }
            const QVector<QSize> sizes = shownSizes(pdf);
            QVERIFY2(runConverter("rendrix", {"-htmlformat", pdf, dir.path() + "/text.xml"}, {"RENDRIX_THREADS=1"}).exitCode == 0
                         && entriesIn(dir.path()).size() == 2 * sizes.size(), qPrintable(name));
            // Dorcet.dll from page 2 on, on eight threads with room for the
            // images of about two pages at once, writes the same files.
            const int first = qMin(2, sizes.size());
            QVERIFY2(runConverter("Dorcet.dll", {pdf, "-ht", split.path() + "/split.png", "-f", QString::number(first), "-l", QString::number(sizes.size())},
                                  {"RENDRIX_THREADS=8", "RENDRIX_MEMORY_MB=16"}).exitCode == 0
                         && entriesIn(split.path()).size() == 2 * (sizes.size() - first + 1), qPrintable(name));
            for (int p = first; p <= sizes.size(); ++p)
                for (const char *suffix : {"htm", "png"})
                    QVERIFY(readAll(pageFile(split.path(), "split", p - first + 1, suffix)) == readAll(pageFile(dir.path(), "text", p, suffix)));
            // Control characters (which the layer turns into blanks) would not be XML.
            QXmlStreamReader words(outputOf("pdftotext", {"-bbox", pdf, "-"})
                                       .replace(QRegularExpression(QStringLiteral("[\\x01-\\x08\\x0b-\\x1f]")), " "));
            Alltext layer;
            int page = 0, wordCount = 0;
            const bool columns = name.endsWith("+90") || name.endsWith("+270");
            while (!words.atEnd()) {
                words.readNext();
                if (words.isStartElement() && words.name() == QLatin1String("page")) {
                    QVERIFY(++page <= sizes.size() && QImage(pageFile(dir.path(), "text", page, "png")).size() == sizes[page - 1]);
                    const QByteArray bytes = readAll(pageFile(dir.path(), "text", page, "htm"));
                    QVERIFY(!bytes.startsWith("\xef\xbb\xbf") && QString::fromUtf8(bytes).toUtf8() == bytes);
                    layer = TextLayer::parsePage(bytes);
                    QCOMPARE(layer.count, bytes.count('\n'));
                    wordCount = 0;
                    // Each printed line is one row band: an extent lies within
                    // another's (the extraction drops it for the larger) only
                    // on the same line (centres within half a height), and none
                    // of a line is a split copy of another: two extents that
                    // overlap so without one holding the other belong to
                    // separate columns (of other baselines), apart by more than
                    // a line height. Words running down the page (on a page
                    // turned by 90 or 270 degrees, and those taller than wide
                    // elsewhere) form columns the same way.
                    const auto along = [&](const Subtext &r) {
                        return columns ? QPair<int, int>(r.x, r.width) : QPair<int, int>(r.y, r.height);
                    };
                    const auto across = [&](const Subtext &r) {
                        return columns ? QPair<int, int>(r.y, r.height) : QPair<int, int>(r.x, r.width);
                    };
                    const auto inLines = [&](const Subtext &r) { return columns || r.height <= r.width || r.text.size() < 2; };
                    for (const Subtext &a : layer.subtext)
                        for (const Subtext &b : layer.subtext) {
                            const int ay = along(a).first, ah = along(a).second, by = along(b).first, bh = along(b).second;
                            const bool nested = (ay <= by && by + bh <= ay + ah) || (by <= ay && ay + ah <= by + bh);
                            const bool close = qAbs(2 * ay + ah - 2 * by - bh) <= qMin(ah, bh);
                            const int apart = qMax(across(a).first - across(b).first - across(b).second,
                                                   across(b).first - across(a).first - across(a).second);
                            if ((ay != by || ah != bh) && inLines(a) && inLines(b)
                                && ((nested && !close) || (close && !nested && apart <= qMax(ah, bh))))
                                QFAIL(qPrintable(QStringLiteral("%1: %2 and %3").arg(name, a.text, b.text)));
                        }
                } else if (words.isStartElement() && words.name() == QLatin1String("word")) {
                    // Same text; the run holds the word's box within a unit, and
                    // along its writing (down the page for a word taller than
                    // wide) its edges are the word's. A combining mark the
                    // reader gives as a word of its own is part of the run of
                    // the letters it stands over: the texts compare without
                    // marks, and a word of marks alone is held by a run that
                    // shows them.
                    const QXmlStreamAttributes box = words.attributes();
                    const double left = box.value("xMin").toDouble(), right = box.value("xMax").toDouble();
                    const double top = box.value("yMin").toDouble(), bottom = box.value("yMax").toDouble();
                    const QString text = words.readElementText();
                    const bool marksAlone = withoutMarks(text).isEmpty();
                    wordCount += marksAlone ? 0 : 1;
                    const bool tall = columns || bottom - top > right - left;
                    // Undecodable glyphs come out differently in either reader.
                    QVERIFY2(text.contains(QChar::ReplacementCharacter)
                                 || std::any_of(layer.subtext.begin(), layer.subtext.end(), [&](const Subtext &r) {
                                        const QString run = QString(r.text).replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&");
                                        return (marksAlone ? run.contains(text) : withoutMarks(run) == withoutMarks(text))
                                            && r.x <= left + 1 && r.y <= top + 1 && right <= r.x + r.width + 1
                                            && bottom <= r.y + r.height + 1
                                            && (marksAlone || (qAbs(r.x - left) <= 1.5 && qAbs(r.x + r.width - right) <= 1.5)
                                                || (tall && qAbs(r.y - top) <= 1.5 && qAbs(r.y + r.height - bottom) <= 1.5));
                                    }),
                             qPrintable(QStringLiteral("%1 page %2: %3").arg(name).arg(page).arg(text)));
                } else if (words.isEndElement() && words.name() == QLatin1String("page")) {
                    QCOMPARE(layer.count, wordCount);
                }
            }
            QVERIFY2(!words.hasError() && page == sizes.size(), qPrintable(words.errorString()));
        }
    }

    // Page trees every reader counts alike, though the converter's library
    // alone would lose pages of them: each page is converted with its own
    // words, in the order readers number them.
    void pageTreeQuirksAreConvertedWhole()
    {
        const struct { const char *name, *kids; bool otherGeneration; } cases[] = {
            {"a name before the kids", "/Foo 3 0 R 4 0 R 5 0 R", false},
            {"a null before the kids", "null 3 0 R 4 0 R 5 0 R", false},
            {"a page written with another generation", "3 0 R 4 0 R 5 0 R", true},
            {"as written", "3 0 R 4 0 R 5 0 R", false},
        };
        for (const auto &c : cases) {
            QVector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>",
                                        "<< /Type /Pages /Kids [" + QByteArray(c.kids) + "] /Count 3 >>"};
            for (int page = 1; page <= 3; ++page)
                objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents " + QByteArray::number(5 + page)
                               + " 0 R /Resources << /Font << /F1 9 0 R >> >> >>";
            for (int page = 1; page <= 3; ++page) {
                const QByteArray content = "BT /F1 12 Tf 50 150 Td (Page" + QByteArray::number(page) + ") Tj ET";
                objects << "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
            }
            objects << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
            QByteArray pdf = pdfOf(objects);
            if (c.otherGeneration)
                pdf.replace("\n4 0 obj\n", "\n4 1 obj\n");
            QTemporaryDir dir;
            QVERIFY(writeFile(dir.filePath("quirk.pdf"), pdf));
            QVERIFY2(runConverter("rendrix", {"-htmlformat", dir.filePath("quirk.pdf"), dir.filePath("text.xml")}).exitCode == 0,
                     c.name);
            for (int page = 1; page <= 3; ++page) {
                const Alltext layer = TextLayer::parsePage(readAll(pageFile(dir.path(), "text", page, "htm")));
                QVERIFY2(layer.count == 1 && layer.subtext[0].text == "Page" + QString::number(page),
                         qPrintable(QStringLiteral("%1, page %2").arg(c.name).arg(page)));
            }
            QVERIFY2(!QFile::exists(pageFile(dir.path(), "text", 4, "htm")), c.name);
        }
    }

    void pageBoxesGiveThePageAsShownAndABrokenPageIsBlank()
    {
        // "Hello" is about 27 points wide, ascent 9, descent 2; its box is on
        // the page as shown. A page tree entry that is no page gives a blank
        // page, alone.
        const struct { QByteArray pageBoxes, kids; QSize imageSize; QRect wordBox; } cases[] = {
            {"", "3 0 R", {300, 200}, {50, 41, 27, 11}},
            {"/CropBox [20 30 300 200]", "3 0 R", {280, 170}, {30, 41, 27, 11}},
            {"/CropBox [20 30 300 200] /Rotate 90", "3 0 R", {170, 280}, {118, 30, 11, 27}},
            {"/Rotate 270", "3 0 R", {200, 300}, {41, 223, 11, 27}},
            {"", "3 0 R 6 0 R 3 0 R", {300, 200}, {50, 41, 27, 11}}};
        for (const auto &c : cases) {
            QTemporaryDir dir;
            // A folder by the name of a page 0, which no page takes, is no obstacle.
            QVERIFY(QDir(dir.path()).mkdir("text_pg_0000.png"));
            QVERIFY(writeFile(dir.filePath("boxes.pdf"), helloPdf(c.pageBoxes, c.kids))
                    && runConverter("rendrix", {"-htmlformat", dir.filePath("boxes.pdf"), dir.filePath("text.xml")}).exitCode == 0);
            int blank = 0;
            for (int p = 1; p <= c.kids.count('R'); ++p) {
                const QImage image = QImage(pageFile(dir.path(), "text", p, "png")).convertToFormat(QImage::Format_RGB32);
                const Alltext page = TextLayer::parsePage(readAll(pageFile(dir.path(), "text", p, "htm")));
                if (page.count == 0 && !image.isNull() && !inked(image, image.rect(), 255)) {
                    ++blank;
                    continue;
                }
                QVERIFY2(image.size() == c.imageSize && page.count == 1 && page.subtext[0].text == "Hello", c.pageBoxes.constData());
                const QRect box(page.subtext[0].x, page.subtext[0].y, page.subtext[0].width, page.subtext[0].height);
                const QRect d(box.topLeft() - c.wordBox.topLeft(), box.size() - c.wordBox.size());
                QVERIFY2(qAbs(d.x()) <= 1 && qAbs(d.y()) <= 1 && qAbs(d.width()) <= 1 && qAbs(d.height()) <= 1,
                         c.pageBoxes.constData());
                // All the word's ink lies inside its box on the image.
                QImage outside = image;
                QPainter(&outside).fillRect(box.adjusted(-1, -1, 1, 1), Qt::white);
                QVERIFY(inked(image, box, 128) && !inked(outside, outside.rect(), 128));
            }
            QCOMPARE(blank, c.kids.count("6 0 R"));
        }
    }

    void wordsTheLibraryPartsWithoutAGapAreOneRun()
    {
        // The library parts "Hel" and "lo" where the size changes even
        // where no gap parts them: the layer has one run whose box holds both
        // as pdftotext reports them, its edges rounded. "lo" is larger (its
        // top 41.25, that of "Hel" 41.68), and on a page turned upside down
        // it lies left of "Hel". Drawn out of order, "lo" first, they stay
        // two runs, as the replacement engine, which reads glyphs in drawing
        // order, sees two words. Runs hold text as the layer escapes it.
        const struct { const char *name; QByteArray content, pageBoxes; QStringList runs; } cases[] = {
            {"no gap, other size", "BT /F1 12 Tf 50 149.7 Td (Hel) Tj /F1 12.6 Tf (lo) Tj ET", "", {"Hello"}},
            {"no gap, upside down", "BT /F1 12 Tf 50 149.7 Td (Hel) Tj /F1 12.6 Tf (lo) Tj ET", "/Rotate 180", {"Hello"}},
            {"no gap, drawn out of order", "BT /F1 12.6 Tf 68 149.7 Td (lo) Tj /F1 12 Tf -18 0 Td (Hel) Tj ET", "", {"Hel", "lo"}},
            {"a gap", "BT /F1 12 Tf 71 150 Td (lo) Tj -21 0 Td (Hel) Tj ET", "", {"Hel", "lo"}},
            {"markup characters", "BT /F1 12 Tf 50 150 Td (R&D <x> \"q\" 'y') Tj ET", "", {"R&amp;D", "&lt;x&gt;", "\"q\"", "'y'"}},
        };
        for (const auto &c : cases) {
            QTemporaryDir dir;
            const QString pdf = dir.filePath("line.pdf");
            QVERIFY(writeFile(pdf, textPdf(c.content, c.pageBoxes)));
            const ConverterRun run = runConverter("rendrix", {"-htmlformat", pdf, dir.filePath("text.xml")});
            QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), run.err.constData());
            const Alltext layer = TextLayer::parsePage(readAll(pageFile(dir.path(), "text", 1, "htm")));
            QVERIFY2(layer.count == c.runs.size(), c.name);
            // The words pdftotext reads, in its order, united into the expected runs.
            int k = 0;
            QString text;
            QRectF box;
            for (const auto &word : popplerWords(pdf)) {
                box = text.isEmpty() ? word.first : box.united(word.first);
                text += QString(word.second).replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;");
                QVERIFY2(k < c.runs.size() && c.runs[k].startsWith(text), c.name);
                if (text != c.runs[k])
                    continue;
                const Subtext &r = layer.subtext[k];
                const QRect rounded(QPoint(qRound(box.left()), qRound(box.top())), QPoint(qRound(box.right()) - 1, qRound(box.bottom()) - 1));
                // Two runs of one line share its band, which may reach a unit
                // past a word's own edges.
                const QRect run(r.x, r.y, r.width, r.height);
                QVERIFY2(r.text == text
                             && (run == rounded
                                 || (c.runs.size() > 1 && run.contains(rounded) && rounded.adjusted(-1, -1, 1, 1).contains(run))),
                         qPrintable(QStringLiteral("%1: %2 at %3 %4 %5 %6").arg(c.name, r.text).arg(r.x).arg(r.y).arg(r.width).arg(r.height)));
                ++k;
                text.clear();
            }
            QVERIFY2(k == c.runs.size(), c.name);
        }
    }

    void marksDrawnApartAreOneRunTheEngineTakes()
    {
        // A combining mark the library gives apart from its letter (drawn
        // between two letters of its word, a step ahead of the pen, or before
        // the letter it stands over) is one run with its whole word, in the
        // order the page draws it. A text rule and a picture rule made from
        // that run both apply in the replacement engine, and the written
        // page no longer holds the word or its mark where it stood.
        const QString shaddaWord = QStringLiteral("\u0646\u0627\u0651\u0645\u0639");
        const struct { const char *name; QByteArray pdf; QString sample, run; } cases[] = {
            {"shadda a quarter em ahead, between the halves", shaddaPdf(260), {}, shaddaWord},
            {"shadda over the middle of its letter", shaddaPdf(400), {}, shaddaWord},
            {"shadda just ahead, starting the second half", shaddaPdf(100), {}, shaddaWord},
            {"tanween drawn before its alef (sample)", {}, "arabic",
             QStringLiteral("\u064b\ufe8e\ufe92\ufea3\ufeae\ufee3")},
        };
        QTemporaryDir pictures;
        QImage picture(40, 12, QImage::Format_RGB32);
        picture.fill(QColor(0, 90, 200));
        QVERIFY(picture.save(pictures.filePath("pic.png")));
        for (const auto &c : cases) {
            QTemporaryDir dir;
            const QString pdf = c.sample.isEmpty() ? dir.filePath("word.pdf") : samplePdf(c.sample);
            QVERIFY2(c.sample.size() > 0 || (c.pdf.size() > 0 && writeFile(pdf, c.pdf)), c.name);
            QVERIFY2(runConverter("rendrix", {"-htmlformat", pdf, dir.filePath("text.xml")}).exitCode == 0, c.name);
            const Alltext layer = TextLayer::parsePage(readAll(pageFile(dir.path(), "text", 1, "htm")));
            const auto run = std::find_if(layer.subtext.begin(), layer.subtext.end(), [&](const Subtext &r) { return r.text == c.run; });
            QVERIFY2(run != layer.subtext.end(), c.name);
            // No run holds the mark, or a part of the word, alone.
            for (const Subtext &r : layer.subtext)
                QVERIFY2(&r == &*run || !QRect(r.x, r.y, r.width, r.height).intersects(QRect(run->x, run->y, run->width, run->height)),
                         qPrintable(QStringLiteral("%1: %2").arg(c.name, r.text)));
            const QRect box(run->x, run->y, run->width, run->height);
            const QString place = QStringLiteral("1-%1-%2-%3-%4").arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height());
            const QString picturePlace = QStringLiteral("1:%1:%2:(%3):40:12").arg(box.x()).arg(box.y()).arg(pictures.filePath("pic.png"));
            for (const auto &rule : {qMakePair(QStringLiteral("-tesome"), place + ":" + c.run + ":IJ"), qMakePair(QStringLiteral("-pisome"), picturePlace)}) {
                const QString rules = dir.filePath("rules.txt"), out = dir.filePath("out.pdf");
                QFile::remove(out);
                QVERIFY(writeFile(rules, (rule.second + "\r\n").toUtf8()));
                const ConverterRun replaced = runConverter("Ostrel.dll", {pdf, rule.first, out, rules});
                QVERIFY2(replaced.exitCode == 0, qPrintable(QStringLiteral("%1, %2: %3").arg(c.name, rule.first, QString::fromUtf8(replaced.err))));
                // What pdftotext reads about the run's place: the replacement
                // alone, for the text rule; nothing, for the picture.
                QStringList there;
                for (const auto &word : popplerWords(out))
                    if (QRectF(box).adjusted(-1, -1, 1, 1).contains(word.first.center()))
                        there << word.second;
                QVERIFY2(there == (rule.first == "-tesome" ? QStringList{"IJ"} : QStringList()),
                         qPrintable(QStringLiteral("%1, %2: %3").arg(c.name, rule.first, there.join(' '))));
            }
        }
    }

    void runsHoldTheirWordsAloneOnEveryPage()
    {
        // Each run holds its words as pdftotext reads them, and tilted
        // glyphs turned, within a unit; no run takes the middle of a level
        // word, or of a tilted glyph, it does not hold; every run is one word
        // of the page (fragments of a tilted line join along their own line
        // only, not with the line below of a turned box); no two runs share
        // left and top (the key a picture rule names its run by). /Rotate 90
        // shows PDF (x, y) at (y, x).
        const auto upright = [](QPointF p) { return QPointF(p.x(), 400 - p.y()); };
        const auto turned = [](QPointF p) { return QPointF(p.y(), p.x()); };
        const struct
        {
            const char *name;
            QByteArray content, pageBoxes;
            QVector<Turned> tilted;
            bool turnedPage;
        } cases[] = {
            {"three columns, other line spacings", columnsContent(), "", {}, false},
            {"three columns on a page turned by 90", columnsContent(), "/Rotate 90", {}, true},
            {"raised marks on a page turned by 90", raisedMarksContent(), "/Rotate 90", {}, true},
            {"raised marks", raisedMarksContent(), "", {}, false},
            {"a title at 30 degrees", "BT /F1 12 Tf 40 40 Td (level words below) Tj ET\n",
             "", {{60, 200, 24, 30, "Slide title here"}, {300, 120, 11, 30, "a tilted note at an angle"}}, false},
            {"falling at 20 degrees, and rising at 10", "", "",
             {{60, 300, 20, -20, "Quarterly results by region"}, {250, 100, 14, 10, "the tilted line"}}, false},
            {"tilted on a page turned by 90", "BT /F1 12 Tf 40 40 Td (level words) Tj ET\n", "/Rotate 90",
             {{80, 150, 20, 30, "Quarterly results"}, {300, 300, 11, -35, "a tilted note"}}, true},
            // Lines 14 points apart, the second moved square to the first.
            {"a box of two lines at 30 degrees", "BT /F1 12 Tf 40 40 Td (level words below) Tj ET\n", "",
             {{100, 200, 12, 30, "Rotated text box"}, {107, 187.876, 12, 30, "with the office hours"}}, false},
            {"a box of two lines falling at 30 degrees", "", "",
             {{100, 300, 12, -30, "Rotated text box"}, {93, 287.876, 12, -30, "with the office hours"}}, false},
            {"a tight box of two lines at 40 degrees", "", "",
             {{100, 200, 10, 40, "Rotated text box"}, {107.392, 191.190, 10, 40, "with the office hours"}}, false},
            {"a box of two lines at 30 degrees on a page turned by 90", "", "/Rotate 90",
             {{100, 200, 12, 30, "Quarterly results by"}, {107, 187.876, 12, 30, "region and office"}}, true},
        };
        for (const auto &c : cases) {
            QTemporaryDir dir;
            const QString pdf = dir.filePath("page.pdf");
            QByteArray content = c.content;
            for (const Turned &t : c.tilted)
                content += t.content();
            QVERIFY(writeFile(pdf, textPdf(content, c.pageBoxes, "0 0 612 400"))
                    && runConverter("rendrix", {"-htmlformat", pdf, dir.filePath("text.xml")}).exitCode == 0);
            const Alltext layer = TextLayer::parsePage(readAll(pageFile(dir.path(), "text", 1, "htm")));
            QVERIFY2(layer.count > 0, c.name);
            const auto holds = [](const Subtext &r, const QRectF &box) {
                return r.x <= box.left() + 1 && r.y <= box.top() + 1 && box.right() <= r.x + r.width + 1
                    && box.bottom() <= r.y + r.height + 1;
            };
            // The level words as pdftotext reads the page drawn without its
            // tilted lines, and the tilted lines' glyphs; the line of each
            // word (-1: level).
            const QString levelPdf = dir.filePath("level.pdf");
            QVERIFY(writeFile(levelPdf, textPdf(c.content, c.pageBoxes, "0 0 612 400")));
            QVector<QPair<QRectF, QString>> alone = popplerWords(levelPdf);
            QHash<QString, int> lineOf;
            for (const auto &word : alone)
                lineOf.insert(word.second, -1);
            for (int line = 0; line < c.tilted.size(); ++line) {
                const Turned &t = c.tilted[line];
                const auto glyphs = t.glyphBoxes(c.turnedPage ? std::function<QPointF(QPointF)>(turned) : upright);
                QVERIFY2(!glyphs.isEmpty(), t.text.constData());
                alone += glyphs;
                for (const QByteArray &word : t.text.split(' '))
                    lineOf.insert(QString::fromLatin1(word), line);
            }
            for (const auto &word : popplerWords(pdf) + alone) {
                const auto held = std::find_if(layer.subtext.begin(), layer.subtext.end(), [&](const Subtext &r) {
                    return r.text.contains(word.second) && holds(r, word.first);
                });
                QVERIFY2(held != layer.subtext.end(), qPrintable(QStringLiteral("%1: %2").arg(c.name, word.second)));
            }
            // The level box of a turned word holds corners of its tilted
            // neighbours (on its line and the lines of its turned box), but no
            // middle of a level word, and no level run the middle of a tilted
            // glyph.
            for (const auto &word : alone)
                for (const Subtext &r : layer.subtext)
                    QVERIFY2(r.text == word.second || !QRectF(r.x, r.y, r.width, r.height).contains(word.first.center())
                                 || (lineOf.value(word.second) >= 0 && lineOf.value(r.text, -1) >= 0),
                             qPrintable(QStringLiteral("%1: %2 over %3").arg(c.name, r.text, word.second)));
            for (const Subtext &r : layer.subtext)
                QVERIFY2(lineOf.contains(r.text), qPrintable(QStringLiteral("%1: %2").arg(c.name, r.text)));
            QSet<QPair<int, int>> corners;
            for (const Subtext &r : layer.subtext)
                corners.insert({r.x, r.y});
            QVERIFY2(corners.size() == layer.count, c.name);
            // A tilted line is read as its words.
            for (const Turned &t : c.tilted)
                for (const QByteArray &word : t.text.split(' '))
                    QVERIFY2(std::any_of(layer.subtext.begin(), layer.subtext.end(),
                                         [&](const Subtext &r) { return r.text == QString::fromLatin1(word); }),
                             qPrintable(QStringLiteral("%1: %2").arg(c.name, QString::fromLatin1(word))));
        }
    }
    void invisibleWordsReachOverTheirSpace()
    {
        // A scan's word drawn invisibly, with its space in one show, is one
        // run from its start to the next word's (over the space's advance;
        // the last, to its space's end): the scan's word reaches past the
        // glyphs the reader boxes. Visible words, spaces and all, keep the
        // boxes pdftotext gives them. A text rule made from an invisible
        // word's run covers the scan's word and writes the replacement. A
        // word written up the page as shown keeps the reader's box, so its
        // run starts where the replacement engine reads it, and a picture
        // rule made from it applies. /Rotate 90 shows PDF (x, y) at (y, x).
        const auto upright = [](double x, double y) { return QPointF(x, 200 - y); };
        const auto turned = [](double x, double y) { return QPointF(y, x); };
        const struct
        {
            const char *name;
            int mode;
            bool inForm, turnedPage;
            QByteArray pageBoxes;
        } cases[] = {
            {"render mode 3", 3, false, false, ""},
            {"render mode 7, in a form", 7, true, false, ""},
            {"in a form, on a page turned by 90", 3, true, true, "/Rotate 90"},
            {"written up, on a page turned by 270", 3, false, false, "/Rotate 270"},
        };
        QTemporaryDir pictures;
        QImage picture(40, 12, QImage::Format_RGB32);
        picture.fill(QColor(0, 90, 200));
        QVERIFY(picture.save(pictures.filePath("pic.png")));
        const ScanLayer scan;
        for (const auto &c : cases) {
            QTemporaryDir dir;
            const QString pdf = dir.filePath("scan.pdf");
            QVERIFY(writeFile(pdf, scan.pdf(c.mode, c.inForm, c.pageBoxes)));
            const bool reaches = c.pageBoxes != "/Rotate 270";
            const ConverterRun run = runConverter("rendrix", {"-htmlformat", pdf, dir.filePath("text.xml")});
            QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), c.name);
            const Alltext layer = TextLayer::parsePage(readAll(pageFile(dir.path(), "text", 1, "htm")));
            const auto runOf = [&](const QString &text) {
                const auto r = std::find_if(layer.subtext.begin(), layer.subtext.end(), [&](const Subtext &s) { return s.text == text; });
                return r == layer.subtext.end() ? QRect() : QRect(r->x, r->y, r->width, r->height);
            };
            for (const auto &word : popplerWords(pdf)) {
                const QRect r = runOf(word.second);
                const int k = scan.words.indexOf(word.second.toLatin1());
                QVERIFY2(!r.isNull(), qPrintable(QStringLiteral("%1: %2").arg(c.name, word.second)));
                const QRectF box = word.first;
                if (k < 0 || !reaches) {
                    const QRect rounded(QPoint(qRound(box.left()), qRound(box.top())), QPoint(qRound(box.right()) - 1, qRound(box.bottom()) - 1));
                    QVERIFY2(r.contains(rounded) && rounded.adjusted(-1, -1, 1, 1).contains(r),
                             qPrintable(QStringLiteral("%1: %2").arg(c.name, word.second)));
                    continue;
                }
                // Along the line, from the word's start to the end of its
                // span, each rounded; across, the reader's box, and written
                // right, below it the scan's descenders (0.3 of its height).
                const double x = scan.starts[k], y = 120;
                const QPointF from = c.turnedPage ? turned(x, y) : upright(x, y);
                const QPointF to = c.turnedPage ? turned(x + scan.span(k), y) : upright(x + scan.span(k), y);
                const double start = c.turnedPage ? from.y() : from.x(), end = c.turnedPage ? to.y() : to.x();
                const int runStart = c.turnedPage ? r.top() : r.left(), runEnd = c.turnedPage ? r.y() + r.height() : r.x() + r.width();
                QVERIFY2(qAbs(runStart - start) <= 1 && qAbs(runEnd - end) <= 1
                             && (c.turnedPage ? r.left() <= box.left() + 1 && box.right() <= r.x() + r.width() + 1
                                              : r.top() <= box.top() + 1 && qAbs(r.y() + r.height() - (box.bottom() + 0.3 * box.height())) <= 1),
                         qPrintable(QStringLiteral("%1: %2 at %3 %4 %5 %6").arg(c.name, word.second).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())));
            }
            QVERIFY2(layer.count == 6, c.name);
            // The rule on "Alpha", as the rule editor makes it from its run:
            // a text rule where the run reaches over the scan's word, else a
            // picture rule.
            const QRect alpha = runOf("Alpha");
            const QString rules = dir.filePath("rules.txt"), out = dir.filePath("out.pdf");
            const QString rule = reaches
                ? QStringLiteral("1-%1-%2-%3-%4:Alpha:IJ").arg(alpha.x()).arg(alpha.y()).arg(alpha.width()).arg(alpha.height())
                : QStringLiteral("1:%1:%2:(%3):40:12").arg(alpha.x()).arg(alpha.y()).arg(pictures.filePath("pic.png"));
            QVERIFY(writeFile(rules, (rule + "\r\n").toUtf8()));
            const ConverterRun replaced = runConverter("Ostrel.dll", {pdf, reaches ? "-tesome" : "-pisome", out, rules});
            QVERIFY2(replaced.exitCode == 0, qPrintable(QStringLiteral("%1: %2").arg(c.name, QString::fromUtf8(replaced.err))));
            QStringList there;
            for (const auto &word : popplerWords(out))
                if (QRectF(alpha).adjusted(-1, -1, 1, 1).contains(word.first.center()))
                    there << word.second;
            QVERIFY2(there == (reaches ? QStringList{"IJ"} : QStringList()),
                     qPrintable(QStringLiteral("%1: %2").arg(c.name, there.join(' '))));
        }
    }

    void invisibleWordsStopAboveTheNextLine()
    {
        // Two lines of a scan's words drawn invisibly, 11 points apart: each
        // word of the first reaches below the reader's box towards its
        // descenders, but no further than the top of the word under it.
        const QByteArray layer = "BT 3 Tr /F1 10 Tf 40 120 Td (Alpha Beta ) Tj 0 -11 Td (Gamma Delta ) Tj ET\n";
        QTemporaryDir dir;
        const QString pdf = dir.filePath("lines.pdf");
        QVERIFY(writeFile(pdf, pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R "
                                      "/Resources << /Font << /F1 5 0 R >> >> >>",
                                      "<< /Length " + QByteArray::number(layer.size()) + " >>\nstream\n" + layer + "\nendstream",
                                      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"})));
        const ConverterRun run = runConverter("rendrix", {"-htmlformat", pdf, dir.filePath("text.xml")});
        QVERIFY(run.exitCode == 0 && run.err.isEmpty());
        const Alltext layerRead = TextLayer::parsePage(readAll(pageFile(dir.path(), "text", 1, "htm")));
        QHash<QString, QRect> runs;
        for (const Subtext &s : layerRead.subtext)
            runs.insert(s.text, QRect(s.x, s.y, s.width, s.height));
        QHash<QString, QRectF> boxes;
        for (const auto &word : popplerWords(pdf))
            boxes.insert(word.second, word.first);
        for (const auto &pair : {std::make_pair("Alpha", "Gamma"), std::make_pair("Beta", "Delta")}) {
            const QRect upper = runs.value(pair.first), lower = runs.value(pair.second);
            QVERIFY2(!upper.isNull() && !lower.isNull(), pair.first);
            QVERIFY2(upper.y() + upper.height() > boxes.value(pair.first).bottom() + 0.5
                         && upper.y() + upper.height() <= lower.y(),
                     qPrintable(QStringLiteral("%1 %2 %3 over %4 %5").arg(pair.first).arg(upper.y()).arg(upper.height()).arg(lower.y()).arg(boxes.value(pair.first).bottom())));
        }
    }
};

QTEST_MAIN(RendrixTest)
#include "rendrix_test.moc"