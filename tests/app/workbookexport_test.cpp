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
    void longTextsWholeUpToTheCellLimit();
    void rowsAndColumnsBeyondTheSheetAreCounted();
    void failedSaveNamesTheReasonAndKeepsTheEarlierFile();
};

void WorkbookExportTest::cellsTraceAndFont()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("b\u00fccher.xls"));
    // Page 1: a row of three cells (one holding the separator) and a shorter
    // row; page 2 without a table.
    const Pages pages{{{"a ", "x\",\"y ", "\"q\" "}, {"b "}}, {}};

    debugLines.clear();
    const QtMessageHandler before = qInstallMessageHandler(collect);
    const WorkbookExport::Result r = WorkbookExport::save(path, pages);
    qInstallMessageHandler(before);
    QVERIFY2(r.save.ok, qPrintable(r.save.message()));
    QCOMPARE(r.rowsLeftOut, 0);
    QCOMPARE(r.columnsLeftOut, 0);

    // One trace per cell that has a field, the word unquoted, the text in
    // quotes, a blank at the end; an empty line has one empty field, padding
    // cells have none.
    QCOMPARE(debugLines, (QStringList{"buffer \"a \" ", "buffer \"x\",\"y \" ",
                                      "buffer \"\"q\" \" ", "buffer \"b \" ", "buffer \"\" ",
                                      "buffer \"\" "}));

    Biff::XlsWorkbook loaded;
    QVERIFY(loaded.Load(path.toUtf8().constData()));
    QCOMPARE(loaded.GetTotalWorkSheets(), 1);
    const Biff::XlsWorksheet *sheet = loaded.GetWorksheet(0);
    QVERIFY(sheet);
    QCOMPARE(cellText(sheet, 0, 0), QStringLiteral("a "));
    QCOMPARE(cellText(sheet, 0, 1), QStringLiteral("x\",\"y "));
    QCOMPARE(cellText(sheet, 0, 2), QStringLiteral("\"q\" "));
    QCOMPARE(cellText(sheet, 1, 0), QStringLiteral("b "));
    QCOMPARE(cellText(sheet, 1, 1), QString());

    // The bold font is registered, though no cell refers to it.
    bool bold = false;
    for (const auto &font : loaded.GetWorkbookRecords().fonts)
        bold = bold || (font.weight == 700 && font.height == 200);
    QVERIFY(bold);
}

void WorkbookExportTest::longTextsWholeUpToTheCellLimit()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("long texts.xls"));
    const QString grin = QString::fromUcs4(U"\U0001F600");
    // 5,000 units with a pair: whole. 40,000 units whose pair would straddle
    // the cell limit of 32,767: cut before the pair.
    const QString middle = QString(2000, QLatin1Char('m')) + grin + QString(2998, QLatin1Char('n'));
    const QString straddling = QString(32766, QLatin1Char('s')) + grin + QString(7232, QLatin1Char('t'));
    QCOMPARE(middle.size(), 5000);
    QCOMPARE(straddling.size(), 40000);

    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const WorkbookExport::Result r = WorkbookExport::save(path, {{{middle, straddling}}});
    QLoggingCategory::setFilterRules(QString());
    QVERIFY2(r.save.ok, qPrintable(r.save.message()));

    Biff::XlsWorkbook loaded;
    QVERIFY(loaded.Load(path.toUtf8().constData()));
    const Biff::XlsWorksheet *sheet = loaded.GetWorksheet(0);
    QVERIFY(sheet);
    QCOMPARE(cellText(sheet, 0, 0), middle);
    QCOMPARE(cellText(sheet, 0, 1), straddling.left(32766));
}

void WorkbookExportTest::rowsAndColumnsBeyondTheSheetAreCounted()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    // One row of 260 cells: 4 columns beyond the sheet.
    const QString widePath = dir.filePath(QStringLiteral("wide.xls"));
    QStringList wide;
    for (int c = 0; c < 260; ++c)
        wide.append(QStringLiteral("c%1 ").arg(c));
    const WorkbookExport::Result w = WorkbookExport::save(widePath, {{wide}});

    // 65,540 rows: 4 beyond the sheet; the empty line after the page loses
    // nothing and is not counted.
    const QString longPath = dir.filePath(QStringLiteral("long.xls"));
    TableFile::PageRows rows;
    for (int i = 0; i < 65540; ++i)
        rows.append(QStringList{QStringLiteral("r%1 ").arg(i)});
    const WorkbookExport::Result l = WorkbookExport::save(longPath, {rows});
    QLoggingCategory::setFilterRules(QString());

    QVERIFY2(w.save.ok, qPrintable(w.save.message()));
    QCOMPARE(w.rowsLeftOut, 0);
    QCOMPARE(w.columnsLeftOut, 4);
    QVERIFY2(l.save.ok, qPrintable(l.save.message()));
    QCOMPARE(l.rowsLeftOut, 4);
    QCOMPARE(l.columnsLeftOut, 0);

    Biff::XlsWorkbook loaded;
    QVERIFY(loaded.Load(widePath.toUtf8().constData()));
    const Biff::XlsWorksheet *sheet = loaded.GetWorksheet(0);
    QVERIFY(sheet);
    QCOMPARE(cellText(sheet, 0, 255), QStringLiteral("c255 "));
    QVERIFY(loaded.Load(longPath.toUtf8().constData()));
    sheet = loaded.GetWorksheet(0);
    QVERIFY(sheet);
    QCOMPARE(cellText(sheet, 65535, 0), QStringLiteral("r65535 "));
}

void WorkbookExportTest::failedSaveNamesTheReasonAndKeepsTheEarlierFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A "folder" that is a regular file fails for root as well.
    const QString blocker = dir.filePath(QStringLiteral("plain"));
    QVERIFY(writeFile(blocker, "x"));
    const QString inside = blocker + QStringLiteral("/out.xls");
    const WorkbookExport::Result r = WorkbookExport::save(inside, {{{"a "}}});
    QVERIFY(!r.save.ok);
    // The reason is the system's own, not a general "could not be written".
    QVERIFY2(r.save.reason.contains(QString::fromLocal8Bit(std::strerror(ENOTDIR))),
             qPrintable(r.save.reason));
    QVERIFY(r.save.message().contains(QDir::toNativeSeparators(inside)));
    QCOMPARE(readAll(blocker), QByteArray("x"));

    // A file size limit stands in for a full disk: the earlier file stays.
    const QString path = dir.filePath(QStringLiteral("keep.xls"));
    const QByteArray earlier("earlier content");
    QVERIFY(writeFile(path, earlier));
    TableFile::PageRows big;
    for (int i = 0; i < 3000; ++i)
        big.append(QStringList{QStringLiteral("row %1 with some text ").arg(i)});
    FileSizeLimit limit(8192);
    QVERIFY(limit.ok());
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const WorkbookExport::Result full = WorkbookExport::save(path, {big});
    QLoggingCategory::setFilterRules(QString());
    limit.restore();
    QVERIFY(!full.save.ok);
    QVERIFY(!full.save.reason.isEmpty());
    QVERIFY(full.save.message().contains(QStringLiteral("keep.xls")));
    QCOMPARE(readAll(path), earlier);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"keep.xls", "plain"}));
}

QTEST_MAIN(WorkbookExportTest)
#include "workbookexport_test.moc"
