#include "converterruns.h"
#include "testfiles.h"

#include <QtTest>

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const QString kHostile = QStringLiteral(GRIDMOLT_SOURCE_DIR "/tests/data/hostile/");

// Every entry of the folder with its bytes (regular files) or its kind.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : entriesIn(folder)) {
        const QFileInfo info(folder + '/' + name);
        files[name] = info.isSymLink() ? "link to " + info.symLinkTarget().toUtf8()
                      : info.isDir()   ? QByteArray("folder")
                      : info.isFile()  ? readAll(info.filePath())
                                       : QByteArray("special");
    }
    return files;
}

// One page, and a fourth object the catalog holds.
QByteArray onePage(const QByteArray &fourth)
{
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R /Numbers 4 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>", fourth});
}

QByteArray stream(const QByteArray &dict, const QByteArray &data)
{
    return "<< " + dict + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// A zlib stream of `data`, as /FlateDecode reads it.
QByteArray zlibOf(const QByteArray &data)
{
    return qCompress(data, 9).mid(4);   // without Qt's size in front
}

// A page of 300 x 200 points: "Hello" in 12-point Helvetica, then `content`
// drawn with image object 6 as /Im. `filter`: how `content` (after the
// text) is compressed.
QByteArray helloAnd(const QByteArray &content, const QByteArray &image, const QByteArray &filter = "")
{
    const QByteArray hello = "BT /F1 12 Tf 50 150 Td (Hello) Tj ET ";
    // Two content streams: the text, then the drawing as it is.
    const QByteArray contents = filter.isEmpty() ? "4 0 R" : "[4 0 R 7 0 R]";
    QVector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents " + contents
                                    + " /Resources << /Font << /F1 5 0 R >> /XObject << /Im 6 0 R >> >> >>",
                                stream("", filter.isEmpty() ? hello + content : hello),
                                "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", image};
    if (!filter.isEmpty())
        objects.push_back(stream(filter, content));
    return pdfOf(objects);
}

// A white scan of one bit a pixel in CCITT group 4, whole: each row the same
// as the one above, one bit.
QByteArray scanImage(int width, int height)
{
    return stream("/Type /XObject /Subtype /Image /Width " + QByteArray::number(width) + " /Height " + QByteArray::number(height)
                      + " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns "
                      + QByteArray::number(width) + " /Rows " + QByteArray::number(height) + " >>",
                  QByteArray((height + 7) / 8, '\xff'));
}

// An RGB image XObject of the declared size holding 64 bytes.
QByteArray declaredImage(const QByteArray &width, const QByteArray &height)
{
    return stream("/Type /XObject /Subtype /Image /Width " + width + " /Height " + height
                      + " /ColorSpace /DeviceRGB /BitsPerComponent 8",
                  QByteArray(64, '\x80'));
}

// A JPEG cut short in its coded data, its end marker kept: it decodes, with
// the JPEG library's complaint.
QByteArray damagedJpeg()
{
    QImage picture(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            picture.setPixel(x, y, qRgb(x * 4, y * 4, (x * y) % 256));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "jpg", 90))
        return QByteArray();
    const int cut = jpeg.indexOf("\xff\xda") + 300;   // within the scan's data
    if (cut < 300 || cut >= jpeg.size())
        return QByteArray();
    return stream("/Type /XObject /Subtype /Image /Width 64 /Height 64 /ColorSpace /DeviceRGB /BitsPerComponent 8"
                  " /Filter /DCTDecode",
                  jpeg.left(cut) + "\xff\xd9");
}

// One page under `nodes` page-tree nodes in a chain, the root first, whose
// /Count is `count`.
QByteArray chainPdf(int nodes, const QByteArray &count = "1")
{
    QVector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>"};
    for (int i = 0; i < nodes; ++i)
        objects.push_back("<< /Type /Pages /Kids [" + QByteArray::number(3 + i) + " 0 R] /Count " + (i == 0 ? count : "1")
                          + (i > 0 ? " /Parent " + QByteArray::number(1 + i) + " 0 R" : "") + " >>");
    objects.push_back("<< /Type /Page /MediaBox [0 0 300 200] /Parent " + QByteArray::number(nodes + 1) + " 0 R >>");
    return pdfOf(objects);
}

// One page under a chain of `height` page tree nodes that the root lists
// first and again at the end of a chain of `before` nodes, so it is reached
// again `before` levels deeper.
QByteArray sharedChainPdf(int height, int before)
{
    const int shared = 3, chain = shared + height, page = chain + before;
    QVector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>",
                                "<< /Type /Pages /Kids [" + QByteArray::number(shared) + " 0 R " + QByteArray::number(chain) + " 0 R] /Count 2 >>"};
    const auto node = [](int kid) { return "<< /Type /Pages /Kids [" + QByteArray::number(kid) + " 0 R] /Count 1 >>"; };
    for (int i = 0; i < height; ++i)
        objects.push_back(node(i + 1 < height ? shared + i + 1 : page));
    for (int i = 0; i < before; ++i)
        objects.push_back(node(i + 1 < before ? chain + i + 1 : shared));
    objects.push_back("<< /Type /Page /MediaBox [0 0 300 200] /Parent " + QByteArray::number(shared + height - 1) + " 0 R >>");
    return pdfOf(objects);
}

// One page with one widget under `levels` form fields in a chain.
QByteArray fieldsPdf(int levels)
{
    QVector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] >> >>",
                                "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                "<< /Type /Page /MediaBox [0 0 300 200] /Parent 2 0 R /Annots [" + QByteArray::number(4 + levels) + " 0 R] >>"};
    for (int i = 0; i < levels; ++i)
        objects.push_back("<< /T (f) /Kids [" + QByteArray::number(5 + i) + " 0 R]"
                          + (i > 0 ? " /Parent " + QByteArray::number(3 + i) + " 0 R" : "") + " >>");
    objects.push_back("<< /Type /Annot /Subtype /Widget /Rect [0 0 5 5] /Parent " + QByteArray::number(3 + levels) + " 0 R >>");
    return pdfOf(objects);
}

// The page count pdfinfo reads, 0 when it reads none.
int pdfinfoPages(const QString &pdf)
{
    QProcess info;
    info.start("pdfinfo", {pdf});
    if (!info.waitForFinished(60000))
        return -1;
    const QByteArray out = info.readAllStandardOutput();
    const int at = out.indexOf("\nPages:");
    return at < 0 ? 0 : out.mid(at + 8, out.indexOf('\n', at + 1) - at - 8).trimmed().toInt();
}

// A sample encrypted with an empty password (RC4, a 128-bit key) whose key
// length then reads 136 bits: one library takes the key as 128 bits and
// reads the pages, the other refuses to open the document at all.
QByteArray oddKeyLength(const QString &sample)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("key.pdf");
    QProcess qpdf;
    qpdf.start("qpdf", {"--allow-weak-crypto", "--object-streams=disable", "--encrypt", "", "owner", "128", "--use-aes=n",
                        "--", sample, out});
    if (!qpdf.waitForFinished(60000) || qpdf.exitCode() != 0)
        return QByteArray();
    QByteArray pdf = readAll(out);
    const QByteArray length = "/Filter /Standard /Length 128";
    return pdf.count(length) == 1 ? pdf.replace(length, "/Filter /Standard /Length 136") : QByteArray();
}

// Starts the program with tests/app/stopmidwrite.cpp preloaded, which stops
// it halfway through its first write; its process id once it stands stopped
// ("T" after the name in its status line), 0 when it never got there.
pid_t startStopped(QProcess &process, const QString &program, const QStringList &args, const QString &threads = "2")
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", GRIDMOLT_STOP_MID_WRITE);
    environment.insert("RENDRIX_THREADS", threads);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(GRIDMOLT_APP_DIR "/") + program, args);
    const pid_t pid = process.waitForStarted() ? pid_t(process.processId()) : 0;
    QDeadlineTimer deadline(60000);
    while (pid && !readAll(QStringLiteral("/proc/%1/stat").arg(pid)).contains(") T ") && !deadline.hasExpired())
        QTest::qWait(20);
    return deadline.hasExpired() ? 0 : pid;
}
}

// What the four programs refuse before touching anything, what they do with
// hostile inputs, and what a stop, a full disk or a long name leaves behind.
// Every program runs as a child with a time limit: a run that hangs fails.
class ToolBoundsTest : public QObject
{
    Q_OBJECT

private slots:
    void refusalsLeaveEveryFileAsItWas()
    {
        // In a fresh folder: in.pdf (a sample), soft.pdf and hard.pdf (a symbolic
        // and a hard link to it), fifo, dir, rules.txt (from the row), a
        // big picture and the hostile documents. Arguments name them; the
        // message must hold `expected`.
        const char *const P = "Pavlin.dll", *const O = "Ostrel.dll", *const R = "rendrix", *const D = "Dorcet.dll";
        const QByteArray T = "1-0-0-50-50:a:b\r\n";
        const QByteArray pixels = "its images (10000 million pixels) and forms take more work to draw than a page may";
        const QByteArray forms = "page 1: drawing its forms takes more work than a page may (at least 349525 form drawings)";
        const auto pic = [](const char *name) { return "1:0:0:(" + QByteArray(name) + "):5:5\r\n"; };
        const struct { const char *program; QString args; QByteArray rules; QByteArray expected; QString env = {}; } rows[] = {
            {P, "in.pdf -getinfo -outfile in.pdf", "", "cannot write \"in.pdf\": it is the input file \"in.pdf\""},
            {P, "in.pdf -merge 1 -outfile soft.pdf", "", "it is the input file \"in.pdf\""},
            {P, "in.pdf -merge 1 -outfile hard.pdf", "", "it is the input file \"in.pdf\""},
            {P, "soft.pdf -getinfo -outfile hard.pdf", "", "it is the input file \"soft.pdf\""},
            {P, "in.pdf -merge 1 -outfile fifo", "", "cannot write \"fifo\": it is not a regular file"},
            {P, "in.pdf -getinfo -outfile dir", "", "cannot write \"dir\": it is a folder, not a file"},
            {P, "in.pdf -getinfo -outfile /dev/null", "", "\"/dev/null\": it is not a regular file"},
            {P, "fifo -getinfo -outfile out.txt", "", "cannot open \"fifo\": it is not a regular file"},
            {P, "/dev/zero -merge 1 -outfile out.pdf", "", "cannot open \"/dev/zero\": it is not a regular"},
            {P, "big.pdf -merge 1 -outfile out.pdf", "", "\"big.pdf\": it is larger than 1 MB", "PAVLIN_MEMORY_MB=1"},
            {P, "array.pdf -merge 1 -outfile out.pdf", "",
             "cannot read \"array.pdf\": it needs more memory than this run may use (2 MB; PAVLIN_MEMORY_MB sets it)", "PAVLIN_MEMORY_MB=2"},
            {O, "in.pdf -tesome in.pdf rules.txt", T, "it is the input file \"in.pdf\""},
            {O, "in.pdf -tesome soft.pdf rules.txt", T, "it is the input file \"in.pdf\""},
            {O, "in.pdf -tesome hard.pdf rules.txt", T, "it is the input file \"in.pdf\""},
            {O, "in.pdf -tesome rules.txt rules.txt", T, "it is the input file \"rules.txt\""},
            {O, "in.pdf -pisome pic.png rules.txt", pic("pic.png"), "it is the input file \"pic.png\""},
            {O, "in.pdf -tesome fifo rules.txt", T, "\"fifo\": it is not a regular file"},
            {O, "in.pdf -tesome dir rules.txt", T, "\"dir\": it is a folder, not a file"},
            {O, "in.pdf -tesome /dev/null rules.txt", T, "\"/dev/null\": it is not a regular"},
            {O, "in.pdf -tesome out.pdf dir", "", "cannot read the rule file \"dir\": it is a folder"},
            {O, "in.pdf -tesome out.pdf /dev/zero", "", "rule file \"/dev/zero\": it is not a regular file"},
            {O, "in.pdf -tesome out.pdf fifo", "", "rule file \"fifo\": it is not a regular file"},
            {O, "fifo -tesome out.pdf rules.txt", T, "cannot open \"fifo\": it is not a regular"},
            {O, "in.pdf -pisome out.pdf rules.txt", pic("fifo"), "cannot read the picture \"fifo\" (line 1): it is not a regular file"},
            {O, "in.pdf -pisome out.pdf rules.txt", pic("past-limit.png"),
             "picture \"past-limit.png\" (line 1): it is larger than 64 MB, the most this program reads"},
            {O, "in.pdf -pisome out.pdf rules.txt", pic("at-limit.png"), "picture \"at-limit.png\" (line 1): it is damaged or not a picture"},
            {O, "in.pdf -pisome out.pdf rules.txt", pic("huge.png"),
             "picture \"huge.png\" (line 1): it is 20000 x 20000 pixels, more than the 40 million"},
            {O, "in.pdf -pisome out.pdf rules.txt", pic("at-limit.png") + pic("./at-limit.png"),
             "picture \"at-limit.png\" (line 1): it is damaged or not a picture"},   // 128 MB together: as many as one run reads
            {O, "in.pdf -pisome out.pdf rules.txt", pic("at-limit.png") + pic("./at-limit.png") + pic(".//at-limit.png"),
             "rule file \"rules.txt\": the pictures its rules name take 192 MB together, more than the 128 MB one run reads"},
            {O, "in.pdf -tesome out.pdf rules.txt", "1-0-0-50-50:a:" + QByteArray(10 << 20, 'x') + "\r\n",
             "rule file \"rules.txt\", line 1: the replacement text is longer than 4000 characters"},
            {O, "in.pdf -tesome out.pdf rules.txt", "\r\n1-0-0-50-50:" + QByteArray(10 << 20, 'x') + ":b\r\n",
             "rule file \"rules.txt\", line 2: the find text is longer than 4000 characters"},
            {O, "in.pdf -pisome out.pdf rules.txt", pic("pic.png"),
             "it needs more memory than this run may use (8 MB; OSTREL_MEMORY_MB sets it)", "OSTREL_MEMORY_MB=8"},
            {O, "count.pdf -tesome out.pdf rules.txt", T, "cannot open \"count.pdf\": its page tree claims 2147483647 pages and holds 1"},
            {O, "nested.pdf -tesome out.pdf rules.txt", T,
             "cannot replace in \"nested.pdf\": " + forms},
            {O, "nested.pdf -pisome out.pdf rules.txt", pic("pic.png"),
             "cannot replace in \"nested.pdf\": " + forms},
            {O, "paths.pdf -tesome out.pdf rules.txt", T, "cannot open \"paths.pdf\": its page tree is damaged"},
            {P, "paths.pdf -getinfo -outfile out.txt", "", "cannot open \"paths.pdf\": its page tree is damaged"},
            {P, "deep.pdf -getinfo -outfile out.txt", "", "cannot open \"deep.pdf\": its page tree is more than 100 levels deep"},
            {P, "deeper.pdf -merge 1 -outfile out.pdf", "", "cannot open \"deeper.pdf\": its page tree is more than 100 levels deep"},
            {P, "over.pdf -merge 1 -outfile out.pdf", "", "cannot open \"over.pdf\": its page tree is more than 100 levels deep"},
            {P, "fields.pdf -getinfo -outfile out.txt", "", "cannot open \"fields.pdf\": its form fields are nested more than 100 levels deep"},
            // 60 levels reached again 50 levels down.
            {P, "shared.pdf -getinfo -outfile out.txt", "", "cannot open \"shared.pdf\": its page tree is more than 100 levels deep"},
            {O, "deep.pdf -tesome out.pdf rules.txt", T, "cannot open \"deep.pdf\": its page tree is more than 100 levels deep"},
            {O, "deeper.pdf -pisome out.pdf rules.txt", pic("pic.png"), "cannot open \"deeper.pdf\": its page tree is more than 100 levels deep"},
            {O, "over.pdf -tesome out.pdf rules.txt", T, "cannot open \"over.pdf\": its page tree is more than 100 levels deep"},
            {O, "fields.pdf -tesome out.pdf rules.txt", T, "cannot open \"fields.pdf\": its form fields are nested more than 100 levels deep"},
            {R, "-htmlformat deep.pdf text.xml", "", "cannot open \"deep.pdf\": its page tree is more than 100 levels deep"},
            {R, "-htmlformat deeper.pdf text.xml", "", "cannot open \"deeper.pdf\": its page tree is more than 100 levels deep"},
            {R, "-htmlformat fields.pdf text.xml", "", "cannot open \"fields.pdf\": its form fields are nested more than 100 levels deep"},
            {D, "deep.pdf -ht a.png", "", "cannot open \"deep.pdf\": its page tree is more than 100 levels deep"},
            {D, "deeper.pdf -ht a.png -f 1 -l 1", "", "cannot open \"deeper.pdf\": its page tree is more than 100 levels deep"},
            {D, "over.pdf -ht a.png", "", "cannot open \"over.pdf\": its page tree is more than 100 levels deep"},
            {P, "count.pdf -getinfo -outfile out.txt", "", "cannot open \"count.pdf\": its page tree claims 2147483647 pages and holds 1"},
            {P, "count.pdf -merge 1 -outfile out.pdf", "", "cannot open \"count.pdf\": its page tree claims 2147483647 pages and holds 1"},
            {P, "minus.pdf -getinfo -outfile out.txt", "", "cannot open \"minus.pdf\": its page tree claims -1 pages and holds 1"},
            {P, "zero.pdf -getinfo -outfile out.txt", "", "cannot open \"zero.pdf\": its page tree claims 0 pages and holds 1"},
            {P, "wide.pdf -getinfo -outfile out.txt", "", "cannot open \"wide.pdf\": its page tree claims 4294967297 pages and holds 1"},
            // A claim above the pages held and the entries of the file's table, which readers do not take:
            // one library would look pages up in a table it never filled.
            {O, "five.pdf -tesome out.pdf rules.txt", T, "cannot open \"five.pdf\": its page tree claims 5 pages and holds 1"},
            {O, "wide.pdf -tesome out.pdf rules.txt", T, "cannot open \"wide.pdf\": its page tree claims 4294967297 pages and holds 1"},
            {P, "split.pdf -getinfo -outfile out.txt", "", "cannot open \"split.pdf\": it is damaged, and readers disagree on its pages (1 or none)"},
            // The library that refuses it fails for want of a key, not of memory.
            {P, "key.pdf -getinfo -outfile out.txt", "", "cannot open \"key.pdf\": it is damaged, and readers disagree on its pages (5 or none)"},
            {R, "-htmlformat nested.pdf text.xml", "", forms},
            {D, "nested.pdf -ht a.png", "", forms},
            {D, "in.pdf -ht in.png", "", "in_pg_0001.htm\": it is the input file"},
            {R, "-htmlformat image.pdf text.xml", "", "cannot convert \"image.pdf\": page 1: " + pixels},
            {D, "image.pdf -ht a.png", "", "cannot convert \"image.pdf\": page 1: " + pixels},
            {R, "-htmlformat inline.pdf text.xml", "", "cannot convert \"inline.pdf\": page 1: " + pixels},
            {D, "inline.pdf -ht a.png -f 1 -l 1", "", "cannot convert \"inline.pdf\": page 1: " + pixels},
            {R, "-htmlformat one-bit.pdf text.xml", "", "cannot convert \"one-bit.pdf\": page 1: " + pixels},
            {D, "one-bit.pdf -ht a.png", "", "cannot convert \"one-bit.pdf\": page 1: " + pixels},
            // Four units of work a pixel of three bytes: 1,000,000,004 in all.
            {R, "-htmlformat past-limit.pdf text.xml", "",
             "page 1: its images (251 million pixels) and forms take more work to draw than a page may"},
            {R, "-htmlformat in.pdf text.xml", "", "text_pg_0001.png\": it is not a regular file"},
            // Memory runs out before any page is drawn, in the per-page checks.
            {R, "-htmlformat numbers.pdf text.xml", "", "rendrix: cannot convert \"numbers.pdf\": it needs more memory than this run may use (8 MB)\n",
             "RENDRIX_MEMORY_MB=8"},
            // Fewer: the checks pass, and no worker can be started in what is left.
            {R, "-htmlformat workers.pdf dir/text.xml", "", "rendrix: cannot convert \"workers.pdf\": it needs more memory than this run may use (8 MB)\n",
             "RENDRIX_MEMORY_MB=8"},
        };
        // Page trees of 30,000 and 50,000 levels, and just past the limit; form
        // fields past it; root counts over one page that no reader takes.
        const QMap<QString, QByteArray> made{{"deep.pdf", chainPdf(30000)}, {"deeper.pdf", chainPdf(50000)},
                                             {"over.pdf", chainPdf(101)}, {"fields.pdf", fieldsPdf(30000)},
                                             {"shared.pdf", sharedChainPdf(60, 50)},
                                             {"minus.pdf", chainPdf(1, "-1")}, {"zero.pdf", chainPdf(1, "0")},
                                             {"wide.pdf", chainPdf(1, "4294967297")}, {"five.pdf", chainPdf(1, "5")},
                                             // A million numbers in the page's resources: as objects of the checks, far more than 8 MB.
                                             {"numbers.pdf", pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                                                    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Numbers ["
                                                                        + QByteArray("1 ").repeated(1000000) + "] >> >>"})},
                                             {"workers.pdf", pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                                                    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Numbers ["
                                                                        + QByteArray("1 ").repeated(400000) + "] >> >>"})},
                                             // 167 bytes cut from the middle: one library repairs it and finds its page, another none.
                                             {"split.pdf", readAll(samplePdf("arabic")).remove(8321, 167)},
                                             {"key.pdf", oddKeyLength(samplePdf("schools"))}};
        QVERIFY(!made["key.pdf"].isEmpty());
        for (const auto &row : rows) {
            QTemporaryDir dir;
            QVERIFY(QDir::setCurrent(dir.path()) && QFile::copy(samplePdf("AnimalSounds"), "in.pdf") && QFile::link("in.pdf", "soft.pdf")
                    && ::link("in.pdf", "hard.pdf") == 0 && ::mkfifo("fifo", 0600) == 0 && QDir().mkdir("dir")
                    && QFile::copy(kHostile + "nested-forms.pdf", "nested.pdf") && QFile::copy(kHostile + "huge-count.pdf", "count.pdf")
                    && QFile::copy(kHostile + "page-tree-paths.pdf", "paths.pdf") && QFile::copy(kHostile + "huge-picture.png", "huge.png"));
            // A megabyte of text; 600 KB of numbers: tens of megabytes as the library's objects.
            // Images of 100,000 x 100,000 pixels in 64 bytes: as an object, inline, and of one bit a pixel.
            const QByteArray drawn = "q 300 0 0 200 0 0 cm /Im Do Q";
            QVERIFY(writeFile("image.pdf", helloAnd(drawn, declaredImage("100000", "100000")))
                    && writeFile("inline.pdf", helloAnd("q 300 0 0 200 0 0 cm BI /W 100000 /H 100000 /CS /RGB /BPC 8 ID "
                                                        + QByteArray(64, '\x80') + " EI Q", "null"))
                    && writeFile("one-bit.pdf", helloAnd(drawn, scanImage(100000, 100000)))
                    && writeFile("past-limit.pdf", helloAnd(drawn, declaredImage("250000001", "1"))));
            QVERIFY(writeFile("big.pdf", onePage('(' + QByteArray(1 << 20, 'x') + ')'))
                    && writeFile("array.pdf", onePage('[' + QByteArray("1 ").repeated(300000) + ']')));
            // Zeros on either side of the picture file limit, without taking the disk.
            QFile atLimit("at-limit.png"), pastLimit("past-limit.png");
            QVERIFY(atLimit.open(QIODevice::WriteOnly) && atLimit.resize(64 << 20) && pastLimit.open(QIODevice::WriteOnly)
                    && pastLimit.resize((64 << 20) + 1));
            // 30 million pixels: a small file, more than 8 MB decoded.
            QImage picture(5000, 6000, QImage::Format_Mono);
            picture.fill(1);
            QVERIFY(picture.save("pic.png") && (row.rules.isEmpty() || writeFile("rules.txt", row.rules)));
            for (auto file = made.begin(); file != made.end(); ++file)
                QVERIFY(writeFile(file.key(), file.value()));
            // The page files the converters must not replace: a link to the input and a FIFO.
            QVERIFY(::link("in.pdf", "in_pg_0001.htm") == 0 && ::mkfifo("text_pg_0001.png", 0600) == 0);
            const QMap<QString, QByteArray> before = snapshot(dir.path());

            const QStringList env = QStringList{"RENDRIX_THREADS=2"} + (row.env.isEmpty() ? QStringList() : QStringList{row.env});
            const ConverterRun run = runConverter(row.program, row.args.split(' '), env);
            const QByteArray what = (row.program + (' ' + row.args) + ": ").toUtf8() + run.err;
            QVERIFY2(!run.crashed && run.exitCode == 1 && run.err.count('\n') == 1 && run.err.startsWith(QByteArray(row.program) + ": ")
                         && run.err.contains(row.expected) && snapshot(dir.path()) == before,
                     what.constData());
        }
    }

    void hostileCountsAndLongNamesWork()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        // The page tool's count is pdfinfo's, or none: on trees at the depth
        // limit, counts over one page, and tables of objects that point
        // elsewhere, are cut short or are gone.
        const QByteArray one = chainPdf(1), sample = readAll(samplePdf("schools"));
        const int table = one.lastIndexOf("xref");
        QByteArray shifted = one;
        for (int at = shifted.indexOf(" 00000 n", table); at > 0; at = shifted.indexOf(" 00000 n", at + 1))
            shifted[at - 1] = '7';
        const QList<QPair<QString, QByteArray>> shapes{
            {"at-limit.pdf", chainPdf(100)}, {"count.pdf", readAll(kHostile + "huge-count.pdf")}, {"two.pdf", chainPdf(1, "2")},
            {"real.pdf", chainPdf(1, "1.0")}, {"shifted.pdf", shifted}, {"no-table.pdf", one.left(table)},
            {"cut.pdf", sample.left(sample.size() * 2 / 3)}, {"cut-table.pdf", sample.left(sample.size() - 60)},
            {"paths.pdf", readAll(kHostile + "page-tree-paths.pdf")}, {"split.pdf", readAll(samplePdf("arabic")).remove(8321, 167)}};
        int agreed = 0;
        for (const auto &shape : shapes) {
            QVERIFY(writeFile(shape.first, shape.second));
            const ConverterRun run = runConverter("Pavlin.dll", {shape.first, "-getinfo", "-outfile", "info.txt"});
            const int pages = pdfinfoPages(shape.first);
            const QByteArray what = shape.first.toUtf8() + ": " + run.err + readAll("info.txt");
            QVERIFY2(run.exitCode == 0 ? pages > 0 && readAll("info.txt") == "NumberOfPages: " + QByteArray::number(pages) + "\n"
                                       : run.exitCode == 1 && run.err.count('\n') == 1 && !QFile::exists("info.txt"),
                     what.constData());
            agreed += run.exitCode == 0;
            QVERIFY(QFile::remove("info.txt") == (run.exitCode == 0) && QFile::remove(shape.first));
        }
        QVERIFY(agreed >= 3);
        // A repair that loses nothing the pages need: the page and its text are written.
        QCOMPARE(runConverter("Pavlin.dll", {kHostile + "bad-info-offset.pdf", "-merge", "1", "-outfile", "kept.pdf"}).exitCode, 0);
        QProcess text;
        text.start("pdftotext", {"kept.pdf", "-"});
        QVERIFY(text.waitForFinished() && text.readAllStandardOutput().trimmed() == "Kept");

        // Output names as long as names may be: the temporary names are short.
        QVERIFY(writeFile("rules.txt", "1-61-78-36-13:Animal:b\r\n"));
        const QString in = samplePdf("AnimalSounds");
        for (int length : {246, 250, 255}) {
            const QString name = QString(length - 4, QLatin1Char('n')) + ".pdf";
            for (const QStringList &args : QList<QStringList>{{"Pavlin.dll", in, "-getinfo", "-outfile", name},
                                                             {"Pavlin.dll", in, "-merge", "1", "-outfile", name},
                                                             {"Ostrel.dll", in, "-tesome", name, "rules.txt"}}) {
                QFile::remove(name);
                const ConverterRun run = runConverter(args[0], args.mid(1));
                QVERIFY2(run.exitCode == 0 && QFileInfo(name).size() > 0, run.err.constData());
            }
        }
        QCOMPARE(entriesIn(dir.path()).size(), 2 + 3);
    }

    // Images the libraries complain about as they draw them (a damaged JPEG;
    // an image of 100 million pixels, one row longer than the PDF library
    // allocates), and pages that take a renderer a second or two, drawn
    // from a few kilobytes: a one-bit scan of A3 at 1200 dpi, a gray one of
    // A2 at 600 dpi, a symbol drawn 120,000 times and a texture tiled 1,600
    // times. Every program succeeds and its error output stays empty.
    void librariesSayNothingAtSuccess()
    {
        const QByteArray drawn = "q 100 0 0 50 150 20 cm /Im Do Q";
        const QByteArray jpeg = damagedJpeg();
        QVERIFY(!jpeg.isEmpty());
        // Gray at 600 dpi, whole, compressed twice: 139 MB in about a kilobyte.
        const QByteArray gray = stream("/Type /XObject /Subtype /Image /Width 9921 /Height 14031 /ColorSpace /DeviceGray"
                                       " /BitsPerComponent 8 /Filter [/FlateDecode /FlateDecode]",
                                       zlibOf(zlibOf(QByteArray(9921 * 14031, '\xc0'))));
        const QByteArray symbol = stream("/Type /XObject /Subtype /Form /BBox [0 0 4 4]", "0 0 4 4 re f");
        QByteArray symbols, tiles;
        for (int i = 0; i < 120000; ++i)
            symbols += "q 1 0 0 1 " + QByteArray::number(i % 300) + ' ' + QByteArray::number(i / 300 % 200) + " cm /Im Do Q\n";
        for (int i = 0; i < 1600; ++i)
            tiles += "q 7.5 0 0 5 " + QByteArray::number(i % 40 * 7.5) + ' ' + QByteArray::number(i / 40 * 5) + " cm /Im Do Q\n";
        QByteArray texture;
        for (int i = 0; i < 256 * 256 * 3; ++i)
            texture += char(i * 7 % 251);
        const QByteArray textureImage = stream("/Type /XObject /Subtype /Image /Width 256 /Height 256 /ColorSpace /DeviceRGB"
                                               " /BitsPerComponent 8 /Filter /FlateDecode", zlibOf(texture));
        for (const QByteArray &file : {helloAnd(drawn, jpeg), helloAnd(drawn, declaredImage("100000000", "1")),
                                       helloAnd(drawn, scanImage(20000, 14000)), helloAnd(drawn, gray),
                                       helloAnd(zlibOf(symbols), symbol, "/Filter /FlateDecode"),
                                       helloAnd(tiles, textureImage)}) {
            QTemporaryDir dir;
            QVERIFY(QDir::setCurrent(dir.path()) && writeFile("in.pdf", file) && writeFile("rules.txt", "1-0-0-300-200:Hello:Bye\r\n")
                    && QDir().mkdir("r") && QDir().mkdir("d"));
            const struct { QStringList args; QStringList made; } runs[] = {
                {{"rendrix", "-htmlformat", "in.pdf", "r/text.xml"}, {"r/text_pg_0001.png", "r/text_pg_0001.htm"}},
                {{"Dorcet.dll", "in.pdf", "-ht", "d/a.png"}, {"d/a_pg_0001.png", "d/a_pg_0001.htm"}},
                {{"Pavlin.dll", "in.pdf", "-getinfo", "-outfile", "info.txt"}, {"info.txt"}},
                {{"Pavlin.dll", "in.pdf", "-merge", "1", "-outfile", "one.pdf"}, {"one.pdf"}},
                {{"Ostrel.dll", "in.pdf", "-tesome", "out.pdf", "rules.txt"}, {"out.pdf"}},
            };
            for (const auto &run : runs) {
                const ConverterRun result = runConverter(run.args[0], run.args.mid(1), {"RENDRIX_THREADS=2"});
                QVERIFY2(!result.crashed && result.exitCode == 0 && result.err.isEmpty(),
                         qPrintable(run.args.join(' ') + ": " + result.err));
                for (const QString &made : run.made)
                    QVERIFY2(QFileInfo(made).size() > 0, qPrintable(made));
            }
            QCOMPARE(readAll("info.txt"), QByteArray("NumberOfPages: 1\n"));
            QProcess text;
            text.start("pdftotext", {"out.pdf", "-"});
            QVERIFY(text.waitForFinished() && text.readAllStandardOutput().trimmed() == "Bye");
        }
    }

    void fileSizeLimitIsFileTooLarge()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()) && writeFile("rules.txt", "1-0-0-50-50:a:b\r\n"));
        const QString in = samplePdf("schools");
        // Each output is larger than the limit.
        for (const QStringList &args : QList<QStringList>{{"Pavlin.dll", in, "-merge", "1-5", "-outfile", "out.pdf"},
                                                         {"Ostrel.dll", in, "-tesome", "out.pdf", "rules.txt"}}) {
            const ConverterRun run = runConverter(args[0], args.mid(1), {}, 20000);
            QVERIFY2(!run.crashed && run.exitCode == 1 && run.err.contains("cannot write \"out.pdf\": File too large"),
                     run.err.constData());
            QCOMPARE(entriesIn(dir.path()), QStringList{"rules.txt"});
        }
    }

    // A disk that cannot keep what was written: the flush at the end fails,
    // the run fails naming the output, and neither it nor a temporary file
    // is left.
    void failedFlushLeavesNoOutput()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()) && writeFile("rules.txt", "1-0-0-50-50:a:b\r\n"));
        const QString in = samplePdf("schools");
        for (const QStringList &args : QList<QStringList>{{"Pavlin.dll", in, "-merge", "1-2", "-outfile", "out"},
                                                         {"Pavlin.dll", in, "-getinfo", "-outfile", "out"},
                                                         {"Ostrel.dll", in, "-tesome", "out", "rules.txt"}}) {
            const ConverterRun run = runConverter(args[0], args.mid(1), {"LD_PRELOAD=" GRIDMOLT_FAILING_FLUSH});
            QVERIFY2(!run.crashed && run.exitCode == 1 && run.err == args[0].toUtf8() + ": cannot write \"out\": Input/output error\n",
                     run.err.constData());
            QCOMPARE(entriesIn(dir.path()), QStringList{"rules.txt"});
        }
    }

    // Each program, stopped in its first write, is sent a stop signal and let
    // go on: the temporary file is named as the window expects while it
    // stands, and gone once the program has ended by the signal. What an
    // earlier run left at the output path is gone before the write starts,
    // so a stopped run leaves no result the window could take for its own.
    void stopMidWriteLeavesNoTemporaryFile()
    {
        QTemporaryDir in, out;
        const QString rules = in.filePath("rules.txt");
        QVERIFY(writeFile(rules, "1-0-0-50-50:a:b\r\n"));
        const QList<QStringList> runs{{"Pavlin.dll", samplePdf("schools"), "-merge", "5-1", "-outfile", out.filePath("out.pdf")},
                                      {"Pavlin.dll", samplePdf("schools"), "-getinfo", "-outfile", out.filePath("out.txt")},
                                      {"Ostrel.dll", samplePdf("schools"), "-tesome", out.filePath("out.pdf"), rules},
                                      {"rendrix", "-htmlformat", samplePdf("schools"), out.filePath("text.xml")},
                                      {"Dorcet.dll", samplePdf("schools"), "-ht", out.filePath("a.png")}};
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
            for (const QStringList &args : runs) {
                const QString earlier = args[0] == "Ostrel.dll" ? args[3] : args[0] == "Pavlin.dll" ? args.last() : QString();
                QVERIFY(earlier.isEmpty() || writeFile(earlier, "an earlier run's output"));
                QProcess process;
                const pid_t pid = startStopped(process, args[0], args.mid(1));
                const QStringList made = entriesIn(out.path());
                // The converters write into a folder of their own, named by base:
                // one page file is half written.
                const QString folder = out.filePath(made.value(0));
                const QStringList inFolder = entriesIn(folder);
                const bool halfWritten = std::any_of(inFolder.begin(), inFolder.end(), [&](const QString &name) {
                    return QFileInfo(folder + '/' + name).isFile() && QFileInfo(folder + '/' + name).size() > 0;
                });
                QVERIFY2(pid && made.size() == 1
                             && (QRegularExpression(QStringLiteral("^\\.gm%1\\.[A-Za-z0-9]{6}$").arg(pid)).match(made[0]).hasMatch()
                                 ? QFileInfo(out.filePath(made[0])).size() > 0
                                 : QRegularExpression(QStringLiteral("^\\.(text|a)-partial-%1-[A-Za-z0-9]{6}$").arg(pid)).match(made[0]).hasMatch()
                                       && halfWritten),
                         qPrintable(made.join(' ') + ": " + inFolder.join(' ')));
                ::kill(pid, sig);
                ::kill(pid, SIGCONT);
                QVERIFY(process.waitForFinished(30000));
                QCOMPARE(process.exitStatus(), QProcess::CrashExit);
                QCOMPARE(process.exitCode(), sig);   // ended by that very signal
                QCOMPARE(entriesIn(out.path()), QStringList());
            }
        }
    }

    // A folder put at a page file's name while the converter draws (stopped at
    // its first write): the run fails naming it, and takes back the page files
    // it had already placed.
    void pageFileTakenMidRunIsNamed()
    {
        QTemporaryDir out;
        QProcess process;
        const pid_t pid = startStopped(process, "rendrix", {"-htmlformat", samplePdf("schools"), out.filePath("text.xml")}, "1");
        const QString taken = pageFile(out.path(), "text", 2, "htm");
        QVERIFY(pid && QDir().mkpath(taken + "/kept"));
        ::kill(pid, SIGCONT);
        QVERIFY(process.waitForFinished(60000));
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(process.exitCode() == 1 && err == "rendrix: cannot write \"" + taken.toUtf8() + "\": Is a directory\n",
                 err.constData());
        QCOMPARE(entriesIn(out.path()), QStringList{"text_pg_0002.htm"});
    }

    // A folder put at the output's name while the file is written (stopped at
    // its first write): the written file cannot take its place; the run fails
    // naming it, leaves the folder as it was and no temporary file.
    void outputTakenMidWriteIsNamed()
    {
        QTemporaryDir in;
        const QString rules = in.filePath("rules.txt");
        QVERIFY(writeFile(rules, "1-0-0-9999-9999:Animal:Beast\r\n"));
        const struct { const char *program; QStringList args; } rows[] = {
            {"Ostrel.dll", {samplePdf("AnimalSounds"), "-tesome", "OUT", rules}},
            {"Pavlin.dll", {samplePdf("schools"), "-merge", "2", "-outfile", "OUT"}},
        };
        for (const auto &row : rows) {
            QTemporaryDir out;
            const QString target = out.filePath("out.pdf");
            QStringList args = row.args;
            args.replaceInStrings("OUT", target);
            QProcess process;
            const pid_t pid = startStopped(process, row.program, args);
            QVERIFY2(pid && QDir().mkpath(target + "/kept"), row.program);
            ::kill(pid, SIGCONT);
            QVERIFY(process.waitForFinished(60000));
            const QByteArray err = process.readAllStandardError();
            QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 1
                         && err == QByteArray(row.program) + ": cannot write \"" + target.toUtf8() + "\": Is a directory\n",
                     err.constData());
            QCOMPARE(entriesIn(out.path()), QStringList{"out.pdf"});
            QCOMPARE(entriesIn(target), QStringList{"kept"});
        }
    }

    // Each worker of the converter holds the document open once: stopped at
    // its first write, the process holds as many as RENDRIX_THREADS asks, at
    // most 16, and no more than images of the first page fit in half the
    // memory share. Twenty letter pages; 0 or no number: the processors.
    void workersFollowThreadsAndMemory()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath("letters.pdf");
        QVector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 20 >>"};
        for (int page = 3; page < 23; ++page) {
            objects[1].insert(objects[1].indexOf(']'), QByteArray::number(page) + " 0 R ");
            objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
        }
        QVERIFY(writeFile(pdf, pdfOf(objects)));
        const int processors = qBound(1, QThread::idealThreadCount(), 16);
        const struct { QString threads; QByteArray memoryMb; int workers; } rows[] = {
            {"40", "", 16}, {"17", "", 16}, {"16", "", 16}, {"3", "", 3}, {"1", "", 1}, {"0", "", processors},
            {"x", "", processors},
            // Half the share for images, 3.9 MB a page: 16 MB leaves room for two, 14 MB for one.
            {"8", "16", 2}, {"8", "14", 1},
        };
        for (const auto &row : rows) {
            QDir(dir.filePath("out")).removeRecursively();
            QVERIFY(QDir().mkpath(dir.filePath("out")));
            if (!row.memoryMb.isEmpty())
                qputenv("RENDRIX_MEMORY_MB", row.memoryMb);
            QProcess process;
            const pid_t pid = startStopped(process, "Dorcet.dll", {pdf, "-ht", dir.filePath("out/a.png")}, row.threads);
            qunsetenv("RENDRIX_MEMORY_MB");
            const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
            int open = 0;
            for (const QString &fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
                open += QFileInfo(fds + '/' + fd).symLinkTarget() == pdf;
            if (pid > 0)
                ::kill(pid, SIGKILL);
            QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(30000));
            QVERIFY2(pid && open == row.workers, qPrintable(row.threads + ": " + QString::number(open)));
        }
    }
};

QTEST_GUILESS_MAIN(ToolBoundsTest)
#include "toolbounds_test.moc"
