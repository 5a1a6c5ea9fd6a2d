#include "converterruns.h"
#include "testfiles.h"
#include "textlayer.h"

#include <QtTest>

#include <QDir>
#include <QTemporaryDir>
#include <QTextCodec>

// The page renderer Dorcet.dll beside rendrix, whose engine it shares: the
// same text layers, its command line, and both programs on inputs that must
// fail cleanly: one line naming the file and the reason, and no file left.
class DorcetTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameTextLayersAsRendrix_data();
    void sameTextLayersAsRendrix();
    void commandLine_data();
    void commandLine();
    void oddPathsWork();
    void hostileDocuments_data();
    void hostileDocuments();
    void fullDiskLeavesNoFile();
    void stoppedRunLeavesNoFile();

private:
    static QString sample(const QString &name)
    {
        return QStringLiteral(GRIDMOLT_SAMPLES_DIR "/") + name + QStringLiteral(".pdf");
    }
    static QString page(const QString &dir, const char *base, int number, const char *suffix)
    {
        return dir + QStringLiteral("/%1_pg_%2.%3").arg(QLatin1String(base)).arg(number, 4, 10, QLatin1Char('0'))
            .arg(QLatin1String(suffix));
    }
    // Both programs' command lines for one PDF and output folder.
    static QList<QPair<QString, QStringList>> bothPrograms(const QString &pdf, const QString &dir)
    {
        return {{"rendrix", {"-htmlformat", pdf, dir + "/text.xml"}}, {"Dorcet.dll", {pdf, "-ht", dir + "/text.png"}}};
    }
    static bool clearFailure(const ConverterRun &run, const QString &program, const QString &pdf,
                             const QString &reason)
    {
        return !run.crashed && run.exitCode == 1 && run.err.count('\n') == 1
            && run.err.startsWith(program.toUtf8() + ": ") && run.err.contains(QFileInfo(pdf).fileName().toUtf8())
            && run.err.contains(reason.toUtf8());
    }
};

void DorcetTest::initTestCase()
{
    for (const char *program : {"rendrix", "Dorcet.dll"})
        QVERIFY2(QFileInfo(QStringLiteral(GRIDMOLT_APP_DIR "/") + program).isExecutable(), program);
}

void DorcetTest::sameTextLayersAsRendrix_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("first");   // 0: the whole document
    QTest::addColumn<int>("last");
    QTest::newRow("schools whole") << "schools" << 5 << 0 << 0;
    QTest::newRow("schools page 1") << "schools" << 5 << 1 << 1;
    QTest::newRow("schools page 4") << "schools" << 5 << 4 << 4;
    QTest::newRow("schools pages 2-5") << "schools" << 5 << 2 << 5;
    QTest::newRow("us-017 page 3") << "us-017" << 4 << 3 << 3;
    QTest::newRow("rotated whole") << "rotated_page" << 1 << 0 << 0;
    QTest::newRow("china page 1") << "china" << 1 << 1 << 1;
}

void DorcetTest::sameTextLayersAsRendrix()
{
    QFETCH(QString, name);
    QFETCH(int, pages);
    QFETCH(int, first);
    QFETCH(int, last);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("r") && QDir(dir.path()).mkdir("d"));
    const QString r = dir.filePath("r"), d = dir.filePath("d");
    QCOMPARE(runConverter("rendrix", {"-htmlformat", sample(name), r + "/text.xml"}).exitCode, 0);
    QStringList args{sample(name), "-ht", d + "/split.png"};
    if (first > 0)
        args << "-f" << QString::number(first) << "-l" << QString::number(last);
    else
        first = 1, last = pages;
    const ConverterRun run = runConverter("Dorcet.dll", args);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    QCOMPARE(entriesIn(d).size(), 2 * (last - first + 1));
    for (int p = first; p <= last; ++p) {
        for (const char *suffix : {"htm", "png"}) {
            const QByteArray want = readAll(page(r, "text", p, suffix));
            QVERIFY2(want.size() > 10, suffix);
            QVERIFY2(readAll(page(d, "split", p - first + 1, suffix)) == want, qPrintable(QString::number(p)));
        }
    }
}

void DorcetTest::commandLine_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");   // PDF = schools (5 pages), OUT = an empty folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");
    const QString usage = "usage:";
    const QString range = "pages";
    QTest::newRow("no arguments") << "Dorcet.dll" << QStringList{} << 2 << usage;
    QTest::newRow("no -ht") << "Dorcet.dll" << QStringList{"PDF", "-x", "OUT/a.png"} << 2 << usage;
    QTest::newRow("-f without -l") << "Dorcet.dll" << QStringList{"PDF", "-ht", "OUT/a.png", "-f", "1"} << 2 << usage;
    QTest::newRow("page not a number") << "Dorcet.dll" << QStringList{"PDF", "-ht", "OUT/a.png", "-f", "x", "-l", "1"}
                                       << 2 << usage;
    QTest::newRow("page 0") << "Dorcet.dll" << QStringList{"PDF", "-ht", "OUT/a.png", "-f", "0", "-l", "1"} << 1
                            << range;
    QTest::newRow("last before first") << "Dorcet.dll" << QStringList{"PDF", "-ht", "OUT/a.png", "-f", "3", "-l", "2"}
                                       << 1 << range;
    QTest::newRow("past the end") << "Dorcet.dll" << QStringList{"PDF", "-ht", "OUT/a.png", "-f", "5", "-l", "6"} << 1
                                  << "which has 5 pages";
    QTest::newRow("Dorcet missing folder") << "Dorcet.dll" << QStringList{"PDF", "-ht", "OUT/no/a.png"} << 1
                                           << "does not exist";
    QTest::newRow("rendrix no arguments") << "rendrix" << QStringList{} << 2 << usage;
    QTest::newRow("rendrix other option") << "rendrix" << QStringList{"-other", "PDF", "OUT/text.xml"} << 2 << usage;
    QTest::newRow("rendrix missing folder") << "rendrix" << QStringList{"-htmlformat", "PDF", "OUT/no/text.xml"} << 1
                                            << "does not exist";
}

void DorcetTest::commandLine()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    args.replaceInStrings("PDF", sample("schools")).replaceInStrings("OUT", dir.path());
    const ConverterRun run = runConverter(program, args);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.startsWith(program.toUtf8() + ": ") && run.err.count('\n') == 1, run.err.constData());
    QVERIFY2(run.err.contains(reason.toUtf8()), run.err.constData());
    QVERIFY(entriesIn(dir.path()).isEmpty());
}

void DorcetTest::oddPathsWork()
{
    // Restores the local encoding even when a check fails.
    struct Encoding
    {
        ~Encoding() { QTextCodec::setCodecForLocale(nullptr); }
    } encoding;
    const QString utf8 = QString::fromUtf8("out \"q\" #1 %20 \xc3\xa9t\xc3\xa9 \xe4\xb8\xad");
    // With Latin-1 as this process's encoding, names reach the file system
    // and the programs as single bytes: not valid UTF-8.
    const QString bytes = QString::fromLatin1("caf\xe9 \xff");
    for (const QString &name : {utf8, bytes}) {
        QTextCodec::setCodecForLocale(name == bytes ? QTextCodec::codecForName("ISO-8859-1") : nullptr);
        QTemporaryDir dir;
        const QString folder = dir.filePath(name);
        QVERIFY(QDir().mkpath(folder));
        const QString pdf = folder + QLatin1Char('/') + name + QStringLiteral(".pdf");
        QVERIFY(QFile::copy(sample("AnimalSounds"), pdf));
        for (const auto &program : bothPrograms(pdf, folder)) {
            const ConverterRun run = runConverter(program.first, program.second);
            QVERIFY2(run.exitCode == 0, run.err.constData());
            const Alltext layer = TextLayer::parsePage(readAll(page(folder, "text", 1, "htm")));
            QVERIFY2(layer.count > 0 && layer.subtext[0].text == QStringLiteral("Animal"), qPrintable(program.first));
            QVERIFY(QFile::remove(page(folder, "text", 1, "htm")));
        }
    }
}

void DorcetTest::hostileDocuments_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected");   // the reason, or text of page 1's layer
    const QString corpus = QStringLiteral(GRIDMOLT_SOURCE_DIR "/tests/data/hostile/");
    QTest::newRow("nested graphics states") << readAll(corpus + "nested-states.pdf") << 1
                                            << "needs more memory than this run may use (64 MB)";
    QTest::newRow("huge page") << readAll(corpus + "huge-page.pdf") << 1
                               << "page 1 is 200000 x 200000 points; its image would be larger than 16384 pixels";
    QTest::newRow("big page") << readAll(corpus + "big-page.pdf") << 1 << "page 1 (16000 x 16000 points) needs";
    QTest::newRow("control characters") << readAll(corpus + "control-characters.pdf") << 0 << "Tab le x";
    // The reader rebuilds a cross-reference table that points nowhere.
    QTest::newRow("repairable") << readAll(corpus + "control-characters.pdf").replace("startxref\n", "startxref\n9")
                                << 0 << "Tab le x";
    QTest::newRow("password") << readAll(sample("encrypted")) << 1 << "password-protected";
    QTest::newRow("not a PDF") << QByteArray("just some text\n") << 1 << "damaged or not a PDF";
    QTest::newRow("empty file") << QByteArray() << 1 << "damaged or not a PDF";
    QTest::newRow("truncated") << readAll(sample("schools")).left(3000) << 1 << "cannot open";
}

void DorcetTest::hostileDocuments()
{
    QFETCH(QByteArray, content);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);
    QTemporaryDir in, out;
    const QString pdf = in.filePath("hostile.pdf");
    QVERIFY(writeFile(pdf, content));
    for (const auto &program : bothPrograms(pdf, out.path())) {
        const ConverterRun run = runConverter(program.first, program.second, {"RENDRIX_MEMORY_MB=64"});
        if (exitCode == 0) {
            QVERIFY2(run.exitCode == 0, run.err.constData());
            const Alltext layer = TextLayer::parsePage(readAll(page(out.path(), "text", 1, "htm")));
            QVERIFY(layer.count == 1);
            QCOMPARE(layer.subtext[0].text, expected);
            QVERIFY(QDir(out.path()).removeRecursively() && QDir().mkpath(out.path()));
        } else {
            QVERIFY2(clearFailure(run, program.first, pdf, expected), run.err.constData());
            QCOMPARE(entriesIn(out.path()), QStringList());
        }
    }
}

void DorcetTest::fullDiskLeavesNoFile()
{
    // Every text layer of the sample fits under the limit (at most 47 KB),
    // no page image does (at least 108 KB): page 1's layer is written first.
    QTemporaryDir dir;
    for (const auto &program : bothPrograms(sample("schools"), dir.path())) {
        const ConverterRun run = runConverter(program.first, program.second, {"RENDRIX_THREADS=1"}, 80000);
        QVERIFY2(clearFailure(run, program.first, "text_pg_000", "File too large"), run.err.constData());
        QCOMPARE(entriesIn(dir.path()), QStringList());
    }
}

void DorcetTest::stoppedRunLeavesNoFile()
{
    // Stopped by a signal it can catch, then killed as the windows stop it:
    // no page file either time, and the next run tidies up after the kill.
    QTemporaryDir dir;
    for (bool kill : {false, true}) {
        QProcess process;
        process.start(QStringLiteral(GRIDMOLT_APP_DIR "/Dorcet.dll"),
                      {QStringLiteral(GRIDMOLT_SOURCE_DIR "/tests/data/hostile/slow-pages.pdf"), "-ht",
                       dir.filePath("split.png")});
        // Stop it once some pages are written.
        QTRY_VERIFY_WITH_TIMEOUT(entriesIn(dir.path()).size() == 1
                                     && !entriesIn(dir.filePath(entriesIn(dir.path()).value(0))).isEmpty(), 30000);
        kill ? process.kill() : process.terminate();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
        QCOMPARE(entriesIn(dir.path()).filter("_pg_"), QStringList());
        QCOMPARE(entriesIn(dir.path()).size(), kill ? 1 : 0);
    }
    QCOMPARE(runConverter("Dorcet.dll", {sample("AnimalSounds"), "-ht", dir.filePath("split.png")}).exitCode, 0);
    QCOMPARE(entriesIn(dir.path()), QStringList({"split_pg_0001.htm", "split_pg_0001.png"}));
}

QTEST_MAIN(DorcetTest)
#include "dorcet_test.moc"
