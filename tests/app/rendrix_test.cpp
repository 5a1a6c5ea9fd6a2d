#include "converterruns.h"
#include "testfiles.h"
#include "textlayer.h"

#include <QtTest>

#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

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

// A page of 300 x 200 points drawing `content` with /F1, Helvetica in the
// Windows encoding (so ' is a straight quote).
QByteArray textPdf(const QByteArray &content, const QByteArray &pageBoxes)
{
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] " + pageBoxes
                      + " /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
                  "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"});
}
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
                    // wide) its edges are the word's.
                    const QXmlStreamAttributes box = words.attributes();
                    const double left = box.value("xMin").toDouble(), right = box.value("xMax").toDouble();
                    const double top = box.value("yMin").toDouble(), bottom = box.value("yMax").toDouble();
                    const QString text = words.readElementText();
                    ++wordCount;
                    const bool tall = columns || bottom - top > right - left;
                    // Undecodable glyphs come out differently in either reader.
                    QVERIFY2(text.contains(QChar::ReplacementCharacter)
                                 || std::any_of(layer.subtext.begin(), layer.subtext.end(), [&](const Subtext &r) {
                                        return QString(r.text).replace("&lt;", "<").replace("&gt;", ">")
                                                   .replace("&amp;", "&") == text
                                            && r.x <= left + 1 && r.y <= top + 1 && right <= r.x + r.width + 1
                                            && bottom <= r.y + r.height + 1
                                            && ((qAbs(r.x - left) <= 1.5 && qAbs(r.x + r.width - right) <= 1.5)
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
        // Drawn out of order, "lo" first, the library parts "Hel" and "lo"
        // even where no gap parts them: the layer has one run whose box holds
        // both as pdftotext reports them, its edges rounded. "lo" is larger
        // (its top 41.25, that of "Hel" 41.68), and on a page turned upside
        // down it lies left of "Hel". Runs hold text as the layer escapes it.
        const struct { const char *name; QByteArray content, pageBoxes; QStringList runs; } cases[] = {
            {"no gap, other size", "BT /F1 12.6 Tf 68 149.7 Td (lo) Tj /F1 12 Tf -18 0 Td (Hel) Tj ET", "", {"Hello"}},
            {"no gap, upside down", "BT /F1 12.6 Tf 68 149.7 Td (lo) Tj /F1 12 Tf -18 0 Td (Hel) Tj ET", "/Rotate 180", {"Hello"}},
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
            QXmlStreamReader words(outputOf("pdftotext", {"-bbox", pdf, "-"}));
            int k = 0;
            QString text;
            QRectF box;
            while (!words.atEnd()) {
                if (words.readNext() != QXmlStreamReader::StartElement || words.name() != QLatin1String("word"))
                    continue;
                const QXmlStreamAttributes a = words.attributes();
                const QRectF word(QPointF(a.value("xMin").toDouble(), a.value("yMin").toDouble()),
                                  QPointF(a.value("xMax").toDouble(), a.value("yMax").toDouble()));
                box = text.isEmpty() ? word : box.united(word);
                text += words.readElementText().replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;");
                QVERIFY2(k < c.runs.size() && c.runs[k].startsWith(text), c.name);
                if (text != c.runs[k])
                    continue;
                const Subtext &r = layer.subtext[k];
                const QRect rounded(QPoint(qRound(box.left()), qRound(box.top())), QPoint(qRound(box.right()) - 1, qRound(box.bottom()) - 1));
                QVERIFY2(r.text == text && QRect(r.x, r.y, r.width, r.height) == rounded,
                         qPrintable(QStringLiteral("%1: %2 at %3 %4 %5 %6").arg(c.name, r.text).arg(r.x).arg(r.y).arg(r.width).arg(r.height)));
                ++k;
                text.clear();
            }
            QVERIFY2(k == c.runs.size() && !words.hasError(), c.name);
        }
    }
};

QTEST_MAIN(RendrixTest)
#include "rendrix_test.moc"