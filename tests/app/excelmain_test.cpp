// The main window: import road (fake and real converters), page changes with
// the stored tables, zoom, tools, dividers and the save road.

#include "excelmain.h"
#include "labeldraw.h"
#include "mouseinput.h"
#include "pagefiles.h"
#include "scripteddialogs.h"
#include "testfiles.h"
#include "urlcatcher.h"

#include <QDesktopServices>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

namespace {

// A busy dialog that no end of the chain closed: a user would wait forever.
bool busyDialogLeftOpen = false;

// The debug lines (the log's traces) while a test listens.
QStringList traces;
void listen(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtDebugMsg)
        traces << text;
}

// The busy dialog's part of the import: waits until the chain closes it.
int waitForBusyDialog(QDialog *dialog)
{
    QEventLoop loop;
    QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, [&] { busyDialogLeftOpen = true; loop.quit(); });
    loop.exec();
    return dialog->result();
}

QString span(int left, int top, int width, int height, const QString &text)
{
    return QStringLiteral("<span style=\"left:%1;top:%2;width:%3;height:%4;\">%5</span>\n")
        .arg(left).arg(top).arg(width).arg(height).arg(text);
}

// An ordinary edit on the canvas: a drag in one step.
void drag(QWidget *canvas, QPoint from, QPoint to) { drag(canvas, from, QVector<QPointF>{to}); }

// Counts the requests that bring the replacement window to the front.
struct RaiseCounter : QObject
{
    int raised = 0;
    bool eventFilter(QObject *o, QEvent *e) override { return raised += e->type() == QEvent::ZOrderChange && o->inherits("Process"), false; }
};

struct Window : ExcelMain
{
    explicit Window(ScriptedDialogs &dialogs) { setDialogService(&dialogs); }
};

} // namespace

class ExcelMainTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir sources;       // prepared converter outputs and PDFs
    ScriptedDialogs dialogs;

    template <typename T> static T *child(ExcelMain &w, const char *name) { return w.findChild<T *>(QLatin1String(name)); }
    QPushButton *button(ExcelMain &w, const char *name) { return child<QPushButton>(w, name); }

    // Page images of `size` and text layers with the runs p<n>a (20, 30),
    // p<n>b (100, 30) and p<n>c (20, 60).
    QString makeDocument(const QString &name, int pages, QSize size = QSize(200, 300))
    {
        const QString dir = sources.path() + QLatin1Char('/') + name;
        QDir().mkpath(dir);
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        for (int n = 1; n <= pages; ++n) {
            image.save(PageFiles::imagePath(dir, n), "PNG");
            writeFile(PageFiles::textPath(dir, n), (span(20, 30, 40, 10, QStringLiteral("p%1a").arg(n))
                                                    + span(100, 30, 40, 10, QStringLiteral("p%1b").arg(n))
                                                    + span(20, 60, 40, 10, QStringLiteral("p%1c").arg(n))).toUtf8());
        }
        return dir;
    }
    void fakeConverter(const QString &body)
    {
        const QString path = QDir::currentPath() + QStringLiteral("/rendrix");
        QFile::remove(path);
        writeFile(path, ("#!/bin/sh\n" + body + "\n").toUtf8());
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    }
    // Copies a prepared document into the folder of its output argument.
    void copyingConverter(const QString &docDir)
    {
        fakeConverter(QStringLiteral("[ \"$1\" = -htmlformat ] || exit 9\n"
                                     "[ -f \"$2\" ] || { echo \"no such file: $2\" >&2; exit 4; }\n"
                                     "cp \"%1\"/* \"$(dirname \"$3\")\"/").arg(docDir));
    }
    QString makePdfPath(const QString &name)
    {
        const QString path = sources.path() + QLatin1Char('/') + name;
        writeFile(path, "%PDF-1.4 stand-in\n");
        return path;
    }
    void import(ExcelMain &w, const QString &pdf)
    {
        dialogs.fileAnswers.enqueue(pdf);
        button(w, "pushButton_openfile")->click();
    }
    void openDocument(ExcelMain &w, const QString &name, int pages)
    {
        copyingConverter(makeDocument(name, pages));
        import(w, makePdfPath(name + QStringLiteral(".pdf")));
    }

private slots:
    void initTestCase() { QVERIFY(sources.isValid()); }

    void init()
    {
        dialogs = ScriptedDialogs();
        dialogs.onExec = waitForBusyDialog;
        busyDialogLeftOpen = false;
    }
    void cleanup() { QVERIFY(!busyDialogLeftOpen); }

    void importSetsUpTheWindowAndNavigates()
    {
        Window w(dialogs);
        QVERIFY(!button(w, "pushButton_up")->isEnabled());   // nothing to navigate yet
        QCOMPARE(w.windowTitle(), QStringLiteral("Korvane Gridmolt"));
        QDialog *shown = nullptr;
        dialogs.onExec = [&](QDialog *d) { return shown = d, 0; };
        button(w, "aboutpushButton")->click();
        QVERIFY(shown == &w.about && button(w, "aboutpushButton")->text() == QStringLiteral("About"));
        dialogs.onExec = waitForBusyDialog;
        // Every tool button says what it does.
        const char *const tips[][2] = {{"pushButton_drawline", "Draw vertical lines"}, {"pushButton_drawrect", "Draw a table"},
                                       {"pushButton_del_line", "Remove selected lines"}, {"pushButton_del_rect", "Remove the table"}};
        for (const auto &t : tips)
            QCOMPARE(button(w, t[0])->toolTip(), QString::fromLatin1(t[1]));
        w.Updateoutput();
        QMetaObject::invokeMethod(&w, "on_pushButton_clicked");
        QVERIFY(w.pageTexts.isEmpty());

        const QtMessageHandler before = qInstallMessageHandler(listen);
        openDocument(w, QStringLiteral("three"), 3);
        qInstallMessageHandler(before);
        QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
        // The log names the converter's command, in the log's item style.
        QCOMPARE(traces, QStringList(QStringLiteral("\"PNG FILE CMD\" \"\"%1/rendrix\" -htmlformat \"%2\"  \"%3/text.xml\"\" ")
                                         .arg(QDir::currentPath(), sources.path() + "/three.pdf", PageFiles::tempFolder())));
        QVERIFY(w.pageCount == 3 && w.pageRuns.size() == 3);
        QCOMPARE(w.pageRuns[1].subtext[1].text, QStringLiteral("p2b"));
        QVERIFY(w.htmlLines.size() > 1 && w.htmlLines.join('\n').contains(">p3a<"));   // the last page's layer
        QSpinBox *spin = child<QSpinBox>(w, "spinBox_pagenumber");
        QVERIFY(spin->value() == 1 && spin->maximum() == 3);
        QVERIFY(!button(w, "pushButton_up")->isEnabled() && button(w, "pushButton_down")->isEnabled());
        QListWidget *list = child<QListWidget>(w, "listwidget_view");
        const QSize thumb = list->item(2)->icon().availableSizes().value(0);
        QVERIFY(list->count() == 3 && thumb.isValid() && thumb.width() <= 90 && thumb.height() <= 110);
        QCOMPARE(w.canvas->size(), QSize(200, 300));
        QCOMPARE(QSettings(QStringLiteral("setting.ini"), QSettings::IniFormat).value("dir/input").toString(), sources.path());

        button(w, "pushButton_down")->click();
        button(w, "pushButton_down")->click();
        QVERIFY(spin->value() == 3 && list->currentRow() == 2 && !button(w, "pushButton_down")->isEnabled());
        QCOMPARE(w.currentPng, PageFiles::imagePath(PageFiles::tempFolder(), 3));
        // A thumbnail click moves the spin box without a second page change.
        QSignalSpy spinChanges(spin, QOverload<int>::of(&QSpinBox::valueChanged));
        list->setCurrentRow(0);
        emit list->clicked(list->currentIndex());
        QVERIFY(spin->value() == 1 && spinChanges.isEmpty());
        QCOMPARE(w.currentPng, PageFiles::imagePath(PageFiles::tempFolder(), 1));
    }

    // A page change shows the page's table as if just drawn: the next
    // ordinary edit changes that table, nothing else; the pressed tool button
    // is the canvas's tool.
    void pageChangeLeavesTheStoredTableEditable()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("edit"), 3);
        QPushButton *rectTool = button(w, "pushButton_drawrect");
        QPushButton *lineTool = button(w, "pushButton_drawline");
        QVERIFY(rectTool->isChecked() && !lineTool->isChecked());
        drag(w.canvas, QPoint(10, 20), QPoint(180, 80));
        lineTool->click();
        drag(w.canvas, QPoint(80, 20), QPoint(80, 40));
        button(w, "pushButton")->click();   // Apply to All
        QCOMPARE(w.pageLines, QVector<QVector<QRectF>>(3, {QRectF(80, 20, 0, 60)}));
        const QVector<TableFile::PageRows> cells = w.pageCells;
        QCOMPARE(cells[1], TableFile::PageRows({{"p2a ", "p2b "}, {"p2c ", ""}}));

        button(w, "pushButton_down")->click();
        QVERIFY(w.canvas->hasRect && w.canvas->mode == 2 && lineTool->isChecked() && !rectTool->isChecked());
        drag(w.canvas, QPoint(80, 50), QPoint(90, 50));   // the column line
        QCOMPARE(w.pageLines[1], QVector<QRectF>({QRectF(90, 20, 0, 60)}));
        QCOMPARE(w.pageRects[1], QRectF(10, 20, 170, 60));
        QVERIFY(w.pageCells[1] == cells[1] && w.pageCells[0] == cells[0]);

        lineTool->click();   // back to the rectangle tool
        button(w, "pushButton_down")->click();
        QVERIFY(w.canvas->mode == 1 && rectTool->isChecked());
        // Clicks that change nothing keep the stored table; a resize is an edit.
        sendMouse(w.canvas, QEvent::MouseButtonPress, QPoint(190, 200), Qt::RightButton);
        sendMouse(w.canvas, QEvent::MouseButtonRelease, QPoint(190, 200), Qt::RightButton);
        drag(w.canvas, QPoint(180, 50), QPoint(190, 50));
        QCOMPARE(w.pageRects[2], QRectF(10, 20, 180, 60));
        QCOMPARE(w.pageCells[2], cells[2]);
        QVERIFY(w.pageLines[2] == w.pageLines[0] && w.pageLines[0] == QVector<QRectF>({QRectF(80, 20, 0, 60)}));
        QCOMPARE(w.pageRects[0], QRectF(10, 20, 170, 60));

        // A new document: its pages have no table, the canvas draws a new
        // one, and the line tool no longer shows pressed.
        lineTool->click();
        openDocument(w, QStringLiteral("next"), 2);
        QVERIFY(!w.canvas->hasRect && w.canvas->returnRec().isNull() && w.canvas->mode == 1);
        QVERIFY(rectTool->isChecked() && !lineTool->isChecked());
        drag(w.canvas, QPoint(10, 20), QPoint(180, 80));
        QCOMPARE(w.pageCells[0], TableFile::PageRows({{"p1a p1b "}, {"p1c "}}));
    }

    void storedGeometryZoomAndTools()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("geo"), 2);
        // A table at a left edge of 0 is a table; lines land on whole pixels.
        w.pageRects[1] = QRectF(0, 20, 180.5, 60);
        w.pageLines[1] = {QRectF(81, 20, 0, 60)};
        button(w, "pushButton_zoomout")->click();   // enlarges
        QCOMPARE(w.zoomFactor, 1.25f);
        QSpinBox *spin = child<QSpinBox>(w, "spinBox_pagenumber");
        for (int k = 0; k < 7; ++k)
            spin->setValue(k % 2 ? 1 : 2);
        QCOMPARE(w.canvas->returnRec(), QRectF(0, 25, 225.625, 75));
        QCOMPARE(w.canvas->returnLine(), QVector<QRectF>({QRectF(101, 25, 0, 75)}));
        QCOMPARE(w.pageRects[1], QRectF(0, 20, 180.5, 60));
        QCOMPARE(child<QTableWidget>(w, "tableWidget_rule")->item(0, 1)->text(), QStringLiteral("p2b "));
        // Zooming the untouched page keeps it standing for its stored values.
        button(w, "pushButton_zoomout")->click();
        sendMouse(w.canvas, QEvent::MouseButtonPress, QPoint(400, 10));
        sendMouse(w.canvas, QEvent::MouseButtonRelease, QPoint(400, 10));
        QCOMPARE(w.pageLines[1], QVector<QRectF>({QRectF(81, 20, 0, 60)}));
        // Once edited, the canvas stands for its pixels, also when moved back.
        button(w, "pushButton_drawline")->click();
        drag(w.canvas, QPoint(126, 60), QPoint(140, 60));
        QCOMPARE(w.pageLines[1], QVector<QRectF>({QRectF(89, 20, 0, 60)}));
        drag(w.canvas, QPoint(140, 60), QPoint(126, 60));
        QCOMPARE(w.pageLines[1], QVector<QRectF>({QRectF(80, 20, 0, 60)}));
        button(w, "pushButton_drawrect")->click();

        // Zoom stops at its limits; the tool buttons.
        for (int k = 0; k < 60; ++k)
            button(w, "pushButton_zoomout")->click();   // up to 16384 pixels a side
        QVERIFY(300.0 * w.zoomFactor <= 16384.0 && 300.0 * w.zoomFactor * 1.25 > 16384.0);
        for (int k = 0; k < 100; ++k)
            button(w, "pushButton_zoomin")->click();    // down to 16 pixels a side
        QVERIFY(200.0 * w.zoomFactor >= 16.0 && 200.0 * w.zoomFactor * 0.8 < 16.0);

        QPushButton *rect = button(w, "pushButton_drawrect");
        QPushButton *line = button(w, "pushButton_drawline");
        line->click();
        QVERIFY(line->isChecked() && !rect->isChecked() && w.canvas->mode == 2);
        rect->click();
        rect->click();   // unchecking keeps the tool
        QVERIFY(!line->isChecked() && w.canvas->mode == 1);
        line->click();
        line->click();   // unchecking the line tool returns to the rectangle tool
        QCOMPARE(w.canvas->mode, 1);
        line->click();
        button(w, "pushButton_del_rect")->click();
        QVERIFY(!line->isChecked() && !rect->isChecked() && w.canvas->mode == 1);
        // The replacement window, made on the first click, comes to the front and
        // takes the keyboard at every click.
        RaiseCounter front;
        qApp->installEventFilter(&front);
        w.show();
        for (int k = 0; k < 2; ++k) {
            w.activateWindow();
            QCoreApplication::processEvents();
            button(w, "pushButton_replace")->click();
            QCoreApplication::processEvents();
            QVERIFY(QApplication::activeWindow() && QApplication::activeWindow()->inherits("Process"));
        }
        QCOMPARE(front.raised, 2);
    }

    // The divider beside the page list moves with a drag that began on it,
    // and only until the button is let go; both dividers show their cursor.
    void listDividerDrag()
    {
        Window w(dialogs);
        QListWidget *list = child<QListWidget>(w, "listwidget_view");
        const QRect g = list->geometry();
        const int y = g.y() + 10, on = g.x() + g.width() + 5;
        sendMouse(&w, QEvent::MouseMove, QPoint(on, y));
        QCOMPARE(w.cursor().shape(), Qt::SplitHCursor);
        const QRect f = child<QWidget>(w, "frame_back")->geometry();   // the divider under the page
        sendMouse(&w, QEvent::MouseMove, QPoint(f.x() + 10, f.y() + f.height() + 5));
        QCOMPARE(w.cursor().shape(), Qt::SplitVCursor);
        const struct { int from, to, width; } drags[] = {
            {g.x() + 50, on + 40, g.width()},   // began elsewhere
            {on, on + 40, on + 40 - g.x()}};
        for (const auto &d : drags) {
            drag(&w, QPoint(d.from, y), QPoint(d.to, y));
            sendMouse(&w, QEvent::MouseMove, QPoint(d.to + 20, y));   // let go: stays
            QCOMPARE(list->width(), d.width);
        }
    }

    void failedImportsKeepTheEarlierDocument()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("first"), 2);
        w.pageRects[1] = QRectF(5, 5, 50, 50);
        w.pageLines[1] = {QRectF(30, 5, 0, 50)};
        button(w, "pushButton_down")->click();
        const QString page2 = PageFiles::imagePath(PageFiles::tempFolder(), 2);
        const QString bad = makePdfPath(QStringLiteral("bad.pdf"));
        const QString half = makeDocument(QStringLiteral("half"), 1);
        const struct { const char *what; QString converter, says; } cases[] = {
            {"writes a page, then fails", "cp \"" + half + "\"/* \"$(dirname \"$3\")\"/\necho 'damaged file' >&2\nexit 3", "damaged file"},
            {"crashes", QStringLiteral("kill -SEGV $$"), QString()}, {"cannot be started", QString(), QString()}};
        for (const auto &c : cases) {
            dialogs.boxes.clear();
            if (c.converter.isEmpty())
                QFile::remove(QDir::currentPath() + QStringLiteral("/rendrix"));
            else
                fakeConverter(c.converter);
            import(w, bad);
            QVERIFY2(dialogs.boxes.size() == 1 && dialogs.boxes[0].kind == QStringLiteral("warning"), c.what);
            QVERIFY2(dialogs.boxes[0].text.contains(QDir::toNativeSeparators(bad)) && dialogs.boxes[0].text.contains(c.says), c.what);
            QVERIFY2(w.pageCount == 2 && w.pageRuns.size() == 2 && QFile::exists(page2) && w.currentPng == page2, c.what);
        }
        button(w, "pushButton_up")->click();
        button(w, "pushButton_down")->click();
        QCOMPARE(w.canvas->returnRec(), QRectF(5, 5, 50, 50));
        QCOMPARE(w.canvas->returnLine(), QVector<QRectF>({QRectF(30, 5, 0, 50)}));
        QTableWidget *cells = child<QTableWidget>(w, "tableWidget_rule");

        // The user closes the busy dialog of a converter that hangs, one
        // that ignores the request to end and has begun its private folder
        // of pages: it is killed, and the folder removed.
        fakeConverter(QStringLiteral("trap '' TERM\nmkdir \"$(dirname \"$3\")/.text-partial-$$-abcdef\"\nexec sleep 60"));
        dialogs.onExec = [](QDialog *) { return QTest::qWait(300), int(QDialog::Rejected); };
        QElapsedTimer timer;
        timer.start();
        import(w, bad);
        QVERIFY(timer.elapsed() < 10000);
        QCOMPARE(w.pageCount, 2);
        QCOMPARE(QDir(PageFiles::tempFolder()).entryList({".text-partial-*"}, QDir::Dirs | QDir::Hidden), QStringList());
        dialogs.onExec = waitForBusyDialog;

        // A converter that leaves no page: no document rather than a stale
        // one, and no tool shown pressed, whichever was.
        fakeConverter(QStringLiteral("exit 0"));
        for (const char *tool : {"pushButton_drawline", "pushButton_drawrect"}) {
            button(w, tool)->click();
            dialogs.boxes.clear();
            import(w, bad);
            QVERIFY(dialogs.boxes.size() == 1 && w.pageCount == 0 && w.pageRuns.isEmpty() && w.pageRects.isEmpty());
            QVERIFY(child<QListWidget>(w, "listwidget_view")->count() == 0 && cells->rowCount() == 0);
            QVERIFY(!button(w, "pushButton_save")->isEnabled() && w.canvas->mode == 1 && !QFile::exists(page2));
            QVERIFY(!button(w, "pushButton_drawline")->isChecked() && !button(w, "pushButton_drawrect")->isChecked());
        }
    }

    void pagesBeyondTheMaximumAreToldAndRemoved()
    {
        Window w(dialogs);
        const QString dir = makeDocument(QStringLiteral("long"), 1, QSize(4, 4));
        for (int n = 2; n <= PageFiles::maxPages + 2; ++n)
            QFile::copy(PageFiles::imagePath(dir, 1), PageFiles::imagePath(dir, n));
        copyingConverter(dir);
        import(w, makePdfPath(QStringLiteral("long.pdf")));
        QCOMPARE(w.pageCount, PageFiles::maxPages);
        QVERIFY(w.pageRuns.size() == PageFiles::maxPages && w.pageRuns[1].count == 0);   // a record for every page
        QVERIFY(dialogs.boxes.size() == 1 && dialogs.boxes[0].text.contains(QStringLiteral("1999")));
        openDocument(w, QStringLiteral("short"), 1);
        for (int n : {2, PageFiles::maxPages + 1})
            QVERIFY(!QFile::exists(PageFiles::imagePath(PageFiles::tempFolder(), n)));
        // Nor are the long document's pages kept aside once the short one is in.
        QVERIFY(!QFileInfo::exists(PageFiles::tempFolder() + QStringLiteral("/gridmolt-previous-pages")));
    }

    // Another user's links under the old fixed names in the system's
    // temporary folder lead nowhere: the page files live in the program's
    // own folder.
    void plantedLinksAreNeverFollowed()
    {
        const QString victim = sources.path() + QStringLiteral("/victim");
        QVERIFY(QDir().mkpath(victim));
        writeFile(victim + QStringLiteral("/keep.txt"), "precious");
        const QString tmp = QDir::tempPath();
        const QStringList names{QStringLiteral("text_pg_0001.png"), QStringLiteral("text_pg_0001.htm"),
                                QStringLiteral("text.xml"), QStringLiteral("gridmolt-previous-pages")};
        for (const QString &name : names) {
            QFile::remove(tmp + QLatin1Char('/') + name);
            const QString target = name.contains(QLatin1Char('.')) ? victim + QStringLiteral("/keep.txt") : victim;
            QVERIFY(QFile::link(target, tmp + QLatin1Char('/') + name));
        }
        Window w(dialogs);
        openDocument(w, QStringLiteral("one"), 1);
        openDocument(w, QStringLiteral("two"), 2);   // keeps the first aside meanwhile
        QVERIFY(w.pageCount == 2 && w.pageRuns[0].subtext[0].text == QStringLiteral("p1a"));
        QCOMPARE(readAll(victim + QStringLiteral("/keep.txt")), QByteArray("precious"));
        QCOMPARE(QDir(victim).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList("keep.txt"));
        QVERIFY(PageFiles::tempFolder().startsWith(tmp + QStringLiteral("/gridmolt-")));
    }

    void dormantPageCountRoad()
    {
        const QString app = QDir::currentPath();
        const QString argsFile = app + QStringLiteral("/dorcet-args.txt");
        writeFile(app + QStringLiteral("/Pavlin.dll"),
                  "#!/bin/sh\n[ \"$2 $3\" = \"-getinfo -outfile\" ] || exit 9\n"
                  "printf 'Title: t\\nNumberOfPages: 12\\n' > \"$4\"\n");
        const QString page = makeDocument(QStringLiteral("dorcet"), 1, QSize(150, 250));
        writeFile(app + QStringLiteral("/Dorcet.dll"),
                  QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"%1\"\n"
                                 "cp \"%2\" \"$(dirname \"$3\")/text_pg_0001.png\"\n")
                      .arg(argsFile, PageFiles::imagePath(page, 1)).toUtf8());
        for (const char *tool : {"/Pavlin.dll", "/Dorcet.dll"})
            QFile::setPermissions(app + QLatin1String(tool), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        Window w(dialogs);
        QLabel *label = child<QLabel>(w, "label_pagenumber");
        const QString pdf = makePdfPath(QStringLiteral("dormant \"x\".pdf"));
        w.pdfPath = pdf;
        w.generateInfo(pdf);
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("/12"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(w.canvas->size(), QSize(150, 250), 10000);
        QCOMPARE(QString::fromUtf8(readAll(argsFile)).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 (QStringList{pdf, "-ht", PageFiles::tempFolder() + "/text.png", "-f", "1", "-l", "1"}));
        QCOMPARE(w.pageCount, 0);   // no page count without pages behind it
    }

    // The saved file's kind and name follow the suffix in any case, or for a
    // name without one the chosen filter; its cells carry no trailing blank.
    // A save that fails or is cancelled is told or changes nothing.
    void saveRoad()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("save"), 1);
        drag(w.canvas, QPoint(10, 20), QPoint(180, 80));
        button(w, "pushButton_drawline")->click();
        drag(w.canvas, QPoint(80, 20), QPoint(80, 40));
        QCOMPARE(child<QTableWidget>(w, "tableWidget_rule")->item(0, 0)->text(), QStringLiteral("p1a "));
        const QVariant before = QSettings(QStringLiteral("setting.ini"), QSettings::IniFormat).value("output/output");
        button(w, "pushButton_save")->click();   // cancelled: nothing changes
        QVERIFY(dialogs.boxes.isEmpty());
        QCOMPARE(QSettings(QStringLiteral("setting.ini"), QSettings::IniFormat).value("output/output"), before);

        const QString csv = QStringLiteral("CSV File (*.csv)"), xls = QStringLiteral("Excel File (*.xls)");
        const struct { const char *answer; QString filter; const char *written; bool text; } cases[] = {
            {"t.csv", xls, "t.csv", true},        {"table.CSV", xls, "table.CSV", true}, {"t.xls", csv, "t.xls", false},
            {"t.txt", csv, "t.txt", false},       {"report", csv, "report.csv", true},   {"report", xls, "report.xls", false},
            {"report", QStringLiteral("All Files (*.*)"), "report", false}};
        for (const auto &c : cases) {
            QDir out(sources.path() + QStringLiteral("/out"));
            out.removeRecursively();
            QVERIFY(out.mkpath(QStringLiteral(".")));
            const QString written = out.filePath(QLatin1String(c.written));
            dialogs.boxes.clear();
            dialogs.fileAnswers.enqueue(out.filePath(QLatin1String(c.answer)));
            dialogs.chosenFilter = c.filter;
            button(w, "pushButton_save")->click();
            QCOMPARE(out.entryList(QDir::Files), QStringList(QLatin1String(c.written)));
            // The kind by its first bytes; the contents are the file tests' part.
            QVERIFY(readAll(written).startsWith(c.text ? QByteArray("\xff\xfe\"\0p\0", 6) : QByteArray("\xd0\xcf\x11\xe0")));
            QCOMPARE(dialogs.boxes.value(0).text, QStringLiteral("Open the %1?").arg(written));
            QCOMPARE(QSettings(QStringLiteral("setting.ini"), QSettings::IniFormat).value("output/output").toString(), written);
        }
        for (const QString &name : {QStringLiteral("x.csv"), QStringLiteral("x.xls")}) {
            dialogs.boxes.clear();
            const QString bad = sources.path() + QStringLiteral("/no/such/folder/") + name;
            dialogs.fileAnswers.enqueue(bad);
            button(w, "pushButton_save")->click();
            QVERIFY(dialogs.boxes.size() == 1 && dialogs.boxes[0].kind == QStringLiteral("warning")
                    && dialogs.boxes[0].text.contains(QDir::toNativeSeparators(bad)));
        }

        // A text longer than a cell holds is saved cut; the user learns which
        // cell before the file is offered.
        const TableFile::PageRows shown = w.pageCells.value(0);
        w.pageCells[0] = {{QString(40000, QLatin1Char('x')), QStringLiteral("b ")}};
        const QString cut = sources.path() + QStringLiteral("/cut.xls");
        dialogs.boxes.clear();
        dialogs.fileAnswers.enqueue(cut);
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        button(w, "pushButton_save")->click();
        QLoggingCategory::setFilterRules(QString());
        w.pageCells[0] = shown;
        QVERIFY2(dialogs.boxes.size() == 2 && dialogs.boxes[0].kind == QStringLiteral("warning")
                     && dialogs.boxes[0].text.contains(QStringLiteral(" A1 ")) && dialogs.boxes[0].text.contains(cut)
                     && dialogs.boxes[1].title == QStringLiteral("Finished"),
                 qPrintable(dialogs.boxes.value(0).text));

        // Ok opens the file with the desktop's application, when there is one.
        const QString good = sources.path() + QStringLiteral("/a#1 %20?.csv");
        UrlCatcher opener;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
        dialogs.boxes.clear();
        dialogs.fileAnswers.enqueue(good);
        dialogs.buttons.enqueue(QMessageBox::Ok);
        button(w, "pushButton_save")->click();
        QVERIFY(opener.urls.value(0).toLocalFile() == good && dialogs.boxes.size() == 1);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        // No application: the user is told so, with the path.
        dialogs.boxes.clear();
        w.openexcel(good);
        QVERIFY(dialogs.boxes.size() == 1 && dialogs.boxes[0].kind == QStringLiteral("warning")
                && dialogs.boxes[0].text.contains(QDir::toNativeSeparators(good)));
    }
};

QTEST_MAIN(ExcelMainTest)
#include "excelmain_test.moc"
