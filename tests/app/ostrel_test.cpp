#include "rulelines.h"
#include "testfiles.h"

#include <QImage>
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

Result ostrel(const QString &in, const QString &option, const QString &out, const QString &rules, const QString &folder = {})
{
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

QImage render(const QString &pdf, int page)
{
    const QString base = QFileInfo(pdf).absolutePath() + "/render", n = QString::number(page);
    run("pdftoppm", {"-cropbox", "-r", "72", "-png", "-singlefile", "-f", n, "-l", n, pdf, base});
    return QImage(base + ".png");
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
    objects << "<< /Title (Kept title) >>";
    QByteArray pdf = "%PDF-1.4\n", xref;
    for (int i = 0; i < objects.size(); ++i) {
        xref += num(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += num(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const QByteArray size = num(objects.size() + 1);
    return pdf + "xref\n0 " + size + "\n0000000000 65535 f \n" + xref + "trailer\n<< /Size " + size + " /Root 1 0 R /Info "
        + num(objects.size()) + " 0 R >>\nstartxref\n" + num(pdf.size()) + "\n%%EOF\n";
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
    void ruleLinesAreRead_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("image");
        QTest::addColumn<QString>("found");   // the text in the box, for a text rule
        // "page left top width height|find|replace" or "...|path"; "!" and the start of the error for a refusal
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *bytes, bool image, const QString &found, const char *expected)
        { QTest::newRow(name) << QByteArray(bytes) << image << found << QString::fromUtf8(expected); };
        row("text after a byte-order mark", "\xEF\xBB\xBF" "3-120-45-60-12:Total:Sum\r\n", false, "Total", "3 120 45 60 12|Total|Sum");
        row("line feeds, blank lines, no replacement", "\n1-2-3-4-5:a:b\n\r\n2-0-0-1-1:x:\n", false, "x", "2 0 0 1 1|x|");
        row("colon in find, found text decides", "12-0-7-130-14:a:b:\r\n", false, "a:b", "12 0 7 130 14|a:b|");
        row("colon in replacement", "1-0-0-9-9:Time:10:30\r\n", false, "Time", "1 0 0 9 9|Time|10:30");
        row("found text with other spaces", "1-0-0-9-9:New York:NY\r\n", false, "New  York ", "1 0 0 9 9|New York|NY");
        row("no match: as many colons as found", "1-0-0-9-9:Ref: 7:x:y\r\n", false, "Total: 8", "1 0 0 9 9|Ref: 7|x:y");
        row("leading zeros, huge page", "0099999999999-080-0-1-1:a:b", false, "a", "1000000000 80 0 1 1|a|b");
        row("image", "3:120:45:(/pics/a.png):80:20\r\n", true, "", "3 120 45 80 20|/pics/a.png");
        row("image path with ): and (", "1:5:6:(/p/x):(y).png):7:008\r\n", true, "", "1 5 6 7 8|/p/x):(y).png");
        row("empty number", "3----:a:b\r\n", false, "", "!line 1: \"\" is not an unsigned integer");
        row("four numbers", "1-2-3-4:a:b\r\n", false, "", "!line 1: the position needs five numbers");
        row("no replacement part", "1-2-3-4-5:ab\r\n", false, "", "!line 1: no \":\" between");
        row("sign", "1-2-3-4-+5:a:b\r\n", false, "", "!line 1: \"+5\" is not");
        row("bad line after a blank one", "1-2-3-4-5:a:b\r\n\r\nx\r\n", false, "", "!line 3: no \":\" after the position");
        row("text line read as image", "1-2-3-4-5:a:b\r\n", true, "", "!line 1: expected");
        row("zero width", "1:2:3:(p.png):0:5\r\n", true, "", "!line 1: the picture's width and height must be positive");
        row("no height after a good line", "1:2:3:(p.png):5:5\r\n1:2:3:(p.png):5\r\n", true, "", "!line 2: expected");
        row("empty path", "1:2:3:():5:5\r\n", true, "", "!line 1: no usable picture path");
    }

    void ruleLinesAreRead()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, image);
        QFETCH(QString, found);
        QFETCH(QString, expected);
        const RuleLines file = RuleLines::parse(bytes.toStdString(), image ? RuleLines::Kind::Image : RuleLines::Kind::Text);
        const auto box = [](const auto &r)
        { return QStringLiteral("%1 %2 %3 %4 %5|").arg(r.page).arg(r.left).arg(r.top).arg(r.width).arg(r.height); };
        // The last rule read, or the error; a refused file keeps no rule.
        QString got = '!' + QString::fromStdString(file.error());
        const std::string text = found.toStdString();
        for (const TextRule &r : file.textRules())
            got = box(r) + QString::fromStdString(r.reading(text).find + '|' + r.reading(text).replace);
        for (const ImageRule &r : file.imageRules())
            got = box(r) + QString::fromStdString(r.path);
        QVERIFY2(file.ok() != expected.startsWith('!') && (file.ok() ? got == expected : got.startsWith(expected)),
                 qPrintable(got));
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
        // colon; a rule over no text and one on a missing page are skipped.
        QVERIFY(writeFile(rules, (ruleBox(1, beta) + ":Beta:Βήτα Grüße\r\n" + ruleBox(1, note) + ":Note::N:\r\n"
                                  + "1-1-1-5-5:x:y\r\n4-1-1-10-10:x:y\r\n").toUtf8()));
        const Result r = ostrel(in, "-tesome", out, rules);
        QVERIFY2(r.exitCode == 0 && r.err.contains("line 3: no text") && r.err.contains("line 4: the document has no page 4"),
                 r.err.constData());

        const QVector<Word> after = words(out, 1);
        for (const Word &w : before) {   // Beta and the note gone, the others where they were
            const QRectF kept = boxOf(after, w.text);
            QVERIFY2(w.text == "Beta" || w.text == "Note:" ? kept.isNull()
                     : qAbs(kept.left() - w.box.left()) < 0.5 && qAbs(kept.top() - w.box.top()) < 0.5, qPrintable(w.text));
        }
        // The new text starts at the old left edge, on the old line, in the
        // old size (14 points for Beta's line, 10 for the note) and colour.
        const QRectF greek = boxOf(after, "Βήτα"), german = boxOf(after, "Grüße"), n = boxOf(after, "N:");
        QVERIFY(!greek.isNull() && !german.isNull() && !n.isNull() && greek.height() > 12 && n.height() < 13);
        QVERIFY(qAbs(greek.left() - beta.left()) < 1 && qAbs(greek.center().y() - beta.center().y()) < 3);
        QVERIFY(german.left() > greek.right() && qAbs(german.center().y() - greek.center().y()) < 1);
        QVERIFY(qAbs(n.left() - note.left()) < 1 && qAbs(n.center().y() - note.center().y()) < 3);
        const QImage shown = render(out, 1);
        QVERIFY(count(shown, greek.toAlignedRect(), red) > 10 && count(shown, n.toAlignedRect(), red) > 5);

        // The rest of the document is kept: the other page, title, link and outline.
        QCOMPARE(run("pdftotext", {"-f", "2", "-l", "2", out, "-"}).out, run("pdftotext", {"-f", "2", "-l", "2", in, "-"}).out);
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
        const int left = qRound(gamma.left()), top = qRound(gamma.top());
        QVERIFY(writeFile(rules, QStringLiteral("1:%1:%2:(%3):40:16\r\n1:5:5:(%3):10:10\r\n").arg(left).arg(top)
                                     .arg(picture).toUtf8()));
        const Result placed = ostrel(in, "-pisome", pictured, rules);
        QVERIFY2(placed.exitCode == 0 && placed.err.contains("line 2: no text starts at 5,5"), placed.err.constData());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 6);   // with the rendering: no temporary file left
        const QVector<Word> covered = words(pictured, 1);
        QVERIFY(boxOf(covered, "Gamma").isNull() && !boxOf(covered, "Beta").isNull() && covered.size() == 4);

        // pdfimages: one picture of 20 x 8 pixels drawn 40 x 16 points, so 36 ppi.
        const QStringList list = QString::fromUtf8(run("pdfimages", {"-list", pictured}).out).split('\n').filter(" image ");
        QVERIFY2(list.size() == 1 && QRegularExpression("^\\s+1\\s+\\d+\\s+image\\s+20\\s+8\\s.*\\s36\\s+36\\s").match(list[0]).hasMatch(),
                 qPrintable(list.join('\n')));
        // Blue inside the box as shown, white just outside it; the kept red word stays red.
        const QImage image = render(pictured, 1);
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
        QVERIFY(writeFile(rules, (ruleBox(2, target.box) + ':' + target.text + QStringLiteral(":中文替换\r\n")).toUtf8()));
        const Result r = ostrel(in, "-tesome", out, rules);
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
        const QRectF table = boxOf(words(turned, 1), "Table");
        QVERIFY(!table.isNull() && writeFile(rules, QStringLiteral("1:%1:%2:(%3):50:15\r\n").arg(qRound(table.left()))
                                     .arg(qRound(table.top())).arg(picture).toUtf8()));
        const Result image = ostrel(turned, "-pisome", out, rules);
        QVERIFY2(image.exitCode == 0 && image.err.isEmpty(), image.err.constData());
        QVERIFY(boxOf(words(out, 1), "Table").isNull() && !boxOf(words(out, 1), "Adjusted").isNull());
        // 10 pixels over 50 and 15 points: 14 and 48 pixels per inch.
        const QString list = QString::fromUtf8(run("pdfimages", {"-list", out}).out);
        QVERIFY2(QRegularExpression("\\n\\s+1\\s+0\\s+image\\s+10\\s+10\\s.*\\s14\\s+48\\s").match(list).hasMatch(),
                 qPrintable(list));
    }

    void failedRunLeavesNoFile_data()
    {
        QTest::addColumn<QString>("input");       // "" for a good document
        QTest::addColumn<QString>("option");
        QTest::addColumn<QByteArray>("rules");    // "" for no rule file
        QTest::addColumn<QString>("output");      // relative to the work folder
        QTest::addColumn<QString>("named");       // what the message names
        const auto row = [](const char *name, const char *in, const char *option, const char *rules, const char *out,
                            const char *named) { QTest::newRow(name) << in << option << QByteArray(rules) << out << named; };
        row("not a PDF", "notes.pdf", "-tesome", "\r\n", "out.pdf", "notes.pdf");
        row("damaged", "cut.pdf", "-tesome", "\r\n", "out.pdf", "cut.pdf");
        row("password", GRIDMOLT_SAMPLES_DIR "/encrypted.pdf", "-tesome", "\r\n", "out.pdf", "encrypted.pdf");
        row("a page saving 200,000 graphics states", GRIDMOLT_SOURCE_DIR "/tests/data/hostile/nested-states.pdf",
            "-tesome", "1-0-0-9999-9999:x:y\r\n", "out.pdf", "nested-states.pdf");
        row("malformed line, stale output removed", "", "-tesome", "1-40-88-30-14:Alpha:A\r\n1-x-2-3-4:a:b\r\n",
            "stale.pdf", "rules.txt");
        row("output named as the input refused, input kept", "good.pdf", "-tesome", "1-x-2-3-4:a:b\r\n", "good.pdf",
            "it is the input file \"good.pdf\"");
        row("missing picture", "", "-pisome", "1:40:88:(nowhere.png):10:10\r\n", "out.pdf", "nowhere.png");
        row("picture not an image", "", "-pisome", "1:40:88:(notes.pdf):10:10\r\n", "out.pdf", "notes.pdf");
        row("no rule file", "", "-tesome", "", "out.pdf", "rules.txt");
        row("output folder missing", "", "-tesome", "\r\n", "gone/out.pdf", "gone/out.pdf");
        row("unknown option", "", "-other", "\r\n", "out.pdf", "usage");
    }

    void failedRunLeavesNoFile()
    {
        QFETCH(QString, input);
        QFETCH(QString, option);
        QFETCH(QByteArray, rules);
        QFETCH(QString, output);
        QFETCH(QString, named);
        QTemporaryDir work;
        const QDir d(work.path());
        const QByteArray good = pdfWithPages({{0, QRectF(0, 0, 700, 800)}});
        QVERIFY(writeFile(d.filePath("notes.pdf"), "not a document\n") && writeFile(d.filePath("good.pdf"), good)
                && writeFile(d.filePath("cut.pdf"), good.left(good.size() / 4)) && writeFile(d.filePath("stale.pdf"), good)
                && (rules.isEmpty() || writeFile(d.filePath("rules.txt"), rules)));
        QStringList filesBefore = d.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

        const Result r = ostrel(input.isEmpty() ? "good.pdf" : input, option, output, "rules.txt", work.path());
        const QString err = QString::fromUtf8(r.err).trimmed();
        QVERIFY2(r.exitCode == (named == "usage" ? 2 : 1) && !err.contains('\n') && err.contains(named), qPrintable(err));
        // Nothing new in the folder (no temporary file); a stale output is gone, the input kept.
        filesBefore.removeAll(output == input ? QString() : output);
        QCOMPARE(d.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), filesBefore);
    }
};

QTEST_GUILESS_MAIN(OstrelTest)
#include "ostrel_test.moc"
