// The workbook the main window writes: cells, the per-cell trace, the
// registered font, the sheet limits and failures that name their reason.

#include "workbookexport.h"
#include "testfiles.h"

#include "xlsworkbook.h"
#include "xlsworksheet.h"
#include "../filesizelimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

namespace {

using Pages = QVector<TableFile::PageRows>;

QStringList debugLines;

void collect(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtDebugMsg)
        debugLines.append(text);
}

QString cellText(const Biff::XlsWorksheet *sheet, int r, int c)
{
    const Biff::XlsCell *cell = sheet->Cell(r, c);
    if (!cell || !cell->GetWString())
        return QString();
    return QString::fromWCharArray(cell->GetWString());
}

} // namespace

class WorkbookExportTest : public QObject
{
    Q_OBJECT

private slots:
    void cellsTraceAndFont();
    void limitsOfTheSheetAndTheCell();
    void warningTellsWhatTheFileLacks();
    void failedSaveNamesTheReasonAndKeepsTheEarlierFile();
};

void WorkbookExportTest::cellsTraceAndFont()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("b\u00fccher.xls"));
    // Page 1: three cells (one holding the text separator) and a shorter
    // row; page 2 without a table.
    const Pages pages{{{"42 ", "x\",\"y ", "\"q\" "}, {"b "}}, {}};
    debugLines.clear();
    const QtMessageHandler before = qInstallMessageHandler(collect);
    const WorkbookExport::Result r = WorkbookExport::save(path, pages);
    qInstallMessageHandler(before);
    QVERIFY2(r.save.ok, qPrintable(r.save.message()));
    QCOMPARE(r.warning(), QString());   // the file holds every cell whole
    // One trace per cell that has a field; padding cells have none.
    QCOMPARE(debugLines, (QStringList{"buffer \"42\" ", "buffer \"x\",\"y\" ", "buffer \"\"q\"\" ",
                                      "buffer \"b\" ", "buffer \"\" ", "buffer \"\" "}));
    Biff::XlsWorkbook loaded;
    QVERIFY(loaded.Load(path.toUtf8().constData()));
    const Biff::XlsWorksheet *sheet = loaded.GetWorksheet(0);
    // Saved cells carry no trailing blank, so a number reads as a number.
    QCOMPARE(cellText(sheet, 0, 0), QStringLiteral("42"));
    QCOMPARE(cellText(sheet, 0, 1), QStringLiteral("x\",\"y"));
    QCOMPARE(cellText(sheet, 0, 2), QStringLiteral("\"q\""));
    QCOMPARE(cellText(sheet, 1, 1), QString());
    bool bold = false;   // registered, though no cell refers to it
    for (const auto &font : loaded.GetWorkbookRecords().fonts)
        bold = bold || (font.weight == 700 && font.height == 200);
    QVERIFY(bold);
}

void WorkbookExportTest::limitsOfTheSheetAndTheCell()
{
    QTemporaryDir dir;
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    // A pair straddling the cell limit of 32,767 units is cut before it.
    const QString grin = QString::fromUcs4(U"\U0001F600");
    const QString straddling = QString(32766, QLatin1Char('s')) + grin + QStringLiteral("t");
    QStringList wide{straddling};
    for (int c = 1; c < 260; ++c)
        wide.append(QStringLiteral("c%1 ").arg(c));
    TableFile::PageRows rows;
    for (int i = 0; i < 65540; ++i)
        rows.append(QStringList{QStringLiteral("r%1 ").arg(i)});
    rows[5] = QStringList{QString(40000, QLatin1Char('x'))};
    const QString widePath = dir.filePath(QStringLiteral("wide.xls"));
    const QString longPath = dir.filePath(QStringLiteral("long.xls"));
    const WorkbookExport::Result w = WorkbookExport::save(widePath, {{wide}});
    const WorkbookExport::Result l = WorkbookExport::save(longPath, {rows});
    QLoggingCategory::setFilterRules(QString());
    QVERIFY2(w.save.ok && l.save.ok, qPrintable(w.save.message() + l.save.message()));
    // Counted, not stored; the empty line after the page loses nothing.
    QCOMPARE(w.columnsLeftOut, 4);
    QCOMPARE(w.rowsLeftOut, 0);
    QCOMPARE(l.rowsLeftOut, 4);
    // Cut texts are named by their cells.
    QCOMPARE(w.cutCells, QStringList{"A1"});
    QCOMPARE(l.cutCells, QStringList{"A6"});
    Biff::XlsWorkbook loaded;
    QVERIFY(loaded.Load(widePath.toUtf8().constData()));
    const Biff::XlsWorksheet *sheet = loaded.GetWorksheet(0);
    QCOMPARE(cellText(sheet, 0, 0), straddling.left(32766));
    QCOMPARE(cellText(sheet, 0, 255), QStringLiteral("c255"));
    QVERIFY(loaded.Load(longPath.toUtf8().constData()));
    sheet = loaded.GetWorksheet(0);
    QCOMPARE(cellText(sheet, 65535, 0), QStringLiteral("r65535"));
    QCOMPARE(cellText(sheet, 5, 0), QString(32767, QLatin1Char('x')));
}

void WorkbookExportTest::warningTellsWhatTheFileLacks()
{
    QStringList twelve;
    for (int r = 1; r <= 12; ++r)
        twelve << QStringLiteral("B%1").arg(r);
    const QString saved = QStringLiteral("\nThe rest was saved in %1.").arg(QDir::toNativeSeparators("/out/t.xls"));
    const QString limits = QStringLiteral("A worksheet holds at most 65536 rows and 256 columns; "
                                          "%1 rows and %2 columns beyond them were left out.");
    const QString cut = QStringLiteral("A cell holds at most 32767 characters; the text of %1 was cut to that length.");
    const struct { int rows, columns; QStringList cells; QString says; } cases[] = {
        {0, 0, {}, QString()},
        {4, 0, {}, limits.arg(4).arg(0) + saved},
        {0, 3, {"C2"}, limits.arg(0).arg(3) + "\n" + cut.arg("C2") + saved},
        {0, 0, {"A1", "D7"}, cut.arg("A1, D7") + saved},
        {0, 0, twelve, cut.arg("B1, B2, B3, B4, B5, B6, B7, B8, B9, B10 and 2 more") + saved},
    };
    for (const auto &c : cases) {
        WorkbookExport::Result r;
        r.save.ok = true;
        r.save.fileName = QStringLiteral("/out/t.xls");
        r.rowsLeftOut = c.rows;
        r.columnsLeftOut = c.columns;
        r.cutCells = c.cells;
        QCOMPARE(r.warning(), c.says);
    }
}

void WorkbookExportTest::failedSaveNamesTheReasonAndKeepsTheEarlierFile()
{
    QTemporaryDir dir;
    // A "folder" that is a regular file fails for root as well; the reason
    // is the system's own.
    const QString blocker = dir.filePath(QStringLiteral("plain"));
    QVERIFY(writeFile(blocker, "x"));
    const WorkbookExport::Result r = WorkbookExport::save(blocker + QStringLiteral("/out.xls"), {{{"a "}}});
    QVERIFY(!r.save.ok);
    QVERIFY2(r.save.reason.contains(QString::fromLocal8Bit(std::strerror(ENOTDIR))),
             qPrintable(r.save.reason));
    QVERIFY(r.save.message().contains(QDir::toNativeSeparators(blocker)));

    // A file size limit stands in for a full disk: the earlier file stays.
    const QString path = dir.filePath(QStringLiteral("keep.xls"));
    QVERIFY(writeFile(path, "earlier content"));
    TableFile::PageRows big;
    for (int i = 0; i < 3000; ++i)
        big.append(QStringList{QStringLiteral("row %1 with some text ").arg(i)});
    FileSizeLimit limit(8192);
    QVERIFY(limit.ok());
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const WorkbookExport::Result full = WorkbookExport::save(path, {big});
    QLoggingCategory::setFilterRules(QString());
    limit.restore();
    QVERIFY(!full.save.ok && !full.save.reason.isEmpty());
    QCOMPARE(readAll(path), QByteArray("earlier content"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"keep.xls", "plain"}));
}

QTEST_MAIN(WorkbookExportTest)
#include "workbookexport_test.moc"
