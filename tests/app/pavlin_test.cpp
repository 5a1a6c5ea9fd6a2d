#include "testfiles.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <unistd.h>

// The PDF tool as the application starts it: page counts and page ranges,
// checked with PDF readers we did not write (pdfinfo, pdftotext, pdfimages,
// pdffonts, qpdf).
class PavlinTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void samplesAreCountedAndCutAsReadersSeeThem();
    void rangesTakeTheNamedPagesInOrder_data();
    void rangesTakeTheNamedPagesInOrder();
    void linksFollowTheirPages_data();
    void linksFollowTheirPages();
    void restrictedDocumentIsCountedButNotCut();
    void failuresLeaveNoFile_data();
    void failuresLeaveNoFile();
    void failedRunInPlaceKeepsItsInput();
    void awkwardPathsWork();

private:
    struct Result
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    static QString program() { return QStringLiteral(GRIDMOLT_APP_DIR "/Pavlin.dll"); }
    static QString sample(const QString &name) { return QStringLiteral(GRIDMOLT_SAMPLES_DIR "/") + name; }
    static Result run(const QString &executable, const QStringList &args);
    static Result pavlin(const QStringList &args) { return run(program(), args); }
    // The page count pdfinfo reads, or -1 when it cannot read the file.
    static int pdfinfoPages(const QString &pdf);
    static QString pageText(const QString &pdf, int page);
    static int listedRows(const QString &tool, const QString &pdf);
    static bool qpdfAccepts(const QString &pdf) { return run("qpdf", {"--check", pdf}).exitCode == 0; }
    static QStringList filesIn(const QString &dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden); }
    static QByteArray pdfOf(const QVector<QByteArray> &objects);
};

PavlinTest::Result PavlinTest::run(const QString &executable, const QStringList &args)
{
    QProcess process;
    process.start(executable, args);
    Result result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

int PavlinTest::pdfinfoPages(const QString &pdf)
{
    const Result info = run("pdfinfo", {pdf});
    const QRegularExpressionMatch m = QRegularExpression("^Pages:\\s+(\\d+)$", QRegularExpression::MultilineOption)
                                          .match(QString::fromUtf8(info.out));
    return info.exitCode == 0 && m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString PavlinTest::pageText(const QString &pdf, int page)
{
    const QString n = QString::number(page);
    return QString::fromUtf8(run("pdftotext", {"-f", n, "-l", n, pdf, "-"}).out).trimmed();
}

// Rows of a listing tool's table (pdfimages -list, pdffonts), after its two
// heading lines.
int PavlinTest::listedRows(const QString &tool, const QString &pdf)
{
    const QStringList args = tool == "pdfimages" ? QStringList{"-list", pdf} : QStringList{pdf};
    return QString::fromUtf8(run(tool, args).out).split('\n', Qt::SkipEmptyParts).size() - 2;
}

// A PDF of the given objects (numbered from 1, the first the catalog) with a
// correct cross-reference table.
QByteArray PavlinTest::pdfOf(const QVector<QByteArray> &objects)
{
    QByteArray bytes = "%PDF-1.4\n";
    QVector<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(bytes.size());
        bytes += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const int xref = bytes.size();
    bytes += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (int offset : offsets)
        bytes += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    bytes += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return bytes;
}

void PavlinTest::initTestCase()
{
    QVERIFY2(QFileInfo(program()).isExecutable(), qPrintable(program()));
    for (const char *tool : {"pdfinfo", "pdftotext", "pdfimages", "pdffonts", "qpdf"})
        QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), tool);
}

// Every sample: the count pdfinfo reads, or a refusal where pdfinfo cannot
// open it either; and the whole document backwards keeps each page's text,
// images and fonts.
void PavlinTest::samplesAreCountedAndCutAsReadersSeeThem()
{
    const QStringList samples = QDir(GRIDMOLT_SAMPLES_DIR).entryList({"*.pdf"}, QDir::Files);
    QVERIFY(samples.size() >= 5);
    QTemporaryDir dir;
    int counted = 0;
    for (const QString &name : samples) {
        const QString pdf = sample(name);
        const QString info = dir.filePath("fileinfo.txt");
        const QString cut = dir.filePath("cut.pdf");
        const int pages = pdfinfoPages(pdf);
        const Result result = pavlin({pdf, "-getinfo", "-outfile", info});
        if (pages < 0) {
            QVERIFY2(result.exitCode == 1 && result.err.contains(name.toUtf8()), qPrintable(name));
            QVERIFY2(!QFile::exists(info), qPrintable(name));
            continue;
        }
        ++counted;
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(readAll(info), "NumberOfPages: " + QByteArray::number(pages) + "\n");

        QCOMPARE(pavlin({pdf, "-merge", QStringLiteral("%1-1").arg(pages), "-outfile", cut}).exitCode, 0);
        QVERIFY2(qpdfAccepts(cut), qPrintable(name));
        QCOMPARE(pdfinfoPages(cut), pages);
        for (int p = 1; p <= pages; ++p)
            QVERIFY2(pageText(cut, p) == pageText(pdf, pages + 1 - p), qPrintable(name));
        QVERIFY2(listedRows("pdfimages", cut) == listedRows("pdfimages", pdf), qPrintable(name));
        QVERIFY2(listedRows("pdffonts", cut) == listedRows("pdffonts", pdf), qPrintable(name));
    }
    QVERIFY(counted >= samples.size() - 1);
}

void PavlinTest::rangesTakeTheNamedPagesInOrder_data()
{
    QTest::addColumn<QStringList>("range");   // as the arguments arrive
    QTest::addColumn<QVector<int>>("pages");

    QTest::newRow("spans and pages") << QStringList{"1-3,7,10-12"} << QVector<int>{1, 2, 3, 7, 10, 11, 12};
    QTest::newRow("split at blanks") << QStringList{"1-3,", "7"} << QVector<int>{1, 2, 3, 7};
    QTest::newRow("blanks around hyphen") << QStringList{"2", "-", "4"} << QVector<int>{2, 3, 4};
    QTest::newRow("backwards") << QStringList{"12-10,1"} << QVector<int>{12, 11, 10, 1};
    QTest::newRow("page twice") << QStringList{"5,5"} << QVector<int>{5, 5};
    QTest::newRow("last page") << QStringList{"12"} << QVector<int>{12};
}

void PavlinTest::rangesTakeTheNamedPagesInOrder()
{
    QFETCH(QStringList, range);
    QFETCH(QVector<int>, pages);

    QTemporaryDir dir;
    const QString pdf = dir.filePath("twelve.pdf");
    {
        QPdfWriter writer(pdf);
        writer.setResolution(72);
        writer.setPageSize(QPageSize(QSizeF(300, 200), QPageSize::Point));
        QPainter painter(&writer);
        painter.setFont(QFont("DejaVu Sans", 12));
        for (int p = 1; p <= 12; ++p) {
            if (p > 1)
                writer.newPage();
            painter.drawText(QPointF(40, 60), QStringLiteral("folio%1").arg(p));
        }
    }
    const QString out = dir.filePath("cut.pdf");
    const Result result = pavlin(QStringList{pdf, "-merge"} + range + QStringList{"-outfile", out});
    QVERIFY2(result.exitCode == 0, result.err.constData());
    QVERIFY(qpdfAccepts(out));
    QCOMPARE(pdfinfoPages(out), pages.size());
    for (int i = 0; i < pages.size(); ++i)
        QCOMPARE(pageText(out, i + 1), QStringLiteral("folio%1").arg(pages[i]));
    QCOMPARE(filesIn(dir.path()), QStringList({"cut.pdf", "twelve.pdf"}));
}

void PavlinTest::linksFollowTheirPages_data()
{
    QTest::addColumn<QString>("range");
    QTest::addColumn<QStringList>("links");   // where each output page's link leads

    // Page 1 links to page 3, page 2 to a web address, page 3 to page 1.
    QTest::newRow("both ends kept") << "3,1" << QStringList{"page 2", "page 1"};
    QTest::newRow("target left out") << "1" << QStringList{"nowhere"};
    QTest::newRow("web link") << "2,3" << QStringList{"http://example.org/", "nowhere"};
}

void PavlinTest::linksFollowTheirPages()
{
    QFETCH(QString, range);
    QFETCH(QStringList, links);

    QVector<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox [0 0 300 200]"
        " /Resources << /Font << /F1 7 0 R >> >> >>",
        "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Annots [8 0 R] >>",
        "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Annots [9 0 R] >>",
        "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Annots [10 0 R] >>",
        "",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Type /Annot /Subtype /Link /Rect [40 40 90 60] /Dest [5 0 R /Fit] >>",
        "<< /Type /Annot /Subtype /Link /Rect [40 40 90 60] /A << /S /URI /URI (http://example.org/) >> >>",
        "<< /Type /Annot /Subtype /Link /Rect [40 40 90 60] /Dest [3 0 R /Fit] >>",
    };
    const QByteArray content = "BT /F1 12 Tf 40 50 Td (Go) Tj ET";
    objects[5] = "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
    QTemporaryDir dir;
    const QString pdf = dir.filePath("links.pdf");
    const QString out = dir.filePath("cut.pdf");
    QVERIFY(writeFile(pdf, pdfOf(objects)));
    QCOMPARE(pavlin({pdf, "-merge", range, "-outfile", out}).exitCode, 0);
    QVERIFY(qpdfAccepts(out));

    const QJsonObject json = QJsonDocument::fromJson(run("qpdf", {"--json=2", out}).out).object();
    const QJsonObject objectsOut = json.value("qpdf").toArray().at(1).toObject();
    const auto value = [&](const QJsonValue &ref) { return objectsOut.value("obj:" + ref.toString()).toObject().value("value"); };
    QStringList pageRefs;
    for (const QJsonValue &page : json.value("pages").toArray())
        pageRefs.append(page.toObject().value("object").toString());
    QStringList got;
    int pageObjects = 0;
    for (const QString &key : objectsOut.keys())
        pageObjects += objectsOut.value(key).toObject().value("value").toObject().value("/Type") == "/Page";
    for (const QString &page : pageRefs) {
        const QJsonObject annot = value(value(page).toObject().value("/Annots").toArray().at(0)).toObject();
        const QJsonValue target = annot.value("/Dest").toArray().at(0);
        if (annot.contains("/A"))
            got.append(annot.value("/A").toObject().value("/URI").toString().remove(QRegularExpression("^u:")));
        else if (pageRefs.contains(target.toString()))
            got.append(QStringLiteral("page %1").arg(pageRefs.indexOf(target.toString()) + 1));
        else if (target.isNull() || value(target).isNull())
            got.append("nowhere");
        else
            got.append("a page outside the document");
    }
    QCOMPARE(got, links);
    // Pages left out are not carried along as unreachable page objects.
    QCOMPARE(pageObjects, links.size());
}

// A document that opens without a password but whose permissions forbid
// assembling its pages: counted, not cut.
void PavlinTest::restrictedDocumentIsCountedButNotCut()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("restricted.pdf");
    QCOMPARE(run("qpdf", {"--encrypt", "", "owner", "256", "--assemble=n", "--", sample("schools.pdf"), pdf}).exitCode, 0);
    QCOMPARE(pavlin({pdf, "-getinfo", "-outfile", dir.filePath("info.txt")}).exitCode, 0);
    QCOMPARE(readAll(dir.filePath("info.txt")), QByteArray("NumberOfPages: 5\n"));
    const Result cut = pavlin({pdf, "-merge", "1", "-outfile", dir.filePath("cut.pdf")});
    QCOMPARE(cut.exitCode, 1);
    QVERIFY2(cut.err.contains("permissions forbid assembling"), cut.err.constData());
    QVERIFY(!QFile::exists(dir.filePath("cut.pdf")));
}

void PavlinTest::failuresLeaveNoFile_data()
{
    QTest::addColumn<QString>("input");      // a sample, or a file the test makes
    QTest::addColumn<QStringList>("args");   // IN and OUT stand for the paths
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");

    const QString out = "OUT";
    QTest::newRow("not a PDF") << "text.pdf" << QStringList{"IN", "-getinfo", "-outfile", out} << 1
                               << "\"IN\": the file is damaged or not a PDF document";
    QTest::newRow("not a PDF, merge") << "text.pdf" << QStringList{"IN", "-merge", "1", "-outfile", out} << 1
                                      << "\"IN\": the file is damaged or not a PDF document";
    QTest::newRow("cut off") << "cutoff.pdf" << QStringList{"IN", "-getinfo", "-outfile", out} << 1
                             << "\"IN\": the document has no pages";
    QTest::newRow("password") << "encrypted.pdf" << QStringList{"IN", "-getinfo", "-outfile", out} << 1
                              << "\"IN\": the document is password-protected";
    QTest::newRow("password, merge") << "encrypted.pdf" << QStringList{"IN", "-merge", "1", "-outfile", out} << 1
                                     << "\"IN\": the document is password-protected";
    QTest::newRow("missing file") << "missing.pdf" << QStringList{"IN", "-getinfo", "-outfile", out} << 1
                                  << "\"IN\": No such file or directory";
    QTest::newRow("page outside") << "schools.pdf" << QStringList{"IN", "-merge", "1,6", "-outfile", out} << 1
                                  << "page 6 is outside the document, which has 5 pages";
    QTest::newRow("page 0") << "schools.pdf" << QStringList{"IN", "-merge", "0-2", "-outfile", out} << 1
                            << "page range \"0-2\": pages are numbered from 1";
    QTest::newRow("empty range") << "schools.pdf" << QStringList{"IN", "-merge", "-outfile", out} << 1
                                 << "the page range is empty";
    QTest::newRow("no comma") << "schools.pdf" << QStringList{"IN", "-merge", "1", "2", "-outfile", out} << 1
                              << "page range \"1 2\": items of the page range must be separated by commas";
    QTest::newRow("stray text") << "schools.pdf" << QStringList{"IN", "-merge", "1-x", "-outfile", out} << 1
                                << "\"x\" stands where a page number belongs";
    QTest::newRow("huge page") << "schools.pdf" << QStringList{"IN", "-merge", "99999999999999999999", "-outfile", out}
                               << 1 << "page 99999999999999999999 is beyond any document";
    QTest::newRow("missing folder") << "schools.pdf" << QStringList{"IN", "-merge", "1", "-outfile", "no/such/OUT"} << 1
                                    << "cannot write \"no/such/OUT\": the folder \"no/such\" does not exist";
    QTest::newRow("read-only folder") << "schools.pdf" << QStringList{"IN", "-getinfo", "-outfile", "ro/OUT"} << 1
                                      << "cannot write \"ro/OUT\": Permission denied";
    QTest::newRow("no option") << "schools.pdf" << QStringList{"IN"} << 2 << "usage: Pavlin.dll";
    QTest::newRow("no output") << "schools.pdf" << QStringList{"IN", "-getinfo", "-outfile"} << 2 << "usage: Pavlin.dll";
    QTest::newRow("extra argument") << "schools.pdf" << QStringList{"IN", "-getinfo", "x", "-outfile", out} << 2
                                    << "usage: Pavlin.dll";
    QTest::newRow("unknown option") << "schools.pdf" << QStringList{"IN", "-split", "1", "-outfile", out} << 2
                                    << "usage: Pavlin.dll";
}

// No file at the output path afterwards, not even the one an earlier run
// left there (the application reads it without looking at the exit status),
// no temporary file, and one line that names the file and the reason.
void PavlinTest::failuresLeaveNoFile()
{
    QFETCH(QString, input);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(QDir().mkdir("ro"));
    QVERIFY(QFile::setPermissions("ro", QFile::ReadOwner | QFile::ExeOwner));
    if (QTest::currentDataTag() == QLatin1String("read-only folder") && ::access("ro", W_OK) == 0)
        QSKIP("this user may write into read-only folders");
    if (input == "text.pdf")
        QVERIFY(writeFile(input, "Dear reader,\nthis is a letter, not a document.\n"));
    else if (input == "cutoff.pdf")
        QVERIFY(writeFile(input, readAll(sample("schools.pdf")).left(3000)));
    else if (input != "missing.pdf")
        QVERIFY(QFile::copy(sample(input), input));
    const QString out = QString(args.last()).replace("OUT", "out.pdf");
    const bool outputChecked = exitCode == 1 && QFileInfo(QFileInfo(out).path()).isWritable();
    if (outputChecked)
        QVERIFY(writeFile(out, "NumberOfPages: 99\n"));   // left by an earlier run
    args.replaceInStrings(QRegularExpression("^IN$"), input).replaceInStrings("OUT", "out.pdf");
    const QStringList before = filesIn(".");
    const Result result = pavlin(args);

    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.count('\n') == 1 && result.err.endsWith('\n'), result.err.constData());
    const QString message = QString::fromUtf8(result.err).trimmed();
    QVERIFY2(message.contains(QString(reason).replace("IN", input).replace("OUT", "out.pdf")), qPrintable(message));
    if (exitCode == 1)
        QVERIFY(message.startsWith("Pavlin.dll: "));
    if (outputChecked)
        QVERIFY(!QFile::exists(out));
    QStringList expected = before;
    if (outputChecked)
        expected.removeOne("out.pdf");
    QCOMPARE(filesIn("."), expected);
    QVERIFY(filesIn("ro").isEmpty());
}

// Writing over the input is allowed, so a failed run must not remove the
// input it refused.
void PavlinTest::failedRunInPlaceKeepsItsInput()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("schools.pdf");
    QVERIFY(QFile::copy(sample("schools.pdf"), pdf));
    QCOMPARE(pavlin({pdf, "-merge", "9", "-outfile", pdf}).exitCode, 1);
    QCOMPARE(pdfinfoPages(pdf), 5);
    QCOMPARE(pavlin({pdf, "-merge", "2", "-outfile", pdf}).exitCode, 0);
    QCOMPARE(pdfinfoPages(pdf), 1);
}

void PavlinTest::awkwardPathsWork()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QString::fromUtf8("out \"q\" #1 %20 \xc3\xa9t\xc3\xa9"));
    QVERIFY(QDir().mkpath(folder));
    const QString pdf = folder + QString::fromUtf8("/my \"table\" #2 %d \xe4\xb8\xad.pdf");
    QVERIFY(QFile::copy(sample("schools.pdf"), pdf));
    const QString info = folder + QString::fromUtf8("/info \xc3\xa9 %s.txt");
    const QString cut = folder + QString::fromUtf8("/1 p\xc3\xa4ges 2-3 #x.pdf");
    QCOMPARE(pavlin({pdf, "-getinfo", "-outfile", info}).exitCode, 0);
    QCOMPARE(readAll(info), QByteArray("NumberOfPages: 5\n"));
    QCOMPARE(pavlin({pdf, "-merge", "2-3", "-outfile", cut}).exitCode, 0);
    QCOMPARE(pdfinfoPages(cut), 2);
}

QTEST_MAIN(PavlinTest)
#include "pavlin_test.moc"
