#include "converterruns.h"
#include "sanitized.h"
#include "testfiles.h"

#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

// The PDF tool as the application starts it, checked with readers we did not
// write: pdfinfo, pdftotext, pdfimages, pdffonts and qpdf.
namespace {

struct Result { int exitCode = -1; QByteArray out, err; };
Result run(const QString &executable, const QStringList &args, const QStringList &env = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &setting : env)
        environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
    process.setProcessEnvironment(environment);
    process.start(executable, args);
    const bool ended = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return ended ? Result{process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()} : Result{};
}
Result pavlin(const QStringList &args, const QStringList &env = {}) { return run(GRIDMOLT_APP_DIR "/Pavlin.dll", args, env); }
QString sample(const QString &name) { return GRIDMOLT_SAMPLES_DIR "/" + name; }
// What pdfinfo says after "Pages:" (or "rot:" of a page); empty when it cannot read the file.
QString pdfinfo(const QString &pdf, const QString &key, int page = 0)
{
    const QString n = QString::number(page);
    const Result info = run("pdfinfo", page ? QStringList{"-f", n, "-l", n, pdf} : QStringList{pdf});
    const QRegularExpression line("^" + QRegularExpression::escape(key) + "\\s+(.*)$", QRegularExpression::MultilineOption);
    return info.exitCode == 0 ? line.match(QString::fromUtf8(info.out)).captured(1).trimmed() : QString();
}
int listedRows(const QStringList &command) { return run(command[0], command.mid(1)).out.count('\n'); }
QString pageText(const QString &pdf, int page)
{
    return QString::fromUtf8(run("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), pdf, "-"}).out).trimmed();
}
bool qpdfAccepts(const QString &pdf) { return run("qpdf", {"--check", pdf}).exitCode == 0; }
QStringList filesIn(const QString &dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden); }

// Three pages showing "One", "Two" and "Three" (objects 3 to 5) under the
// root node, whose /Kids and /Count are given; `pageTwo`, `root` and
// `catalog` are written among the keys of page 2, the root and the catalog.
QByteArray threePages(const QByteArray &kids, const QByteArray &count, const QByteArray &root = "/Type /Pages",
                      const QByteArray &pageTwo = "/Type /Page", const QByteArray &catalog = "")
{
    const auto page = [](const QByteArray &type, int content) {
        return "<< " + type + " /Parent 2 0 R /MediaBox [0 0 200 100] /Contents " + QByteArray::number(content)
            + " 0 R /Resources << /Font << /F1 9 0 R >> >> >>";
    };
    const auto text = [](const QByteArray &shown) {
        const QByteArray content = "BT /F1 12 Tf 20 50 Td (" + shown + ") Tj ET";
        return "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
    };
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R " + catalog + ">>", "<< " + root + " /Kids [" + kids + "] /Count " + count + " >>",
                  page("/Type /Page", 6), page(pageTwo, 7), page("/Type /Page", 8), text("One"), text("Two"), text("Three"),
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"});
}
QString qdfOf(const QString &pdf) { return QString::fromLatin1(run("qpdf", {"--qdf", "--object-streams=disable", pdf, "-"}).out); }
}

class PavlinTest : public QObject
{
    Q_OBJECT

private slots:
    // Every sample: pdfinfo's count, or a refusal where pdfinfo cannot open it
    // either; the whole document backwards keeps each page's text, images, fonts.
    void samplesAreCountedAndCutAsReadersSeeThem()
    {
        QTemporaryDir dir;
        const QString info = dir.filePath("fileinfo.txt"), cut = dir.filePath("cut.pdf");
        const QStringList samples = QDir(GRIDMOLT_SAMPLES_DIR).entryList({"*.pdf"});
        int counted = 0;
        for (const QString &name : samples) {
            const QString pdf = sample(name);
            const int pages = pdfinfo(pdf, "Pages:").toInt();
            const Result result = pavlin({pdf, "-getinfo", "-outfile", info});
            // Refused where pdfinfo refuses; the count of the sample before must not be read.
            QVERIFY2(pages > 0 || (result.exitCode == 1 && result.err.contains(name.toUtf8()) && !QFile::exists(info)), qPrintable(name));
            if (pages == 0)
                continue;
            ++counted;
            QVERIFY2(readAll(info) == "NumberOfPages: " + QByteArray::number(pages) + "\n"
                         && pavlin({pdf, "-merge", QStringLiteral("%1-1").arg(pages), "-outfile", cut}).exitCode == 0 && qpdfAccepts(cut)
                         && pdfinfo(cut, "Pages:").toInt() == pages, qPrintable(name));
            for (int p = 1; p <= pages; ++p)
                QVERIFY2(pageText(cut, p) == pageText(pdf, pages + 1 - p), qPrintable(name));
            for (const QStringList &tool : {QStringList{"pdfimages", "-list"}, QStringList{"pdffonts"}})
                QVERIFY2(listedRows(tool + QStringList{cut}) == listedRows(tool + QStringList{pdf}), qPrintable(name));
        }
        QVERIFY(samples.size() >= 5 && counted == samples.size() - 1);
    }

    void rangesRestrictionAndRunsInPlace()
    {
        QTemporaryDir dir;
        const QString pdf = sample("schools.pdf"), out = dir.filePath("cut.pdf");
        // The range as its arguments arrive, and the pages it takes.
        const QVector<QPair<QStringList, QVector<int>>> cases{
            {{"1-2,4,4-5"}, {1, 2, 4, 4, 5}}, {{"1-3,", "5"}, {1, 2, 3, 5}}, {{"2", "-", "4"}, {2, 3, 4}}, {{"5-3,1"}, {5, 4, 3, 1}}};
        for (const auto &c : cases) {
            const Result result = pavlin(QStringList{pdf, "-merge"} + c.first + QStringList{"-outfile", out});
            QVERIFY2(result.exitCode == 0 && qpdfAccepts(out) && pdfinfo(out, "Pages:").toInt() == c.second.size(), result.err.constData());
            for (int i = 0; i < c.second.size(); ++i)
                QCOMPARE(pageText(out, i + 1), pageText(pdf, c.second[i]));
            QCOMPARE(filesIn(dir.path()), QStringList({"cut.pdf"}));
        }

        // A document that opens without a password but forbids assembling
        // pages is counted and cut as every program of ours rewrites it; the
        // cut keeps its encryption and its permissions.
        const QString restricted = dir.filePath("restricted.pdf"), info = dir.filePath("info.txt");
        const QString restrictedCut = dir.filePath("restricted-cut.pdf");
        QVERIFY(run("qpdf", {"--encrypt", "", "owner", "256", "--assemble=n", "--", pdf, restricted}).exitCode == 0
                && pavlin({restricted, "-getinfo", "-outfile", info}).exitCode == 0 && readAll(info) == "NumberOfPages: 5\n");
        const Result taken = pavlin({restricted, "-merge", "4,2", "-outfile", restrictedCut});
        const QByteArray encryption = run("qpdf", {"--show-encryption", restrictedCut}).out;
        QVERIFY2(taken.exitCode == 0 && pdfinfo(restrictedCut, "Pages:") == "2" && pdfinfo(restrictedCut, "Encrypted:").startsWith("yes")
                     && encryption.contains("modify document assembly: not allowed") && pageText(restrictedCut, 1) == pageText(pdf, 4)
                     && filesIn(dir.path()) == QStringList({"cut.pdf", "info.txt", "restricted-cut.pdf", "restricted.pdf"}),
                 taken.err.constData());

        // A run never writes over its input, nor does a failed one remove it.
        const QString own = dir.filePath(QString::fromUtf8("my \"table\" #2 %d \xc3\xa9t\xc3\xa9 \xe4\xb8\xad.pdf"));
        QVERIFY(QFile::copy(pdf, own));
        for (const char *range : {"9", "2"}) {
            const Result refused = pavlin({own, "-merge", range, "-outfile", own});
            QVERIFY2(refused.exitCode == 1 && refused.err.contains("it is the input file") && readAll(own) == readAll(pdf), refused.err.constData());
        }
    }

    // Page 1 links to page 3, page 2 to a web address, page 3 to page 1.
    // Pages 1 and 2 inherit a rotation from an inner node of the page tree.
    void pagesKeepLinksAndInheritedAttributes()
    {
        const QByteArray link = "<< /Type /Annot /Subtype /Link /Rect [40 40 90 60] ";
        QTemporaryDir dir;
        const QString pdf = dir.filePath("links.pdf"), out = dir.filePath("cut.pdf");
        QVERIFY(writeFile(pdf, pdfOf({
            "<< /Type /Catalog /Pages 2 0 R >>",
            "<< /Type /Pages /Kids [11 0 R 5 0 R] /Count 3 /MediaBox [0 0 300 200] /Resources << /Font << /F1 7 0 R >> >> >>",
            "<< /Type /Page /Parent 11 0 R /Contents 6 0 R /Annots [8 0 R] >>",
            "<< /Type /Page /Parent 11 0 R /Contents 6 0 R /Annots [9 0 R] >>",
            "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Annots [10 0 R] >>",
            "<< /Length 32 >>\nstream\nBT /F1 12 Tf 40 50 Td (Go) Tj ET\nendstream",
            "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
            link + "/Dest [5 0 R /Fit] >>", link + "/A << /S /URI /URI (http://example.org/) >> >>", link + "/Dest [3 0 R /Fit] >>",
            "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R 4 0 R] /Count 2 /Rotate 90 >>"})));
        // The range, then each page's rotation and where its link leads.
        const QVector<QPair<QString, QStringList>> cases{
            {"3,1", {"0 page 2", "90 page 1"}}, {"1", {"90 nowhere"}}, {"2,3", {"90 http://example.org/", "0 nowhere"}}};
        for (const auto &[range, pages] : cases) {
            QVERIFY(pavlin({pdf, "-merge", range, "-outfile", out}).exitCode == 0 && qpdfAccepts(out));

            const QJsonObject json = QJsonDocument::fromJson(run("qpdf", {"--json=2", out}).out).object();
            const QJsonObject all = json.value("qpdf").toArray().at(1).toObject();
            const auto value = [&](const QJsonValue &ref) { return all.value("obj:" + ref.toString()).toObject().value("value"); };
            QStringList pageRefs, got;
            for (const QJsonValue &page : json.value("pages").toArray())
                pageRefs.append(page.toObject().value("object").toString());
            for (int i = 0; i < pageRefs.size(); ++i) {
                const QJsonObject annot = value(value(pageRefs[i]).toObject().value("/Annots").toArray().at(0)).toObject();
                const QString target = annot.value("/Dest").toArray().at(0).toString();
                const QString where = annot.contains("/A") ? annot.value("/A").toObject().value("/URI").toString().mid(2)   // "u:" marks text
                                      : pageRefs.contains(target) ? QStringLiteral("page %1").arg(pageRefs.indexOf(target) + 1)
                                      : value(target).isNull() ? "nowhere" : "a page left out";
                got.append(pdfinfo(out, QStringLiteral("Page %1 rot:").arg(i + 1, 4), i + 1) + " " + where);
            }
            // Pages left out are not carried along unreachable.
            const auto isPage = [](const QJsonValue &o) { return o.toObject().value("value").toObject().value("/Type") == "/Page"; };
            QVERIFY2(got == pages && int(std::count_if(all.begin(), all.end(), isPage)) == pages.size(), qPrintable(got.join(", ")));
        }
    }

    // A filled form of three pages: a field of its own on page 1, two
    // fields under one parent on pages 2 and 3; an outline item for each
    // page, page 3's holding one for page 2. A cut holds the values and
    // items of its own pages only, as a reader of its bytes finds them.
    void formCutsHoldOnlyTheirPages()
    {
        const QByteArray widget = "/Type /Annot /Subtype /Widget /FT /Tx /Rect [10 10 150 40] ";
        const auto page = [](int widgetObject) {
            return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Annots [" + QByteArray::number(widgetObject) + " 0 R] >>";
        };
        // The form lists its fields, or lists none (they are reached from their widgets alone).
        const auto form = [&](const QByteArray &fields) {
            return pdfOf({
                "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields " + fields + " /CO [6 0 R 8 0 R] >> /Outlines 10 0 R >>",
                "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>", page(6), page(7), page(8),
                "<< " + widget + "/T (first) /V (ValueOne) /P 3 0 R >>",
                "<< " + widget + "/T (second) /V (ValueTwo) /P 4 0 R /Parent 9 0 R >>",
                "<< " + widget + "/T (third) /V (ValueThree) /P 5 0 R /Parent 9 0 R >>",
                "<< /T (group) /Kids [7 0 R 8 0 R] >>",
                "<< /Type /Outlines /First 11 0 R /Last 13 0 R /Count 4 >>",
                "<< /Title (ItemOne) /Parent 10 0 R /Next 12 0 R /Dest [3 0 R /Fit] >>",
                "<< /Title (ItemTwo) /Parent 10 0 R /Prev 11 0 R /Next 13 0 R /Dest [4 0 R /Fit] >>",
                "<< /Title (ItemThree) /Parent 10 0 R /Prev 12 0 R /First 14 0 R /Last 14 0 R /Count 1 /A << /S /GoTo /D [5 0 R /Fit] >> >>",
                "<< /Title (ItemTwoAgain) /Parent 13 0 R /Dest [4 0 R /XYZ 0 100 0] >>"});
        };
        QTemporaryDir dir;
        const QString pdf = dir.filePath("form.pdf"), out = dir.filePath("cut.pdf");
        const QStringList all{"ValueOne", "ValueTwo", "ValueThree", "ItemOne", "ItemTwo", "ItemThree", "ItemTwoAgain"};
        // The range and what of `all` the cut holds.
        const QVector<QPair<QString, QStringList>> cases{
            {"2", {"ValueTwo", "ItemTwo", "ItemTwoAgain"}},
            {"1", {"ValueOne", "ItemOne"}},
            {"3,1", {"ValueOne", "ValueThree", "ItemOne", "ItemThree"}},
            {"1-3", all}};
        for (const QByteArray &fields : {QByteArray("[6 0 R 9 0 R]"), QByteArray("[]")}) {
            QVERIFY(writeFile(pdf, form(fields)));
            for (const auto &[range, held] : cases) {
                const Result result = pavlin({pdf, "-merge", range, "-outfile", out});
                const QString pages = QString::number(range.count(',') + (range == "1-3" ? 3 : 1));
                QVERIFY2(result.exitCode == 0 && qpdfAccepts(out) && pdfinfo(out, "Pages:") == pages
                             && run("qpdf", {"--show-npages", out}).out.trimmed() == pages.toLatin1(), result.err.constData());
                const QString bytes = qdfOf(out);
                QStringList found;
                for (const QString &text : all) {
                    if (bytes.contains('(' + text + ')'))
                        found.append(text);
                }
                QVERIFY2(found == held, qPrintable(fields + " " + range + ": " + found.join(' ')));
            }
        }
    }

    // Page trees every reader takes with one count: the count pdfinfo gives
    // is counted, and every page of it is cut, in the order readers show.
    void pageTreeQuirksAreCountedAndCutAsReadersSeeThem()
    {
        // The document, and the text of each page readers count.
        QByteArray otherGeneration = threePages("3 0 R 4 0 R 5 0 R", "3");
        otherGeneration.replace("\n4 0 obj", "\n4 1 obj");
        const struct { const char *what; QByteArray pdf; QStringList pages; } rows[] = {
            {"a page without /Type", threePages("3 0 R 4 0 R 5 0 R", "3", "/Type /Pages", ""), {"One", "Two", "Three"}},
            {"a node without /Type", threePages("3 0 R 4 0 R 5 0 R", "3", ""), {"One", "Two", "Three"}},
            {"a null kid", threePages("3 0 R null 4 0 R 5 0 R", "3"), {"One", "Two", "Three"}},
            {"a name kid", threePages("3 0 R 4 0 R /Kid 5 0 R", "3"), {"One", "Two", "Three"}},
            {"a page listed twice", threePages("3 0 R 4 0 R 4 0 R", "3"), {"One", "Two", "Two"}},
            {"a count one low", threePages("3 0 R 4 0 R 5 0 R", "2"), {"One", "Two"}},
            {"another generation", otherGeneration, {"One", "Two", "Three"}},
            {"a page written among the kids",
             threePages("3 0 R << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 7 0 R "
                        "/Resources << /Font << /F1 9 0 R >> >> >> 5 0 R", "3"), {"One", "Two", "Three"}},
        };
        for (const auto &row : rows) {
            QTemporaryDir dir;
            const QString pdf = dir.filePath("quirk.pdf"), info = dir.filePath("info.txt"), out = dir.filePath("cut.pdf");
            const QString count = QString::number(row.pages.size());
            QVERIFY2(writeFile(pdf, row.pdf) && pdfinfo(pdf, "Pages:") == count, row.what);
            const Result counted = pavlin({pdf, "-getinfo", "-outfile", info});
            QVERIFY2(counted.exitCode == 0 && readAll(info) == "NumberOfPages: " + count.toLatin1() + "\n", counted.err.constData());
            const Result cut = pavlin({pdf, "-merge", count + "-1", "-outfile", out});
            QVERIFY2(cut.exitCode == 0 && qpdfAccepts(out) && pdfinfo(out, "Pages:") == count
                         && run("qpdf", {"--show-npages", out}).out.trimmed() == count.toLatin1(), cut.err.constData());
            for (int p = 1; p <= row.pages.size(); ++p)
                QVERIFY2(pageText(out, p) == row.pages[row.pages.size() - p], row.what);
        }
    }

    // Each page of a cut keeps the label it had (qpdf's reading of the
    // labels of each page, the number it starts from made the page's own).
    void pagesKeepTheirLabels()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath("labels.pdf"), out = dir.filePath("cut.pdf");
        QVERIFY(writeFile(pdf, threePages("3 0 R 4 0 R 5 0 R", "3", "/Type /Pages", "/Type /Page",
                                          "/PageLabels << /Nums [0 << /S /r >> 2 << /P (A-) /S /D /St 5 >>] >> ")));
        const auto labels = [](const QString &file) {
            QStringList each;
            for (const QJsonValue &page : QJsonDocument::fromJson(run("qpdf", {"--json=2", "--json-key=pages", file}).out)
                                              .object().value("pages").toArray())
                each.append(QString::fromUtf8(QJsonDocument(page.toObject().value("label").toObject()).toJson(QJsonDocument::Compact)));
            return each;
        };
        const QStringList original = labels(pdf);
        QVERIFY(original.size() == 3 && original[0] != original[1] && original[1] != original[2]);
        const QVector<QPair<QString, QVector<int>>> cases{{"3,1", {3, 1}}, {"2-3", {2, 3}}, {"1,1", {1, 1}}, {"3-1", {3, 2, 1}}};
        for (const auto &[range, pages] : cases) {
            QVERIFY(pavlin({pdf, "-merge", range, "-outfile", out}).exitCode == 0);
            QStringList expected;
            for (int p : pages)
                expected.append(original[p - 1]);
            QCOMPARE(labels(out), expected);
        }
    }

    // From a share of 1 MB up: a correct file, or exit 1 saying it is
    // memory (or the file's size) and nothing where an earlier run's file
    // stood. The smallest share is refused so; a large enough one writes.
    void memorySharesEndInAFileOrNone()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        // 400 pages of 6 KB of numbers each that compress little, 2.6 MB.
        QVector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>", ""};
        QByteArray kids;
        const int pages = 400;
        quint32 number = 1;
        for (int i = 0; i < pages; ++i) {
            QByteArray content;
            for (int row = 0; row < 160; ++row) {
                number = (number * 1103515245u + 12345u) & 0x7fffffffu;
                content += "BT /F1 6 Tf 10 10 Td (" + QByteArray::number(number) + ") Tj ET\n";
            }
            kids += QByteArray::number(objects.size() + 1) + " 0 R ";
            objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents " + QByteArray::number(objects.size() + 2)
                           + " 0 R >>");
            objects.append("<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream");
        }
        objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>";
        // Also with its objects in compressed object streams, which both libraries inflate.
        QVERIFY(writeFile("table.pdf", pdfOf(objects)) && pdfinfo("table.pdf", "Pages:") == QString::number(pages)
                && run("qpdf", {"--object-streams=generate", "table.pdf", "packed.pdf"}).exitCode == 0);
        // The share, and whether it must refuse (-1), must write (1) or may do either (0).
        // AddressSanitizer's own bookkeeping counts against the share too.
        const QVector<QPair<int, int>> shares{{1, -1}, {2, 0}, {3, 0}, {4, 0}, {6, 0}, {8, 0}, {12, kSanitized ? 0 : 1}, {1000, 1}};
        const QString count = QString::number(pages);
        for (const auto &[megabytes, must] : shares) {
            for (const char *input : {"table.pdf", "packed.pdf"}) {
                for (const QStringList &args : {QStringList{"-merge", count + "-1", "-outfile", "out"}, QStringList{"-getinfo", "-outfile", "out"}}) {
                    QVERIFY(writeFile("out", "an earlier run's file\n"));
                    const Result result = pavlin(QStringList{input} + args, {"PAVLIN_MEMORY_MB=" + QString::number(megabytes)});
                    const bool written = result.exitCode == 0
                        && (args[0] == "-merge" ? pdfinfo("out", "Pages:") == count
                                                : readAll("out") == "NumberOfPages: " + count.toLatin1() + "\n");
                    const bool refused = result.exitCode == 1 && result.err.startsWith("Pavlin.dll: cannot") && result.err.count('\n') == 1
                        && (result.err.contains("needs more memory than this run may use (" + QByteArray::number(megabytes) + " MB")
                            || result.err.contains("the most this program reads"))
                        && !QFile::exists("out");
                    const QString row = QLatin1String(input) + ' ' + args[0] + QStringLiteral(", %1 MB: ").arg(megabytes) + result.err;
                    QVERIFY2(must == 1 ? written : must == -1 ? refused : written || refused, qPrintable(row));
                    QVERIFY(filesIn(".") == (written ? QStringList{"out", "packed.pdf", "table.pdf"} : QStringList{"packed.pdf", "table.pdf"}));
                }
            }
        }
    }

    // A run stopped by SIGTERM while it writes leaves neither its temporary
    // file nor the file an earlier run left. Stopped once its temporary file
    // stands; a run that ends before is tried again with more pages to write.
    void stoppedRunsLeaveNothing()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()) && QFile::copy(sample("schools.pdf"), "in.pdf"));
        bool stopped = false;
        for (int rounds = 200; !stopped && rounds <= 3200; rounds *= 2) {
            QVERIFY(writeFile("out.pdf", "earlier\n"));
            QStringList range;
            for (int r = 0; r < rounds; ++r)
                range << "1-5,5-1";
            QProcess process;
            process.start(GRIDMOLT_APP_DIR "/Pavlin.dll", {"in.pdf", "-merge", range.join(','), "-outfile", "out.pdf"});
            QVERIFY(process.waitForStarted());
            // Its temporary file: ".gm", its process id and a dot, then six characters.
            const QString temporary = ".gm" + QString::number(process.processId()) + '.';
            const auto writing = [&] { return !QDir(".").entryList({temporary + '*'}, QDir::Files | QDir::Hidden).isEmpty(); };
            QVERIFY(QTest::qWaitFor([&] { return writing() || process.state() != QProcess::Running; }, 120000));
            if (process.state() == QProcess::Running)
                process.terminate();
            QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(120000));
            stopped = process.exitStatus() == QProcess::CrashExit;
            // A run that ended first wrote the whole file.
            QVERIFY2(stopped ? filesIn(".") == QStringList{"in.pdf"}
                             : process.exitCode() == 0 && filesIn(".") == QStringList({"in.pdf", "out.pdf"})
                                   && pdfinfo("out.pdf", "Pages:") == QString::number(10 * rounds),
                     qPrintable(filesIn(".").join(' ')));
        }
        QVERIFY2(stopped, "every run ended before it could be stopped");
    }

    // No output file afterwards, not even one an earlier run left (the
    // application reads it without looking at the exit status), no temporary
    // file, and one line that names the file and the reason.
    void failuresLeaveNoFile()
    {
        // One page of the given content object, whose table points nowhere.
        const auto damaged = [](const QByteArray &content) {
            QByteArray pdf = pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 99 99] /Contents 4 0 R >>", content});
            return pdf.replace("startxref\n", "startxref\n9");
        };
        // The input (a sample, a file made here or the folder "ro"), the
        // arguments after it ("out" is the output file), the exit code and
        // what the line says.
        const struct { const char *input, *args; int exitCode; QString message; QByteArray made = {}; } cases[] = {
            // In our words alone: nothing of the library's follows.
            {"text.pdf", "-getinfo -outfile out", 1,
             "cannot open \"text.pdf\": the file is damaged or not a PDF document, and could not be repaired\n", "Dear reader,\n"},
            {"cutoff.pdf", "-getinfo -outfile out", 1, "\"cutoff.pdf\": the document has no pages", readAll(sample("schools.pdf")).left(3000)},
            {"encrypted.pdf", "-merge 1 -outfile out", 1, "\"encrypted.pdf\": the document is password-protected"},
            {"missing.pdf", "-getinfo -outfile out", 1, "\"missing.pdf\": No such file or directory"},
            {"schools.pdf", "-merge 1,6 -outfile out", 1, "\"schools.pdf\": page 6 is outside the document, which has 5 pages"},
            {"schools.pdf", "-merge -outfile out", 1, "the page range is empty"},
            {"schools.pdf", "-merge \t -outfile out", 1, "the page range is empty"},   // blanks only
            {"schools.pdf", "-merge 1 2 -outfile out", 1, "page range \"1 2\": items of the page range must be separated by commas"},
            {"schools.pdf", "-merge 99999999999999999999 -outfile out", 1, "page 99999999999999999999 is beyond any document"},
            {"schools.pdf", "-merge 1000000001 -outfile out", 1, "page 1000000001 is beyond any document"},
            {"schools.pdf", "-merge 10000000000 -outfile out", 1, "page 10000000000 is beyond any document"},
            {"schools.pdf", "-merge 1000000000 -outfile out", 1, "page 1000000000 is outside the document, which has 5 pages"},
            // Where a page number belongs: nothing, a letter, a character that shows nothing, page 0.
            {"schools.pdf", "-merge 1,3- -outfile out", 1, "page range \"1,3-\": a page number is missing at the end"},
            {"schools.pdf", "-merge 1, -outfile out", 1, "page range \"1,\": a page number is missing at the end"},
            {"schools.pdf", "-merge 2,x -outfile out", 1, "page range \"2,x\": \"x\" stands where a page number belongs"},
            {"schools.pdf", "-merge 5-a -outfile out", 1, "page range \"5-a\": \"a\" stands where a page number belongs"},
            {"schools.pdf", "-merge 1-\x7f -outfile out", 1, "a character that is no digit stands where a page number belongs"},
            {"schools.pdf", "-merge 0 -outfile out", 1, "page range \"0\": pages are numbered from 1"},
            {"schools.pdf", "-merge 3-0 -outfile out", 1, "page range \"3-0\": pages are numbered from 1"},
            {"schools.pdf", "-merge 00 -outfile out", 1, "page range \"00\": pages are numbered from 1"},
            // The system's own files: one no run can remove, one that cannot be read.
            {"schools.pdf", "-merge 0 -outfile /proc/version", 1, "pages are numbered from 1; the file an earlier run left at "
             "\"/proc/version\" could not be removed: Operation not permitted"},
            {"/proc/self/mem", "-getinfo -outfile out", 1, "cannot open \"/proc/self/mem\": Input/output error"},
            {"schools.pdf", "-merge 1 -outfile no/such/out", 1, "cannot write \"no/such/out\": the folder \"no/such\" does not exist"},
            {"schools.pdf", "-getinfo -outfile ro/out", 1, "cannot write \"ro/out\": Permission denied"},
            {"schools.pdf", "-merge 1 -outfile ro", 1, "cannot write \"ro\": it is a folder, not a file"},
            {"ro", "-getinfo -outfile out", 1, "cannot open \"ro\": it is a folder, not a file"},
            {"schools.pdf", "-outfile out", 2, "Pavlin.dll: usage: Pavlin.dll"},
            {"schools.pdf", "-getinfo 1 -outfile out", 2, "Pavlin.dll: usage: Pavlin.dll"},
            {"schools.pdf", "-count -outfile out", 2, "Pavlin.dll: usage: Pavlin.dll"}};
        for (const auto &c : cases) {
            const QString input = QLatin1String(c.input);
            const QStringList args = QString::fromLatin1(c.args).split(' ');
            QTemporaryDir dir;
            QVERIFY(QDir::setCurrent(dir.path()) && QDir().mkdir("ro") && QFile::setPermissions("ro", QFile::ReadOwner | QFile::ExeOwner));
            if (args.last() == "ro/out" && ::access("ro", W_OK) == 0)
                continue;   // this user may write into read-only folders
            QVERIFY(!c.made.isNull() ? writeFile(input, c.made)
                                     : input == "missing.pdf" || input == "ro" || input.startsWith('/') || QFile::copy(sample(input), input));
            QStringList expected = filesIn(".");
            if (c.exitCode == 1 && args.last() == "out")
                QVERIFY(writeFile("out", "NumberOfPages: 99\n"));

            const Result result = pavlin(QStringList{input} + args);
            QVERIFY2(result.exitCode == c.exitCode && result.err.count('\n') == 1 && result.err.contains(c.message.toUtf8())
                         && result.err.startsWith("Pavlin.dll: "), result.err.constData());
            QVERIFY2(filesIn(".") == expected && filesIn("ro").isEmpty(), qPrintable(filesIn(".").join(' ')));
        }
        // Read only after a repair (the table is nowhere), its one page's
        // content undecodable or a stream that is nowhere: damage the input
        // holds itself is cut as it stands, and readers show as much of it.
        // Without /Root as well, only the engine's library finds the
        // catalog: the file is read as it repairs it.
        const QByteArray undecodable = damaged("<< /Length 20 /Filter /FlateDecode >>\nstream\nxxxxxxxxxxxxxxxxxxxx\nendstream");
        for (const QByteArray &pdf : {undecodable, damaged("[9 0 R]"), QByteArray(undecodable).replace(" /Root 1 0 R", "")}) {
            QTemporaryDir dir;
            QVERIFY(QDir::setCurrent(dir.path()) && writeFile("in.pdf", pdf));
            Result result = pavlin({"in.pdf", "-merge", "1", "-outfile", "out.pdf"});
            QVERIFY2(result.exitCode == 0 && result.err.isEmpty() && pdfinfo("out.pdf", "Pages:") == "1", result.err.constData());
            result = pavlin({"in.pdf", "-getinfo", "-outfile", "info.txt"});
            QVERIFY2(result.exitCode == 0 && readAll("info.txt") == "NumberOfPages: 1\n", result.err.constData());
        }
    }
};

QTEST_MAIN(PavlinTest)
#include "pavlin_test.moc"
