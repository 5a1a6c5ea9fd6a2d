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

QByteArray streamOf(const QByteArray &dictionary, const QByteArray &data)
{
    return "<< " + dictionary + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// "Hello" on a page of 100 x 100 points filled by a tiling pattern whose
// cell, a square `step` points wide, is placed every `step` points.
QByteArray patternPdf(const QByteArray &step)
{
    const QByteArray cell = "0 0 " + step + " " + step + " re f";
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R"
                  " /Resources << /Pattern << /P1 5 0 R >> /Font << /F1 6 0 R >> >> >>",
                  streamOf("", "/Pattern cs /P1 scn 0 0 100 100 re f 0 g BT /F1 12 Tf 20 50 Td (Hello) Tj ET"),
                  streamOf("/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 " + step + " " + step
                               + "] /XStep " + step + " /YStep " + step + " /Resources << >>", cell),
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"});
}

// A page whose content, `streams` times the same stream in its /Contents,
// decodes to 270 MB of text shows: in one stream, or 2.7 MB a hundred times.
QByteArray inflatingPdf(int streams)
{
    const QByteArray line = "BT /F1 12 Tf 20 50 Td (Hello) Tj ET\n";
    const QByteArray flate = qCompress(line.repeated((270 << 20) / streams / line.size()), 9).mid(4);
    QByteArray contents;
    for (int i = 0; i < streams; ++i)
        contents += " 4 0 R";
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents [" + contents + " ] >>",
                  streamOf("/Filter /FlateDecode", flate)});
}

// "Hybrid words" whose font lies in an object stream that only the
// cross-reference stream the table names (/XRefStm) lists; the table marks
// it free, as writers of such files do.
QByteArray hybridPdf()
{
    const QByteArray content = "BT /F1 12 Tf 10 50 Td (Hybrid words) Tj ET";
    const QVector<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
        streamOf("", content), QByteArray(),
        streamOf("/Type /ObjStm /N 1 /First 4", "5 0 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")};
    QByteArray pdf = "%PDF-1.5\n";
    QVector<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << pdf.size();
        if (!objects[i].isEmpty())
            pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    // Entries of 1 + 4 + 2 bytes for objects 5 to 7: in stream 6, at 6's offset, at its own.
    const auto entry = [](int type, int field, int index) {
        QByteArray e(1, char(type));
        for (int shift = 24; shift >= 0; shift -= 8)
            e += char((field >> shift) & 0xff);
        return e + char(index >> 8) + char(index & 0xff);
    };
    const int streamAt = pdf.size();
    pdf += "7 0 obj\n" + streamOf("/Type /XRef /Size 8 /Index [5 3] /W [1 4 2]",
                                  entry(2, 6, 0) + entry(1, offsets[5], 0) + entry(1, streamAt, 0)) + "\nendobj\n";
    QByteArray table = "xref\n0 8\n0000000000 65535 f \n";
    for (int i = 0; i < 4; ++i)
        table += QByteArray::number(offsets[i]).rightJustified(10, '0') + " 00000 n \n";
    table += QByteArray("0000000000 00000 f \n").repeated(3);
    const int tableAt = pdf.size();
    return pdf + table + "trailer\n<< /Size 8 /Root 1 0 R /XRefStm " + QByteArray::number(streamAt)
        + " >>\nstartxref\n" + QByteArray::number(tableAt) + "\n%%EOF\n";
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
            // Pattern cells count in a page's work, each tile it places; a
            // step of a hundredth of a point places 100 million on the page.
            {{}, {}, patternPdf("0.01"), 1, "doc.pdf\": page 1: drawing its forms and patterns takes more work than a page may"},
            {{}, {}, patternPdf("0.2"), 0, "Hello"},
            // Content inflating to more than a few seconds of drawing is
            // refused as it is counted, before it is held.
            {{}, {}, inflatingPdf(1), 1, "doc.pdf\": page 1: its content takes more work to draw than a page may (at least "},
            {{}, {}, inflatingPdf(100), 1, "doc.pdf\": page 1: its content takes more work to draw than a page may (at least "},
            // Drawn as qpdf rewrites it: poppler alone loses the font, and the words.
            {{}, {}, hybridPdf(), 0, "Hybrid"},
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
                const QByteArray what = (program.second.join(' ') + QStringLiteral(": exit %1%2, ").arg(run.exitCode).arg(run.crashed ? " (crashed)" : "")).toUtf8()
                    + run.err + " (expected: " + QString(row.expected).toUtf8() + ")";
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

    // A run leaves its own pages alone in the folder: those of an earlier
    // run of the same base past its last page go; another base, and names
    // that only look like pages, stay.
    void earlierPagesPastTheRunGo()
    {
        for (int program = 0; program < 2; ++program) {
            QTemporaryDir dir;
            const QStringList kept = {"other_pg_0002.png", "text_pg_0002.txt", "text_pg_2.png", "text_pg_00002.htm"};
            for (const QString &name : kept)
                QVERIFY(writeFile(dir.filePath(name), "keep"));
            for (const char *sample : {"schools", "AnimalSounds"}) {
                const auto run = bothPrograms(samplePdf(sample), dir.path()).at(program);
                QVERIFY2(runConverter(run.first, run.second).exitCode == 0, sample);
            }
            QStringList left = entriesIn(dir.path());
            left.sort();
            QStringList expected = kept + QStringList{"text_pg_0001.htm", "text_pg_0001.png"};
            expected.sort();
            QCOMPARE(left, expected);
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