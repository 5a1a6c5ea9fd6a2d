// The whole road as a user runs it, with the real converter: open a PDF with
// the Open button, draw the table and its column lines on the canvas with the
// mouse, apply the geometry to all pages, save as text and as a workbook, and
// read both files back (the workbook also with an independent reader).

#include "excelmain.h"
#include "labeldraw.h"
#include "pagefiles.h"
#include "scripteddialogs.h"
#include "xlscell.h"
#include "xlsworkbook.h"
#include "xlsworksheet.h"

#include "testfiles.h"
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

using Grid = QVector<QStringList>;

// Runs the busy dialog's part of the import: waits until the chain closes it.
int waitForBusyDialog(QDialog *dialog)
{
    QEventLoop loop;
    QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    return dialog->result();
}

void mouse(QWidget *target, QEvent::Type type, QPoint pos, Qt::MouseButton button,
           Qt::MouseButtons buttons)
{
    QMouseEvent e(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &e);
}

// What a person does with the rectangle tool: press, drag, release.
void dragRectangle(labeldraw *canvas, QPoint from, QPoint to)
{
    mouse(canvas, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    mouse(canvas, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    mouse(canvas, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    mouse(canvas, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// A column line with the line tool: hover onto the table's top edge at x,
// press and drag downwards.
void dragColumnLine(labeldraw *canvas, int x)
{
    const int top = int(canvas->rect.top());
    mouse(canvas, QEvent::MouseMove, QPoint(x, top), Qt::NoButton, Qt::NoButton);
    mouse(canvas, QEvent::MouseButtonPress, QPoint(x, top), Qt::LeftButton, Qt::LeftButton);
    mouse(canvas, QEvent::MouseMove, QPoint(x + 2, top + 15), Qt::NoButton, Qt::LeftButton);
    mouse(canvas, QEvent::MouseMove, QPoint(x + 3, top + 30), Qt::NoButton, Qt::LeftButton);
    mouse(canvas, QEvent::MouseButtonRelease, QPoint(x + 3, top + 30), Qt::LeftButton,
          Qt::NoButton);
}

Grid shownTable(const QTableWidget *table)
{
    Grid rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem *item = table->item(r, c);
            row << (item ? item->text() : QString());
        }
        rows << row;
    }
    return rows;
}

QByteArray utf16le(const QString &text)
{
    QByteArray out("\xff\xfe", 2);
    for (const QChar c : text) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    return out;
}

// The text file as a spreadsheet program reads it: lines at LF, cells at
// tabs, the enclosing quotes taken off. An empty line is an empty row.
Grid parseTextFile(const QByteArray &bytes, QString *error)
{
    Grid rows;
    if (!bytes.startsWith("\xff\xfe") || bytes.size() % 2 != 0) {
        *error = QStringLiteral("no byte-order mark or an odd size");
        return rows;
    }
    const QString text = QString::fromUtf16(
        reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    if (text.contains(QLatin1Char('\r')))
        *error = QStringLiteral("carriage return in the file");
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();   // the text ends with a line feed
    for (const QString &line : lines) {
        QStringList cells;
        if (!line.isEmpty()) {
            if (!line.startsWith(QLatin1Char('"')) || !line.endsWith(QLatin1Char('"'))) {
                *error = QStringLiteral("unquoted line: ") + line;
                return rows;
            }
            cells = line.mid(1, line.size() - 2).split(QStringLiteral("\"\t\""));
        }
        rows << cells;
    }
    return rows;
}

// The rows of the workbook: every page's rows, then one empty row.
Grid sheetRowsOf(const QVector<Grid> &pages)
{
    Grid rows;
    for (const Grid &page : pages) {
        rows += page;
        rows << QStringList();
    }
    return rows;
}

// The first sheet as our own loader reads it; empty cells as "".
Grid loadWithOurEngine(const QString &path, int *rows, int *cols, QString *error)
{
    Grid grid;
    Biff::XlsWorkbook book;
    if (!book.Load(path.toUtf8().constData())) {
        *error = QString::fromStdString(book.GetLastError());
        return grid;
    }
    if (book.GetTotalWorkSheets() != 1)
        *error = QStringLiteral("sheets: %1").arg(book.GetTotalWorkSheets());
    const Biff::XlsWorksheet *sheet = book.GetWorksheet(0);
    if (!sheet) {
        *error = QStringLiteral("no sheet 0");
        return grid;
    }
    *rows = sheet->GetTotalRows();
    *cols = sheet->GetTotalCols();
    for (int r = 0; r < *rows; ++r) {
        QStringList row;
        for (int c = 0; c < *cols; ++c) {
            const Biff::XlsCell *cell = sheet->Cell(r, c);
            if (!cell || cell->Type() == Biff::XlsCell::UNDEFINED) {
                row << QString();
            } else if (cell->Type() == Biff::XlsCell::WSTRING) {
                row << QString::fromWCharArray(cell->GetWString());
            } else {
                *error = QStringLiteral("cell (%1, %2) of type %3").arg(r).arg(c).arg(cell->Type());
                row << QString();
            }
        }
        grid << row;
    }
    return grid;
}

// An independent reading of a workbook file: the compound document's streams
// (olefile) and the cells of its sheets (xlrd), as JSON.
const char *const independentReader = R"PY(
import json, sys
import olefile, xlrd
path = sys.argv[1]
ole = olefile.OleFileIO(path)
streams = ['/'.join(s) for s in ole.listdir(streams=True, storages=False)]
head = ole.openstream('Workbook').read(4)
ole.close()
book = xlrd.open_workbook(path, formatting_info=True)
sheets = []
for sh in book.sheets():
    cells = []
    for r in range(sh.nrows):
        row = []
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            row.append([cell.ctype, cell.value if cell.ctype == xlrd.XL_CELL_TEXT else ''])
        cells.append(row)
    sheets.append({'name': sh.name, 'nrows': sh.nrows, 'ncols': sh.ncols, 'cells': cells})
json.dump({'streams': streams, 'head': list(head), 'sheets': sheets}, sys.stdout)
)PY";

bool independentReaderAvailable()
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3")))
        return false;
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QStringLiteral("import xlrd, olefile")});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QJsonObject readIndependently(const QString &path, QString *error)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QString::fromLatin1(independentReader), path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        *error = QString::fromUtf8(p.readAllStandardError());
        return QJsonObject();
    }
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput(), &parse);
    if (parse.error != QJsonParseError::NoError)
        *error = parse.errorString();
    return doc.object();
}

// Compares the independent reading with the expected rows: one sheet
// "Sheet1", every expected text exactly, nothing else holding text. Trailing
// empty rows may be left out by the reader.
QString checkIndependentReading(const QJsonObject &reading, const Grid &expected, int columns)
{
    const QJsonArray streams = reading.value(QStringLiteral("streams")).toArray();
    if (!streams.contains(QStringLiteral("Workbook")))
        return QStringLiteral("no Workbook stream");
    const QJsonArray head = reading.value(QStringLiteral("head")).toArray();
    if (head.size() != 4 || head.at(0).toInt() != 0x09 || head.at(1).toInt() != 0x08)
        return QStringLiteral("the stream does not start with a BOF record");
    const QJsonArray sheets = reading.value(QStringLiteral("sheets")).toArray();
    if (sheets.size() != 1)
        return QStringLiteral("%1 sheets").arg(sheets.size());
    const QJsonObject sheet = sheets.at(0).toObject();
    if (sheet.value(QStringLiteral("name")).toString() != QStringLiteral("Sheet1"))
        return QStringLiteral("sheet name ") + sheet.value(QStringLiteral("name")).toString();
    const int nrows = sheet.value(QStringLiteral("nrows")).toInt();
    const int ncols = sheet.value(QStringLiteral("ncols")).toInt();
    if (nrows > expected.size() || ncols != columns)
        return QStringLiteral("size %1 x %2, expected %3 x %4")
            .arg(nrows).arg(ncols).arg(expected.size()).arg(columns);
    const QJsonArray cells = sheet.value(QStringLiteral("cells")).toArray();
    for (int r = 0; r < expected.size(); ++r) {
        const QJsonArray row = cells.at(r).toArray();
        for (int c = 0; c < columns; ++c) {
            const QString want = expected.at(r).value(c);
            const QJsonArray cell = row.at(c).toArray();
            const int type = cell.at(0).toInt();   // 0 empty, 1 text, 6 blank
            const QString got = cell.at(1).toString();
            if (want.isEmpty() ? (type != 0 && type != 6) : (type != 1 || got != want))
                return QStringLiteral("cell (%1, %2): type %3 \"%4\", expected \"%5\"")
                    .arg(r).arg(c).arg(type).arg(got, want);
        }
    }
    return QString();
}

QString describe(const Grid &grid)
{
    QString out;
    for (const QStringList &row : grid)
        out += QLatin1Char('[') + row.join(QStringLiteral("|")) + QStringLiteral("]\n");
    return out;
}

} // namespace

class WholeRoadTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir work;
    ScriptedDialogs dialogs;
    bool haveConverter = false;

    template <typename T> static T *child(ExcelMain &w, const char *name)
    {
        T *c = w.findChild<T *>(QString::fromLatin1(name));
        if (!c)
            qFatal("no child %s", name);
        return c;
    }

    // Open button, file dialog answered, busy dialog until the chain ends.
    void open(ExcelMain &w, const QString &pdf)
    {
        dialogs.fileAnswers.enqueue(pdf);
        child<QPushButton>(w, "pushButton_openfile")->click();
    }

    // Save button; the "Finished" box is answered with Cancel.
    void save(ExcelMain &w, const QString &path)
    {
        dialogs.fileAnswers.enqueue(path);
        dialogs.buttons.enqueue(QMessageBox::Cancel);
        child<QPushButton>(w, "pushButton_save")->click();
    }

    // Rectangle tool, then the rectangle; line tool, then each line. All in
    // canvas pixels.
    void drawTable(ExcelMain &w, QPoint from, QPoint to, const QVector<int> &lineXs)
    {
        child<QPushButton>(w, "pushButton_drawrect")->click();
        dragRectangle(w.canvas, from, to);
        QPushButton *lineTool = child<QPushButton>(w, "pushButton_drawline");
        lineTool->click();
        for (int x : lineXs)
            dragColumnLine(w.canvas, x);
        lineTool->click();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        // A save traces every cell; thousands of lines would hide the results.
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        dialogs.onExec = waitForBusyDialog;
        // The window starts the converter from its working folder, the
        // application folder of an installed program.
        const QString rendrix = QStringLiteral(GRIDMOLT_APP_DIR "/rendrix");
        haveConverter = QFile::exists(rendrix);
        if (haveConverter) {
            const QString link = QDir::currentPath() + QStringLiteral("/rendrix");
            QFile::remove(link);
            QVERIFY(QFile::link(rendrix, link));
        }
    }

    void init()
    {
        dialogs.fileAnswers.clear();
        dialogs.buttons.clear();
        dialogs.boxes.clear();
    }

    void madePdfFromOpenToWorkbook();
    void schoolsSampleEveryPageInItsColumns();
};

void WholeRoadTest::madePdfFromOpenToWorkbook()
{
    if (!haveConverter)
        QSKIP("the converter is not built");

    // Three A4 pages at 72 dpi, so one point is one page unit. Pages 1 and 2
    // carry a three-column table with its caption above; page 3 has text only
    // below where the table is drawn.
    const QString pdf = work.path() + QStringLiteral("/t\u00e4bles made here.pdf");
    const QVector<int> colX = {60, 220, 380};
    const QVector<int> baseline = {115, 145, 175, 205};
    const QVector<Grid> pages = {
        {{QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Note")},
         {QStringLiteral("Zo\u00eb \u00c5ngstr\u00f6m"), QStringLiteral("Krak\u00f3w"),
          QStringLiteral("said \"yes\",\"no\"")},
         {QStringLiteral("\u03a9mega"), QStringLiteral("\u041c\u043e\u0441\u043a\u0432\u0430"),
          QStringLiteral("a&b <c> d")},
         {QStringLiteral("Bob"), QString(), QStringLiteral("42")}},
        {{QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Note")},
         {QStringLiteral("\u00c8ve"), QStringLiteral("T\u014dky\u014d"), QStringLiteral("1,5")},
         {QStringLiteral("Al"), QStringLiteral("Oslo"), QString()}},
        {}};
    {
        QPdfWriter writer(pdf);
        writer.setResolution(72);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        painter.setFont(font);
        for (int p = 0; p < pages.size(); ++p) {
            if (p > 0)
                writer.newPage();
            if (p < 2)
                painter.drawText(QPointF(60, 80), QStringLiteral("Caption above the table"));
            else
                painter.drawText(QPointF(60, 400), QStringLiteral("Nothing in the table here"));
            for (int r = 0; r < pages[p].size(); ++r)
                for (int c = 0; c < 3; ++c)
                    painter.drawText(QPointF(colX[c], baseline[r]), pages[p][r][c]);
        }
    }

    ExcelMain w;
    w.setDialogService(&dialogs);
    w.resize(1000, 800);
    open(w, pdf);
    QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
    QCOMPARE(w.pageCount, 3);
    QCOMPARE(w.pdfPath, pdf);

    // The cells as the table shows them: every run's text followed by a blank.
    QVector<Grid> cells;
    for (const Grid &page : pages) {
        Grid rows;
        for (const QStringList &row : page) {
            QStringList out;
            for (const QString &text : row)
                out << (text.isEmpty() ? QString() : text + QLatin1Char(' '));
            rows << out;
        }
        cells << rows;
    }

    // Drawn one zoom step up, so the canvas pixels are 1.25 page units: the
    // table from (40, 95.2) to (540, 230.4), lines at 200 and 360.
    child<QPushButton>(w, "pushButton_zoomout")->click();
    QCOMPARE(w.zoomFactor, 1.25f);
    drawTable(w, QPoint(50, 119), QPoint(675, 288), {250, 450});
    QCOMPARE(w.canvas->returnLine().size(), 2);

    // What the user sees: the page at 1.25 times its size under the red
    // table frame and lines.
    QCOMPARE(w.canvas->size(), QSize(743, 1052));   // A4, 595 by 842 points
    const QImage shown = w.canvas->grab().toImage();
    QCOMPARE(shown.pixelColor(50, 200), QColor(Qt::red));    // left edge
    QCOMPARE(shown.pixelColor(250, 200), QColor(Qt::red));   // first line
    QCOMPARE(shown.pixelColor(450, 260), QColor(Qt::red));   // second line
    QCOMPARE(shown.pixelColor(400, 200), QColor(Qt::white)); // page between the words
    int dark = 0;   // the caption's glyphs, above the table
    for (int y = 85; y < 105; ++y)
        for (int x = 75; x < 300; ++x)
            dark += qGray(shown.pixel(x, y)) < 128;
    QVERIFY2(dark > 50, qPrintable(QString::number(dark)));

    QTableWidget *table = child<QTableWidget>(w, "tableWidget_rule");
    QCOMPARE(table->columnCount(), 3);
    QVERIFY2(shownTable(table) == cells[0], qPrintable(describe(shownTable(table))));
    QCOMPARE(w.pageRects[0], QRectF(40, 95.2, 500, 135.2));
    QCOMPARE(w.pageLines[0], (QVector<QRectF>{QRectF(200, 95, 0, 135), QRectF(360, 95, 0, 135)}));
    // Page 2 has no table yet.
    QCOMPARE(w.pageCells[1], Grid());

    child<QPushButton>(w, "pushButton")->click();   // Apply to All
    for (int p = 0; p < 3; ++p) {
        QVERIFY2(w.pageCells[p] == cells[p], qPrintable(describe(w.pageCells[p])));
        QCOMPARE(w.pageRects[p], w.pageRects[0]);
        QCOMPARE(w.pageLines[p], w.pageLines[0]);
    }
    QCOMPARE(w.pageTexts[2], QString());
    QVERIFY(w.pageTexts[1].startsWith(QStringLiteral("\"Name \",\"City \",\"Note \"\n")));
    // Apply to All leaves the table on show as it was.
    QVERIFY(shownTable(table) == cells[0]);

    // The next page shows its own table under the same geometry.
    child<QPushButton>(w, "pushButton_down")->click();
    QCOMPARE(child<QSpinBox>(w, "spinBox_pagenumber")->value(), 2);
    QVERIFY2(shownTable(table) == cells[1], qPrintable(describe(shownTable(table))));
    QCOMPARE(w.canvas->returnLine().size(), 2);

    // The text file, byte for byte: BOM, UTF-16LE, quoted cells split by
    // tabs, LF line ends, pages joined by an empty line; a cell's own
    // "\",\"" stays in its cell.
    const QString csv = work.path() + QStringLiteral("/\u00fcbersicht.csv");
    save(w, csv);
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes[0].title, QStringLiteral("Finished"));
    const QString expectedText = QStringLiteral(
        "\"Name \"\t\"City \"\t\"Note \"\n"
        "\"Zo\u00eb \u00c5ngstr\u00f6m \"\t\"Krak\u00f3w \"\t\"said \"yes\",\"no\" \"\n"
        "\"\u03a9mega \"\t\"\u041c\u043e\u0441\u043a\u0432\u0430 \"\t\"a&b <c> d \"\n"
        "\"Bob \"\t\"\"\t\"42 \"\n"
        "\n"
        "\"Name \"\t\"City \"\t\"Note \"\n"
        "\"\u00c8ve \"\t\"T\u014dky\u014d \"\t\"1,5 \"\n"
        "\"Al \"\t\"Oslo \"\t\"\"\n"
        "\n");
    const QByteArray bytes = readAll(csv);
    QCOMPARE(bytes.left(4), QByteArray("\xff\xfe\"\0", 4));
    if (bytes != utf16le(expectedText))
        QFAIL(qPrintable(QStringLiteral("text file:\n") + QString::fromUtf16(
                  reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2)));
    QString error;
    QCOMPARE(parseTextFile(bytes, &error), sheetRowsOf(cells).mid(0, 9));
    QVERIFY2(error.isEmpty(), qPrintable(error));

    // The workbook: one row per table row, an empty row after every page.
    dialogs.boxes.clear();
    const QString xls = work.path() + QStringLiteral("/\u00fcbersicht.xls");
    save(w, xls);
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes[0].title, QStringLiteral("Finished"));
    const Grid sheetRows = sheetRowsOf(cells);   // 4 + 1 + 3 + 1 + 1 rows
    QCOMPARE(sheetRows.size(), 10);
    int rows = 0, cols = 0;
    const Grid loaded = loadWithOurEngine(xls, &rows, &cols, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    // Blank cells do not make a loaded sheet larger: the trailing empty rows
    // may be missing, nothing else.
    QCOMPARE(rows, 8);
    QCOMPARE(cols, 3);
    for (int r = 0; r < sheetRows.size(); ++r)
        for (int c = 0; c < cols; ++c)
            QCOMPARE(loaded.value(r).value(c), sheetRows[r].value(c));

    if (!independentReaderAvailable())
        QSKIP("/usr/bin/python3 with xlrd and olefile is not available");
    const QJsonObject reading = readIndependently(xls, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString mismatch = checkIndependentReading(reading, sheetRows, 3);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void WholeRoadTest::schoolsSampleEveryPageInItsColumns()
{
    if (!haveConverter)
        QSKIP("the converter is not built");
    const QString schools = QStringLiteral(GRIDMOLT_SAMPLES_DIR "/schools.pdf");
    if (!QFile::exists(schools))
        QSKIP("the sample is missing");

    ExcelMain w;
    w.setDialogService(&dialogs);
    w.resize(1200, 900);
    open(w, schools);
    QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
    QCOMPARE(w.pageCount, 5);

    // The table's extent from the runs of page 1: from the header row ("Last
    // Name" at the left edge) down to the lowest run, across all runs.
    const Alltext &first = w.pageRuns[0];
    int headerTop = -1, left = 1 << 30, right = 0, bottom = 0;
    for (const Subtext &s : first.subtext)
        if (s.text == QStringLiteral("Last") && headerTop < 0)
            headerTop = s.y;
    QVERIFY(headerTop > 0);
    for (const Subtext &s : first.subtext) {
        if (s.y < headerTop)
            continue;   // the report's title lines
        left = qMin(left, s.x);
        right = qMax(right, s.x + s.width);
        bottom = qMax(bottom, s.y + s.height);
    }
    // Column bounds read off the page image: the ruling between the columns.
    const QVector<int> lines = {172, 241, 346, 417, 438, 488, 566, 673, 721};
    QVERIFY(left < lines.first() && right > lines.last());
    drawTable(w, QPoint(left - 4, headerTop - 3), QPoint(right + 4, bottom + 3), lines);
    QCOMPARE(w.canvas->returnLine().size(), lines.size());

    const QStringList header = {
        QStringLiteral("Last Name "), QStringLiteral("First Name "), QStringLiteral("Address "),
        QStringLiteral("City "), QStringLiteral("State "), QStringLiteral("Zip "),
        QStringLiteral("Occupation "), QStringLiteral("Employer "), QStringLiteral("Date "),
        QStringLiteral("Amount ")};
    QTableWidget *table = child<QTableWidget>(w, "tableWidget_rule");
    QCOMPARE(table->columnCount(), 10);
    QCOMPARE(shownTable(table).value(0), header);

    child<QPushButton>(w, "pushButton")->click();   // Apply to All

    // Known rows of every page, as the page reads (pdftotext -layout of the
    // sample), given by their last name; "" is an empty cell.
    struct Known
    {
        int page;
        int row;   // -1: find it by its first cell
        QStringList cells;
    };
    auto row = [](std::initializer_list<const char *> texts) {
        QStringList out;
        for (const char *t : texts)
            out << (*t ? QString::fromUtf8(t) + QLatin1Char(' ') : QString());
        return out;
    };
    const QVector<Known> known = {
        {1, 1, row({"Lidstad", "Dick & Peg", "62 Mississippi River Blvd N", "Saint Paul", "MN",
                    "55104", "retired", "", "10/12/2012", "60.00"})},
        {1, 2, row({"Strom", "Pam", "1229 Hague Ave", "St. Paul", "MN", "55104", "", "",
                    "9/12/2012", "60.00"})},
        {1, -1, row({"Dubaille / Haugee", "Florence M. /Eric", "1009 Edmund Ave", "Saint Paul",
                     "MN", "55104", "Florence\u2010teacher", "SPPS", "10/3/2012", "100.00"})},
        {1, 45, row({"Filice", "Amy E.", "416 Mount Curve Blvd", "Saint Paul", "MN", "55105",
                     "city planner", "City of Saint Paul", "10/3/2012", "100.00"})},
        {2, 1, row({"Filice", "Gregory A", "15 Crocus Place", "Saint Paul", "MN", "55102",
                    "Physician", "Veterans Affairs Medical Cente", "10/3/2012", "100.00"})},
        {2, -1, row({"Luger\u2010Nikolai", "Margaret A", "2107 Iglehart Ave", "Saint Paul", "MN",
                     "55104", "Atty", "Ed MN", "10/2/2012", "100.00"})},
        {2, 45, row({"Sherman / Wilson", "Rose A. / John C.", "525 Mount Curve BLVD",
                     "Saint Paul", "MN", "55116", "", "", "10/6/2021", "100.00"})},
        {3, 1, row({"Skovolt", "Glen and Anna", "1473 Grantham St.", "Saint Paul", "MN", "55108",
                    "retired", "", "9/12/2012", "100.00"})},
        {3, 45, row({"Anders", "Deena M", "1410 Albert St N", "Saint Paul", "MN", "55108", "", "",
                     "10/3/2012", "150.00"})},
        {4, 1, row({"Mancinis", "", "", "", "", "", "", "", "10/4/2012", "150.00"})},
        {4, 2, row({"Plumbers Local Union No 34", "Stanley L Theis", "411 Main St. No 215",
                    "Saint Paul", "MN", "55102", "", "", "10/3/2012", "150.00"})},
        {4, 45, row({"Carter", "Melvin", "405 Western Ave N", "Saint Paul", "MN", "55103", "", "",
                     "9/20/2012", "500.00"})},
        {5, 1, row({"D'Aquila", "James A & Bonnie R", "6 Crocus Hill", "Saint Paul", "MN",
                    "55102", "", "", "9/18/2012", "500.00"})},
        {5, 41, row({"", "", "", "Total Contribution", "", "", "", "", "", "129,445.00"})},
    };
    // Header and 45 rows on pages 1 to 4, header and 41 rows on page 5.
    const QVector<int> rowCounts = {46, 46, 46, 46, 42};
    for (int p = 0; p < 5; ++p) {
        QCOMPARE(w.pageCells[p].size(), rowCounts[p]);
        QCOMPARE(w.pageCells[p].value(0), header);
        for (const QStringList &cellsOfRow : w.pageCells[p])
            QCOMPARE(cellsOfRow.size(), 10);
    }

    auto checkKnown = [&](const QVector<Grid> &pagesRead, const char *what) {
        for (const Known &k : known) {
            const Grid &page = pagesRead.at(k.page - 1);
            int r = k.row;
            if (r < 0) {
                for (int i = 0; i < page.size(); ++i)
                    if (page[i].value(0) == k.cells[0])
                        r = i;
            }
            QVERIFY2(r >= 0 && r < page.size(),
                     qPrintable(QStringLiteral("%1: page %2 has no row %3").arg(what).arg(k.page).arg(k.cells[0])));
            QVERIFY2(page[r] == k.cells,
                     qPrintable(QStringLiteral("%1, page %2 row %3:\n  got      [%4]\n  expected [%5]")
                                    .arg(what).arg(k.page).arg(r)
                                    .arg(page[r].join(QLatin1Char('|')), k.cells.join(QLatin1Char('|')))));
        }
    };
    checkKnown(w.pageCells, "extracted");

    // The text file read back as a spreadsheet program reads it.
    const QString csv = work.path() + QStringLiteral("/schools.csv");
    save(w, csv);
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes[0].title, QStringLiteral("Finished"));
    QString error;
    const Grid fileRows = parseTextFile(readAll(csv), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVector<Grid> filePages(1);
    for (const QStringList &r : fileRows) {
        if (r.isEmpty())
            filePages.append(Grid());
        else
            filePages.last().append(r);
    }
    // Pages are joined by an empty line; the last page's rows end the file.
    QCOMPARE(filePages.size(), 5);
    for (int p = 0; p < 5; ++p)
        QCOMPARE(filePages[p].size(), rowCounts[p]);
    checkKnown(filePages, "text file");

    // The workbook, read by our engine and independently.
    dialogs.boxes.clear();
    const QString xls = work.path() + QStringLiteral("/schools.xls");
    save(w, xls);
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes[0].title, QStringLiteral("Finished"));
    const Grid sheetRows = sheetRowsOf(w.pageCells);
    int rows = 0, cols = 0;
    const Grid loaded = loadWithOurEngine(xls, &rows, &cols, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rows, sheetRows.size() - 1);   // the trailing empty row holds only blanks
    QCOMPARE(cols, 10);
    QVector<Grid> bookPages(1);
    for (int r = 0; r < rows; ++r) {
        const QStringList cellsOfRow = loaded[r];
        if (sheetRows[r].isEmpty()) {
            QCOMPARE(cellsOfRow.join(QString()), QString());
            QCOMPARE(cellsOfRow.size(), 10);
            bookPages.append(Grid());
        } else {
            QCOMPARE(cellsOfRow, sheetRows[r]);
            bookPages.last().append(cellsOfRow);
        }
    }
    checkKnown(bookPages, "workbook");

    if (!independentReaderAvailable())
        QSKIP("/usr/bin/python3 with xlrd and olefile is not available");
    const QJsonObject reading = readIndependently(xls, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString mismatch = checkIndependentReading(reading, sheetRows, 10);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

QTEST_MAIN(WholeRoadTest)
#include "wholeroad_test.moc"
