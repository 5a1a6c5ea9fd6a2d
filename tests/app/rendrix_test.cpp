#include "converterruns.h"
#include "testfiles.h"
#include "textlayer.h"

#include <QtTest>

#include <algorithm>

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

// The converter as the import starts it: page images and text layers, word
// positions in points, rows of printed lines, the page as shown. Its command
// line and failures are tested with Dorcet.dll, which shares its engine.
class RendrixTest : public QObject
{
    Q_OBJECT

private slots:
    void outputDoesNotDependOnThreadsOrMemoryShare();
    void samples_data();
    void samples();
    void pageThatFailsAloneIsBlank();
    void cropBoxAndRotationGiveThePageAsShown_data();
    void cropBoxAndRotationGiveThePageAsShown();
    void pageNamesAreReplacedNeverFollowed();

private:
    static QString sample(const char *name)
    {
        return QStringLiteral(GRIDMOLT_SAMPLES_DIR "/") + QLatin1String(name) + QStringLiteral(".pdf");
    }
    static ConverterRun convert(const QString &pdf, const QString &dir, const QStringList &env = {})
    {
        return runConverter("rendrix", {"-htmlformat", pdf, dir + "/text.xml"}, env);
    }
    static QString pageFile(const QString &dir, int page, const char *suffix)
    {
        return dir + QStringLiteral("/text_pg_%1.").arg(page, 4, 10, QLatin1Char('0')) + QLatin1String(suffix);
    }
    static Alltext readPage(const QString &dir, int page)
    {
        return TextLayer::parsePage(readAll(pageFile(dir, page, "htm")));
    }
    static const Subtext *findRun(const Alltext &page, const QString &text)
    {
        for (const Subtext &run : page.subtext) {
            if (run.text == text)
                return &run;
        }
        return nullptr;
    }
    // Whether some pixel of the box is darker than `gray`.
    static bool inked(const QImage &image, const QRect &box, int gray)
    {
        const QRect inside = box & image.rect();
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                if (qGray(image.pixel(x, y)) < gray)
                    return true;
        return false;
    }
    // One page of 300 x 200 points: "Hello" in 12-point Helvetica, baseline
    // at (50, 150), with further page box entries.
    static QVector<QByteArray> helloPage(const QByteArray &pageBoxes)
    {
        const QByteArray content = "BT /F1 12 Tf 50 150 Td (Hello) Tj ET";
        return {"<< /Type /Catalog /Pages 2 0 R >>",
                "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] " + pageBoxes
                    + " /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
                "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
                "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    }
};

void RendrixTest::outputDoesNotDependOnThreadsOrMemoryShare()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("one") && QDir(dir.path()).mkdir("many"));
    const QString one = dir.filePath("one"), many = dir.filePath("many");
    QCOMPARE(convert(sample("schools"), one, {"RENDRIX_THREADS=1"}).exitCode, 0);
    // Room for the images of about two pages at once.
    QCOMPARE(convert(sample("schools"), many, {"RENDRIX_THREADS=8", "RENDRIX_MEMORY_MB=16"}).exitCode, 0);
    for (int p = 1; p <= 5; ++p) {
        for (const char *suffix : {"htm", "png"})
            QVERIFY2(readAll(pageFile(one, p, suffix)) == readAll(pageFile(many, p, suffix)), suffix);
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
    QCOMPARE(convert(sample(name.toLatin1().constData()), dir.path()).exitCode, 0);
    QCOMPARE(entriesIn(dir.path()).size(), 2 * pages);

    for (int p = 1; p <= pages; ++p) {
        const QImage image(pageFile(dir.path(), p, "png"));
        QCOMPARE(image.size(), imageSize);
        const QByteArray bytes = readAll(pageFile(dir.path(), p, "htm"));
        QVERIFY(!bytes.startsWith("\xef\xbb\xbf") && !bytes.contains('\0'));
        QCOMPARE(QString::fromUtf8(bytes).toUtf8(), bytes);   // valid UTF-8

        // Every line is one run with all four numbers set, and nearly all
        // words have ink in their box (some files carry invisible text).
        const Alltext page = TextLayer::parsePage(bytes);
        QCOMPARE(page.count, bytes.count('\n'));
        QVERIFY(page.count > 0);
        int inkedRuns = 0;
        QSet<QPair<int, int>> extentSet;
        for (const Subtext &run : page.subtext) {
            QVERIFY(run.x >= 1 && run.y >= 1 && run.width >= 1 && run.height >= 1 && !run.text.isEmpty());
            inkedRuns += inked(image, QRect(run.x, run.y, run.width, run.height), 250);
            extentSet.insert({run.y, run.height});
        }
        QVERIFY2(inkedRuns * 10 >= page.count * 9,
                 qPrintable(QStringLiteral("%1 of %2").arg(inkedRuns).arg(page.count)));

        // Every printed line is one row band: no line's extent lies within
        // another's (the extraction would drop it), and no two extents are
        // split copies of one line (centres within half a height).
        const QList<QPair<int, int>> extents = extentSet.values();
        for (const auto &a : extents) {
            for (const auto &b : extents) {
                const QByteArray what = QStringLiteral("page %1: (%2,%3) and (%4,%5)")
                                            .arg(p).arg(a.first).arg(a.second).arg(b.first).arg(b.second).toUtf8();
                QVERIFY2(a == b || !(a.first <= b.first && b.first + b.second <= a.first + a.second), what.constData());
                QVERIFY2(a == b || qAbs((2 * a.first + a.second) - (2 * b.first + b.second)) > qMin(a.second, b.second),
                         what.constData());
            }
        }
        if (p == 1 && !someText.isEmpty())
            QVERIFY(findRun(page, someText));
    }
    // Right-to-left script is kept as text.
    const QString first = QString::fromUtf8(readAll(pageFile(dir.path(), 1, "htm")));
    QVERIFY(name != "arabic"
            || std::any_of(first.begin(), first.end(), [](QChar c) { return c.script() == QChar::Script_Arabic; }));
}

void RendrixTest::pageThatFailsAloneIsBlank()
{
    // Three pages by count; the page tree's second entry is no page at all,
    // so one of the three cannot be read.
    QVector<QByteArray> objects = helloPage(QByteArray());
    objects[1] = "<< /Type /Pages /Kids [3 0 R 6 0 R 3 0 R] /Count 3 >>";
    objects.append("(not a page)");
    QTemporaryDir dir;
    const QString pdf = dir.filePath("kids.pdf");
    QVERIFY(writeFile(pdf, pdfOf(objects)));
    QCOMPARE(convert(pdf, dir.path()).exitCode, 0);
    int blank = 0;
    for (int p = 1; p <= 3; ++p) {
        const Alltext page = readPage(dir.path(), p);
        const QImage image = QImage(pageFile(dir.path(), p, "png")).convertToFormat(QImage::Format_RGB32);
        if (page.count == 0 && !image.isNull() && !inked(image, image.rect(), 255)) {
            ++blank;
        } else {
            QCOMPARE(page.count, 1);
            QCOMPARE(page.subtext[0].text, QStringLiteral("Hello"));
            QCOMPARE(image.size(), QSize(300, 200));
        }
    }
    QCOMPARE(blank, 1);
}

void RendrixTest::cropBoxAndRotationGiveThePageAsShown_data()
{
    QTest::addColumn<QByteArray>("pageBoxes");
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QRect>("wordBox");   // where "Hello" stands on the page as shown

    // "Hello" is about 27 points wide, ascent 9, descent 2.
    QTest::newRow("media box") << QByteArray() << QSize(300, 200) << QRect(50, 41, 27, 11);
    QTest::newRow("crop box") << QByteArray("/CropBox [20 30 300 200]") << QSize(280, 170) << QRect(30, 41, 27, 11);
    QTest::newRow("crop box turned 90") << QByteArray("/CropBox [20 30 300 200] /Rotate 90") << QSize(170, 280)
                                        << QRect(118, 30, 11, 27);
    QTest::newRow("turned 270") << QByteArray("/Rotate 270") << QSize(200, 300) << QRect(41, 223, 11, 27);
}

void RendrixTest::cropBoxAndRotationGiveThePageAsShown()
{
    QFETCH(QByteArray, pageBoxes);
    QFETCH(QSize, imageSize);
    QFETCH(QRect, wordBox);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("boxes.pdf");
    QVERIFY(writeFile(pdf, pdfOf(helloPage(pageBoxes))));
    QCOMPARE(convert(pdf, dir.path()).exitCode, 0);
    const QImage image(pageFile(dir.path(), 1, "png"));
    QCOMPARE(image.size(), imageSize);
    const Alltext page = readPage(dir.path(), 1);
    QCOMPARE(page.count, 1);
    const Subtext &run = page.subtext[0];
    QCOMPARE(run.text, QStringLiteral("Hello"));
    const QRect box(run.x, run.y, run.width, run.height);
    const QByteArray got =
        QStringLiteral("(%1, %2, %3, %4)").arg(run.x).arg(run.y).arg(run.width).arg(run.height).toUtf8();
    QVERIFY2(qAbs(box.x() - wordBox.x()) <= 1 && qAbs(box.y() - wordBox.y()) <= 1
                 && qAbs(box.width() - wordBox.width()) <= 1 && qAbs(box.height() - wordBox.height()) <= 1,
             got.constData());
    // All the word's ink lies inside its box on the image.
    QVERIFY(inked(image, box, 128));
    QImage outside = image.convertToFormat(QImage::Format_RGB32);
    QPainter(&outside).fillRect(box.adjusted(-1, -1, 1, 1), Qt::white);
    QVERIFY(!inked(outside, outside.rect(), 128));
}

void RendrixTest::pageNamesAreReplacedNeverFollowed()
{
    // A longer earlier text layer, and a symbolic link planted at the page
    // image's name pointing at somebody's file.
    QTemporaryDir dir, other;
    QVERIFY(writeFile(pageFile(dir.path(), 1, "htm"), QByteArray(100000, 'x')));
    const QString victim = other.filePath("victim.txt");
    QVERIFY(writeFile(victim, "keep me"));
    QVERIFY(QFile::link(victim, pageFile(dir.path(), 1, "png")));
    QCOMPARE(convert(sample("AnimalSounds"), dir.path()).exitCode, 0);
    QVERIFY(findRun(readPage(dir.path(), 1), "Animal"));
    QVERIFY(QFileInfo(pageFile(dir.path(), 1, "htm")).size() < 100000);
    QVERIFY(!QFileInfo(pageFile(dir.path(), 1, "png")).isSymLink());
    QCOMPARE(QImage(pageFile(dir.path(), 1, "png")).size(), QSize(612, 792));
    QCOMPARE(readAll(victim), QByteArray("keep me"));
}

QTEST_MAIN(RendrixTest)
#include "rendrix_test.moc"
