#ifndef REPLACEWINDOW_H
#define REPLACEWINDOW_H

// The replacement window as the window tests drive it: its widgets by object
// name, a working folder of its own holding the real programs, and the
// independent readers that judge what the programs wrote.

#include "pagefiles.h"
#include "patience.h"
#include "process.h"
#include "scripteddialogs.h"
#include "testfiles.h"
#include "tm.h"

#include <QAction>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

// What an independent reader says of a PDF.
QByteArray output(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}
QString pdfText(const QString &pdf) { return QString::fromUtf8(output(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})); }

// Whether a click on the first row's second cell selects that whole row
// (and only it); the selection is left empty.
bool clickSelectsItsRow(QTableWidget *table)
{
    table->clearSelection();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(0, 1)).center());
    const bool whole = table->selectionModel()->isRowSelected(0, QModelIndex())
                       && table->selectionModel()->selectedIndexes().size() == table->columnCount();
    table->clearSelection();
    return whole;
}

// Whether a table selects whole rows, is not edited in place and offers
// exactly `actions` on a right click.
bool offersRowActions(const QTableWidget *table, const QStringList &actions)
{
    QStringList offered;
    for (const QAction *a : table->actions())
        offered << a->text();
    return table->selectionBehavior() == QAbstractItemView::SelectRows
           && table->editTriggers() == QAbstractItemView::NoEditTriggers
           && table->contextMenuPolicy() == Qt::ActionsContextMenu && offered == actions;
}

// Whether `window` stands in the middle of the first screen.
bool centredOnScreen(const QWidget &window)
{
    return (window.geometry().center() - QGuiApplication::screens().first()->geometry().center()).manhattanLength() <= 1;
}

// Whole words.
int countWord(const QString &text, const QString &words)
{
    const QString edge = QStringLiteral("(?<!\\S)%1(?!\\S)");
    return text.count(QRegularExpression(edge.arg(QRegularExpression::escape(words))));
}

// Where "Cat" stands on the first page of AnimalSounds.pdf.
const QString catBox = QStringLiteral("P1 (61 100 17 13)");

// The rule exchange record as start-up leaves it: empty.
inline void clearRecord() { tmf->mode = tmf->nTexttoText = tmf->nTexttoImage = tmf->nTextsome = tmf->nImagesome = tmf->inputKind = tmf->spare = 0; }

// The window as a user sees it: its widgets by object name.
struct Window
{
    ScriptedDialogs &d;
    Process w;
    explicit Window(ScriptedDialogs &dialogs) : d(dialogs) { w.setDialogService(&d); }
    template <typename T> T *get(const char *name) { return w.findChild<T *>(QLatin1String(name)); }
    QTableWidget *files() { return get<QTableWidget>("inputfiletableWidget"); }
    QPushButton *button(const char *name) { return get<QPushButton>(name); }
    QStringList lines() { return get<QTextEdit>("textEdit_process")->toPlainText().split(QLatin1Char('\n')); }
    int linesEqual(const QString &l) { return lines().count(l); }
    QString cell(int row, int column) { const QTableWidgetItem *i = files()->item(row, column); return i ? i->text() : QStringLiteral("<none>"); }
    QStringList results(int rows)
    {
        QStringList out;
        while (out.size() < rows)
            out << cell(out.size(), 3);
        return out;
    }
    // Chooses the files through the dialog; open() also waits for their counts.
    void choose(const QStringList &paths) { d.filesAnswers.enqueue(paths); button("openfileButton")->click(); }
    void open(const QStringList &paths, int finished = 1)
    {
        choose(paths);
        QTRY_COMPARE_WITH_TIMEOUT(linesEqual(QStringLiteral("Finished.")), finished, Patience::ms(60000));
    }
    // Waits for the end of the batch, which always unlocks the list.
    void finished(int batches)
    {
        QTRY_COMPARE_WITH_TIMEOUT(linesEqual(QStringLiteral("Conversion Finished.")), batches, Patience::ms(120000));
        QVERIFY(listUnlocked());
    }
    void replace(const char *name, int batches = 1) { button(name)->click(); finished(batches); }
    void setOutput(const QString &folder) { get<QLineEdit>("outputfolderEdit")->setText(folder); }
    // Adds a content rule to the table of the tab shown; the cells that are
    // line edits take the texts in order, a picker button is clicked.
    void addContentRule(int tab, const QStringList &texts)
    {
        get<QTabWidget>("tabWidget_replacechild")->setCurrentIndex(tab);
        button("pushButton_text_add")->click();
        QTableWidget *t = get<QTableWidget>(tab == 0 ? "tableWidget_textall" : "tableWidget_imageall");
        for (int c = 0, i = 0; c < t->columnCount() && i < texts.size(); ++c) {
            if (auto *edit = qobject_cast<QLineEdit *>(t->cellWidget(t->rowCount() - 1, c)))
                edit->setText(texts[i++]);
            else if (auto *picker = qobject_cast<QPushButton *>(t->cellWidget(t->rowCount() - 1, c)))
                picker->click();
        }
    }
    // The editor saves these text rules by position when the rules button is clicked.
    void positionRules(const QVector<TexttoText> &rules)
    {
        d.onExec = [rules](QDialog *) {
            std::copy(rules.begin(), rules.end(), tmf->texttoText);
            return tmf->mode = 1, tmf->nTexttoText = rules.size(), int(QDialog::Accepted);
        };
        button("pushButton_option")->click();
    }
    bool listUnlocked()
    {
        return button("openfileButton")->isEnabled() && button("pushButton_option")->isEnabled()
               && files()->contextMenuPolicy() == Qt::ActionsContextMenu;
    }
    // While a chain runs: the list's buttons and its menu are off.
    bool listLocked()
    {
        return !button("openfileButton")->isEnabled() && !button("pushButton_option")->isEnabled()
               && files()->contextMenuPolicy() == Qt::NoContextMenu;
    }
};

// A working folder of its own (made current) with links to the three real
// programs and an output folder whose name needs quoting; the rule record
// and the rule files of the temporary folder start empty.
class WindowBox
{
public:
    WindowBox() : dir(QDir::tempPath() + QStringLiteral("/process-XXXXXX"))
    {
        out = dir.path() + QStringLiteral("/out put #1");
        if (!dir.isValid() || !QDir::setCurrent(dir.path()) || !QDir().mkpath(out))
            return;
        for (const QString p : {"/Pavlin.dll", "/Dorcet.dll", "/Ostrel.dll"})
            if (!QFile::exists(GRIDMOLT_APP_DIR + p) || !QFile::link(GRIDMOLT_APP_DIR + p, dir.path() + p))
                return;
        clearRecord();
        // The temporary folder is the run's own: no rule file of an earlier test stays.
        for (const char *name : {"rules.txt", "imagerule.txt", "textall.txt"}) {
            const QString path = PageFiles::tempFolder() + QLatin1Char('/') + QLatin1String(name);
            QDir().rmdir(path);
            QFile::remove(path);
        }
        made = true;
    }
    bool ready() const { return made; }
    QString path() const { return dir.path(); }

    // A sample PDF copied into a folder whose name has a blank and a "%",
    // which must reach the programs as they stand.
    QString sample(const char *name) const
    {
        const QString to = dir.path() + QStringLiteral("/in 50%/") + QLatin1String(name);
        QDir().mkpath(dir.path() + QStringLiteral("/in 50%"));
        QFile::copy(QStringLiteral(GRIDMOLT_SOURCE_DIR "/tests/data/samples/") + QLatin1String(name), to);
        return to;
    }
    // AnimalSounds.pdf listed `copies` times, counted, with the output folder set.
    QString listed(Window &win, int copies = 1) const
    {
        const QString animals = sample("AnimalSounds.pdf");
        win.open(copies == 1 ? QStringList{animals} : QStringList{animals, animals});
        win.setOutput(out);
        return animals;
    }
    // A 40 x 20 red picture in the folder, for picture rules.
    QString picture() const
    {
        const QString path = dir.path() + QStringLiteral("/red.png");
        QImage red(40, 20, QImage::Format_RGB32);
        red.fill(Qt::red);
        return red.save(path) ? path : QString();
    }
    static void replaceProgram(const QString &program, const QByteArray &script)
    {
        QVERIFY(QFile::remove(program) && writeFile(program, script)
                && QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    }

    QString out;

private:
    QTemporaryDir dir;
    bool made = false;
};

// What each window test starts from: a box of its own, no scripted answer left.
struct WindowFixture
{
    std::unique_ptr<WindowBox> box;
    ScriptedDialogs dialogs;
    bool fresh() { box = std::make_unique<WindowBox>(); dialogs = ScriptedDialogs(); return box->ready(); }
};

#endif
