// How a batch of the replacement window ends: closed at any moment (nothing
// of it runs after, no program and no file of it stays), judged by the
// engine's exit code, the split chain's ranges each judged by its own output,
// and picture sizes typed in the editor reaching the engine as the table
// shows them. The real programs where the road needs them, scripts in their
// place where a program must misbehave.

#include "replacewindow.h"
#include "rules.h"
#include "toolrun.h"

#include <QRadioButton>

namespace
{
// Everything in a folder, hidden files too.
QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

struct CloseCase
{
    const char *button;   // the Replace button, or "split" for the split chain
    QString marker;       // close when this line is appended for the n-th time
    int nth;
    int delayMs;          // else close this long after the click
    const char *broken = nullptr;   // a program removed, or "rules.txt" made unwritable
};

// A script standing in for the engine ($1 input, $3 output), the status
// lines expected in order, the row's result, whether the output stays and
// and the find texts of the content table's rows (none: the rules are by
// position).
struct EngineCase { QByteArray script; QStringList said; QString result; bool outputStays; QStringList content = {}; };

// The output folder ("<out>" for the usual one), the ranges, the results, a
// status line that must stand (none: refused at once) and the files written
// under <out>/AnimalSounds.
struct SplitCase { QString folder; QStringList ranges, results; QString said; QStringList written; };
}

Q_DECLARE_METATYPE(CloseCase)
Q_DECLARE_METATYPE(EngineCase)
Q_DECLARE_METATYPE(SplitCase)

class ProcessEndTest : public QObject, WindowFixture
{
    Q_OBJECT

    // One sample listed, the engine replaced by `engine`, a batch by
    // position begun.
    void beginWithEngine(Window &win, const QByteArray &engine)
    {
        WindowBox::replaceProgram(QStringLiteral("Ostrel.dll"), engine);
        box->listed(win);
        win.button("pushButton_textsome_replace")->click();
    }

private slots:
    void initTestCase() { tmf = new TM; }
    void init() { QVERIFY(fresh()); }
    void cleanup() { Patience::afterCase(); }

    // Closed at 0, 1, 3 and 10 ms after Replace, or from inside the handling
    // of a program's end (the status line that handling writes): the row in
    // work reads "Failed", the status area ends with the stop, nothing is
    // written after it, no program stays and the output folder keeps nothing
    // of the stopped file. A Replace after that starts afresh and finishes.
    void closeStopsEverything_data()
    {
        QTest::addColumn<CloseCase>("c");
        for (const int ms : {0, 1, 3, 10}) {
            QTest::addRow("position, %d ms", ms) << CloseCase{"pushButton_textsome_replace", {}, 0, ms};
            QTest::addRow("content, %d ms", ms) << CloseCase{"pushButton_textall_replace", {}, 0, ms};
            QTest::addRow("split, %d ms", ms) << CloseCase{"split", {}, 0, ms};
            // Every file fails at once, so each next step is one left for later.
            QTest::addRow("content without renderer, %d ms", ms)
                << CloseCase{"pushButton_textall_replace", {}, 0, ms, "Dorcet.dll"};
            QTest::addRow("position without rule file, %d ms", ms)
                << CloseCase{"pushButton_textsome_replace", {}, 0, ms, "rules.txt"};
        }
        // Each program's end: the page count (the next file's "Loading"), the
        // renderer (its first page read), the engine (the next file's step)
        // and the PDF tool (the next range).
        QTest::newRow("count ends") << CloseCase{nullptr, QStringLiteral("Loading "), 1, 0};
        QTest::newRow("render ends") << CloseCase{"pushButton_textall_replace", QStringLiteral("Analyzing page 1"), 1, 0};
        QTest::newRow("engine ends, position") << CloseCase{"pushButton_textsome_replace", QStringLiteral("<input>"), 2, 0};
        QTest::newRow("engine ends, content") << CloseCase{"pushButton_textall_replace", QStringLiteral("<input>"), 3, 0};
        QTest::newRow("range ends") << CloseCase{"split", QStringLiteral("Generating "), 2, 0};
    }
    void closeStopsEverything()
    {
        QFETCH(CloseCase, c);
        const QString animals = box->sample("AnimalSounds.pdf");
        Window win(dialogs);
        win.setOutput(box->out);
        win.addContentRule(0, {"Says", "Yells"});
        win.w.setRanges({QStringLiteral("1"), QStringLiteral("1")}, {QStringLiteral("a"), QStringLiteral("b")});
        int closes = 0;
        if (!c.marker.isEmpty()) {
            const QString marker = c.marker == QStringLiteral("<input>") ? animals : c.marker;
            connect(win.get<QTextEdit>("textEdit_process"), &QTextEdit::textChanged, &win.w, [&, marker] {
                const QStringList lines = win.lines();
                const auto from = [&marker](const QString &l) { return l.startsWith(marker); };
                if (closes == 0 && from(lines.last()) && std::count_if(lines.begin(), lines.end(), from) == c.nth) {
                    ++closes;
                    win.w.close();
                }
            });
        }
        const bool split = c.button && QLatin1String(c.button) == QLatin1String("split");
        if (c.broken && QLatin1String(c.broken) == QLatin1String("rules.txt"))
            QVERIFY(QDir().mkdir(PageFiles::tempFolder() + QStringLiteral("/rules.txt")));
        else if (c.broken)
            QVERIFY(QFile::remove(QLatin1String(c.broken)));
        c.button ? win.open({animals, animals}) : win.choose({animals, animals});
        if (split)
            win.w.splitpdffile();
        else if (c.button)
            win.button(c.button)->click();
        if (c.marker.isEmpty()) {
            if (c.delayMs > 0)
                QTest::qWait(c.delayMs);
            win.w.close();
            ++closes;
        }
        QTRY_COMPARE_WITH_TIMEOUT(closes, 1, Patience::ms(60000));
        const QStringList atClose = win.lines();
        // A batch whose every file fails at once may be over before the close.
        const bool over = c.broken && c.delayMs > 0 && atClose.last() == QStringLiteral("Conversion Finished.");
        QVERIFY2(over || atClose.last().contains(QStringLiteral("stopped: the window was closed")), qPrintable(atClose.join('\n')));
        QVERIFY(win.listUnlocked() && (!c.button || win.results(2).contains(QStringLiteral("Failed"))));
        // Nothing of the stopped chain runs on; its program goes.
        QTRY_VERIFY_WITH_TIMEOUT(win.w.findChildren<ToolRun *>().isEmpty(), 10000);
        QTest::qWait(300);
        QCOMPARE(win.lines(), atClose);
        // No program's temporary file and no output of the stopped file.
        for (const QString &name : entries(box->out))
            QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(name));
        if (c.marker.isEmpty() && c.button && !split)
            QCOMPARE(QDir(box->out).entryList({QStringLiteral("*.pdf")}, QDir::Files), QStringList());

        // The window works as before: a new batch from row 0 to the end.
        if (!c.button || c.broken)
            return;
        win.w.show();
        win.open({animals}, c.marker == QStringLiteral("Loading ") ? 1 : 2);
        win.replace("pushButton_textall_replace", 1);
        QVERIFY2(win.results(3) == QStringList({"Succeed", "Succeed", "Succeed"}), qPrintable(win.lines().join('\n')));
    }

    // The engine's outcome decides the row: every rule applied and the output
    // there; some rules skipped (output written, the skipped rules named with
    // their row); nothing written with a reason; a claimed success without
    // an output.
    void engineOutcomes_data()
    {
        QTest::addColumn<EngineCase>("c");
        QTest::newRow("all applied") << EngineCase{"#!/bin/sh\ncp \"$1\" \"$3\"\n", {}, "Succeed", true};
        QTest::newRow("some skipped")
            << EngineCase{"#!/bin/sh\ncp \"$1\" \"$3\"\n"
                          "echo 'Ostrel.dll: rule file \"r\", line 2: page 1, \"Dog\" not found; rule skipped' >&2\n"
                          "echo 'Ostrel.dll: rule file \"r\", line 3: page 9, /p/a.png; rule skipped' >&2\nexit 2\n",
                          {"Not every rule could be applied to <input>:",
                           "    Ostrel.dll: rule file \"r\", line 2: page 1, \"Dog\" not found; rule skipped (rule 2 of the position table)",
                           "    Ostrel.dll: rule file \"r\", line 3: page 9, /p/a.png; rule skipped (rule 3 of the position table)",
                           "The output <output> holds the rules that were applied."},
                          "Failed", true};
        // The rule file's lines name the content table's rows they came from:
        // the first row finds nothing, so every line is the second row's.
        QTest::newRow("some skipped, content table")
            << EngineCase{"#!/bin/sh\ncp \"$1\" \"$3\"\n"
                          "echo 'Ostrel.dll: rule file \"r\", line 2: page 1, \"Says\" not found; rule skipped' >&2\nexit 2\n",
                          {"Not every rule could be applied to <input>:",
                           "    Ostrel.dll: rule file \"r\", line 2: page 1, \"Says\" not found; rule skipped (rule 2 of the content table)",
                           "The output <output> holds the rules that were applied."},
                          "Failed", true, {"Zebra", "Says"}};
        // "Cat" stands before the first "Says": line 1 is the second row's,
        // line 2 the first row's.
        QTest::newRow("some skipped, content rows apart")
            << EngineCase{"#!/bin/sh\ncp \"$1\" \"$3\"\n"
                          "echo 'Ostrel.dll: rule file \"r\", line 1: skipped' >&2\n"
                          "echo 'Ostrel.dll: rule file \"r\", line 2: skipped' >&2\nexit 2\n",
                          {"Not every rule could be applied to <input>:",
                           "    Ostrel.dll: rule file \"r\", line 1: skipped (rule 2 of the content table)",
                           "    Ostrel.dll: rule file \"r\", line 2: skipped (rule 1 of the content table)",
                           "The output <output> holds the rules that were applied."},
                          "Failed", true, {"Says", "Cat"}};
        QTest::newRow("nothing written")
            << EngineCase{"#!/bin/sh\necho 'Ostrel.dll: the document is damaged' >&2\nexit 1\n",
                          {"<input> was not replaced: Ostrel.dll: the document is damaged"}, "Failed", false};
        QTest::newRow("success without output")
            << EngineCase{"#!/bin/sh\nexit 0\n", {"Ostrel.dll wrote no output for <input>."}, "Failed", false};
        QTest::newRow("crash") << EngineCase{"#!/bin/sh\ncp \"$1\" \"$3\"\nkill -SEGV $$\n",
                                             {"<input> was not replaced: Ostrel.dll ended abnormally."}, "Failed", true};
    }
    void engineOutcomes()
    {
        QFETCH(EngineCase, c);
        WindowBox::replaceProgram(QStringLiteral("Ostrel.dll"), c.script);
        Window win(dialogs);
        const QString animals = box->listed(win);
        if (!c.content.isEmpty()) {
            for (const QString &find : c.content)
                win.addContentRule(0, {find, QStringLiteral("Other")});
        } else {
            win.positionRules({3, {catBox, "Cat", "Dog"}});
        }
        win.replace(!c.content.isEmpty() ? "pushButton_textall_replace" : "pushButton_textsome_replace");
        const QString output = box->out + QStringLiteral("/AnimalSounds.pdf");
        QVERIFY(win.cell(0, 3) == c.result && QFile::exists(output) == c.outputStays);
        const QStringList lines = win.lines();
        const int from = lines.lastIndexOf(animals) + 1;   // the engine's step, after any page scan
        QStringList expected;
        for (QString line : c.said)
            expected << line.replace(QStringLiteral("<input>"), animals).replace(QStringLiteral("<output>"), output);
        QCOMPARE(lines.mid(from, expected.size()), expected);
        QCOMPARE(lines.value(from + expected.size()), QStringLiteral("Conversion Finished."));
    }

    // The real engine: of two rules, the one whose box does not hold its
    // word is skipped; the row fails, the status area names the rule's row
    // and the output, which holds the other rule.
    void realEngineNamesSkippedRules()
    {
        Window win(dialogs);
        box->listed(win);
        win.positionRules({{catBox, "Cat", "Dog"}, {catBox, "Zebra", "Horse"}});
        win.replace("pushButton_textsome_replace");
        const QString output = box->out + QStringLiteral("/AnimalSounds.pdf");
        QCOMPARE(win.cell(0, 3), QStringLiteral("Failed"));
        const QStringList named = win.lines().filter(QStringLiteral("line 2"));
        QVERIFY2(named.size() == 1 && named[0].contains(QStringLiteral("Zebra")) && named[0].endsWith(QStringLiteral("(rule 2 of the position table)")),
                 qPrintable(win.lines().join('\n')));
        QVERIFY(win.lines().contains(QStringLiteral("The output %1 holds the rules that were applied.").arg(output)));
        const QString words = pdfText(output);
        QVERIFY(countWord(words, QStringLiteral("Cat")) == 0 && countWord(words, QStringLiteral("Dog")) == 1);
    }

    // An engine that ignores the terminate signal in the middle of a save is
    // killed after the grace, and its temporary file and output go with it.
    // A batch begun right after the stop starts no program before the
    // stopped one has gone, so the two never write the same files at once.
    void stoppedSaveLeavesNothing()
    {
        Window win(dialogs);
        beginWithEngine(win, "#!/bin/sh\nfor p in $(cat pids 2>/dev/null); do kill -0 $p 2>/dev/null && echo overlap >> log; done\n"
                             "echo $$ >> pids\ntrap '' TERM\nd=$(dirname \"$3\")\n: > \"$d/.gm$$.aB3xY9\"\n"
                             "head -c 100 \"$1\" > \"$3\"\nexec sleep 60\n");
        QTRY_COMPARE_WITH_TIMEOUT(entries(box->out).size(), 2, Patience::ms(20000));
        QVERIFY(entries(box->out).first().startsWith(QStringLiteral(".gm")));
        win.w.close();
        QTRY_VERIFY_WITH_TIMEOUT(entries(box->out).isEmpty(), ToolRun::graceMs + 8000);
        QVERIFY(win.w.findChildren<ToolRun *>().isEmpty() && win.cell(0, 3) == QStringLiteral("Failed"));
        win.button("pushButton_textsome_replace")->click();
        QTRY_COMPARE_WITH_TIMEOUT(readAll(QStringLiteral("pids")).count('\n'), 2, Patience::ms(20000));
        win.w.close();
        win.button("pushButton_textsome_replace")->click();
        QTRY_COMPARE_WITH_TIMEOUT(readAll(QStringLiteral("pids")).count('\n'), 3, Patience::ms(20000));
        win.w.close();
        QTRY_VERIFY_WITH_TIMEOUT(win.w.findChildren<ToolRun *>().isEmpty() && entries(box->out).isEmpty(), ToolRun::graceMs + 8000);
        QCOMPARE(readAll(QStringLiteral("log")), QByteArray("<unreadable>"));
    }

    // A file whose scan fails half-way hands none of its rule lines to the
    // next file: the renderer (a stand-in) writes only a first page, so the
    // five-page file fails at its second page.
    void aFailedScanLeavesNoRulesToTheNext()
    {
        const QString schools = box->sample("schools.pdf");
        const QString animals = box->sample("AnimalSounds.pdf");
        WindowBox::replaceProgram(QStringLiteral("Dorcet.dll"),
                                  "#!/bin/sh\necho '<span style=\"left:61;top:100;width:23;height:13;\">Says</span>' "
                                  "> \"$(dirname \"$3\")/split_pg_0001.htm\"\n");
        Window win(dialogs);
        win.open({schools, animals});
        win.setOutput(box->out);
        win.addContentRule(0, {"Says", "Yells"});
        win.replace("pushButton_textall_replace");
        QVERIFY(win.cell(0, 3) == QStringLiteral("Failed")
                && win.lines().filter(QStringLiteral("The text of page 2 of %1 could not be read: ").arg(schools)).size() == 1);
        QCOMPARE(readAll(PageFiles::tempFolder() + QStringLiteral("/textall.txt")), QByteArray("1-61-100-23-13:Says:Yells\r\n"));
    }

    // The split chain checks the folder before it makes anything, judges
    // every range by its own output, says when a file has no ranges, and
    // clears earlier results when it starts.
    void splitChainRanges_data()
    {
        QTest::addColumn<SplitCase>("c");
        QTest::newRow("good ranges") << SplitCase{"<out>", {"1", "1"}, {"Succeed", "Succeed"}, "Conversion Finished.",
                                                  {"1 r1 AnimalSounds.pdf", "2 r2 AnimalSounds.pdf"}};
        QTest::newRow("failing middle range")
            << SplitCase{"<out>", {"1", "7-9", "1"}, {"Failed", "Succeed"}, "<out>/AnimalSounds/2 r2 AnimalSounds.pdf was not written: ",
                         {"1 r1 AnimalSounds.pdf", "3 r3 AnimalSounds.pdf"}};
        QTest::newRow("no ranges")
            << SplitCase{"<out>", {}, {"Failed", "Succeed"}, "No page ranges were given for <input>; nothing was written.", {}};
        QTest::newRow("no page count") << SplitCase{"<out>", {"1"}, {"Failed", "Succeed"}, "<input> has no page count; it is left out.", {}};
        QTest::newRow("folder mistyped") << SplitCase{"<out>x", {"1"}, {"earlier", "earlier"}, {}, {}};
        QTest::newRow("folder empty") << SplitCase{{}, {"1"}, {"earlier", "earlier"}, {}, {}};
    }
    void splitChainRanges()
    {
        QFETCH(SplitCase, c);
        auto &[folder, ranges, results, said, written] = c;
        const QString animals = box->sample("AnimalSounds.pdf");
        folder.replace(QStringLiteral("<out>"), box->out);
        // A file whose page count cannot be read, under the same name.
        const bool countless = QLatin1String(QTest::currentDataTag()) == QLatin1String("no page count");
        const QString first = countless ? box->path() + QStringLiteral("/AnimalSounds.pdf") : animals;
        QVERIFY(first == animals || writeFile(first, readAll(animals).left(900)));
        Window win(dialogs);
        win.open({first, animals});
        for (int r = 0; r < 2; ++r)
            win.files()->setItem(r, 3, new QTableWidgetItem(QStringLiteral("earlier")));
        win.setOutput(folder);
        win.addContentRule(0, {"Says", "Yells"});
        QStringList names;
        for (int i = 1; i <= ranges.size(); ++i)
            names << QStringLiteral("r%1").arg(i);
        win.w.setRanges(ranges, names);
        win.w.splitpdffile();
        if (said.isEmpty()) {
            // Refused at once: nothing made, not the mistyped folder, not a
            // folder at the root.
            QVERIFY(dialogs.boxes.size() == 1 && dialogs.boxes[0].title == QStringLiteral("Invalid order"));
            QVERIFY(!QFileInfo::exists(folder) && !QFileInfo::exists(QStringLiteral("/AnimalSounds")));
        } else {
            win.finished(1);
            QVERIFY2(!win.lines().filter(said.replace(QStringLiteral("<out>"), box->out).replace(QStringLiteral("<input>"), first)).isEmpty(),
                     qPrintable(win.lines().join('\n')));
        }
        QCOMPARE(win.results(2), results);
        QCOMPARE(QDir(box->out + QStringLiteral("/AnimalSounds")).entryList(QDir::Files, QDir::Name), written);
    }

    // The page ranges serve one file: a batch by content that reads a file
    // in between takes them too, so a later split finds none.
    void aContentBatchEmptiesThePageRanges()
    {
        const QString animals = box->sample("AnimalSounds.pdf");
        Window win(dialogs);
        win.open({animals});
        win.setOutput(box->out);
        win.addContentRule(0, {"Says", "Yells"});
        win.w.setRanges({QStringLiteral("1")}, {QStringLiteral("r1")});
        win.replace("pushButton_textall_replace");
        win.w.splitpdffile();
        win.finished(2);
        QVERIFY2(win.lines().contains(QStringLiteral("No page ranges were given for %1; nothing was written.").arg(animals)),
                 qPrintable(win.lines().join('\n')));
        QVERIFY(!QFileInfo::exists(box->out + QStringLiteral("/AnimalSounds")));
    }

    // One chain at a time: every way into a chain is refused while one
    // runs, so two engine runs never share an output name.
    void entryPointsRefuseDuringABatch()
    {
        const QString picture = box->picture();
        QVERIFY(!picture.isEmpty());
        Window win(dialogs);
        box->listed(win, 2);
        dialogs.fileAnswers.enqueue(picture);
        win.addContentRule(1, {"Cat", "30", "14"});
        win.replace("pushButton_textall_replace");   // the picture road is now the one in force
        win.positionRules({{catBox, "Cat", "Dog"}});
        win.button("pushButton_textall_replace")->click();
        win.button("pushButton_textsome_replace")->click();
        win.w.splitpdffile();
        win.w.convertbegin();
        win.w.setallintorule();
        win.w.setallimage();
        QCOMPARE(dialogs.boxes.size(), 5);
        for (const ScriptedDialogs::Box &b : dialogs.boxes)
            QVERIFY2(b.text.contains(QStringLiteral("already running")), qPrintable(b.text));
        win.finished(2);
        QCOMPARE(win.results(2), QStringList({"Succeed", "Succeed"}));
        QCOMPARE(QDir(box->out).entryList(QDir::Files).size(), 4);
    }

    // With no file listed every way into a batch says so, with the text of
    // its own page, and starts nothing.
    void anEmptyListStartsNothing()
    {
        Window win(dialogs);
        win.setOutput(box->out);
        win.button("pushButton_textsome_replace")->click();
        win.button("pushButton_textall_replace")->click();
        win.w.splitpdffile();
        QStringList said;
        for (const ScriptedDialogs::Box &b : dialogs.boxes)
            said << b.kind + QLatin1Char(' ') + b.title + QLatin1Char(' ') + b.text;
        QCOMPARE(said, QStringList({"warning Empty input Please choose files to replace",
                                    "warning Empty input Please choose files to replace.",
                                    "warning Empty input Please choose files to replace."}));
        QVERIFY(win.listUnlocked() && win.lines() == QStringList({QString()}));
    }

    // Picture sizes typed in the editor: a negative width and an empty height
    // become the run's own size alike in the rule file, the record and the
    // window's table, and the engine replaces the word by the picture. The
    // content picture table's empty sizes do the same.
    void editorSizesReachTheEngine()
    {
        const QString picture = box->picture();
        QVERIFY(!picture.isEmpty());
        Window win(dialogs);
        box->listed(win);
        dialogs.onExec = [&picture](QDialog *dialog) {
            auto *editor = static_cast<Rules *>(dialog);
            tmf->inputKind = 2;
            tmf->imagesome[0] = {catBox, QStringLiteral("Cat"), picture, QStringLiteral("-5"), QString()};
            tmf->nImagesome = 1;
            editor->setinirule();
            editor->findChild<QRadioButton *>(QStringLiteral("radioButton_image"))->setChecked(true);
            editor->setsave();
            return editor->result();
        };
        win.button("pushButton_option")->click();
        QTableWidget *images = win.get<QTableWidget>("tableWidget_imagesome");
        QVERIFY(!images->isHidden() && images->rowCount() == 1);
        QCOMPARE(images->item(0, 3)->text() + QLatin1Char('x') + images->item(0, 4)->text(), QStringLiteral("17x13"));
        QCOMPARE(tmf->texttoImage[0].width * 100 + tmf->texttoImage[0].height, 1713);
        win.replace("pushButton_textsome_replace");
        QCOMPARE(readAll(PageFiles::tempFolder() + QStringLiteral("/imagerule.txt")),
                 ("1:61:100:(" + picture + "):17:13\r\n").toUtf8());
        QVERIFY(win.cell(0, 3) == QStringLiteral("Succeed") && countWord(pdfText(box->out + QStringLiteral("/AnimalSounds.pdf")), QStringLiteral("Cat")) == 0);
        dialogs.fileAnswers.enqueue(picture);
        win.addContentRule(1, {"Cat", "", "-1"});
        win.replace("pushButton_textall_replace", 2);
        QVERIFY(win.cell(0, 3) == QStringLiteral("Succeed")
                && readAll(PageFiles::tempFolder() + QStringLiteral("/textall.txt")).endsWith(":(" + picture.toUtf8() + "):17:13\r\n"));
    }
};

QTEST_MAIN(ProcessEndTest)
#include "processend_test.moc"
