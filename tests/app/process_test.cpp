// The replacement window with the real information tool, page renderer and
// replacement engine, driven through its widgets and the dialog seam; its
// plain parts (rule lines, content matching, list texts) directly.

#include "aboutdialog.h"
#include "contentmatch.h"
#include "debugtraces.h"
#include "excelmain.h"
#include "filelist.h"
#include "replacewindow.h"
#include "rulefile.h"
#include "urlcatcher.h"

#include <QAction>
#include <QDesktopServices>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>

namespace
{
// A program replaced by a script or missing (script empty), what the window
// then says once for a missing program and else for each file, the batch, the
// output folder, and the results; three results: a damaged file between good ones.
struct RowsCase { QString program; QByteArray script; QString said; bool byPosition; QString folder; QStringList results; };

}

Q_DECLARE_METATYPE(RowsCase)

class ProcessTest : public QObject, WindowFixture
{
    Q_OBJECT

    QString out;

private slots:
    void initTestCase() { tmf = new TM; }
    void init() { QVERIFY(fresh()); out = box->out; }
    void cleanup() { Patience::afterCase(); }

    // The plain parts: rule lines, content matching, references, list texts.
    void plainParts()
    {
        const struct { const char *key, *textLine, *imageLine; } cases[] = {
            {"P3 (120 45 60 12)", "3-120-45-60-12:Total:Sum\r\n", "3:120:45:(/pics/a b.png):80:020\r\n"},
            {"P3", "3----:Total:Sum\r\n", "3:::(/pics/a b.png):80:020\r\n"},
            {"", "----:Total:Sum\r\n", ":::(/pics/a b.png):80:020\r\n"},
            {"P12 (0 7 130 14", "12-0-7-130-14:Total:Sum\r\n", "12:0:7:(/pics/a b.png):80:020\r\n"},
        };
        for (const auto &c : cases) {
            const RuleFile::PositionKey k = RuleFile::cutPositionKey(QLatin1String(c.key));
            QCOMPARE(RuleFile::textRuleLine(k, QStringLiteral("Total"), QStringLiteral("Sum")), QLatin1String(c.textLine));
            QCOMPARE(RuleFile::imageRuleLine(k, QStringLiteral("/pics/a b.png"), QStringLiteral("80"), QStringLiteral("020")),
                     QLatin1String(c.imageLine));
        }

        // Content rules match whole runs and neighbours on one line. Runs: "Saint" "Paul" on one line, "Total" and "total" below,
        // "Total:" and "A&amp;B" further down, "Paul" alone at the far right.
        Alltext page;
        const struct { int x, y, w; const char *text; } runs[] = {
            {10, 20, 30, "Saint"}, {44, 20, 26, "Paul"}, {100, 50, 40, "Total"}, {150, 50, 40, "total"},
            {10, 70, 40, "Total:"}, {10, 90, 30, "A&amp;B"}, {400, 90, 30, "Paul"}, {460, 90, 30, "Paul"}};
        for (const auto &r : runs)
            page.subtext.append({r.x, r.y, r.w, 12, QString::fromUtf8(r.text)});
        page.count = page.subtext.size();
        const struct { const char *find, *lines; } finds[] = {
            {"Total", "2-100-50-40-12:Total:X\r\n"}, {"Saint Paul", "2-10-20-60-12:Saint Paul:X\r\n"},
            {"A&B", "2-10-90-30-12:A&B:X\r\n"},      {"Total:x", ""}, {"Paul Paul", ""}, {"", ""}, {"Saint  Paul", ""}};
        for (const auto &c : finds)
            QCOMPARE(ContentMatch::pageRuleLines(page, 2, {{QLatin1String(c.find), QStringLiteral("X"), {}, {}, {}}},
                                                 ContentMatch::TextRules),
                     QLatin1String(c.lines));
        // A run continues another's line when their middles lie within half
        // the taller height and it starts at or after the other, at most that
        // height past its end; each edge exactly.
        const Subtext saint{10, 20, 30, 12, QStringLiteral("Saint")};
        const struct { const char *name; Subtext next; bool continues; } lines[] = {
            {"half a height lower", {40, 26, 20, 12, {}}, true},   {"more than half lower", {40, 27, 20, 12, {}}, false},
            {"half a height higher", {40, 14, 20, 12, {}}, true},  {"more than half higher", {40, 13, 20, 12, {}}, false},
            {"a taller run's half lower", {40, 26, 20, 20, {}}, true}, {"more than that", {40, 27, 20, 20, {}}, false},
            {"a height's gap", {52, 20, 20, 12, {}}, true},        {"a wider gap", {53, 20, 20, 12, {}}, false},
            {"at the same start", {10, 20, 20, 12, {}}, true},     {"starting before", {9, 20, 40, 12, {}}, false},
        };
        for (const auto &l : lines)
            QVERIFY2(ContentMatch::continuesLine(saint, l.next) == l.continues, l.name);

        // Picture lines: sizes that are no number above 0 are the box's own;
        // each line names the rule that made it.
        QVector<int> rows;
        QCOMPARE(ContentMatch::pageRuleLines(page, 1, {{QStringLiteral("Paul"), {}, QStringLiteral("/a.png"), QStringLiteral("-3"), QString()},
                                                       {QStringLiteral("Total"), {}, QStringLiteral("/b.png"), QStringLiteral("8"), QStringLiteral("0")}},
                                             ContentMatch::ImageRules, &rows),
                 QStringLiteral("1:44:20:(/a.png):26:12\r\n1:100:50:(/b.png):8:12\r\n1:400:90:(/a.png):30:12\r\n1:460:90:(/a.png):30:12\r\n"));
        QCOMPARE(rows, QVector<int>({0, 1, 0, 0}));

        // The converter's references turned back; unknown, invalid or too long
        // ones stay as they stand.
        const struct { const char *layer; QString text; } layers[] = {
            {"&lt;&gt;&quot;&apos;&amp;", QStringLiteral("<>\"'&")},
            {"&#65;&#x42;&#X43;&#5;&#00000065;&#xD7FF;&#x10FFFF;",
             QStringLiteral("ABC\x05" "A") + QChar(0xD7FF) + QString::fromUcs4(U"\U0010FFFF")},
            {"&#0;&#xD800;&#xDFFF;&#x110000;&#;&#x;&bogus;&amp", QString()},
            {"&#000000065; &ampx;", QString()},
        };
        for (const auto &c : layers)
            QCOMPARE(ContentMatch::decodeText(QString::fromLatin1(c.layer)),
                     c.text.isNull() ? QString::fromLatin1(c.layer) : c.text);

        QCOMPARE(FileList::sizeText(1048576) + '|' + FileList::sizeText(1048577), QStringLiteral("      1048.576 KB|         1.049 MB"));
        QCOMPARE(FileList::pageCountText("Title: x\nNumberOfPages: 12\n") + '|' + FileList::pageCountText("Pages 12345678901234"),
                 QStringLiteral("12|"));
        QCOMPARE(FileList::outputPath(out, QStringLiteral("/x/report.final.pdf")), out + QStringLiteral("/report.pdf"));
    }

    // Two sample PDFs, one by the dialog and one by a drop, counted, then
    // replaced by content: first words by text, then a word by a picture.
    void contentRunReplacesTextAndPictures()
    {
        const QString animals = box->sample("AnimalSounds.pdf");
        const QString schools = box->sample("schools.pdf");
        Window win(dialogs);
        win.open({animals});
        QCOMPARE(win.files()->currentIndex(), win.files()->model()->index(0, 0));   // chosen files start at the first
        // A folder and a file that is no PDF among the dropped are passed over.
        const QString notes = box->path() + QStringLiteral("/notes.txt");
        QVERIFY(writeFile(notes, "no PDF"));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(box->path()), QUrl::fromLocalFile(notes), QUrl::fromLocalFile(schools)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&win.w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&win.w, &drop);
        QTRY_COMPARE_WITH_TIMEOUT(win.linesEqual(QStringLiteral("Finished.")), 2, 60000);
        QVERIFY(win.files()->rowCount() == 2 && win.cell(0, 1) + win.cell(1, 1) == QStringLiteral("15"));

        dialogs.fileAnswers.enqueue(out);
        win.button("outputButton")->click();
        win.addContentRule(0, {"Says", "Yells"});
        win.w.setTimeLimits(0, 60000);   // each program's time comes from the file's page count alone
        win.replace("pushButton_textall_replace");
        QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
        // schools.pdf holds no "Says": its rule file has no rule, which is
        // no error; its output holds its pages unchanged.
        QCOMPARE(win.results(2), QStringList({"Succeed", "Succeed"}));
        QCOMPARE(win.lines().filter(QStringLiteral("No content rule matched")),
                 QStringList({"No content rule matched " + schools + "; its pages are written as they were."}));
        const QString unchanged = out + QStringLiteral("/schools.pdf");
        QCOMPARE(pdfText(unchanged), pdfText(schools));
        QVERIFY(output(QStringLiteral("pdfinfo"), {unchanged}).contains("Pages:           5"));
        QCOMPARE(output(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("20"), QStringLiteral("-gray"), unchanged}),
                 output(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("20"), QStringLiteral("-gray"), schools}));
        const auto animalWords = pdfText(out + QStringLiteral("/AnimalSounds.pdf"));
        QVERIFY(countWord(animalWords, QStringLiteral("Says")) == 0
                && countWord(animalWords, QStringLiteral("Yells")) == countWord(pdfText(animals), QStringLiteral("Says")));

        // A new picture rule's button asks for its picture; a rule made and cleared leaves no row.
        win.addContentRule(1, {"Cat"});
        QTableWidget *pictures = win.get<QTableWidget>("tableWidget_imageall");
        QCOMPARE(qobject_cast<QPushButton *>(pictures->cellWidget(0, 1))->text(), QStringLiteral("Open Picture File"));
        win.button("pushButton__text_clear")->click();
        QCOMPARE(pictures->rowCount(), 0);
        // A picture for "Cat"; the second batch into the same folder keeps the first's results.
        const QString picture = box->picture();
        QVERIFY(!picture.isEmpty());
        dialogs.fileAnswers.enqueue(picture);
        win.addContentRule(1, {"Cat", "30", "14"});
        win.replace("pushButton_textall_replace", 2);
        const auto pictured = pdfText(out + QStringLiteral("/AnimalSounds-0.pdf"));
        QVERIFY(win.cell(0, 3) == QStringLiteral("Succeed") && countWord(pictured, QStringLiteral("Cat")) == 0
                && countWord(pictured, QStringLiteral("Says")) == 3 && countWord(pdfText(out + QStringLiteral("/AnimalSounds.pdf")), QStringLiteral("Yells")) == 3);
        // Each "Cat" got the picture at the width and height typed (its
        // pixels over its resolution, in points).
        const QStringList listed = QString::fromUtf8(output(QStringLiteral("pdfimages"), {QStringLiteral("-list"),
                                       out + QStringLiteral("/AnimalSounds-0.pdf")})).split('\n', Qt::SkipEmptyParts).mid(2);
        QVERIFY2(!listed.isEmpty(), "no picture in the output");
        for (const QString &line : listed) {
            const QStringList f = line.simplified().split(' ');
            QVERIFY2(f.size() > 13 && qAbs(f[3].toDouble() * 72 / f[12].toDouble() - 30) < 0.5
                         && qAbs(f[4].toDouble() * 72 / f[13].toDouble() - 14) < 0.5, qPrintable(line));
        }
        // The image rules as typed, handed to the engine as they stand; an
        // engine failing on each file is reported for that file.
        WindowBox::replaceProgram(QStringLiteral("Ostrel.dll"), "#!/bin/sh\necho 'Ostrel.dll: damaged' >&2\nexit 1\n");
        win.w.setallimage();
        QCOMPARE(readAll(PageFiles::tempFolder() + QStringLiteral("/textall.txt")), ("Cat:(" + picture + "):30:14\r\n").toUtf8());
        win.finished(3);
        for (const QString &file : {schools, animals})
            QVERIFY2(win.linesEqual(file + QStringLiteral(" was not replaced: Ostrel.dll: damaged")) == 1, qPrintable(win.lines().join('\n')));
    }

    // Each row is judged by its own run, in both batches. A run that cannot
    // start fails its rows once, with one status line, and never leaves a
    // chain waiting; a render that leaves fewer pages than counted fails its
    // file, whatever an earlier render left behind.
    void rowsFailByTheirOwnRun_data()
    {
        QTest::addColumn<RowsCase>("c");
        const QStringList failed{"Failed", "Failed"};
        for (const char *p : {"Pavlin.dll", "Dorcet.dll", "Ostrel.dll"})
            QTest::newRow(p) << RowsCase{p, {}, QStringLiteral("%1 could not be started").arg(QLatin1String(p)), false, {}, failed};
        QTest::newRow("count hangs") << RowsCase{"Pavlin.dll", "#!/bin/sh\nexec sleep 60\n", "Pavlin.dll did not finish in time", false, {}, failed};
        // A count that failed after it wrote its file: the file is not read.
        QTest::newRow("count fails after writing")
            << RowsCase{"Pavlin.dll", "#!/bin/sh\nfor a; do last=\"$a\"; done\necho 'NumberOfPages: 7' > \"$last\"\n"
                                      "echo 'Pavlin.dll: stopped on the way' >&2\nexit 1\n",
                        "Pavlin.dll: stopped on the way", false, {}, failed};
        QTest::newRow("render without pages")
            << RowsCase{"Dorcet.dll", "#!/bin/sh\nexit 0\n", "The text of page 1 of ", false, {}, failed};
        for (const bool position : {false, true}) {
            // By position the table is empty: a rule file without rules asks
            // for nothing, which is no error.
            QTest::addRow("damaged, by position %d", position)
                << RowsCase{{}, {}, {}, position, {}, {"Succeed", "Failed", "Succeed"}};
            QTest::addRow("folder not writable, by position %d", position)
                << RowsCase{{}, {}, {}, position, QStringLiteral("/proc"), {"Failed", "Failed", "Failed"}};
        }
    }
    void rowsFailByTheirOwnRun()
    {
        QFETCH(RowsCase, c);
        const auto &[program, script, said, byPosition, folder, results] = c;
        if (!script.isEmpty())
            WindowBox::replaceProgram(program, script);
        else if (!program.isEmpty())
            QVERIFY(QFile::remove(program));
        // Left by earlier runs: neither may pass for this run's results.
        QVERIFY(writeFile(QStringLiteral("fileinfo.txt"), "NumberOfPages: 9\n"));
        QVERIFY(writeFile(PageFiles::tempFolder() + QStringLiteral("/split_pg_0001.htm"),
                          "<span style=\"left:61;top:100;width:23;height:13;\">Says</span>\n"));
        const QString animals = box->sample("AnimalSounds.pdf");
        const QString damaged = box->path() + QStringLiteral("/in 50%/damaged.pdf");
        QVERIFY(writeFile(damaged, readAll(animals).left(900)));
        Window win(dialogs);
        win.w.setTimeLimits(3000, 60000);   // a count has no pages: 3 s
        win.open(results.size() == 2 ? QStringList{animals, animals} : QStringList{animals, damaged, animals});
        QCOMPARE(win.cell(0, 1) + win.cell(results.size() - 1, 1), program == QStringLiteral("Pavlin.dll") ? QString() : QStringLiteral("11"));
        win.setOutput(folder.isEmpty() ? out : folder);
        win.addContentRule(0, {"Says", "Yells"});
        win.replace(byPosition ? "pushButton_textsome_replace" : "pushButton_textall_replace");
        QCOMPARE(win.results(results.size()), results);
        if (program.isEmpty())
            QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
        else
            QVERIFY(win.lines().filter(said).size() == (script.isEmpty() ? 1 : 2) && QDir(out).entryList(QDir::Files).isEmpty());
        if (!program.isEmpty() && script.isEmpty() && program != QStringLiteral("Pavlin.dll")) {
            // The next batch says it once again (the count reads pages only when files are added).
            win.replace(byPosition ? "pushButton_textsome_replace" : "pushButton_textall_replace", 2);
            QCOMPARE(win.results(results.size()), results);
            QCOMPARE(win.lines().filter(said).size(), 2);
        }
    }

    // Each count writes its command line, the information file it reads and
    // the count to the log; an information file that cannot be read says so.
    void countsAreTraced()
    {
        DebugTraces traces;
        Window win(dialogs);
        const QString animals = box->listed(win);
        const QString here = QDir::currentPath();
        const QStringList counted = {
            QStringLiteral("\"%1/Pavlin.dll\" \"%2\" -getinfo -outfile \"%1/fileinfo.txt\"").arg(here, animals),
            QStringLiteral("Information file is: \"%1/fileinfo.txt\"").arg(here), QStringLiteral("Page number is:1.\n")};
        QCOMPARE(traces.lines(), counted);
        QVERIFY(win.lines().filter(QStringLiteral("could not be read")).isEmpty());   // a good count says nothing of the kind

        traces.clear();
        WindowBox::replaceProgram(QStringLiteral("Pavlin.dll"), "#!/bin/sh\nexit 0\n");
        QVERIFY(QDir().mkdir(QStringLiteral("fileinfo.txt")));
        win.open({animals}, 2);
        QCOMPARE(traces.lines(), QStringList(counted.mid(0, 2)) << QStringLiteral("No information file."));
    }

    // One chain at a time: Replace is refused while counts are read and while
    // a batch runs, and a header click sorts only when no batch runs, moving
    // no count into another file's row. The split chain then writes each range
    // of the current file into a subfolder it makes, never over an earlier
    // result, and hands the next file to the content run.
    void oneChainAtATimeThenSplit()
    {
        const QString animals = box->sample("AnimalSounds.pdf");
        const QString schools = box->sample("schools.pdf");
        Window win(dialogs);
        win.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win.w));
        win.setOutput(out);
        win.choose({schools, animals});
        QHeaderView *header = win.files()->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 5, 5));
        QCOMPARE(win.cell(0, 0), animals);   // sorted while counting, the header showing how
        QVERIFY(header->isSortIndicatorShown() && header->sortIndicatorSection() == 0);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 5, 5));
        QCOMPARE(win.cell(0, 0), schools);
        win.button("pushButton_textall_replace")->click();
        QVERIFY(dialogs.boxes.size() == 1 && dialogs.boxes[0].text.contains(QStringLiteral("Page counts")));
        QTRY_COMPARE_WITH_TIMEOUT(win.linesEqual(QStringLiteral("Finished.")), 1, 60000);
        QCOMPARE(win.cell(0, 1) + win.cell(1, 1), QStringLiteral("51"));

        for (const char *name : {"pushButton_textall_replace", "pushButton_textall_replace", "pushButton_textsome_replace"})
            win.button(name)->click();
        QVERIFY(dialogs.boxes.size() == 3 && dialogs.boxes[2].text.contains(QStringLiteral("already running")));
        QVERIFY(win.listLocked());
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 5, 5));
        QCOMPARE(win.cell(0, 0), schools);   // not sorted during the batch
        win.finished(1);
        QVERIFY(win.linesEqual(QStringLiteral("Conversion Start:")) == 1
                && win.lines().indexOf(QStringLiteral("Conversion Start:")) < win.lines().lastIndexOf(animals));
        // No content rule yet: an empty rule file asks for nothing, and each
        // output holds its input's pages; they go before the split.
        QCOMPARE(win.results(2), QStringList({"Succeed", "Succeed"}));
        QVERIFY(pdfText(out + QStringLiteral("/schools.pdf")) == pdfText(schools)
                && pdfText(out + QStringLiteral("/AnimalSounds.pdf")) == pdfText(animals));
        QVERIFY(QFile::remove(out + QStringLiteral("/schools.pdf")) && QFile::remove(out + QStringLiteral("/AnimalSounds.pdf")));

        win.addContentRule(0, {"Says", "Yells"});
        const QString first = out + QStringLiteral("/schools/1 a-b schools.pdf");
        QVERIFY(QDir().mkpath(out + QStringLiteral("/schools")) && writeFile(first, "earlier"));
        win.w.setRanges({QStringLiteral("1-2"), QStringLiteral("5, 3")}, {QStringLiteral("a/b"), QStringLiteral("c")});
        win.w.splitpdffile();
        win.finished(2);
        QCOMPARE(win.lines().filter(QStringLiteral("Generating ")),
                 QStringList({"Generating " + out + "/schools/1 a-b schools-0.pdf", "Generating " + out + "/schools/2 c schools.pdf"}));
        QVERIFY(readAll(first) == "earlier" && output(QStringLiteral("pdfinfo"), {out + QStringLiteral("/schools/2 c schools.pdf")}).contains("Pages:           2"));
        QCOMPARE(win.results(2), QStringList({"Succeed", "Succeed"}));
        // Only the next file went on by content; the split one was not replaced again.
        QCOMPARE(QDir(out).entryList(QDir::Files), QStringList({"AnimalSounds.pdf"}));
        QCOMPARE(countWord(pdfText(out + QStringLiteral("/AnimalSounds.pdf")), QStringLiteral("Yells")), 3);
    }

    // What the split and content chains say when they cannot write an output
    // or a rule file; each failure fails its row, and the batch ends.
    void chainsNameWhatTheyCouldNotWrite()
    {
        // With no file listed the editor is told so.
        Window win(dialogs);
        dialogs.onExec = [](QDialog *) { return int(QDialog::Rejected); };
        win.button("pushButton_option")->click();
        QSettings settings(QStringLiteral("setting.ini"), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("file/file")).toString() + '|' + settings.value(QStringLiteral("file/page")).toString(),
                 QStringLiteral("Empty input|0"));

        const QString animals = box->listed(win);
        const QString folder = out + QStringLiteral("/AnimalSounds");
        const QString first = QDir::toNativeSeparators(folder + QStringLiteral("/1 a AnimalSounds.pdf"));
        const QString pavlin = QDir::currentPath() + QStringLiteral("/Pavlin.dll");
        const struct { const char *name; std::function<void()> before; QString said; int times; } cases[] = {
            {"a file where its folder belongs", [&] { writeFile(folder, "x"); },
             QStringLiteral("The folder %1 could not be made.").arg(QDir::toNativeSeparators(folder)), 2},
            {"the program writes nothing", [&] { WindowBox::replaceProgram(pavlin, "#!/bin/sh\nexit 0\n"); },
             first + QStringLiteral(" was not written."), 1},
            {"the output folder gone after the first range", [&] {
                 connect(win.get<QTextEdit>("textEdit_process"), &QTextEdit::textChanged, &win.w, [&] {
                     if (win.lines().last().startsWith(QLatin1String("Generating ")))
                         win.setOutput(out + QStringLiteral("/gone"));
                 });
             }, QStringLiteral("Conversion stopped: the output folder does not exist."), 1},
        };
        int batches = 0;
        for (const auto &c : cases) {
            win.setOutput(out);
            c.before();
            win.w.setRanges({QStringLiteral("1"), QStringLiteral("1")}, {QStringLiteral("a"), QStringLiteral("b")});
            win.w.splitpdffile();
            if (c.said.startsWith(QLatin1String("Conversion stopped")))
                QTRY_VERIFY(win.linesEqual(c.said) == 1 && win.listUnlocked());
            else
                win.finished(++batches);
            QVERIFY2(win.linesEqual(c.said) == c.times && win.results(1) == QStringList({"Failed"}), qPrintable(c.name + QLatin1Char('\n') + win.lines().join(QLatin1Char('\n'))));
            QFile::remove(folder);
        }
        QVERIFY(QFile::remove(pavlin) && QFile::link(GRIDMOLT_APP_DIR + QStringLiteral("/Pavlin.dll"), pavlin));

        // A content rule file that cannot be replaced fails the row, for
        // text and for picture rules; the entry point of the content chain
        // behind the split runs the same batch.
        disconnect(win.get<QTextEdit>("textEdit_process"), &QTextEdit::textChanged, &win.w, nullptr);
        win.setOutput(out);
        const QString rules = PageFiles::tempFolder() + QStringLiteral("/textall.txt");
        QVERIFY(QDir().mkdir(rules));
        for (const int tab : {0, 1}) {
            win.addContentRule(tab, {"Says", "Yells"});
            win.replace("pushButton_textall_replace", ++batches);
            QVERIFY(win.results(1) == QStringList({"Failed"}) && win.lines().filter(QStringLiteral("textall.txt")).size() == tab + 1);
        }
        win.get<QTableWidget>("tableWidget_textall")->setRowCount(0);
        win.w.setallimage();   // the picture rules as typed
        win.finished(++batches);
        QVERIFY(win.results(1) == QStringList({"Failed"}) && win.lines().filter(QStringLiteral("textall.txt")).size() == 3);
        QVERIFY(QDir().rmdir(rules));
        win.get<QTabWidget>("tabWidget_replacechild")->setCurrentIndex(0);
        win.addContentRule(0, {"Says", "Yells"});
        win.w.convertbegin();
        win.finished(++batches);
        QVERIFY(win.results(1) == QStringList({"Succeed"}) && countWord(pdfText(out + QStringLiteral("/AnimalSounds.pdf")), QStringLiteral("Yells")) == 3);
        QVERIFY(!animals.isEmpty());
    }

    // An output folder that goes while a content batch runs stops it at the
    // next file: nothing of that file is started, the list is given back.
    void outputFolderGoneStopsTheBatch()
    {
        Window win(dialogs);
        box->listed(win, 2);
        win.addContentRule(0, {"Says", "Yells"});
        bool moved = false;
        connect(win.get<QTextEdit>("textEdit_process"), &QTextEdit::textChanged, &win.w, [&] {
            if (!moved && win.lines().last() == QLatin1String("Conversion Start:")) {
                moved = true;
                win.setOutput(out + QStringLiteral("/gone"));
            }
        });
        win.button("pushButton_textall_replace")->click();
        const QString stopped = QStringLiteral("Conversion stopped: the output folder does not exist.");
        QTRY_VERIFY_WITH_TIMEOUT(win.linesEqual(stopped) == 1 && win.listUnlocked(), Patience::ms(60000));
        QTest::qWait(500);   // nothing more comes
        QVERIFY2(win.lines().last() == stopped && win.cell(1, 3) != QLatin1String("Succeed"), qPrintable(win.lines().join('\n')));
        // The folder that is not there is taken out of its field, after a word to the user.
        QVERIFY(win.get<QLineEdit>("outputfolderEdit")->text().isEmpty() && !dialogs.boxes.isEmpty()
                && dialogs.boxes.last().text == QLatin1String("Please specify an output folder."));
    }

    // The position table shows as many rules as the record counts, within
    // what the record holds.
    void handedBackRowsAreTheRecordsCount()
    {
        Window win(dialogs);
        box->listed(win);
        // Each opening also hands over the rows the last one left shown,
        // none included.
        const struct { int mode, count, rows; } cases[] = {
            {1, 0, 0}, {1, -3, 0}, {1, 2, 2}, {1, TM::capacity + 5, TM::capacity}, {1, 0, 0},
            {2, 0, 0}, {2, 2, 2}, {2, TM::capacity + 1, TM::capacity}, {2, 0, 0}, {1, 2, 2}};
        QString shown = QStringLiteral("1 0");
        for (const auto &c : cases) {
            QString handed;
            dialogs.onExec = [&c, &handed](QDialog *) {
                handed = QStringLiteral("%1 %2").arg(tmf->inputKind).arg(tmf->inputKind == 1 ? tmf->nTextsome : tmf->nImagesome);
                tmf->mode = c.mode;
                (c.mode == 1 ? tmf->nTexttoText : tmf->nTexttoImage) = c.count;
                return int(QDialog::Accepted);
            };
            win.button("pushButton_option")->click();
            const char *table = c.mode == 1 ? "tableWidget_textsome" : "tableWidget_imagesome";
            QVERIFY2(win.get<QTableWidget>(table)->rowCount() == c.rows && handed == shown,
                     qPrintable(QStringLiteral("%1 %2: handed %3").arg(c.mode).arg(c.count).arg(handed)));
            shown = QStringLiteral("%1 %2").arg(c.mode).arg(c.rows);
        }
    }

    // The rules the editor saved come back into the position table in force,
    // which stays in force whatever page the window shows, and the batch by
    // position replaces by them.
    void handOverAndReplaceByPosition()
    {
        Window win(dialogs);
        const QString animals = box->listed(win);
        QByteArray onDisk;   // what another reader of the settings finds while the editor is open
        dialogs.onExec = [&onDisk](QDialog *) {
            onDisk = readAll(QStringLiteral("setting.ini"));
            tmf->texttoImage[0] = {catBox, QStringLiteral("Cat"), QStringLiteral("/a.png"), 40, 12};
            return tmf->mode = 2, tmf->nTexttoImage = 1, int(QDialog::Accepted);
        };
        win.button("pushButton_option")->click();
        QVERIFY2(onDisk.contains("AnimalSounds.pdf") && onDisk.contains("page=1"), onDisk.constData());
        QTableWidget *texts = win.get<QTableWidget>("tableWidget_textsome"), *images = win.get<QTableWidget>("tableWidget_imagesome");
        QVERIFY(texts->isHidden() && !images->isHidden() && images->item(0, 3)->text() == QStringLiteral("40"));
        QVERIFY(clickSelectsItsRow(images));
        QSettings settings(QStringLiteral("setting.ini"), QSettings::IniFormat);   // what the editor opens
        QVERIFY(settings.value(QStringLiteral("file/file")) == animals && settings.value(QStringLiteral("file/page")) == "1");
        QCOMPARE(readAll(win.w.setimagesomerule().fileName), QByteArray("1:61:100:(/a.png):40:12\r\n"));

        win.positionRules({{catBox, "Cat", "Dog"}});
        // The picture rules handed over, every cell as the table shows it.
        const Imagesome &handed = tmf->imagesome[0];
        QCOMPARE(QStringList({handed.position, handed.find, handed.image, handed.width, handed.height}),
                 QStringList({catBox, "Cat", "/a.png", "40", "12"}));
        QCOMPARE(QStringLiteral("%1 %2").arg(tmf->inputKind).arg(tmf->nImagesome), QStringLiteral("2 1"));
        QVERIFY(!texts->isHidden() && images->isHidden() && images->rowCount() == 1);
        QVERIFY(clickSelectsItsRow(texts));

        win.get<QTabWidget>("tabWidget_replaceparent")->setCurrentIndex(1);
        win.w.setTimeLimits(0, 60000);   // the engine's time comes from the page count alone
        win.replace("pushButton_textsome_replace");
        QVERIFY(win.cell(0, 3) == QStringLiteral("Succeed") && readAll(PageFiles::tempFolder() + QStringLiteral("/rules.txt")) == "1-61-100-17-13:Cat:Dog\r\n");
        const auto words = pdfText(out + QStringLiteral("/AnimalSounds.pdf"));
        QVERIFY(countWord(words, QStringLiteral("Cat")) == 0 && countWord(words, QStringLiteral("Dog")) == 1);
        win.button("pushButton_option")->click();   // refilled, not added to, and handed over again
        QVERIFY(texts->rowCount() == 1 && tmf->inputKind == 1 && tmf->nTextsome == 1 && tmf->textsome[0].find == "Cat"
                && tmf->textsome[0].replace == "Dog");

        // A rule file that cannot be written fails the row and names the file;
        // the engine does not run on the old one.
        const QString rules = PageFiles::tempFolder() + QStringLiteral("/rules.txt");
        QVERIFY(QFile::remove(rules) && QDir().mkdir(rules));
        win.replace("pushButton_textsome_replace", 2);
        const QStringList said = win.lines().filter(QStringLiteral("rules.txt"));
        QVERIFY(win.cell(0, 3) == QStringLiteral("Failed") && said.size() == 1
                && !QFile::exists(out + QStringLiteral("/AnimalSounds-0.pdf")));
        // The line gives the reason after the file's name.
        const QString named = QStringLiteral("Could not write the rule file \"%1\": ").arg(rules);
        QVERIFY2(said[0].startsWith(named) && said[0].size() > named.size() + 3, qPrintable(said[0]));
    }

    // A program that hangs is ended at its limit and fails only its file;
    // closing the window ends a program still running and fails its file.
    void hangingProgramsAreEnded()
    {
        Window win(dialogs);
        const QString animals = box->listed(win, 2);
        WindowBox::replaceProgram(QStringLiteral("Ostrel.dll"), "#!/bin/sh\necho $$ >> pids\nexec sleep 60\n");
        win.w.setTimeLimits(0, 300);   // one page: 300 ms
        QElapsedTimer clock; clock.start();
        win.replace("pushButton_textsome_replace");
        QVERIFY(win.results(2) == QStringList({"Failed", "Failed"}) && clock.elapsed() < 8000
                && win.lines().filter(QStringLiteral("did not finish in time")).size() == 2);

        // A count ended by closing lets the next batch start.
        win.choose({animals});
        win.w.close();
        // An output folder gone during a batch: the file that just finished is
        // judged, then the batch ends; the next one starts again at row 0.
        const QString gone = box->path() + QStringLiteral("/gone");
        QVERIFY(QDir().mkpath(gone));
        win.setOutput(gone);
        win.button("pushButton_textsome_replace")->click();
        QVERIFY(QDir().rmdir(gone));
        QTRY_COMPARE_WITH_TIMEOUT(win.lines().filter(QStringLiteral("Conversion stopped")).size(), 1, 30000);
        QVERIFY(win.results(2) == QStringList({"Failed", "<none>"}) && dialogs.boxes.size() == 1 && dialogs.boxes[0].title == QStringLiteral("Invalid order") && win.listUnlocked());
        win.setOutput(out);

        win.w.setTimeLimits(60000, 0);
        win.addContentRule(0, {"Says", "Yells"});
        win.button("pushButton_textall_replace")->click();
        QTRY_COMPARE_WITH_TIMEOUT(readAll(QStringLiteral("pids")).count('\n'), 4, 30000);
        const QString proc = QStringLiteral("/proc/") + QString::fromLatin1(readAll(QStringLiteral("pids")).split('\n').value(3));
        QVERIFY(QFile::exists(proc));
        win.w.close();
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(proc), 10000);
        QVERIFY(win.results(2) == QStringList({"Failed", "<none>"}) && win.listUnlocked());
    }

    // Up and Down move every selected file by one row with all its cells and
    // leave the moved file selected; Remove takes the selected rows only; a
    // double click opens the file.
    void listEditing()
    {
        Window win(dialogs);
        QStringList paths;
        for (const char *n : {"a", "b", "c", "d", "e"})   // sizes 1001 to 1005
            QVERIFY(writeFile((paths << box->path() + QStringLiteral("/%1.pdf").arg(QLatin1String(n))).last(), QByteArray(1001 + *n - 'a', 'x')));
        win.open(paths);
        win.choose({});   // left without a choice: the next choice starts where the last one chose
        QVERIFY(dialogs.fileDirs.size() >= 2 && dialogs.fileDirs.last() == box->path()
                && dialogs.fileDirs.at(dialogs.fileDirs.size() - 2) != box->path());
        QVERIFY(clickSelectsItsRow(win.files()));
        auto rows = [&] {
            QStringList out;
            for (int r = 0; r < win.files()->rowCount(); ++r)
                out << QFileInfo(win.cell(r, 0)).baseName() + win.cell(r, 2).right(5);
            return out.join(QLatin1Char(' '));
        };
        auto press = [&](std::initializer_list<int> selected, const char *button) {
            win.files()->clearSelection();
            for (int r : selected)
                win.files()->selectionModel()->select(win.files()->model()->index(r, 0),
                                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
            win.button(button)->click();
        };
        press({1, 2}, "pushButton_down");
        QCOMPARE(rows(), QStringLiteral("a01 KB d04 KB b02 KB c03 KB e05 KB"));
        QCOMPARE(win.files()->selectionModel()->selectedRows(), QModelIndexList({win.files()->model()->index(2, 0)}));
        press({0}, "pushButton_up");
        press({4}, "pushButton_down");
        press({0, 2}, "removeButton");
        QCOMPARE(rows(), QStringLiteral("d04 KB c03 KB e05 KB"));
        UrlCatcher opened;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
        win.files()->setCurrentCell(0, 0);
        emit win.files()->itemDoubleClicked(win.files()->item(0, 0));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(opened.urls, QList<QUrl>({QUrl::fromLocalFile(paths[3])}));
        press({1, 2}, "pushButton_up");   // two rows up together keep their order
        QCOMPARE(rows(), QStringLiteral("c03 KB e05 KB d04 KB"));
        press({0, 1}, "removeButton");
        QCOMPARE(rows(), QStringLiteral("d04 KB"));
        win.button("removeallButton")->click();   // the last one goes too
        QCOMPARE(win.files()->rowCount(), 0);

        // The content rules of the tab shown: selected rows go by the button
        // or the table's menu, all of them by the clear button.
        for (const int tab : {0, 1}) {
            QTableWidget *t = win.get<QTableWidget>(tab == 0 ? "tableWidget_textall" : "tableWidget_imageall");
            QTableWidget *other = win.get<QTableWidget>(tab == 0 ? "tableWidget_imageall" : "tableWidget_textall");
            const int othersRows = other->rowCount();
            for (const char *find : {"one", "two", "three", "four"})
                win.addContentRule(tab, {QLatin1String(find)});
            const auto finds = [t] {
                QStringList out;
                for (int r = 0; r < t->rowCount(); ++r)
                    out << qobject_cast<QLineEdit *>(t->cellWidget(r, 0))->text();
                return out.join(QLatin1Char(' '));
            };
            t->selectRow(1);
            win.button("pushButton_text_remove")->click();
            t->selectRow(2);
            t->actions().at(0)->trigger();
            QCOMPARE(finds(), QStringLiteral("one three"));
            win.button("pushButton__text_clear")->click();
            QVERIFY(t->rowCount() == 0 && other->rowCount() == othersRows);
        }

        // About shows the product's dialog; Help opens the guide.
        QStringList shown;
        dialogs.onExec = [&shown](QDialog *d) { return shown << QLatin1String(d->metaObject()->className()), 0; };
        win.button("registerpushButton")->click();
        QVERIFY(QMetaObject::invokeMethod(&win.w, "setabout1"));   // the slot nothing connects shows the same
        QCOMPARE(shown, QStringList({"AboutDialog", "AboutDialog"}));
        const QUrl guide(QString::fromLatin1(AboutDialog::homePage) + QStringLiteral("/guide"));
        UrlCatcher web;
        QDesktopServices::setUrlHandler(guide.scheme(), &web, "open");
        win.button("pushButton_help")->click();
        QDesktopServices::unsetUrlHandler(guide.scheme());
        QCOMPARE(web.urls, QList<QUrl>({guide}));
    }

    // What a user sees before any batch: the window's picture behind its
    // widgets, every button and label as wide as its text, the picture
    // sizes' headers too, the whole path of a listed file on pointing at it,
    // and the rule editor opening above the window.
    // The window as it opens: its title and buttons, tables that select
    // whole rows, are not edited in place and offer their actions on a
    // right click, the widths given, files taken by dropping.
    void windowAsItOpens()
    {
        Window win(dialogs);
        QCOMPARE(win.w.windowTitle(), QStringLiteral("Korvane Quillmere"));
        QVERIFY(win.w.acceptDrops());
        QVERIFY(win.button("registerpushButton")->text() == QStringLiteral("About") && !win.button("registerpushButton")->icon().isNull());
        QVERIFY(win.get<QTextEdit>("textEdit_process")->toPlainText().isEmpty());
        const QStringList ruleActions{QStringLiteral("Delete Selected Rule(s)")};
        const struct { const char *table; QStringList actions; } tables[] = {
            {"inputfiletableWidget", {"Add File(s)", "View PDF File", "Delete Selected Item(s)", "Delete All Item(s)"}},
            {"tableWidget_textsome", ruleActions}, {"tableWidget_imagesome", ruleActions},
            {"tableWidget_textall", ruleActions},  {"tableWidget_imageall", ruleActions},
        };
        for (const auto &t : tables)
            QVERIFY2(offersRowActions(win.get<QTableWidget>(t.table), t.actions), t.table);
        const QTableWidget *pictures = win.get<QTableWidget>("tableWidget_imageall");
        QVERIFY(pictures->columnWidth(0) >= 100 && pictures->columnWidth(2) >= 80 && pictures->columnWidth(3) >= 80
                && pictures->horizontalHeader()->sectionResizeMode(1) == QHeaderView::Stretch);
        QVERIFY(win.get<QTableWidget>("tableWidget_textsome")->isVisibleTo(&win.w)
                && !win.get<QTableWidget>("tableWidget_imagesome")->isVisibleTo(&win.w));
    }

    void textsFitAndPathsShow()
    {
        Window win(dialogs);
        QVERIFY(centredOnScreen(win.w));   // in the middle of the first screen
        win.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win.w));
        // Where no widget stands the picture shows, not one plain colour.
        const QImage shown = win.w.grab().toImage();
        QSet<QRgb> background;
        for (int y = 0; y < shown.height(); y += 4)
            for (int x = 0; x < shown.width(); x += 4)
                if (!win.w.childAt(x, y))
                    background << shown.pixel(x, y);
        QVERIFY2(background.size() > 20, qPrintable(QString::number(background.size())));
        // The file list's column headers are blue, its row headers white.
        QTableWidget *list = win.files();
        list->setRowCount(1);
        QTRY_VERIFY(list->verticalHeader()->width() > 0);
        const QImage header = list->horizontalHeader()->grab().toImage(), rows = list->verticalHeader()->grab().toImage();
        QCOMPARE(QColor(header.pixel(header.width() / 2, 2)), QColor("CornflowerBlue"));
        QCOMPARE(QColor(rows.pixel(rows.width() - 3, list->rowHeight(0) / 2)), QColor("GhostWhite"));
        list->setRowCount(0);
        QDialog *editor = win.w.findChild<QDialog *>();
        QVERIFY(editor && editor->parentWidget() == &win.w && editor->isWindow());
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor));
        QStringList cut;
        for (QWidget *w : win.w.findChildren<QWidget *>()) {
            const auto *button = qobject_cast<QPushButton *>(w);
            const auto *label = qobject_cast<QLabel *>(w);
            const QString text = button ? button->text() : label ? label->text() : QString();
            if (!text.isEmpty() && w->isVisible() && w->width() < w->sizeHint().width())
                cut << QStringLiteral("%1 \"%2\" %3 < %4").arg(w->objectName(), text).arg(w->width()).arg(w->sizeHint().width());
        }
        QHeaderView *sizes = win.get<QTableWidget>("tableWidget_imageall")->horizontalHeader();
        for (int c = 0; c < sizes->count(); ++c) {
            if (sizes->sectionResizeMode(c) != QHeaderView::Stretch && sizes->sectionSize(c) < sizes->sectionSizeHint(c))
                cut << QStringLiteral("column %1 %2 < %3").arg(c).arg(sizes->sectionSize(c)).arg(sizes->sectionSizeHint(c));
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
        editor->hide();

        const QString path = box->path() + QStringLiteral("/a long folder name/deeper still/report.pdf");
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && writeFile(path, "%PDF-1.4\n"));
        win.open({path});
        QCOMPARE(win.files()->item(0, 0)->toolTip(), path);
        // Said when the file is added, not only at Replace, in the counting program's words.
        QCOMPARE(win.lines().filter(QStringLiteral("The page count of %1 could not be read: Pavlin.dll: cannot open").arg(path)).size(), 1);
    }

    // The editor the window made speaks through the window's dialogs: the
    // first file, gone since it was listed, is said there.
    void editorSpeaksThroughTheWindowsDialogs()
    {
        Window win(dialogs);
        const QString gone = box->path() + QStringLiteral("/gone.pdf");
        QVERIFY(QFile::copy(box->sample("AnimalSounds.pdf"), gone));
        win.open({gone});
        QVERIFY(QFile::remove(gone));
        dialogs.onExec = [](QDialog *) { return int(QDialog::Rejected); };
        win.button("pushButton_option")->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].text, QStringLiteral("The file \"%1\" cannot be found.").arg(gone));
    }

    // The main window's "Replace" opens the one replacement window, made on
    // first use and raised again later.
    void mainWindowOpensOneReplaceWindow()
    {
        ExcelMain main;
        auto windows = [] {
            QList<QWidget *> all = QApplication::topLevelWidgets();
            all.erase(std::remove_if(all.begin(), all.end(), [](QWidget *w) { return !qobject_cast<Process *>(w); }), all.end());
            return all;
        };
        QVERIFY(windows().isEmpty());
        for (int k = 0; k < 2; ++k) {
            main.findChild<QPushButton *>(QStringLiteral("pushButton_replace"))->click();
            QCOMPARE(windows().size(), 1);
            QVERIFY(windows().first()->isVisible() && !windows().first()->isMinimized());
            windows().first()->showMinimized();
        }
    }
};

QTEST_MAIN(ProcessTest)
#include "process_test.moc"
