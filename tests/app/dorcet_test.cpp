#include "converterruns.h"
#include "testfiles.h"
#include "textlayer.h"

#include <QtTest>

#include <QImage>
#include <QTemporaryDir>
#include <QTextCodec>

namespace
{
QList<QPair<QString, QStringList>> bothPrograms(const QString &pdf, const QString &dir)
{
    return {{"rendrix", {"-htmlformat", pdf, dir + "/text.xml"}}, {"Dorcet.dll", {pdf, "-ht", dir + "/text.png"}}};
}

QString firstWord(const QString &dir)
{
    return TextLayer::parsePage(readAll(pageFile(dir, "text", 1, "htm"))).subtext.value(0).text;
}
}

// The command lines of Dorcet.dll and rendrix, which share one engine, and
// both programs on inputs that must fail cleanly (one line giving the reason,
// no file left), on odd paths, over old page files and when stopped.
class DorcetTest : public QObject
{
    Q_OBJECT

private slots:
    void refusalsAndHostileDocuments()
    {
        // PDF: the input written from `content`, OUT: an empty folder. Rows with
        // no program run both on the input, with a file size limit when one is
        // given (a full disk; one thread, so page 1 comes first); exit code 0: the
        // expected text of page 1, else part of the reason ("PDF" in quotes: the input's path).
        const QString hostile = QStringLiteral(GRIDMOLT_SOURCE_DIR "/tests/data/hostile/");
        const QByteArray schools = readAll(samplePdf("schools")), tabs = readAll(hostile + "control-characters.pdf");
        // "Hello" on a page of 100 x 100 points, then four of 1500 x 1500: the
        // first page's image leaves room for four workers, and a large page's
        // (18 MB) fits but once in the 32 MB the images may take at a time.
        const QByteArray hello = "BT /F1 12 Tf 20 50 Td (Hello) Tj ET";
        const QByteArray growing = pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 6 0 R 6 0 R 6 0 R 6 0 R] /Count 5 >>",
                                          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
                                          "<< /Length " + QByteArray::number(hello.size()) + " >>\nstream\n" + hello + "\nendstream",
                                          "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                                          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1500 1500] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>"});
        const struct { QString program, args; QByteArray content; int exitCode; QString expected; rlim_t fileSizeLimit = 0; } rows[] = {
            {"Dorcet.dll", "", schools, 2, "usage:"},
            {"Dorcet.dll", "PDF -x OUT/a.png", schools, 2, "usage:"},
            {"Dorcet.dll", "PDF -ht OUT/a.png -f 1", schools, 2, "usage:"},
            {"Dorcet.dll", "PDF -ht OUT/a.png -f x -l 1", schools, 2, "usage:"},
            {"Dorcet.dll", "PDF -ht OUT/a.png -f 0 -l 1", schools, 1, "pages 0 to 1 are not a range"},
            // Pages are numbered from 1, for both ends alike: a 0 is no "whole document".
            {"Dorcet.dll", "PDF -ht OUT/a.png -f 0 -l 0", schools, 1, "\"PDF\": pages 0 to 0 are not a range (-f 0: pages are numbered from 1)"},
            {"Dorcet.dll", "PDF -ht OUT/a.png -f 0 -l 3", schools, 1, "\"PDF\": pages 0 to 3 are not a range (-f 0: pages are numbered from 1)"},
            {"Dorcet.dll", "PDF -ht OUT/a.png -f 1 -l 0", schools, 1, "\"PDF\": pages 1 to 0 are not a range (-l 0: pages are numbered from 1)"},
            {"Dorcet.dll", "PDF -ht OUT/a.png -f 000 -l 2", schools, 1, "pages 0 to 2 are not a range (-f 0: pages are numbered from 1)"},
            {"Dorcet.dll", "PDF -ht OUT/a.png -f 9 -l 2", schools, 1, "pages 9 to 2 are not a range"},
            {"Dorcet.dll", "PDF -ht OUT/a.png -f 5 -l 6", schools, 1, "doc.pdf\": pages 5 to 6 are not a range of the document, which has 5 pages"},
            {"Dorcet.dll", "PDF -ht OUT/no/a.png", schools, 1, "does not exist"},
            {"Dorcet.dll", "PDF -ht OUT/.png", schools, 2, "usage:"},
            {"Dorcet.dll", "PDF -ht OUT/", schools, 2, "usage:"},
            {"Dorcet.dll", "PDF -ht OUT/a.png -f +1 -l 1", schools, 2, "usage:"},
            {"Dorcet.dll", "PDF -ht OUT/a.png -f 1 -l 99999999999", schools, 2, "usage:"},
            {"Dorcet.dll", "PDF -ht OUT/text.PNG", schools, 0, "Vote"},
            // Nothing can be made in /proc, not even by the superuser.
            {"Dorcet.dll", "PDF -ht /proc/a.png", schools, 1, "Dorcet.dll: cannot write in \"/proc\": No such file or directory\n"},
            {"rendrix", "-htmlformat PDF /proc/text.xml", schools, 1, "rendrix: cannot write in \"/proc\": No such file or directory\n"},
            {"rendrix", "-htmlformat PDF OUT/text.xml more", schools, 2, "usage:"},
            // Out of memory in a page of a range: the page as the document numbers it.
            {"Dorcet.dll", "PDF -ht OUT/a.png -f 2 -l 2", readAll(hostile + "nested-states.pdf"), 1,
             "Dorcet.dll: cannot convert \"PDF\": page 2 needs more memory than this run may use (64 MB)\n"},
            {{}, {}, growing, 0, "Hello"},
            {"rendrix", "", schools, 2, "usage:"},
            {"rendrix", "-other PDF OUT/text.xml", schools, 2, "usage:"},
            {"rendrix", "-htmlformat PDF OUT/no/text.xml", schools, 1, "does not exist"},
            {{}, {}, readAll(hostile + "nested-states.pdf"), 1, "needs more memory than this run may use (64 MB)"},
            {{}, {}, readAll(hostile + "huge-page.pdf"), 1, "doc.pdf\": page 1 is 200000 x 200000 points; its image would be larger than 16384 pixels"},
            {{}, {}, readAll(hostile + "big-page.pdf"), 1, "doc.pdf\": page 1 (16000 x 16000 points) needs"},
            {{}, {}, pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 -5 0] >>"}), 1, "doc.pdf\": page 1 has no usable size"},
            {{}, {}, tabs, 0, "Tab le x"},
            // The reader rebuilds a cross-reference table that points nowhere.
            {{}, {}, QByteArray(tabs).replace("startxref\n", "startxref\n9"), 0, "Tab le x"},
            {{}, {}, readAll(samplePdf("encrypted")), 1, "doc.pdf\": the document is password-protected"},
            {{}, {}, "just some text\n", 1, "doc.pdf\": the file is damaged or not a PDF"},
            {{}, {}, "", 1, "doc.pdf\": the file is damaged or not a PDF"},
            {{}, {}, schools.left(3000), 1, "doc.pdf\": the document has no pages"},
            // Every text layer of the sample fits under the limit (at most 47 KB),
            // no page image does (at least 108 KB).
            {{}, {}, schools, 1, "text_pg_0001.png\": File too large", 80000},
        };
        for (const auto &row : rows) {
            QTemporaryDir in, out;
            const QString pdf = in.filePath("doc.pdf");
            QVERIFY(writeFile(pdf, row.content));
            const QStringList args = row.args.split(' ', Qt::SkipEmptyParts).replaceInStrings("PDF", pdf).replaceInStrings("OUT", out.path());
            const auto runs = row.program.isEmpty() ? bothPrograms(pdf, out.path()) : QList<QPair<QString, QStringList>>{{row.program, args}};
            for (const auto &program : runs) {
                const QString threads = row.fileSizeLimit > 0 ? "RENDRIX_THREADS=1" : "RENDRIX_THREADS=4";
                const ConverterRun run = runConverter(program.first, program.second, {"RENDRIX_MEMORY_MB=64", threads}, row.fileSizeLimit);
                const QByteArray what = (program.second.join(' ') + ": ").toUtf8() + run.err;
                if (row.exitCode == 0) {
                    QVERIFY2(run.exitCode == 0 && firstWord(out.path()) == row.expected && QDir(out.path()).removeRecursively()
                                 && QDir().mkpath(out.path()), what.constData());
                } else {
                    QVERIFY2(!run.crashed && run.exitCode == row.exitCode && run.err.count('\n') == 1
                                 && run.err.startsWith(program.first.toUtf8() + ": ")
                                 && run.err.contains(QString(row.expected).replace("\"PDF\"", '"' + pdf + '"').toUtf8()),
                             what.constData());
                }
                QCOMPARE(entriesIn(out.path()), QStringList());
            }
        }
    }

    void oddPathsWorkAndOldPageFilesAreReplacedNeverFollowed()
    {
        // Restores the local encoding even when a check fails.
        struct Encoding { ~Encoding() { QTextCodec::setCodecForLocale(nullptr); } } encoding;
        const QString utf8 = QString::fromUtf8("out \"q\" #1 %20 \xc3\xa9t\xc3\xa9 \xe4\xb8\xad");
        // With Latin-1 as this process's encoding, names reach the file system
        // and the programs as single bytes: not valid UTF-8.
        const QString bytes = QString::fromLatin1("caf\xe9 \xff");
        for (const QString &name : {utf8, bytes}) {
            QTextCodec::setCodecForLocale(name == bytes ? QTextCodec::codecForName("ISO-8859-1") : nullptr);
            QTemporaryDir dir;
            const QString folder = dir.filePath(name), pdf = folder + QLatin1Char('/') + name + QStringLiteral(".pdf");
            const QString layer = pageFile(folder, "text", 1, "htm"), image = pageFile(folder, "text", 1, "png");
            QVERIFY(QDir().mkpath(folder) && QFile::copy(samplePdf("AnimalSounds"), pdf) && writeFile(dir.filePath("victim"), "keep me"));
            for (const auto &program : bothPrograms(pdf, folder)) {
                // A longer earlier text layer, and a symbolic link at the page
                // image's name pointing at somebody's file.
                QFile::remove(image);
                QVERIFY(writeFile(layer, QByteArray(100000, 'x')) && QFile::link(dir.filePath("victim"), image));
                const ConverterRun run = runConverter(program.first, program.second);
                QVERIFY2(run.exitCode == 0 && firstWord(folder) == QStringLiteral("Animal"), run.err.constData());
                QVERIFY(QFileInfo(layer).size() < 100000 && QImage(image).size() == QSize(612, 792)
                        && readAll(dir.filePath("victim")) == "keep me");
            }
        }
    }

    void stoppedRunLeavesNoFile()
    {
        // Stopped by a signal it can catch, then killed as the windows stop it:
        // no page file either time, and the next run tidies up after the kill.
        QTemporaryDir dir;
        qint64 dead = 0;
        for (bool kill : {false, true}) {
            QProcess process;
            process.start(GRIDMOLT_APP_DIR "/Dorcet.dll", {GRIDMOLT_SOURCE_DIR "/tests/data/hostile/slow-pages.pdf", "-ht", dir.filePath("split.png")});
            dead = process.processId();
            // Stop it once some pages are written.
            QTRY_VERIFY_WITH_TIMEOUT(entriesIn(dir.path()).size() == 1
                                         && !entriesIn(dir.filePath(entriesIn(dir.path()).value(0))).isEmpty(), 30000);
            kill ? process.kill() : process.terminate();
            QVERIFY(process.waitForFinished(10000) && process.exitStatus() == QProcess::CrashExit && entriesIn(dir.path()).filter("_pg_").isEmpty()
                    && entriesIn(dir.path()).size() == (kill ? 1 : 0));
        }
        // Only the partial folders of this base whose process is gone: not
        // that of a run still going (this test's own process id), nor those of
        // another base.
        const QString live = QStringLiteral(".split-partial-%1-abcdef").arg(QCoreApplication::applicationPid());
        const QString other = QStringLiteral(".text-partial-%1-abcdef").arg(dead);
        for (const QString &folder : {live, other, QStringLiteral(".split-partial-%1-second").arg(dead)})
            QVERIFY(QDir(dir.path()).mkpath(folder + "/half") && writeFile(dir.filePath(folder + "/split_pg_0001.htm"), "<span"));
        QVERIFY(runConverter("Dorcet.dll", {samplePdf("AnimalSounds"), "-ht", dir.filePath("split.png")}).exitCode == 0);
        QStringList left = entriesIn(dir.path());
        left.sort();
        QCOMPARE(left, QStringList({live, other, "split_pg_0001.htm", "split_pg_0001.png"}));
        QCOMPARE(entriesIn(dir.filePath(live)), QStringList({"half", "split_pg_0001.htm"}));
    }
};

QTEST_MAIN(DorcetTest)
#include "dorcet_test.moc"