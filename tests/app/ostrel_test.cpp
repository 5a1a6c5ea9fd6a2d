#include "rulelines.h"
#include "testfiles.h"

#include <QtTest>

#include <algorithm>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <unistd.h>

// The replacement engine as the replacement window starts it, checked with
// readers we did not write: pdftotext for words and their boxes, pdftoppm for
// what is drawn where, pdfimages, pdfinfo and qpdf for the document.
class OstrelTest : public QObject
{
    Q_OBJECT

private slots:
    void ruleLinesAreRead_data();
    void ruleLinesAreRead();
    void textRuleReplacesTheWordWhereTheUserSawIt_data();
    void textRuleReplacesTheWordWhereTheUserSawIt();
    void imageRulePutsThePictureOverTheWord_data();
    void imageRulePutsThePictureOverTheWord();
    void restOfTheDocumentIsKept();
    void samplesGetChineseTextAndAPicture();
    void failedRunLeavesNoFile_data();
    void failedRunLeavesNoFile();
    void awkwardPathsWork();

private:
    struct Word
    {
        QString text;
        QRectF box;
    };
    struct Result
    {
        int exitCode = -1;
        QByteArray out, err;
    };
    // A page of the generated document: rotation and crop box (user space).
    struct Geometry
    {
        int rotate;
        QRectF crop;
    };

    static Result run(const QString &program, const QStringList &args);
    static Result ostrel(const QString &in, const char *option, const QString &out, const QString &rules)
    {
        return run(QStringLiteral(GRIDMOLT_APP_DIR "/Ostrel.dll"), {in, option, out, rules});
    }
    static QVector<Word> words(const QString &pdf, int page);
    static const Word *find(const QVector<Word> &list, const QString &text);
    static QByteArray pdfWithPages(const QVector<Geometry> &pages);
    static QString ruleBox(int page, const QRectF &r)
    {
        return QStringLiteral("%1-%2-%3-%4-%5").arg(page).arg(qRound(r.left())).arg(qRound(r.top()))
            .arg(qRound(r.width())).arg(qRound(r.height()));
    }
    static QImage render(const QString &pdf, int page);

    QTemporaryDir dir_;
};

OstrelTest::Result OstrelTest::run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    Result r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QVector<OstrelTest::Word> OstrelTest::words(const QString &pdf, int page)
{
    const Result r = run("pdftotext", {"-cropbox", "-bbox", "-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
    static const QRegularExpression word(
        R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">(.*)</word>)re");
    QVector<Word> list;
    auto it = word.globalMatch(QString::fromUtf8(r.out));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        QString text = m.captured(5);
        text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
        list.append({text, QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                  QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    }
    return list;
}

const OstrelTest::Word *OstrelTest::find(const QVector<Word> &list, const QString &text)
{
    for (const Word &w : list) {
        if (w.text == text)
            return &w;
    }
    return nullptr;
}

QImage OstrelTest::render(const QString &pdf, int page)
{
    const QString base = QFileInfo(pdf).absolutePath() + "/render";
    run("pdftoppm", {"-cropbox", "-r", "72", "-png", "-singlefile", "-f", QString::number(page), "-l", QString::number(page),
                     pdf, base});
    return QImage(base + ".png");
}

// Each page shows two lines of Helvetica words, upright as the page is
// shown, whatever its rotation: "Alpha Beta Gamma" at y 100 (Beta in red)
// and, from a form object with a matrix of its own, "Note: Omega" at y 140;
// each word a text object placed by a relative move; a ruled line under
// them. Page 1 carries a link and the document an outline and a title.
QByteArray OstrelTest::pdfWithPages(const QVector<Geometry> &pages)
{
    const int n = pages.size();
    QVector<QByteArray> objects;
    QByteArray kids;
    for (int i = 0; i < n; ++i)
        kids += QByteArray::number(6 + 3 * i) + " 0 R ";
    objects << "<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>"
            << "<< /Type /Pages /Count " + QByteArray::number(n) + " /Kids [" + kids + "] >>"
            << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
            << "<< /Type /Outlines /First 5 0 R /Last 5 0 R /Count 1 >>"
            << "<< /Title (Start) /Parent 4 0 R /Dest [6 0 R /Fit] >>";
    for (int i = 0; i < n; ++i) {
        const Geometry &g = pages[i];
        const QRectF &c = g.crop;   // y up: top() is the lower edge here
        const double w = c.width(), h = c.height();
        const bool turned = g.rotate % 180 != 0;
        const double shownHeight = turned ? w : h;
        // From a frame upright as shown (origin bottom left) to page space.
        double m[6];
        switch (g.rotate) {
        case 90: m[0] = 0; m[1] = 1; m[2] = -1; m[3] = 0; m[4] = c.left() + w; m[5] = c.top(); break;
        case 180: m[0] = -1; m[1] = 0; m[2] = 0; m[3] = -1; m[4] = c.right(); m[5] = c.bottom(); break;
        case 270: m[0] = 0; m[1] = -1; m[2] = 1; m[3] = 0; m[4] = c.left(); m[5] = c.bottom(); break;
        default: m[0] = 1; m[1] = 0; m[2] = 0; m[3] = 1; m[4] = c.left(); m[5] = c.top(); break;
        }
        QByteArray content = "q";
        for (double v : m)
            content += ' ' + QByteArray::number(v);
        content += " cm 0 0 1 RG 30 " + QByteArray::number(shownHeight - 150) + " m 300 "
            + QByteArray::number(shownHeight - 150) + " l S\n";
        const struct { const char *text; int x, y, size; const char *color; } placed[] = {
            {"Alpha", 40, 100, 14, "0 g"}, {"Beta", 120, 100, 14, "1 0 0 rg"}, {"Gamma", 260, 100, 14, "0 g"},
            {"Note:", 40, 140, 10, "0 g"}, {"Omega", 120, 140, 10, "0 g"}};
        QByteArray form;
        for (const auto &p : placed) {
            const bool inForm = p.y == 140;   // the form's matrix moves it 5 units right
            (inForm ? form : content) += QByteArray("BT /F1 ") + QByteArray::number(p.size) + " Tf " + p.color + ' '
                + QByteArray::number(p.x - (inForm ? 5 : 0)) + ' ' + QByteArray::number(shownHeight - p.y)
                + " Td (" + p.text + ") Tj ET\n";
        }
        content += "/Fm1 Do\n";
        content += "Q\n";
        const QByteArray box = QByteArray::number(c.left()) + ' ' + QByteArray::number(c.top()) + ' '
            + QByteArray::number(c.right()) + ' ' + QByteArray::number(c.bottom());
        QByteArray annots;
        if (i == 0)
            annots = " /Annots [<< /Type /Annot /Subtype /Link /Rect [" + box
                + "] /A << /S /URI /URI (https://example.org/kept) >> >>]";
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 700 800] /CropBox [" + box + "] /Rotate "
                + QByteArray::number(g.rotate) + " /Resources << /Font << /F1 3 0 R >> /XObject << /Fm1 "
                + QByteArray::number(8 + 3 * i) + " 0 R >> >> /Contents " + QByteArray::number(7 + 3 * i) + " 0 R"
                + annots + " >>"
                << "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream"
                << "<< /Type /XObject /Subtype /Form /BBox [-2000 -2000 2000 2000] /Matrix [1 0 0 1 5 0]"
                   " /Resources << /Font << /F1 3 0 R >> >> /Length " + QByteArray::number(form.size())
                + " >>\nstream\n" + form + "\nendstream";
    }
    objects << "<< /Title (Kept title) >>";
    QByteArray pdf = "%PDF-1.4\n";
    QVector<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const int xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (int offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R /Info "
        + QByteArray::number(objects.size()) + " 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

void OstrelTest::ruleLinesAreRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("image");
    QTest::addColumn<QString>("found");   // text in the box, for a text rule
    // "page left top width height | find | replace" or "... | path"; "!" + reason part for an error
    QTest::addColumn<QString>("expected");

    QTest::newRow("text") << QByteArray("3-120-45-60-12:Total:Sum\r\n") << false << "Total"
                          << "3 120 45 60 12|Total|Sum";
    QTest::newRow("line feed only, second line, blank lines")
        << QByteArray("\n1-2-3-4-5:a:b\n\r\n2-0-0-1-1:x:\n") << false << "x" << "2 0 0 1 1|x|";
    QTest::newRow("colon in find, found text decides") << QByteArray("12-0-7-130-14:a:b:\r\n") << false << "a:b"
                                                       << "12 0 7 130 14|a:b|";
    QTest::newRow("colon in replacement") << QByteArray("1-0-0-9-9:Time:10:30\r\n") << false << "Time"
                                          << "1 0 0 9 9|Time|10:30";
    QTest::newRow("found text with spaces") << QByteArray("1-0-0-9-9:New York:NY\r\n") << false << "New  York "
                                            << "1 0 0 9 9|New York|NY";
    QTest::newRow("no match: as many colons as found") << QByteArray("1-0-0-9-9:Ref: 7:x:y\r\n") << false
                                                       << "Total: 8" << "1 0 0 9 9|Ref: 7|x:y";
    QTest::newRow("leading zeros, huge page") << QByteArray("0099999999999-080-0-1-1:a:b") << false << "a"
                                              << "1000000000 80 0 1 1|a|b";
    QTest::newRow("image") << QByteArray("3:120:45:(/pics/a.png):80:20\r\n") << true << ""
                           << "3 120 45 80 20|/pics/a.png";
    QTest::newRow("image path with ): and (") << QByteArray("1:5:6:(/p/x):(y).png):7:008\r\n") << true << ""
                                             << "1 5 6 7 8|/p/x):(y).png";
    QTest::newRow("empty key fields") << QByteArray("3----:a:b\r\n") << false << "" << "!line 1";
    QTest::newRow("four numbers") << QByteArray("1-2-3-4:a:b\r\n") << false << "" << "!five numbers";
    QTest::newRow("no replacement part") << QByteArray("1-2-3-4-5:ab\r\n") << false << "" << "!line 1";
    QTest::newRow("sign") << QByteArray("1-2-3-4-+5:a:b\r\n") << false << "" << "!\"+5\"";
    QTest::newRow("bad second line") << QByteArray("1-2-3-4-5:a:b\r\nx\r\n") << false << "" << "!line 2";
    QTest::newRow("text line read as image") << QByteArray("1-2-3-4-5:a:b\r\n") << true << "" << "!line 1";
    QTest::newRow("zero width") << QByteArray("1:2:3:(p.png):0:5\r\n") << true << "" << "!positive";
    QTest::newRow("no height") << QByteArray("1:2:3:(p.png):5\r\n") << true << "" << "!line 1";
    QTest::newRow("empty path") << QByteArray("1:2:3:():5:5\r\n") << true << "" << "!path";
}

void OstrelTest::ruleLinesAreRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, image);
    QFETCH(QString, found);
    QFETCH(QString, expected);
    const RuleLines file = RuleLines::parse(bytes.toStdString(), image ? RuleLines::Kind::Image : RuleLines::Kind::Text);
    if (expected.startsWith('!')) {
        QVERIFY(!file.ok());
        QVERIFY(file.textRules().empty() && file.imageRules().empty());
        QVERIFY2(QString::fromStdString(file.error()).contains(expected.mid(1)), file.error().c_str());
        return;
    }
    QVERIFY2(file.ok(), file.error().c_str());
    QString got;
    if (image) {
        QCOMPARE(int(file.imageRules().size()), 1);
        const ImageRule &r = file.imageRules().front();
        got = QStringLiteral("%1 %2 %3 %4 %5|").arg(r.page).arg(r.left).arg(r.top).arg(r.width).arg(r.height)
            + QString::fromStdString(r.path);
    } else {
        QVERIFY(!file.textRules().empty());
        const TextRule &r = file.textRules().back();
        const TextRule::Reading reading = r.reading(found.toStdString());
        got = QStringLiteral("%1 %2 %3 %4 %5|").arg(r.page).arg(r.left).arg(r.top).arg(r.width).arg(r.height)
            + QString::fromStdString(reading.find) + '|' + QString::fromStdString(reading.replace);
    }
    QCOMPARE(got, expected);
}

void OstrelTest::textRuleReplacesTheWordWhereTheUserSawIt_data()
{
    QTest::addColumn<int>("rotate");
    QTest::addColumn<QRectF>("crop");
    QTest::newRow("upright") << 0 << QRectF(0, 0, 700, 800);
    QTest::newRow("crop box off the origin") << 0 << QRectF(50, 60, 400, 500);
    QTest::newRow("90") << 90 << QRectF(50, 60, 400, 500);
    QTest::newRow("180") << 180 << QRectF(0, 0, 700, 800);
    QTest::newRow("270") << 270 << QRectF(20, 10, 600, 450);
}

void OstrelTest::textRuleReplacesTheWordWhereTheUserSawIt()
{
    QFETCH(int, rotate);
    QFETCH(QRectF, crop);
    const QString in = dir_.filePath("in.pdf"), out = dir_.filePath("out.pdf"), rules = dir_.filePath("rules.txt");
    QVERIFY(writeFile(in, pdfWithPages({{rotate, crop}})));
    const QVector<Word> before = words(in, 1);
    const Word *beta = find(before, "Beta");
    const Word *note = find(before, "Note:");
    QVERIFY(beta && note && before.size() == 5);

    // Three rules: Beta becomes Greek and accented text, the colon rule
    // keeps its colon, and a rule on a missing page is skipped.
    QVERIFY(writeFile(rules, (ruleBox(1, beta->box) + ":Beta:Βήτα Grüße\r\n" + ruleBox(1, note->box)
                              + ":Note::N:\r\n" + "4-1-1-10-10:x:y\r\n").toUtf8()));
    const Result r = ostrel(in, "-tesome", out, rules);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains("line 3") && r.err.contains("no page 4"), r.err.constData());

    const QVector<Word> after = words(out, 1);
    QVERIFY(!find(after, "Beta") && !find(after, "Note:"));
    for (const Word &w : before) {
        if (w.text == "Beta" || w.text == "Note:")
            continue;
        const Word *kept = find(after, w.text);
        QVERIFY2(kept, qPrintable(w.text));
        QVERIFY2(qAbs(kept->box.left() - w.box.left()) < 0.5 && qAbs(kept->box.top() - w.box.top()) < 0.5,
                 qPrintable(w.text));
    }
    // The new text starts at the old left edge, on the old line.
    const Word *greek = find(after, QStringLiteral("Βήτα"));
    const Word *german = find(after, QStringLiteral("Grüße"));
    const Word *n = find(after, "N:");
    QVERIFY(greek && german && n);
    QVERIFY2(qAbs(greek->box.left() - beta->box.left()) < 1, qPrintable(QString::number(greek->box.left())));
    QVERIFY(qAbs(greek->box.center().y() - beta->box.center().y()) < 3);
    QVERIFY(german->box.left() > greek->box.right() && qAbs(german->box.center().y() - greek->box.center().y()) < 1);
    QVERIFY(qAbs(n->box.left() - note->box.left()) < 1 && qAbs(n->box.center().y() - note->box.center().y()) < 3);
    // Same size: 14 points for Beta's line, 10 for the note.
    QVERIFY(greek->box.height() > 12 && n->box.height() < 13);

    // In the old word's colour, red.
    const QImage image = render(out, 1);
    int red = 0;
    const QRect area = greek->box.toAlignedRect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            red += c.red() > 150 && c.green() < 100 && c.blue() < 100;
        }
    }
    QVERIFY2(red > 10, qPrintable(QString::number(red)));
    QCOMPARE(run("qpdf", {"--check", out}).exitCode, 0);
}

void OstrelTest::imageRulePutsThePictureOverTheWord_data()
{
    QTest::addColumn<int>("rotate");
    QTest::addColumn<QString>("format");
    QTest::newRow("png, upright") << 0 << "png";
    QTest::newRow("jpeg, 90") << 90 << "jpg";
    QTest::newRow("bmp, 270") << 270 << "bmp";
    QTest::newRow("png, 180") << 180 << "png";
}

void OstrelTest::imageRulePutsThePictureOverTheWord()
{
    QFETCH(int, rotate);
    QFETCH(QString, format);
    const QString in = dir_.filePath("in.pdf"), out = dir_.filePath("out.pdf"), rules = dir_.filePath("rules.txt");
    const QString picture = dir_.filePath("pic." + format);
    QImage pixels(20, 8, QImage::Format_RGB32);
    pixels.fill(QColor(0, 0, 255));
    QVERIFY(pixels.save(picture));
    QVERIFY(writeFile(in, pdfWithPages({{rotate, QRectF(50, 60, 400, 500)}})));
    const Word *gamma = find(words(in, 1), "Gamma");
    QVERIFY(gamma);
    const int left = qRound(gamma->box.left()), top = qRound(gamma->box.top());

    QVERIFY(writeFile(rules, QStringLiteral("1:%1:%2:(%3):40:16\r\n").arg(left).arg(top).arg(picture).toUtf8()));
    const Result r = ostrel(in, "-pisome", out, rules);
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QVector<Word> after = words(out, 1);
    QVERIFY(!find(after, "Gamma") && find(after, "Beta") && after.size() == 4);

    // pdfimages: one picture of 20 x 8 pixels drawn 40 x 16 points, so 36 ppi.
    const QStringList list = QString::fromUtf8(run("pdfimages", {"-list", out}).out).split('\n');
    QCOMPARE(list.filter(QRegularExpression("^\\s+1\\s+\\d+\\s+image\\s+20\\s+8\\s.*\\s36\\s+36\\s")).size(), 1);
    // Blue inside the box as shown, white just outside it.
    const QImage image = render(out, 1);
    const auto blue = [&image](int x, int y) {
        const QColor c = image.pixelColor(x, y);
        return c.blue() > 200 && c.red() < 60 && c.green() < 60;
    };
    QVERIFY(blue(left + 20, top + 8) && blue(left + 3, top + 2) && blue(left + 37, top + 14));
    QCOMPARE(image.pixelColor(left + 43, top + 8), QColor(Qt::white));
    QCOMPARE(image.pixelColor(left + 20, top + 19), QColor(Qt::white));
}

void OstrelTest::restOfTheDocumentIsKept()
{
    const QString in = dir_.filePath("in.pdf"), out = dir_.filePath("out.pdf"), rules = dir_.filePath("rules.txt");
    QVERIFY(writeFile(in, pdfWithPages({{0, QRectF(0, 0, 700, 800)}, {90, QRectF(0, 0, 700, 800)}})));
    const Word *alpha = find(words(in, 2), "Alpha");
    QVERIFY(alpha);
    // Nothing under the second rule's box: reported, the first still applies.
    QVERIFY(writeFile(rules, (ruleBox(2, alpha->box) + ":Alpha:Eins\r\n2-600-10-20-20:x:y\r\n").toUtf8()));
    const Result r = ostrel(in, "-tesome", out, rules);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains("line 2") && r.err.contains("no text"), r.err.constData());
    QVERIFY(find(words(out, 2), "Eins") && !find(words(out, 2), "Alpha"));

    QCOMPARE(run("pdftotext", {"-f", "1", "-l", "1", out, "-"}).out, run("pdftotext", {"-f", "1", "-l", "1", in, "-"}).out);
    const QByteArray info = run("pdfinfo", {out}).out;
    QVERIFY(info.contains("Kept title") && QRegularExpression("Pages:\\s+2\\n").match(info).hasMatch());
    QVERIFY(run("pdfinfo", {"-url", out}).out.contains("https://example.org/kept"));
    QVERIFY(run("qpdf", {"--json", "--json-key=outlines", out}).out.contains("\"Start\""));
    QCOMPARE(run("qpdf", {"--check", out}).exitCode, 0);
}

void OstrelTest::samplesGetChineseTextAndAPicture()
{
    const QString in = QStringLiteral(GRIDMOLT_SAMPLES_DIR "/us-017.pdf");
    const QString out = dir_.filePath("out.pdf"), rules = dir_.filePath("rules.txt");
    const QVector<Word> before = words(in, 2);
    QVERIFY(before.size() > 50);
    // The rightmost word: its replacement may run on into the margin.
    const Word &target = *std::max_element(before.begin(), before.end(), [](const Word &a, const Word &b) {
        return a.box.right() < b.box.right();
    });
    QVERIFY(writeFile(rules, (ruleBox(2, target.box) + ':' + target.text + QStringLiteral(":中文替换\r\n")).toUtf8()));
    const Result r = ostrel(in, "-tesome", out, rules);
    QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), r.err.constData());

    const QVector<Word> after = words(out, 2);
    const Word *chinese = find(after, QStringLiteral("中文替换"));
    QVERIFY(chinese);
    QVERIFY(qAbs(chinese->box.left() - target.box.left()) < 1);
    QCOMPARE(after.size(), before.size());
    for (int p : {1, 3, 4}) {
        const QString page = QString::number(p);
        QCOMPARE(run("pdftotext", {"-f", page, "-l", page, out, "-"}).out,
                 run("pdftotext", {"-f", page, "-l", page, in, "-"}).out);
    }
    QCOMPARE(run("qpdf", {"--check", out}).exitCode, 0);

    // A picture for a word of a turned page, found by the rounded corner
    // another library's boxes give.
    const QString turned = QStringLiteral(GRIDMOLT_SAMPLES_DIR "/rotated_page.pdf");
    const QString picture = dir_.filePath("pic.png");
    QVERIFY(QImage(10, 10, QImage::Format_RGB32).save(picture));
    const Word *table = find(words(turned, 1), "Table");
    QVERIFY(table);
    QVERIFY(writeFile(rules, QStringLiteral("1:%1:%2:(%3):50:15\r\n").arg(qRound(table->box.left()))
                                 .arg(qRound(table->box.top())).arg(picture).toUtf8()));
    const Result image = ostrel(turned, "-pisome", out, rules);
    QVERIFY2(image.exitCode == 0 && image.err.isEmpty(), image.err.constData());
    QVERIFY(!find(words(out, 1), "Table") && find(words(out, 1), "Adjusted"));
    // 10 pixels over 50 and 15 points: 14 and 48 pixels per inch.
    const QString list = QString::fromUtf8(run("pdfimages", {"-list", out}).out);
    QVERIFY2(QRegularExpression("\\n\\s+1\\s+0\\s+image\\s+10\\s+10\\s.*\\s14\\s+48\\s").match(list).hasMatch(),
             qPrintable(list));
}

void OstrelTest::failedRunLeavesNoFile_data()
{
    QTest::addColumn<QString>("input");   // "" for a good document
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArray>("rules");   // "" for no rule file
    QTest::addColumn<QString>("output");   // relative to the work folder
    QTest::addColumn<QString>("named");   // the file the message names

    QTest::newRow("not a PDF") << "notes.pdf" << "-tesome" << QByteArray("\r\n") << "out.pdf" << "notes.pdf";
    QTest::newRow("damaged") << "cut.pdf" << "-tesome" << QByteArray("\r\n") << "out.pdf" << "cut.pdf";
    QTest::newRow("password") << GRIDMOLT_SAMPLES_DIR "/encrypted.pdf" << "-tesome" << QByteArray("\r\n") << "out.pdf"
                              << "encrypted.pdf";
    QTest::newRow("a page saving 200,000 graphics states")
        << GRIDMOLT_SOURCE_DIR "/tests/data/hostile/nested-states.pdf" << "-tesome"
        << QByteArray("1-0-0-9999-9999:x:y\r\n") << "out.pdf" << "nested-states.pdf";
    QTest::newRow("malformed line, stale output removed")
        << "" << "-tesome" << QByteArray("1-40-88-30-14:Alpha:A\r\n1-x-2-3-4:a:b\r\n") << "stale.pdf" << "rules.txt";
    QTest::newRow("missing picture") << "" << "-pisome" << QByteArray("1:40:88:(nowhere.png):10:10\r\n") << "out.pdf"
                                     << "nowhere.png";
    QTest::newRow("picture not an image") << "" << "-pisome" << QByteArray("1:40:88:(notes.pdf):10:10\r\n")
                                          << "out.pdf" << "notes.pdf";
    QTest::newRow("zero height") << "" << "-pisome" << QByteArray("1:40:88:(pic.png):10:0\r\n") << "out.pdf"
                                 << "rules.txt";
    QTest::newRow("no rule file") << "" << "-tesome" << QByteArray() << "out.pdf" << "rules.txt";
    QTest::newRow("output folder missing") << "" << "-tesome" << QByteArray("\r\n") << "gone/out.pdf" << "gone/out.pdf";
    QTest::newRow("output folder read-only") << "" << "-tesome" << QByteArray("\r\n") << "locked/out.pdf"
                                             << "locked/out.pdf";
    QTest::newRow("unknown option") << "" << "-other" << QByteArray("\r\n") << "out.pdf" << "usage";
}

void OstrelTest::failedRunLeavesNoFile()
{
    QFETCH(QString, input);
    QFETCH(QString, option);
    QFETCH(QByteArray, rules);
    QFETCH(QString, output);
    QFETCH(QString, named);
    if (output.startsWith("locked") && geteuid() == 0)
        QSKIP("permissions do not stop the superuser");
    QTemporaryDir work;
    const QDir d(work.path());
    QVERIFY(writeFile(d.filePath("notes.pdf"), "not a document\n"));
    const QByteArray good = pdfWithPages({{0, QRectF(0, 0, 700, 800)}});
    QVERIFY(writeFile(d.filePath("good.pdf"), good));
    QVERIFY(writeFile(d.filePath("cut.pdf"), good.left(good.size() / 3)));
    QVERIFY(QImage(4, 4, QImage::Format_RGB32).save(d.filePath("pic.png")));
    QVERIFY(writeFile(d.filePath("stale.pdf"), good));
    QVERIFY(d.mkpath("locked") && QFile::setPermissions(d.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner));
    if (!rules.isEmpty())
        QVERIFY(writeFile(d.filePath("rules.txt"), rules));
    QStringList filesBefore = d.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    QProcess p;
    p.setWorkingDirectory(work.path());
    p.start(QStringLiteral(GRIDMOLT_APP_DIR "/Ostrel.dll"),
            {input.isEmpty() ? "good.pdf" : input, option, output, "rules.txt"});
    QVERIFY(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError()).trimmed();
    QVERIFY(p.exitCode() != 0);
    QVERIFY2(!err.contains('\n') && err.contains(named), qPrintable(err));
    QVERIFY(!QFileInfo::exists(d.filePath(output)));
    // Nothing new in the folder (no temporary file); a stale output is gone.
    filesBefore.removeAll(output);
    QCOMPARE(d.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), filesBefore);
    QVERIFY(QDir(d.filePath("locked")).isEmpty());
    QFile::setPermissions(d.filePath("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void OstrelTest::awkwardPathsWork()
{
    const QDir d(dir_.path());
    QVERIFY(d.mkpath(QStringLiteral("a \"b\" #1 %20 ü")));
    const QString folder = d.filePath(QStringLiteral("a \"b\" #1 %20 ü")) + '/';
    const QString in = folder + QStringLiteral("in #%ü.pdf"), out = folder + QStringLiteral("out \"ü\".pdf");
    const QString rules = folder + "rules %s.txt", picture = folder + QStringLiteral("pic): ü.png");
    QVERIFY(writeFile(in, pdfWithPages({{0, QRectF(0, 0, 700, 800)}})));
    QVERIFY(QImage(4, 4, QImage::Format_RGB32).save(picture, "png"));
    const Word *alpha = find(words(in, 1), "Alpha");
    QVERIFY(alpha);
    QVERIFY(writeFile(rules, QStringLiteral("1:%1:%2:(%3):10:10\r\n")
                                 .arg(qRound(alpha->box.left())).arg(qRound(alpha->box.top())).arg(picture).toUtf8()));
    const Result r = ostrel(in, "-pisome", out, rules);
    QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), r.err.constData());
    QVERIFY(!find(words(out, 1), "Alpha"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 4);   // no temporary file left
}

QTEST_GUILESS_MAIN(OstrelTest)
#include "ostrel_test.moc"
