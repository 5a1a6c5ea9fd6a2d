#include "testfiles.h"
#include "textlayer.h"

#include <QtTest>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>

// The converter program as the import starts it: command line, page files,
// positions in points, rows, refusals and failures.
class RendrixTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wordsComeBackAtTheirPositions();
    void wordsOfOnePrintedLineShareTopAndHeight();
    void outputDoesNotDependOnThreadCount();
    void samples_data();
    void samples();
    void sampleTableRowsAreAligned();
    void refusedDocuments_data();
    void refusedDocuments();
    void pageThatFailsAloneIsBlank();
    void cropBoxAndRotationGiveThePageAsShown_data();
    void cropBoxAndRotationGiveThePageAsShown();
    void awkwardPathsWork();
    void oldPageFilesAreOverwritten();
    void wrongCommandLineIsRefused();

private:
    struct Result
    {
        int exitCode = -1;
        bool crashed = true;
        QByteArray err;
    };
    struct PlacedText
    {
        QString text;
        QRectF box;   // expected box in points
    };

    static QString program() { return QStringLiteral(GRIDMOLT_APP_DIR "/rendrix"); }
    static QString sample(const char *name)
    {
        return QStringLiteral(GRIDMOLT_SAMPLES_DIR "/") + QLatin1String(name) + QStringLiteral(".pdf");
    }
    static Result run(const QStringList &args, const QString &threads = QString());
    static Result convert(const QString &pdf, const QString &dir, const QString &threads = QString())
    {
        return run({"-htmlformat", pdf, dir + "/text.xml"}, threads);
    }
    static QString pageFile(const QString &dir, int page, const char *suffix)
    {
        return dir + QStringLiteral("/text_pg_%1.").arg(page, 4, 10, QLatin1Char('0')) + QLatin1String(suffix);
    }
    static int pageFilesIn(const QString &dir)
    {
        return QDir(dir).entryList({"text_pg_*"}, QDir::Files).size();
    }
    static Alltext readPage(const QString &dir, int page)
    {
        QFile file(pageFile(dir, page, "htm"));
        if (!file.open(QIODevice::ReadOnly))
            return Alltext();
        return TextLayer::parsePage(file.readAll());
    }
    static const Subtext *findRun(const Alltext &page, const QString &text)
    {
        for (const Subtext &run : page.subtext) {
            if (run.text == text)
                return &run;
        }
        return nullptr;
    }
    // A PDF of the given objects (numbered from 1, the first the catalog)
    // with a correct cross-reference table.
    static QByteArray pdfOf(const QVector<QByteArray> &objects)
    {
        QByteArray pdfBytes = "%PDF-1.4\n";
        QVector<int> offsets;
        for (int i = 0; i < objects.size(); ++i) {
            offsets.append(pdfBytes.size());
            pdfBytes += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
        }
        const int xref = pdfBytes.size();
        pdfBytes += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
        for (int offset : offsets)
            pdfBytes += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
        pdfBytes += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
            + QByteArray::number(xref) + "\n%%EOF\n";
        return pdfBytes;
    }
    // Writes one page per entry of `pages`, each word drawn on its baseline.
    struct DrawnWord
    {
        QString text;
        double x, baseline;
        int pixelSize;
    };
    static QVector<QVector<PlacedText>> writePdf(const QString &path, const QSizeF &pagePoints,
                                                 const QVector<QVector<DrawnWord>> &pages);
};

RendrixTest::Result RendrixTest::run(const QStringList &args, const QString &threads)
{
    QProcess process;
    if (!threads.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("RENDRIX_THREADS", threads);
        process.setProcessEnvironment(env);
    }
    process.start(program(), args);
    Result result;
    if (!process.waitForFinished(120000))
        return result;
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.err = process.readAllStandardError();
    return result;
}

QVector<QVector<RendrixTest::PlacedText>> RendrixTest::writePdf(
    const QString &path, const QSizeF &pagePoints, const QVector<QVector<DrawnWord>> &pages)
{
    QVector<QVector<PlacedText>> expected;
    QPdfWriter writer(path);
    writer.setResolution(72);   // one painter unit is one point
    writer.setPageSize(QPageSize(pagePoints, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    for (int p = 0; p < pages.size(); ++p) {
        if (p > 0)
            writer.newPage();
        QVector<PlacedText> placed;
        for (const DrawnWord &w : pages[p]) {
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(w.pixelSize);
            painter.setFont(font);
            painter.drawText(QPointF(w.x, w.baseline), w.text);
            const QFontMetricsF metrics(font, &writer);
            placed.append({w.text, QRectF(w.x, w.baseline - metrics.ascent(),
                                          metrics.horizontalAdvance(w.text),
                                          metrics.ascent() + metrics.descent())});
        }
        expected.append(placed);
    }
    painter.end();
    return expected;
}

void RendrixTest::initTestCase()
{
    QVERIFY2(QFileInfo(program()).isExecutable(), qPrintable(program()));
}

void RendrixTest::wordsComeBackAtTheirPositions()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("known.pdf");
    const QVector<QVector<PlacedText>> expected = writePdf(pdf, QSizeF(400, 300), {
        {{"Alpha", 40, 60, 12}, {"Beta", 200, 60, 12}, {"Gamma", 40, 150, 20}, {"Delta", 300, 250, 9}},
        {{"Second", 100, 100, 14}},
    });
    QCOMPARE(convert(pdf, dir.path()).exitCode, 0);
    QCOMPARE(pageFilesIn(dir.path()), 4);

    for (int p = 0; p < expected.size(); ++p) {
        const QImage image(pageFile(dir.path(), p + 1, "png"));
        QCOMPARE(image.size(), QSize(400, 300));   // 72 dpi: one pixel per point
        const Alltext page = readPage(dir.path(), p + 1);
        QCOMPARE(page.count, expected[p].size());
        for (const PlacedText &want : expected[p]) {
            const Subtext *run = findRun(page, want.text);
            QVERIFY2(run, qPrintable(want.text));
            QVERIFY2(qAbs(run->x - want.box.left()) <= 1, qPrintable(want.text));
            QVERIFY2(qAbs(run->x + run->width - want.box.right()) <= 1, qPrintable(want.text));
            QVERIFY2(qAbs(run->y - want.box.top()) <= 1.5, qPrintable(want.text));
            QVERIFY2(qAbs(run->y + run->height - want.box.bottom()) <= 1.5, qPrintable(want.text));
            // The word's ink lies inside its box on the page image.
            const QRect box(run->x, run->y, run->width, run->height);
            bool ink = false;
            for (int y = box.top(); y <= box.bottom() && !ink; ++y)
                for (int x = box.left(); x <= box.right() && !ink; ++x)
                    ink = qGray(image.pixel(x, y)) < 128;
            QVERIFY2(ink, qPrintable(want.text));
        }
    }
}

void RendrixTest::wordsOfOnePrintedLineShareTopAndHeight()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("rows.pdf");
    // A label, its value a point higher, a bigger figure on the same baseline,
    // and the next printed line 16 points further down.
    writePdf(pdf, QSizeF(500, 200), {{
        {"Total", 30, 50, 12}, {"1,234.50", 200, 49, 12}, {"EUR", 300, 50, 13},
        {"Next", 30, 66, 12}, {"row", 200, 66, 12},
    }});
    QCOMPARE(convert(pdf, dir.path()).exitCode, 0);
    const Alltext page = readPage(dir.path(), 1);
    QCOMPARE(page.count, 5);
    const Subtext *total = findRun(page, "Total");
    const Subtext *value = findRun(page, "1,234.50");
    const Subtext *unit = findRun(page, "EUR");
    const Subtext *next = findRun(page, "Next");
    const Subtext *row = findRun(page, "row");
    QVERIFY(total && value && unit && next && row);
    QCOMPARE(value->y, total->y);
    QCOMPARE(value->height, total->height);
    QCOMPARE(unit->y, total->y);
    QCOMPARE(unit->height, total->height);
    QCOMPARE(row->y, next->y);
    QCOMPARE(row->height, next->height);
    QVERIFY(next->y > total->y + 10);
}

void RendrixTest::outputDoesNotDependOnThreadCount()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("many.pdf");
    QVector<QVector<DrawnWord>> pages;
    for (int p = 0; p < 12; ++p) {
        QVector<DrawnWord> words;
        for (int r = 0; r < 15; ++r)
            for (int c = 0; c < 4; ++c)
                words.append({QStringLiteral("p%1r%2c%3").arg(p).arg(r).arg(c), 20.0 + c * 90,
                              30.0 + r * 16 + (c % 2) * 0.7, 10 + (r % 3)});
        pages.append(words);
    }
    writePdf(pdf, QSizeF(400, 300), pages);
    QDir(dir.path()).mkdir("one");
    QDir(dir.path()).mkdir("many");
    QCOMPARE(convert(pdf, dir.filePath("one"), "1").exitCode, 0);
    QCOMPARE(convert(pdf, dir.filePath("many"), "8").exitCode, 0);
    QCOMPARE(pageFilesIn(dir.filePath("one")), 24);
    QCOMPARE(pageFilesIn(dir.filePath("many")), 24);
    for (int p = 1; p <= 12; ++p) {
        for (const char *suffix : {"htm", "png"}) {
            QFile a(pageFile(dir.filePath("one"), p, suffix));
            QFile b(pageFile(dir.filePath("many"), p, suffix));
            QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            QVERIFY2(a.readAll() == b.readAll(), qPrintable(a.fileName()));
        }
        QCOMPARE(readPage(dir.filePath("many"), p).count, 60);
    }
}

void RendrixTest::samples_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QSize>("imageSize");   // the page as shown, in points
    QTest::addColumn<QString>("someText");
    QTest::newRow("AnimalSounds") << "AnimalSounds" << 1 << QSize(612, 792) << "Animal";
    // Portrait media turned by the page's rotation: shown and measured landscape.
    QTest::newRow("rotated_page") << "rotated_page" << 1 << QSize(816, 636) << "Baseline";
    QTest::newRow("china") << "china" << 1 << QSize(1008, 612) << "China";
    QTest::newRow("arabic") << "arabic" << 1 << QSize(612, 792) << QString();
    QTest::newRow("schools") << "schools" << 5 << QSize(792, 612) << QString();
    QTest::newRow("us-017") << "us-017" << 4 << QSize(612, 792) << QString();
    QTest::newRow("twotables") << "twotables" << 1 << QSize(596, 842) << QString();
    QTest::newRow("argentina") << "argentina_diputados_voting_record" << 1 << QSize(595, 842) << QString();
}

void RendrixTest::samples()
{
    QFETCH(QString, name);
    QFETCH(int, pages);
    QFETCH(QSize, imageSize);
    QFETCH(QString, someText);

    QTemporaryDir dir;
    const Result result = convert(sample(name.toLatin1().constData()), dir.path());
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(pageFilesIn(dir.path()), 2 * pages);

    for (int p = 1; p <= pages; ++p) {
        const QImage image(pageFile(dir.path(), p, "png"));
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), imageSize);

        QFile file(pageFile(dir.path(), p, "htm"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(!bytes.startsWith("\xef\xbb\xbf"));
        QVERIFY(!bytes.contains('\0'));
        QCOMPARE(QString::fromUtf8(bytes).toUtf8(), bytes);   // valid UTF-8

        // Every line is one run with all four numbers set, inside the page,
        // and nearly all words have ink inside their box (some files carry
        // invisible text).
        const Alltext page = TextLayer::parsePage(bytes);
        QCOMPARE(page.count, bytes.count('\n'));
        QVERIFY(page.count > 0);
        int inked = 0;
        for (const Subtext &run : page.subtext) {
            QVERIFY(run.x >= 1 && run.y >= 1 && run.width >= 1 && run.height >= 1);
            QVERIFY(!run.text.isEmpty());
            const QRect box = QRect(run.x, run.y, run.width, run.height) & image.rect();
            bool ink = false;
            for (int y = box.top(); y <= box.bottom() && !ink; ++y)
                for (int x = box.left(); x <= box.right() && !ink; ++x)
                    ink = qGray(image.pixel(x, y)) < 250;
            inked += ink;
        }
        QVERIFY2(inked * 10 >= page.count * 9, qPrintable(QStringLiteral("%1 of %2").arg(inked).arg(page.count)));

        // Every printed line is one row band: no line's extent lies within
        // another's (the extraction would drop it), and no two extents are
        // split copies of one line (centres within half a height).
        QSet<QPair<int, int>> extentSet;
        for (const Subtext &run : page.subtext)
            extentSet.insert({run.y, run.height});
        const QList<QPair<int, int>> extents = extentSet.values();
        for (const auto &a : extents) {
            for (const auto &b : extents) {
                if (a == b)
                    continue;
                const QByteArray what = QStringLiteral("page %1: (%2,%3) and (%4,%5)")
                                            .arg(p).arg(a.first).arg(a.second).arg(b.first).arg(b.second).toUtf8();
                QVERIFY2(!(a.first <= b.first && b.first + b.second <= a.first + a.second), what.constData());
                QVERIFY2(qAbs((2 * a.first + a.second) - (2 * b.first + b.second)) > qMin(a.second, b.second),
                         what.constData());
            }
        }
        if (p == 1 && !someText.isEmpty())
            QVERIFY(findRun(page, someText));
    }

    // Right-to-left script is kept as text.
    const Alltext first = readPage(dir.path(), 1);
    QString all;
    for (const Subtext &run : first.subtext)
        all += run.text;
    if (name == "arabic")
        QVERIFY(std::any_of(all.begin(), all.end(), [](QChar c) { return c.script() == QChar::Script_Arabic; }));
}

void RendrixTest::sampleTableRowsAreAligned()
{
    QTemporaryDir dir;
    QCOMPARE(convert(sample("AnimalSounds"), dir.path()).exitCode, 0);
    const Alltext page = readPage(dir.path(), 1);
    for (const QStringList &row : {QStringList{"Animal", "Action", "Result"}, QStringList{"Cat", "Says", "Meow"}}) {
        const Subtext *first = findRun(page, row[0]);
        QVERIFY2(first, qPrintable(row[0]));
        for (const QString &text : row) {
            const Subtext *run = findRun(page, text);
            QVERIFY2(run, qPrintable(text));
            QCOMPARE(run->y, first->y);
            QCOMPARE(run->height, first->height);
        }
    }
    QVERIFY(findRun(page, "Cat")->y > findRun(page, "Animal")->y);
}

void RendrixTest::refusedDocuments_data()
{
    QTest::addColumn<QByteArray>("content");   // empty: use the encrypted sample
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("password-protected") << QByteArray() << "password";
    QTest::newRow("not a PDF") << QByteArray("just some text\n") << "damaged";
    QTest::newRow("empty file") << QByteArray("\n") << "damaged";
    QTest::newRow("header only") << QByteArray("%PDF-1.4\n%%EOF\n") << "";
    QFile schools(sample("schools"));
    QVERIFY(schools.open(QIODevice::ReadOnly));
    QTest::newRow("truncated") << schools.read(3000) << "";
}

void RendrixTest::refusedDocuments()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, messagePart);
    QTemporaryDir dir;
    QString pdf = sample("encrypted");
    if (!content.isEmpty()) {
        pdf = dir.filePath("bad.pdf");
        QVERIFY(writeFile(pdf, content));
    }
    const Result result = convert(pdf, dir.path());
    QVERIFY(!result.crashed);
    QVERIFY(result.exitCode != 0);
    QVERIFY(result.err.contains("rendrix:"));
    QVERIFY2(result.err.contains(messagePart.toUtf8()), result.err.constData());
    QCOMPARE(pageFilesIn(dir.path()), 0);
}

void RendrixTest::pageThatFailsAloneIsBlank()
{
    // Three pages by count; the page tree's second entry is no page at all,
    // so one of the three cannot be read.
    QVector<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 6 0 R 7 0 R] /Count 3 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R"
        " /Resources << /Font << /F1 5 0 R >> >> >>",
        "",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "(not a page)",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R"
        " /Resources << /Font << /F1 5 0 R >> >> >>",
    };
    const QByteArray content = "BT /F1 12 Tf 50 150 Td (Hello) Tj ET";
    objects[3] = "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
    QTemporaryDir dir;
    const QString pdf = dir.filePath("kids.pdf");
    QVERIFY(writeFile(pdf, pdfOf(objects)));
    QCOMPARE(convert(pdf, dir.path()).exitCode, 0);
    QCOMPARE(pageFilesIn(dir.path()), 6);
    int blank = 0;
    for (int p = 1; p <= 3; ++p) {
        const Alltext page = readPage(dir.path(), p);
        QImage image(pageFile(dir.path(), p, "png"));
        QVERIFY(!image.isNull());
        image = image.convertToFormat(QImage::Format_RGB32);
        bool white = true;
        for (int y = 0; y < image.height() && white; ++y)
            for (int x = 0; x < image.width() && white; ++x)
                white = image.pixel(x, y) == qRgb(255, 255, 255);
        if (page.count == 0 && white) {
            ++blank;
        } else {
            QCOMPARE(page.count, 1);
            QCOMPARE(page.subtext[0].text, QStringLiteral("Hello"));
            QCOMPARE(image.size(), QSize(300, 200));
        }
    }
    QCOMPARE(blank, 1);
    QCOMPARE(readPage(dir.path(), 1).count, 1);
}

void RendrixTest::cropBoxAndRotationGiveThePageAsShown_data()
{
    QTest::addColumn<QByteArray>("pageBoxes");
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QRect>("wordBox");   // where "Hello" stands on the page as shown

    // "Hello" in 12-point Helvetica, baseline at (50, 150) of a 300 x 200
    // media box: about 27 points wide, ascent 9, descent 2.
    QTest::newRow("media box") << QByteArray() << QSize(300, 200) << QRect(50, 41, 27, 11);
    QTest::newRow("crop box") << QByteArray("/CropBox [20 30 300 200]") << QSize(280, 170)
                              << QRect(30, 41, 27, 11);
    QTest::newRow("crop box turned 90") << QByteArray("/CropBox [20 30 300 200] /Rotate 90")
                                        << QSize(170, 280) << QRect(118, 30, 11, 27);
    QTest::newRow("turned 270") << QByteArray("/Rotate 270") << QSize(200, 300) << QRect(41, 223, 11, 27);
}

void RendrixTest::cropBoxAndRotationGiveThePageAsShown()
{
    QFETCH(QByteArray, pageBoxes);
    QFETCH(QSize, imageSize);
    QFETCH(QRect, wordBox);

    const QByteArray content = "BT /F1 12 Tf 50 150 Td (Hello) Tj ET";
    const QVector<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] " + pageBoxes
            + " /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    QTemporaryDir dir;
    const QString pdf = dir.filePath("boxes.pdf");
    QVERIFY(writeFile(pdf, pdfOf(objects)));
    QCOMPARE(convert(pdf, dir.path()).exitCode, 0);
    const QImage image(pageFile(dir.path(), 1, "png"));
    QCOMPARE(image.size(), imageSize);
    const Alltext page = readPage(dir.path(), 1);
    QCOMPARE(page.count, 1);
    const Subtext &run = page.subtext[0];
    QCOMPARE(run.text, QStringLiteral("Hello"));
    const QByteArray got = QStringLiteral("(%1, %2, %3, %4)").arg(run.x).arg(run.y).arg(run.width).arg(run.height).toUtf8();
    QVERIFY2(qAbs(run.x - wordBox.x()) <= 1 && qAbs(run.y - wordBox.y()) <= 1, got.constData());
    QVERIFY2(qAbs(run.width - wordBox.width()) <= 1 && qAbs(run.height - wordBox.height()) <= 1, got.constData());
    // The ink of the word lies inside its box on the image.
    int inside = 0, outside = 0;
    const QRect box(run.x, run.y, run.width, run.height);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                ++(box.adjusted(-1, -1, 1, 1).contains(x, y) ? inside : outside);
    QVERIFY(inside > 20);
    QCOMPARE(outside, 0);
}

void RendrixTest::awkwardPathsWork()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QString::fromUtf8("out \"q\" #1 %20 \xc3\xa9t\xc3\xa9"));
    QVERIFY(QDir().mkpath(folder));
    const QString pdf = folder + QString::fromUtf8("/my \"table\" #2 ?\xe4\xb8\xad.pdf");
    QVERIFY(QFile::copy(sample("AnimalSounds"), pdf));
    QCOMPARE(convert(pdf, folder).exitCode, 0);
    QVERIFY(findRun(readPage(folder, 1), "Animal"));
    QVERIFY(QImage(pageFile(folder, 1, "png")).width() > 0);
}

void RendrixTest::oldPageFilesAreOverwritten()
{
    QTemporaryDir dir;
    QFile old(pageFile(dir.path(), 1, "htm"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
    old.close();
    QCOMPARE(convert(sample("AnimalSounds"), dir.path()).exitCode, 0);
    const Alltext page = readPage(dir.path(), 1);
    QVERIFY(findRun(page, "Animal"));
    QVERIFY(QFileInfo(old.fileName()).size() < 100000);
}

void RendrixTest::wrongCommandLineIsRefused()
{
    QTemporaryDir dir;
    for (const QStringList &args : {QStringList{}, QStringList{"-htmlformat", sample("AnimalSounds")},
                                    QStringList{"-other", sample("AnimalSounds"), dir.filePath("text.xml")}}) {
        const Result result = run(args);
        QVERIFY(!result.crashed);
        QVERIFY(result.exitCode != 0);
        QVERIFY(!result.err.isEmpty());
    }
    // The folder of the third argument must exist.
    const Result missing = convert(sample("AnimalSounds"), dir.filePath("no/such/folder"));
    QVERIFY(missing.exitCode != 0);
    QVERIFY(!missing.err.isEmpty());
    QCOMPARE(pageFilesIn(dir.path()), 0);
}

QTEST_MAIN(RendrixTest)
#include "rendrix_test.moc"
