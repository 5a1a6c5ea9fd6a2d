// What the replacement window carries from one start to the next (the
// folders its dialogs start from, kept in the settings file) and from one
// batch to the next (the page ranges of the split), driven through its
// widgets and the dialog seam with the real programs.

#include "replacewindow.h"

#include <QSettings>

class ProcessKeepsTest : public QObject, WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { tmf = new TM; }
    void init() { QVERIFY(fresh()); }
    void cleanup() { Patience::afterCase(); }

    // Each folder dialog starts, in the next window too, where the last
    // choice was made: the output folder, the folder of the files added
    // and the folder of a picture. A cancelled output folder dialog empties
    // the field, and the next start is from nowhere in particular.
    void foldersAreKeptForTheNextStart()
    {
        const QString animals = box->sample("AnimalSounds.pdf");
        const QString picture = box->picture();
        const QString out = box->out;
        QVERIFY(!picture.isEmpty());
        {
            Window first(dialogs);
            dialogs.fileAnswers.enqueue(out);
            first.button("outputButton")->click();
            QCOMPARE(first.get<QLineEdit>("outputfolderEdit")->text(), out);
            first.open({animals});
            dialogs.fileAnswers.enqueue(picture);
            first.addContentRule(1, {"Cat", "30", "14"});
        }
        // Fresh settings: every dialog of the first window started from ".".
        QCOMPARE(dialogs.fileDirs, QStringList({".", ".", "."}));
        const QSettings settings(QLatin1String("setting.ini"), QSettings::IniFormat);
        QCOMPARE(settings.value("dir/output").toString() + '|' + settings.value("dir/input").toString() + '|'
                     + settings.value("dir/imagefile").toString(),
                 out + '|' + QFileInfo(animals).absolutePath() + '|' + QFileInfo(picture).absolutePath());

        dialogs.fileDirs.clear();
        {
            Window next(dialogs);
            next.button("outputButton")->click();   // cancelled
            QCOMPARE(next.get<QLineEdit>("outputfolderEdit")->text(), QString());
            next.choose({});
            next.addContentRule(1, {"Cat", "30", "14"});   // its picture dialog cancelled
            next.button("outputButton")->click();
        }
        QCOMPARE(dialogs.fileDirs, QStringList({out, QFileInfo(animals).absolutePath(), QFileInfo(picture).absolutePath(), QString()}));
    }

    // A split batch that stops after the first range of its file (the
    // output folder went) leaves the next file's ranges whole: each of them
    // is written, the first included, at its own page.
    void aStoppedSplitLeavesTheNextRangesWhole()
    {
        const QString schools = box->sample("schools.pdf");
        const QString animals = box->sample("AnimalSounds.pdf");
        const QString out = box->out;
        Window win(dialogs);
        win.open({schools, animals});
        win.setOutput(out);
        QTextEdit *lines = win.get<QTextEdit>("textEdit_process");
        const QMetaObject::Connection going = connect(lines, &QTextEdit::textChanged, &win.w, [&] {
            if (win.lines().last().startsWith(QLatin1String("Generating ")))
                win.setOutput(out + QStringLiteral("/gone"));
        });
        win.w.setRanges({QStringLiteral("1"), QStringLiteral("2")}, {QStringLiteral("a"), QStringLiteral("b")});
        win.w.splitpdffile();
        const QString stopped = QStringLiteral("Conversion stopped: the output folder does not exist.");
        QTRY_VERIFY_WITH_TIMEOUT(win.linesEqual(stopped) == 1 && win.listUnlocked(), Patience::ms(60000));
        QCOMPARE(QDir(out + QStringLiteral("/schools")).entryList(QDir::Files), QStringList({"1 a schools.pdf"}));
        disconnect(going);

        // The second file alone, with two ranges of its own.
        win.files()->selectRow(0);
        win.button("removeButton")->click();
        QVERIFY(win.files()->rowCount() == 1 && win.cell(0, 0) == animals);
        win.setOutput(out);
        win.w.setRanges({QStringLiteral("1"), QStringLiteral("1")}, {QStringLiteral("c"), QStringLiteral("d")});
        win.w.splitpdffile();
        win.finished(1);
        const QString folder = out + QStringLiteral("/AnimalSounds/");
        QCOMPARE(win.lines().filter(QStringLiteral("Generating ")).mid(1),
                 QStringList({"Generating " + folder + "1 c AnimalSounds.pdf", "Generating " + folder + "2 d AnimalSounds.pdf"}));
        for (const QString name : {"1 c AnimalSounds.pdf", "2 d AnimalSounds.pdf"})
            QVERIFY2(pdfText(folder + name) == pdfText(animals), qPrintable(name));
        QCOMPARE(win.results(1), QStringList({"Succeed"}));
    }
};

QTEST_MAIN(ProcessKeepsTest)
#include "processkeeps_test.moc"
