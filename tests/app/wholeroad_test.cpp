// The whole road as a user runs it on a sample document with the real
// converter: open, draw the table and its column lines with the mouse, apply
// them to all pages, edit one page's line, save as text and as a workbook,
// and read both files back with independent readers (python's csv module and
// xlrd).

#include "excelmain.h"
#include "labeldraw.h"
#include "mouseinput.h"
#include "scripteddialogs.h"
#include "testfiles.h"

#include <QDir>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

using Grid = QVector<QStringList>;

int waitForBusyDialog(QDialog *dialog)
{
    QEventLoop loop;
    QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    return dialog->result();
}

// A drag in two steps.
void drag(QWidget *canvas, QPoint from, QPoint to) { drag(canvas, from, QVector<QPointF>{(from + to) / 2, to}); }

Grid trimmed(Grid rows)
{
    for (QStringList &row : rows)
        while (!row.isEmpty() && row.last().isEmpty()) row.removeLast();
    while (!rows.isEmpty() && rows.last().isEmpty()) rows.removeLast();
    return rows;
}

template <typename T> T *child(ExcelMain &w, const char *name)
{
    T *c = w.findChild<T *>(QString::fromLatin1(name));
    return c ? c : (qFatal("no child %s", name), nullptr);
}

} // namespace

class WholeRoadTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A save traces every cell; thousands of lines would hide the results.
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        // The window starts the converter from its working folder.
        const QString link = QDir::currentPath() + QStringLiteral("/rendrix");
        QFile::remove(link);
        QVERIFY(QFile::link(QStringLiteral(GRIDMOLT_APP_DIR "/rendrix"), link));
    }

    void schoolsFromOpenToSavedFiles()
    {
        QTemporaryDir work;
        ScriptedDialogs dialogs;
        dialogs.onExec = waitForBusyDialog;
        ExcelMain w;
        w.setDialogService(&dialogs);
        dialogs.fileAnswers.enqueue(QStringLiteral(GRIDMOLT_SAMPLES_DIR "/schools.pdf"));
        child<QPushButton>(w, "pushButton_openfile")->click();
        QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
        QCOMPARE(w.pageCount, 5);

        // The table's extent from page 1's runs, from the header row ("Last
        // Name") down; the column bounds are the ruling seen on the page image.
        int headerTop = -1, left = 1 << 30, right = 0, bottom = 0;
        for (const Subtext &s : w.pageRuns[0].subtext)
            if (s.text == QStringLiteral("Last") && headerTop < 0)
                headerTop = s.y;
        for (const Subtext &s : w.pageRuns[0].subtext) {
            if (s.y >= headerTop) {
                left = qMin(left, s.x);
                right = qMax(right, s.x + s.width);
                bottom = qMax(bottom, s.y + s.height);
            }
        }
        const QVector<int> lines = {172, 241, 346, 417, 438, 488, 566, 673, 721};
        QVERIFY(headerTop > 0 && left < lines.first() && right > lines.last());
        drag(w.canvas, QPoint(left - 4, headerTop - 3), QPoint(right + 4, bottom + 3));
        child<QPushButton>(w, "pushButton_drawline")->click();
        for (int x : lines)
            drag(w.canvas, QPoint(x, headerTop - 3), QPoint(x + 2, headerTop + 30));
        const QStringList header = {"Last Name ", "First Name ", "Address ", "City ", "State ",
                                    "Zip ", "Occupation ", "Employer ", "Date ", "Amount "};
        QTableWidget *table = child<QTableWidget>(w, "tableWidget_rule");
        QCOMPARE(table->columnCount(), 10);
        QCOMPARE(table->item(0, 9)->text(), header[9]);   // the blank stays on screen

        child<QPushButton>(w, "pushButton")->click();   // Apply to All
        const QVector<int> rowCounts = {46, 46, 46, 46, 42};
        for (int p = 0; p < 5; ++p) {
            QCOMPARE(w.pageCells[p].size(), rowCounts[p]);
            QCOMPARE(w.pageCells[p][0], header);
        }

        // Page 3: drag one column line; only that line of that page moves.
        const auto cellsBefore = w.pageCells;
        const auto linesBefore = w.pageLines;
        const auto rectsBefore = w.pageRects;
        child<QPushButton>(w, "pushButton_down")->click();
        child<QPushButton>(w, "pushButton_down")->click();
        const int middle = (headerTop + bottom) / 2;
        drag(w.canvas, QPoint(346, middle), QPoint(342, middle));
        auto moved = linesBefore;
        moved[2][2].moveLeft(342);
        QVERIFY(w.pageLines == moved);
        QVERIFY(w.pageRects == rectsBefore);
        QVERIFY(w.pageCells == cellsBefore);

        // What both files must hold: the pages' rows, an empty row between
        // pages, every cell whole and without the trailing blank.
        Grid expected;
        for (int p = 0; p < 5; ++p) {
            if (p > 0)
                expected << QStringList();
            for (QStringList row : w.pageCells[p])
                expected << row.replaceInStrings(QRegularExpression(QStringLiteral("^\\s+|\\s+$")), QString());
        }
        QCOMPARE(expected[2], QStringList({"Strom", "Pam", "1229 Hague Ave", "St. Paul", "MN", "55104",
                                           "", "", "9/12/2012", "60.00"}));
        QCOMPARE(expected.last(), QStringList({"", "", "", "Total Contribution", "", "", "", "", "",
                                               "129,445.00"}));
        const QRegularExpression amount(QStringLiteral("^\\d{1,3}(,\\d{3})*\\.\\d\\d$"));
        for (const QStringList &row : expected)
            QVERIFY2(row.isEmpty() || row[0] == header[0].trimmed() || amount.match(row[9]).hasMatch(),
                     qPrintable(row.join(QLatin1Char('|'))));

        const struct { QString name; const char *kind; } saves[] = {
            {QStringLiteral("schools.csv"), "csv"}, {QStringLiteral("schools.xls"), "xls"}};
        for (const auto &save : saves) {
            const QString path = work.filePath(save.name);
            dialogs.boxes.clear();
            dialogs.fileAnswers.enqueue(path);
            child<QPushButton>(w, "pushButton_save")->click();
            QCOMPARE(dialogs.boxes.value(0).title, QStringLiteral("Finished"));
            QString error;
            const Grid rows = readBack(path, save.kind, &error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            const bool csv = qstrcmp(save.kind, "csv") == 0;   // the workbook stores no empty cell
            QCOMPARE(csv ? rows : trimmed(rows), csv ? expected : trimmed(expected));
        }
    }
};

QTEST_MAIN(WholeRoadTest)
#include "wholeroad_test.moc"
