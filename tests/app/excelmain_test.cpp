// The main window: navigation, zoom, dividers, tool buttons and the import
// road driven through fake and real converters.

#include "excelmain.h"
#include "labeldraw.h"
#include "messagehandler.h"
#include "pagefiles.h"
#include "pagezoom.h"
#include "scripteddialogs.h"
#include "xlsworkbook.h"
#include "xlsworksheet.h"

#include <QCoreApplication>
#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QtTest>

namespace {

// Runs the busy dialog's part of the import: waits until the chain closes it.
int waitForBusyDialog(QDialog *dialog)
{
    QEventLoop loop;
    QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    return dialog->result();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QString span(int left, int top, int width, int height, const QString &text)
{
    return QStringLiteral("<span style=\"left:%1;top:%2;width:%3;height:%4;\">%5</span>\n")
        .arg(left).arg(top).arg(width).arg(height).arg(text);
}

} // namespace

// Stands in for the desktop's default application.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

// The main window with its dialogs answered by the test's script.
struct Window : ExcelMain
{
    explicit Window(ScriptedDialogs &dialogs) { setDialogService(&dialogs); }
};

class ExcelMainTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir sources;       // prepared converter outputs, one folder per document
    ScriptedDialogs dialogs;
    QString temp;

    template <typename T> static T *child(ExcelMain &w, const char *name)
    {
        T *c = w.findChild<T *>(QString::fromLatin1(name));
        if (!c)
            qFatal("no child %s", name);
        return c;
    }

    // A document of `pages` page images of `size` (and text layers for the
    // first `textPages`, all when negative) in a folder of its own.
    QString makeDocument(const QString &name, int pages, QSize size = QSize(200, 300),
                         int textPages = -1)
    {
        const QString dir = sources.path() + QLatin1Char('/') + name;
        QDir().mkpath(dir);
        QImage image(size, QImage::Format_RGB32);
        for (int n = 1; n <= pages; ++n) {
            image.fill(QColor::fromHsv((n * 37) % 360, 80, 255));
            image.save(PageFiles::imagePath(dir, n), "PNG");
            if (textPages < 0 || n <= textPages)
                writeFile(PageFiles::textPath(dir, n),
                          (span(20, 30, 40, 10, QStringLiteral("p%1a").arg(n))
                           + span(100, 30, 40, 10, QStringLiteral("p%1b").arg(n))
                           + span(20, 60, 40, 10, QStringLiteral("p%1c").arg(n)))
                              .toUtf8());
        }
        return dir;
    }

    // The converter in the working folder: copies a prepared document into
    // the folder of its third argument, after checking the PDF exists.
    void fakeConverter(const QString &body)
    {
        const QString path = QDir::currentPath() + QStringLiteral("/rendrix");
        QFile::remove(path);
        writeFile(path, ("#!/bin/sh\n" + body + "\n").toUtf8());
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    }
    void copyingConverter(const QString &docDir)
    {
        fakeConverter(QStringLiteral("[ \"$1\" = -htmlformat ] || exit 9\n"
                                     "[ -f \"$2\" ] || { echo \"no such file: $2\" >&2; exit 4; }\n"
                                     "cp \"%1\"/* \"$(dirname \"$3\")\"/")
                          .arg(docDir));
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
        child<QPushButton>(w, "pushButton_openfile")->click();
    }

    // Prepares a document (see makeDocument) and imports it as <name>.pdf.
    void openDocument(ExcelMain &w, const QString &name, int pages, QSize size = QSize(200, 300),
                      int textPages = -1)
    {
        copyingConverter(makeDocument(name, pages, size, textPages));
        import(w, makePdfPath(name + QStringLiteral(".pdf")));
    }

    static void sendMouse(QWidget *target, QEvent::Type type, QPoint pos,
                          Qt::MouseButton button = Qt::LeftButton)
    {
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease
                                             ? Qt::NoButton
                                             : (type == QEvent::MouseMove ? Qt::MouseButtons() : button);
        QMouseEvent e(type, pos, target->mapToGlobal(pos),
                      type == QEvent::MouseMove ? Qt::NoButton : button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &e);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sources.isValid());
        temp = PageFiles::tempFolder();
        dialogs.onExec = waitForBusyDialog;
    }

    void init()
    {
        dialogs.fileAnswers.clear();
        dialogs.boxes.clear();
        dialogs.fileDirs.clear();
        dialogs.buttons.clear();
        dialogs.onExec = waitForBusyDialog;
        PageFiles::deletePageFiles(temp);
    }

    void constructionShowsTheFormWithoutADocument()
    {
        ExcelMain w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Korvane Gridmolt"));
        QCOMPARE(child<QPushButton>(w, "aboutpushButton")->text(), QStringLiteral("About"));
        QCOMPARE(child<QPushButton>(w, "pushButton_drawline")->toolTip(),
                 QStringLiteral("Draw vertical lines"));
        QCOMPARE(child<QPushButton>(w, "pushButton_drawrect")->toolTip(), QStringLiteral("Draw a table"));
        QCOMPARE(child<QPushButton>(w, "pushButton_del_line")->toolTip(),
                 QStringLiteral("Remove selected lines"));
        QCOMPARE(child<QPushButton>(w, "pushButton_del_rect")->toolTip(),
                 QStringLiteral("Remove the table"));
        QCOMPARE(child<QPushButton>(w, "pushButton")->text(), QStringLiteral("Apply to All"));
        QListWidget *list = child<QListWidget>(w, "listwidget_view");
        QCOMPARE(list->width(), 118);
        QCOMPARE(list->viewMode(), QListView::IconMode);
        QCOMPARE(list->movement(), QListView::Snap);
        QCOMPARE(list->gridSize(), QSize(100, 130));
        QCOMPARE(list->iconSize(), QSize(90, 110));
        QVERIFY(!child<QPushButton>(w, "pushButton_save")->isEnabled());
        QVERIFY(child<QPushButton>(w, "pushButton_drawrect")->isCheckable());
        QVERIFY(child<QPushButton>(w, "pushButton_drawline")->isCheckable());
        // Every button but "Apply to All" shows a picture, read from the
        // resources (the .ico ones need the system's image plug-ins).
        const QList<QPushButton *> buttons =
            child<QWidget>(w, "frame_2")->findChildren<QPushButton *>();
        for (QPushButton *b : buttons) {
            if (b->objectName() == QLatin1String("pushButton"))
                continue;
            QVERIFY2(!b->icon().pixmap(32, 32).isNull(), qPrintable(b->objectName()));
        }
        QVERIFY(!w.windowIcon().pixmap(32, 32).isNull());
        QCOMPARE(buttons.size(), 12);
        QCOMPARE(w.zoomFactor, 1.0f);
        QCOMPARE(w.pageCount, 0);
        QVERIFY(w.canvas->parentWidget() != nullptr);
        QVERIFY(!w.progressDialog->isVisible());
    }

    void navigationIsInertWithoutADocument()
    {
        Window w(dialogs);
        QSpinBox *spin = child<QSpinBox>(w, "spinBox_pagenumber");
        QVERIFY(!spin->isEnabled());
        QVERIFY(!child<QPushButton>(w, "pushButton_up")->isEnabled());
        QVERIFY(!child<QPushButton>(w, "pushButton_down")->isEnabled());
        // Even driven from code, nothing reads the empty stores.
        spin->setValue(3);
        w.pagechange();
        w.viewchage();
        w.Updateoutput();
        QMetaObject::invokeMethod(&w, "on_pushButton_clicked");
        QMetaObject::invokeMethod(&w, "on_pushButton_down_clicked");
        QMetaObject::invokeMethod(&w, "on_pushButton_zoomout_clicked");
        QCOMPARE(w.zoomFactor, 1.0f);
        QVERIFY(w.pageTexts.isEmpty());
        QVERIFY(w.pageRects.isEmpty());
    }

    void importOfThreePagesSetsUpTheWindow()
    {
        Window w(dialogs);
        copyingConverter(makeDocument(QStringLiteral("three"), 3));
        const QString pdf = makePdfPath(QStringLiteral("three.pdf"));
        // The busy dialog as it is run: an indicator without percentage or
        // cancel button, modal to the window, naming the file.
        QString busyLabel;
        int busyMinimum = -1, busyMaximum = -1;
        Qt::WindowModality busyModality = Qt::NonModal;
        bool busyHasButton = true;
        dialogs.onExec = [&](QDialog *d) {
            QProgressDialog *busy = qobject_cast<QProgressDialog *>(d);
            if (busy) {
                busyLabel = busy->labelText();
                busyMinimum = busy->minimum();
                busyMaximum = busy->maximum();
                busyModality = busy->windowModality();
                busyHasButton = busy->findChild<QPushButton *>() != nullptr;
            }
            return waitForBusyDialog(d);
        };
        import(w, pdf);

        QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
        QCOMPARE(dialogs.fileCaptions.last(), QStringLiteral("Add File"));
        QCOMPARE(dialogs.fileFilters.last(), QStringLiteral("PDF File(*.pdf);;ALL files(*.*)"));
        QCOMPARE(busyLabel, QStringLiteral("Loading ") + pdf + QStringLiteral("..."));
        QCOMPARE(busyMinimum, 0);
        QCOMPARE(busyMaximum, 0);
        QCOMPARE(busyModality, Qt::WindowModal);
        QVERIFY(!busyHasButton);
        // The lines of the text layer read last are kept: page 3's.
        QCOMPARE(w.htmlLines.size(), 3);
        QVERIFY(w.htmlLines[2].contains(QStringLiteral(">p3c</span>")));
        QCOMPARE(w.pageCount, 3);
        QCOMPARE(w.pdfPath, pdf);
        QCOMPARE(w.pageRuns.size(), 3);
        QCOMPARE(w.pageRuns[1].count, 3);
        QCOMPARE(w.pageRuns[1].subtext[1].text, QStringLiteral("p2b"));
        QCOMPARE(w.pageRuns[1].subtext[1].x, 100);
        QCOMPARE(w.pageTexts, QVector<QString>(3));
        QCOMPARE(w.pageRects, QVector<QRectF>(3, QRectF()));
        QCOMPARE(w.pageLines, QVector<QVector<QRectF>>(3, QVector<QRectF>(1, QRectF())));

        QSpinBox *spin = child<QSpinBox>(w, "spinBox_pagenumber");
        QCOMPARE(spin->value(), 1);
        QCOMPARE(spin->minimum(), 1);
        QCOMPARE(spin->maximum(), 3);
        QVERIFY(spin->isEnabled());
        QCOMPARE(child<QLabel>(w, "label_pagenumber")->text(), QStringLiteral("/3"));
        QVERIFY(!child<QPushButton>(w, "pushButton_up")->isEnabled());
        QVERIFY(child<QPushButton>(w, "pushButton_down")->isEnabled());
        QVERIFY(child<QPushButton>(w, "pushButton_save")->isEnabled());
        QListWidget *list = child<QListWidget>(w, "listwidget_view");
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(2)->text(), QStringLiteral("3"));
        QCOMPARE(list->currentRow(), 0);
        // Thumbnails are held small, not at page size.
        const QList<QSize> sizes = list->item(0)->icon().availableSizes();
        QVERIFY(!sizes.isEmpty());
        QVERIFY(sizes.first().width() <= 90 && sizes.first().height() <= 110);
        QCOMPARE(w.currentPng, PageFiles::imagePath(temp, 1));
        QCOMPARE(w.canvas->size(), QSize(200, 300));
        QSettings settings(QStringLiteral("setting.ini"), QSettings::IniFormat);
        QCOMPARE(settings.value("dir/input").toString(), QFileInfo(pdf).absolutePath());

        // Next, next: the last page disables the next button.
        child<QPushButton>(w, "pushButton_down")->click();
        QCOMPARE(spin->value(), 2);
        QCOMPARE(list->currentRow(), 1);
        QVERIFY(child<QPushButton>(w, "pushButton_up")->isEnabled());
        child<QPushButton>(w, "pushButton_down")->click();
        QCOMPARE(spin->value(), 3);
        QVERIFY(!child<QPushButton>(w, "pushButton_down")->isEnabled());
        QCOMPARE(w.currentPng, PageFiles::imagePath(temp, 3));
        child<QPushButton>(w, "pushButton_up")->click();
        QCOMPARE(spin->value(), 2);

        // A thumbnail click moves the spin box without a second page change.
        QSignalSpy spinChanges(spin, QOverload<int>::of(&QSpinBox::valueChanged));
        list->setCurrentRow(0);
        emit list->clicked(list->currentIndex());
        QCOMPARE(spin->value(), 1);
        QCOMPARE(spinChanges.count(), 0);
        QVERIFY(!child<QPushButton>(w, "pushButton_up")->isEnabled());
        QCOMPARE(w.currentPng, PageFiles::imagePath(temp, 1));

        // The next import starts the folder from the remembered one.
        dialogs.fileAnswers.clear();
        child<QPushButton>(w, "pushButton_openfile")->click();
        QCOMPARE(dialogs.fileDirs.last(), QFileInfo(pdf).absolutePath());
    }

    void onePageDisablesBothNavigationButtons()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("one"), 1);
        QCOMPARE(w.pageCount, 1);
        QVERIFY(!child<QPushButton>(w, "pushButton_up")->isEnabled());
        QVERIFY(!child<QPushButton>(w, "pushButton_down")->isEnabled());
        QCOMPARE(child<QLabel>(w, "label_pagenumber")->text(), QStringLiteral("/1"));
    }

    void storedGeometryReturnsWithoutDrift()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("geo"), 2);
        QCOMPARE(w.pageCount, 2);

        // A table at a left edge of 0 is a table, not "no table".
        w.pageRects[1] = QRectF(0, 20, 180.5, 60);
        w.pageLines[1] = {QRectF(81, 20, 0, 60)};
        QMetaObject::invokeMethod(&w, "on_pushButton_zoomout_clicked");
        QCOMPARE(w.zoomFactor, 1.25f);
        QSpinBox *spin = child<QSpinBox>(w, "spinBox_pagenumber");
        spin->setValue(2);
        QCOMPARE(w.canvas->returnRec(), QRectF(0, 25, 225.625, 75));
        QCOMPARE(w.canvas->returnLine().size(), 1);
        QCOMPARE(w.canvas->returnLine()[0].x(), 101.0);  // trunc(81 * 1.25)
        QTableWidget *table = child<QTableWidget>(w, "tableWidget_rule");
        QCOMPARE(table->columnCount(), 2);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("p2a "));
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("p2b "));

        // A click on the thumbnail of the page on show shows it again from
        // its stored geometry and re-extracts it.
        w.pageRects[1] = QRectF(10, 20, 180, 60);
        table->setRowCount(0);
        QListWidget *list = child<QListWidget>(w, "listwidget_view");
        QCOMPARE(list->currentRow(), 1);
        emit list->clicked(list->currentIndex());
        QCOMPARE(spin->value(), 2);
        QCOMPARE(w.canvas->returnRec(), QRectF(12.5, 25, 225, 75));
        QCOMPARE(table->rowCount(), 2);
        w.pageRects[1] = QRectF(0, 20, 180.5, 60);
        emit list->clicked(list->currentIndex());

        // A click that changes nothing on the canvas (any button, any tool)
        // re-extracts, but from the page's own values, not from the
        // truncated pixels.
        for (Qt::MouseButton b : {Qt::RightButton, Qt::LeftButton}) {
            sendMouse(w.canvas, QEvent::MouseButtonPress, QPoint(400, 10), b);
            sendMouse(w.canvas, QEvent::MouseButtonRelease, QPoint(400, 10), b);
            QCOMPARE(w.pageLines[1], QVector<QRectF>{QRectF(81, 20, 0, 60)});
            QCOMPARE(w.pageRects[1], QRectF(0, 20, 180.5, 60));
            QCOMPARE(table->rowCount(), 2);
        }
        // The left click made the table editable. A move is an edit and is
        // read back from the canvas; moving it back is another edit, not a
        // return to the values stored before the first.
        for (int x : {60, 50}) {
            sendMouse(w.canvas, QEvent::MouseMove, QPoint(110 - x, 60));
            sendMouse(w.canvas, QEvent::MouseButtonPress, QPoint(110 - x, 60));
            sendMouse(w.canvas, QEvent::MouseMove, QPoint(x, 60));
            sendMouse(w.canvas, QEvent::MouseButtonRelease, QPoint(x, 60));
            QCOMPARE(w.pageRects[1].x(), x == 60 ? 8.0 : 0.0);
        }
        w.pageRects[1] = QRectF(0, 20, 180.5, 60);
        w.pageLines[1] = {QRectF(81, 20, 0, 60)};

        // Visiting the page again and again keeps the stored page-unit lines.
        for (int k = 0; k < 4; ++k) {
            spin->setValue(1);
            spin->setValue(2);
        }
        QCOMPARE(w.pageLines[1], QVector<QRectF>{QRectF(81, 20, 0, 60)});
        QCOMPARE(w.pageRects[1], QRectF(0, 20, 180.5, 60));
        QVERIFY(!w.pageTexts[1].isEmpty());
        // Zooming the untouched page keeps it standing for its stored values.
        QMetaObject::invokeMethod(&w, "on_pushButton_zoomout_clicked");
        sendMouse(w.canvas, QEvent::MouseButtonPress, QPoint(400, 10), Qt::RightButton);
        sendMouse(w.canvas, QEvent::MouseButtonRelease, QPoint(400, 10), Qt::RightButton);
        QCOMPARE(w.pageLines[1], QVector<QRectF>{QRectF(81, 20, 0, 60)});
        QMetaObject::invokeMethod(&w, "on_pushButton_zoomin_clicked");
        QCOMPARE(w.zoomFactor, 1.25f);

        // Page 1 has no table: its canvas shows none, the output table is empty.
        spin->setValue(1);
        QCOMPARE(w.canvas->returnRec(), QRectF());
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(w.pageLines[0], QVector<QRectF>(1, QRectF()));

        // Apply to All gives every page the shown (empty) geometry.
        spin->setValue(2);
        w.canvas->delrec();
        QMetaObject::invokeMethod(&w, "on_pushButton_clicked");
        QCOMPARE(w.pageRects, QVector<QRectF>(2, QRectF()));
        QCOMPARE(w.pageTexts, QVector<QString>(2));
    }

    void zoomStepsAndLimits()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("zoom"), 1, QSize(200, 300));
        QPushButton *enlarge = child<QPushButton>(w, "pushButton_zoomout");
        QPushButton *shrink = child<QPushButton>(w, "pushButton_zoomin");

        enlarge->click();
        shrink->click();
        QVERIFY(qAbs(w.zoomFactor - 1.0f) < 1e-6f);

        for (int k = 0; k < 5; ++k)
            enlarge->click();
        QVERIFY(qAbs(w.zoomFactor - 3.0517578f) < 1e-5f);
        QCOMPARE(w.canvas->size(), PageZoom::scaledSize(QSize(200, 300), w.zoomFactor));

        // Up to 16384 pixels a side and no further.
        for (int k = 0; k < 60; ++k)
            enlarge->click();
        QVERIFY(300.0 * w.zoomFactor <= 16384.0);
        QVERIFY(300.0 * w.zoomFactor * 1.25 > 16384.0);
        QVERIFY(w.canvas->height() <= 16384);

        // Down to 16 pixels a side and no further.
        for (int k = 0; k < 100; ++k)
            shrink->click();
        QVERIFY(200.0 * w.zoomFactor >= 16.0);
        QVERIFY(200.0 * w.zoomFactor * 0.8 < 16.0);
        QVERIFY(w.canvas->width() >= 16);
    }

    void zoomLimitHelper()
    {
        QVERIFY(PageZoom::zoomAllowed(QSize(612, 792), 1.0f));
        QVERIFY(!PageZoom::zoomAllowed(QSize(612, 792), 21.0f));
        QVERIFY(!PageZoom::zoomAllowed(QSize(612, 792), 0.01f));
        QVERIFY(!PageZoom::zoomAllowed(QSize(), 1.0f));
        QVERIFY(!PageZoom::zoomAllowed(QSize(612, 792), 1e30f));
        QCOMPARE(PageZoom::fittingZoom(QSize(612, 792), 3.0f), 3.0f);
        QCOMPARE(PageZoom::fittingZoom(QSize(612, 792), 30.0f), 1.0f);
        QVERIFY(PageZoom::fittingZoom(QSize(20000, 500), 1.0f) * 20000.0f <= 16384.5f);
        QCOMPARE(PageZoom::rectToCanvas(QRectF(80.5, 10, 20, 30), 1.25f).x(), 100.625);
        QCOMPARE(PageZoom::linesToCanvas({QRectF(81, 10, 0, 30)}, 1.25f)[0],
                 QRectF(101, 12, 0, 38));  // 12 = trunc(12.5), 50 = trunc(50)
    }

    void toolButtonsActAsAPair()
    {
        ExcelMain w;
        QPushButton *rect = child<QPushButton>(w, "pushButton_drawrect");
        QPushButton *line = child<QPushButton>(w, "pushButton_drawline");
        rect->click();
        QCOMPARE(w.canvas->mode, 1);
        line->click();
        QCOMPARE(w.canvas->mode, 2);
        QVERIFY(!rect->isChecked());
        rect->click();   // checks the rectangle tool again
        QCOMPARE(w.canvas->mode, 1);
        QVERIFY(!line->isChecked());
        rect->click();   // unchecking keeps the tool
        QCOMPARE(w.canvas->mode, 1);
        line->click();
        line->click();   // unchecking the line tool returns to the rectangle tool
        QCOMPARE(w.canvas->mode, 1);
        line->click();
        child<QPushButton>(w, "pushButton_del_rect")->click();
        QVERIFY(!line->isChecked());
        QVERIFY(!rect->isChecked());
    }

    // Before any document the canvas still takes a table and its lines, and
    // nothing reads the (empty) per-page stores.
    void blankCanvasTakesATableAndLines()
    {
        ExcelMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        labeldraw *canvas = w.canvas;
        QVERIFY(canvas->width() > 300 && canvas->height() > 200);
        QSignalSpy edits(canvas, &labeldraw::updateRecandLine);

        child<QPushButton>(w, "pushButton_drawrect")->click();
        sendMouse(canvas, QEvent::MouseButtonPress, QPoint(40, 30));
        sendMouse(canvas, QEvent::MouseMove, QPoint(240, 150));
        sendMouse(canvas, QEvent::MouseButtonRelease, QPoint(240, 150));
        QCOMPARE(canvas->returnRec(), QRectF(40, 30, 200, 120));
        QVERIFY(canvas->hasRect);

        child<QPushButton>(w, "pushButton_drawline")->click();
        sendMouse(canvas, QEvent::MouseMove, QPoint(120, 30));
        sendMouse(canvas, QEvent::MouseButtonPress, QPoint(120, 30));
        sendMouse(canvas, QEvent::MouseMove, QPoint(121, 60));
        sendMouse(canvas, QEvent::MouseButtonRelease, QPoint(121, 60));
        QCOMPARE(canvas->returnLine(), QVector<QRectF>{QRectF(120, 30, 0, 120)});
        QCOMPARE(edits.count(), 2);
        QCOMPARE(child<QTableWidget>(w, "tableWidget_rule")->rowCount(), 0);
        QVERIFY(w.pageRects.isEmpty() && w.pageLines.isEmpty() && w.pageTexts.isEmpty());
    }

    void dividersResizeListAndTable()
    {
        ExcelMain w;
        w.resize(862, 610);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QListWidget *list = child<QListWidget>(w, "listwidget_view");
        QTableWidget *table = child<QTableWidget>(w, "tableWidget_rule");
        const QRect lg = list->geometry();
        const QPoint band(lg.x() + lg.width() + 5, lg.y() + 50);

        // The right button starts no drag.
        sendMouse(&w, QEvent::MouseMove, band);
        QVERIFY(w.hoverListDivider);
        sendMouse(&w, QEvent::MouseButtonPress, band, Qt::RightButton);
        QVERIFY(!w.dragListDivider);
        sendMouse(&w, QEvent::MouseButtonRelease, band, Qt::RightButton);

        sendMouse(&w, QEvent::MouseButtonPress, band);
        QVERIFY(w.dragListDivider);
        sendMouse(&w, QEvent::MouseMove, QPoint(lg.x() + 150, band.y()));
        QCOMPARE(list->width(), 150);
        // Not so far right that the page frame could no longer be shown.
        const int desktop = QGuiApplication::primaryScreen()->virtualGeometry().width();
        sendMouse(&w, QEvent::MouseMove, QPoint(desktop - 575, band.y()));
        QCOMPARE(list->width(), 150);
        QVERIFY(w.dragListDivider);
        // Dragged left of the list itself: width 0, never negative.
        sendMouse(&w, QEvent::MouseMove, QPoint(lg.x() - 40, band.y()));
        QCOMPARE(list->maximumWidth(), 0);
        sendMouse(&w, QEvent::MouseButtonRelease, band);
        QVERIFY(!w.dragListDivider);
        list->setFixedWidth(118);
        QCoreApplication::processEvents();

        QWidget *frame = child<QWidget>(w, "frame_back");
        const QRect fg = frame->geometry();
        const QPoint tband(fg.x() + 100, fg.y() + fg.height() + 5);
        sendMouse(&w, QEvent::MouseMove, tband);
        QVERIFY(w.hoverTableDivider);
        sendMouse(&w, QEvent::MouseButtonPress, tband);
        QVERIFY(w.dragTableDivider);
        sendMouse(&w, QEvent::MouseMove, QPoint(tband.x(), 400));
        QCOMPARE(table->maximumHeight(), w.height() - 400 - 20);
        sendMouse(&w, QEvent::MouseMove, QPoint(tband.x(), w.height() + 100));
        QCOMPARE(table->maximumHeight(), 0);
        sendMouse(&w, QEvent::MouseButtonRelease, tband);
        QVERIFY(!w.dragTableDivider);
    }

    void cancelledFileDialogChangesNothing()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("keep"), 2);
        QCOMPARE(w.pageCount, 2);
        w.pageRects[0] = QRectF(10, 10, 100, 100);

        child<QPushButton>(w, "pushButton_openfile")->click();   // no answer: cancel
        QCOMPARE(w.pageCount, 2);
        QCOMPARE(w.pageRuns.size(), 2);
        QCOMPARE(w.pageRects[0], QRectF(10, 10, 100, 100));
        QVERIFY(QFile::exists(PageFiles::imagePath(temp, 2)));
        QVERIFY(QFile::exists(PageFiles::textPath(temp, 2)));
    }

    void failingConverterKeepsTheEarlierDocument()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("first"), 2);
        QCOMPARE(w.pageCount, 2);
        w.pageRects[1] = QRectF(5, 5, 50, 50);
        const QString firstPdf = w.pdfPath;

        // Writes one page, complains and fails.
        const QString half = makeDocument(QStringLiteral("half"), 1);
        fakeConverter(QStringLiteral("cp \"%1\"/* \"$(dirname \"$3\")\"/\n"
                                     "echo 'damaged file' >&2\nexit 3").arg(half));
        const QString bad = makePdfPath(QStringLiteral("bad.pdf"));
        import(w, bad);
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].kind, QStringLiteral("warning"));
        QVERIFY(dialogs.boxes[0].text.contains(QDir::toNativeSeparators(bad)));
        QVERIFY(dialogs.boxes[0].text.contains(QStringLiteral("damaged file")));
        QCOMPARE(w.pageCount, 2);
        QCOMPARE(w.pdfPath, firstPdf);
        QCOMPARE(w.pageRuns.size(), 2);
        QCOMPARE(w.pageRuns[0].subtext[0].text, QStringLiteral("p1a"));
        QCOMPARE(w.pageRects[1], QRectF(5, 5, 50, 50));
        QVERIFY(QFile::exists(PageFiles::imagePath(temp, 2)));
        QVERIFY(!QFile::exists(temp + QStringLiteral("/gridmolt-previous-pages")));
        QVERIFY(!w.progressDialog->isVisible());

        // A converter that cannot be started at all.
        dialogs.boxes.clear();
        QFile::remove(QDir::currentPath() + QStringLiteral("/rendrix"));
        import(w, bad);
        QCOMPARE(dialogs.boxes.size(), 1);
        QVERIFY(dialogs.boxes[0].text.contains(QDir::toNativeSeparators(bad)));
        QCOMPARE(w.pageCount, 2);

        // A crashing one.
        dialogs.boxes.clear();
        fakeConverter(QStringLiteral("kill -SEGV $$"));
        import(w, bad);
        QCOMPARE(dialogs.boxes.size(), 1);
        QVERIFY(dialogs.boxes[0].text.contains(QDir::toNativeSeparators(bad)));
        QCOMPARE(w.pageRuns.size(), 2);

        // Still navigable afterwards.
        child<QPushButton>(w, "pushButton_down")->click();
        QCOMPARE(child<QSpinBox>(w, "spinBox_pagenumber")->value(), 2);
        QCOMPARE(w.canvas->returnRec(), QRectF(5, 5, 50, 50));
    }

    void closingTheBusyDialogStopsAHangingConverter()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("before"), 1);
        QCOMPARE(w.pageCount, 1);

        fakeConverter(QStringLiteral("exec sleep 60"));
        // The user closes the busy dialog after a moment.
        dialogs.onExec = [](QDialog *) {
            QTest::qWait(300);
            return int(QDialog::Rejected);
        };
        QElapsedTimer timer;
        timer.start();
        import(w, makePdfPath(QStringLiteral("hang.pdf")));
        QVERIFY(timer.elapsed() < 10000);
        QCOMPARE(w.pageCount, 1);
        QCOMPARE(w.pageRuns.size(), 1);
        QVERIFY(QFile::exists(PageFiles::imagePath(temp, 1)));
        QVERIFY(!w.findChild<QProcess *>() || w.findChild<QProcess *>()->state() == QProcess::NotRunning);

        // The real busy dialog, left with Esc.
        ScriptedDialogs filesOnly;
        filesOnly.onExec = [](QDialog *d) { return d->exec(); };
        w.setDialogService(&filesOnly);
        filesOnly.fileAnswers.enqueue(makePdfPath(QStringLiteral("hang2.pdf")));
        QTimer::singleShot(400, &w, [&w] {
            QVERIFY(w.progressDialog->isVisible());
            QTest::keyClick(w.progressDialog, Qt::Key_Escape);
        });
        timer.restart();
        child<QPushButton>(w, "pushButton_openfile")->click();
        QVERIFY(timer.elapsed() < 10000);
        QVERIFY(!w.progressDialog->isVisible());
        QCOMPARE(w.pageCount, 1);
        QCOMPARE(w.pageRuns.size(), 1);
        QVERIFY(filesOnly.boxes.isEmpty());
    }

    void zeroPagesLeavesNoDocument()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("earlier"), 3);
        QCOMPARE(w.pageCount, 3);

        fakeConverter(QStringLiteral("exit 0"));
        const QString empty = makePdfPath(QStringLiteral("empty.pdf"));
        import(w, empty);
        QCOMPARE(dialogs.boxes.size(), 1);
        QVERIFY(dialogs.boxes[0].text.contains(QDir::toNativeSeparators(empty)));
        QCOMPARE(w.pageCount, 0);
        QVERIFY(w.pageRuns.isEmpty() && w.pageTexts.isEmpty() && w.pageRects.isEmpty()
                && w.pageLines.isEmpty());
        QCOMPARE(child<QListWidget>(w, "listwidget_view")->count(), 0);
        QVERIFY(child<QLabel>(w, "label_pagenumber")->text().isEmpty());
        QCOMPARE(child<QTableWidget>(w, "tableWidget_rule")->rowCount(), 0);
        QVERIFY(!child<QSpinBox>(w, "spinBox_pagenumber")->isEnabled());
        QVERIFY(!child<QPushButton>(w, "pushButton_down")->isEnabled());
        QVERIFY(!child<QPushButton>(w, "pushButton_save")->isEnabled());
        QVERIFY(!QFile::exists(PageFiles::imagePath(temp, 1)));
    }

    void secondImportShowsItsOwnFirstPage()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("a"), 4);
        QCOMPARE(w.pageCount, 4);
        // A table on page 1 of the first document.
        w.pageRects[0] = QRectF(10, 20, 150, 60);
        child<QSpinBox>(w, "spinBox_pagenumber")->setValue(2);
        child<QSpinBox>(w, "spinBox_pagenumber")->setValue(1);
        QCOMPARE(child<QTableWidget>(w, "tableWidget_rule")->rowCount(), 2);

        openDocument(w, QStringLiteral("b"), 2);
        QCOMPARE(w.pageCount, 2);
        QCOMPARE(w.pageTexts.size(), 2);
        QCOMPARE(w.pageRects.size(), 2);
        QCOMPARE(w.pageLines.size(), 2);
        QCOMPARE(w.pageRuns.size(), 2);
        QCOMPARE(w.canvas->returnRec(), QRectF());
        QCOMPARE(child<QTableWidget>(w, "tableWidget_rule")->rowCount(), 0);
        QCOMPARE(child<QListWidget>(w, "listwidget_view")->count(), 2);
        QVERIFY(!QFile::exists(PageFiles::imagePath(temp, 3)));
    }

    void awkwardPathsReachTheConverterIntact()
    {
        Window w(dialogs);
        copyingConverter(makeDocument(QStringLiteral("odd"), 1));
        const QString dir = sources.path() + QStringLiteral("/we \"ird\" #1 %20 ?");
        QVERIFY(QDir().mkpath(dir));
        const QString pdf = dir + QStringLiteral("/t\u00e4ble 'x'.pdf");
        writeFile(pdf, "%PDF-1.4\n");
        import(w, pdf);
        QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
        QCOMPARE(w.pageCount, 1);
        QCOMPARE(w.pdfPath, pdf);

        // Page files in a folder whose name looks like URL syntax are read
        // all the same.
        const QByteArray oldTmp = qgetenv("TMPDIR");
        const QString oddTemp = sources.path() + QStringLiteral("/t#m?p %41");
        QVERIFY(QDir().mkpath(oddTemp));
        qputenv("TMPDIR", QFile::encodeName(oddTemp));
        QCOMPARE(PageFiles::tempFolder(), oddTemp);
        import(w, pdf);
        qputenv("TMPDIR", oldTmp);
        QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
        QCOMPARE(w.pageCount, 1);
        QCOMPARE(w.pageRuns.size(), 1);
        QCOMPARE(w.pageRuns[0].count, 3);
        QCOMPARE(w.pageRuns[0].subtext[2].text, QStringLiteral("p1c"));
    }

    void textLayersGapAndMissingRecords()
    {
        Window w(dialogs);
        // Three images, text layer for page 1 only: every page still has a record.
        openDocument(w, QStringLiteral("gap"), 3, QSize(100, 100), 1);
        QCOMPARE(w.pageCount, 3);
        QCOMPARE(w.pageRuns.size(), 3);
        QCOMPARE(w.pageRuns[0].count, 3);
        QCOMPARE(w.pageRuns[2].count, 0);
        child<QSpinBox>(w, "spinBox_pagenumber")->setValue(3);
        QCOMPARE(child<QSpinBox>(w, "spinBox_pagenumber")->value(), 3);
    }

    void moreThanTheMaximumPagesIsTold()
    {
        // Page names have at least four digits; longer numbers keep all.
        QCOMPARE(PageFiles::imagePath(QStringLiteral("/t"), 7), QStringLiteral("/t/text_pg_0007.png"));
        QCOMPARE(PageFiles::textPath(QStringLiteral("/t"), 12345), QStringLiteral("/t/text_pg_12345.htm"));

        Window w(dialogs);
        const QString dir = sources.path() + QStringLiteral("/long");
        QDir().mkpath(dir);
        QImage tiny(4, 4, QImage::Format_RGB32);
        tiny.fill(Qt::white);
        QByteArray png;
        {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            tiny.save(&buffer, "PNG");
        }
        for (int n = 1; n <= PageFiles::maxPages + 2; ++n)
            writeFile(PageFiles::imagePath(dir, n), png);
        writeFile(PageFiles::textPath(dir, 1), span(1, 1, 2, 2, QStringLiteral("x")).toUtf8());
        copyingConverter(dir);
        import(w, makePdfPath(QStringLiteral("long.pdf")));
        QCOMPARE(w.pageCount, PageFiles::maxPages);
        QCOMPARE(w.pageRuns.size(), PageFiles::maxPages);
        QCOMPARE(child<QSpinBox>(w, "spinBox_pagenumber")->maximum(), PageFiles::maxPages);
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].kind, QStringLiteral("information"));
        QVERIFY(dialogs.boxes[0].text.contains(QStringLiteral("1999")));

        // The next import removes every page file, also those past the maximum.
        copyingConverter(makeDocument(QStringLiteral("short"), 1));
        dialogs.boxes.clear();
        import(w, makePdfPath(QStringLiteral("short.pdf")));
        QCOMPARE(w.pageCount, 1);
        QVERIFY(!QFile::exists(PageFiles::imagePath(temp, PageFiles::maxPages + 1)));
        QVERIFY(!QFile::exists(PageFiles::imagePath(temp, 2)));
    }

    void converterTraceIsLogged()
    {
        QTemporaryDir logDir;
        setLogFilePath(logDir.path() + QStringLiteral("/excellog.txt"));
        const QtMessageHandler before = qInstallMessageHandler(customMessageHandler);
        Window w(dialogs);
        copyingConverter(makeDocument(QStringLiteral("traced"), 1));
        const QString pdf = makePdfPath(QStringLiteral("traced.pdf"));
        import(w, pdf);
        qInstallMessageHandler(before);
        QFile log(logFilePath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        const QString expected = QStringLiteral("Debug: \"PNG FILE CMD\" \"\"%1/rendrix\" -htmlformat \"%2\"  \"%3/text.xml\"\" \n")
                                     .arg(QDir::currentPath(), pdf, temp);
        QVERIFY2(text.contains(expected), qPrintable(text));
        setLogFilePath(QString());
    }

    void dormantPageCountRoad()
    {
        QTemporaryDir logDir;
        setLogFilePath(logDir.path() + QStringLiteral("/excellog.txt"));
        const QtMessageHandler before = qInstallMessageHandler(customMessageHandler);
        const QString app = QDir::currentPath();
        const QString info = app + QStringLiteral("/fileinfo.txt");
        const QString argsFile = app + QStringLiteral("/dorcet-args.txt");
        QFile::remove(info);
        QFile::remove(argsFile);
        // The information tool writes the count; the page renderer records
        // its arguments and leaves a 150 x 250 first page.
        writeFile(app + QStringLiteral("/Pavlin.dll"),
                  "#!/bin/sh\n[ \"$2 $3\" = \"-getinfo -outfile\" ] || exit 9\n"
                  "printf 'Title: t\\nNumberOfPages: 12\\nEncrypted: no\\n' > \"$4\"\n");
        const QString page = makeDocument(QStringLiteral("dorcet"), 1, QSize(150, 250));
        writeFile(app + QStringLiteral("/Dorcet.dll"),
                  QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"%1\"\n"
                                 "cp \"%2\" \"$(dirname \"$3\")/text_pg_0001.png\"\n")
                      .arg(argsFile, PageFiles::imagePath(page, 1))
                      .toUtf8());
        for (const char *tool : {"/Pavlin.dll", "/Dorcet.dll"})
            QFile::setPermissions(app + QLatin1String(tool),
                                  QFile::permissions(app + QLatin1String(tool)) | QFileDevice::ExeOwner);

        Window w(dialogs);
        QLabel *label = child<QLabel>(w, "label_pagenumber");
        const QString pdf = makePdfPath(QStringLiteral("dormant \"x\".pdf"));
        w.pdfPath = pdf;

        // No information file: only the trace.
        w.getPDFpage();
        QVERIFY(label->text().isEmpty());

        w.generateInfo(pdf);
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("/12"), 10000);
        QVERIFY(!QFile::exists(info));
        QCOMPARE(w.currentPng, PageFiles::imagePath(temp, 1));
        // The page renderer ran for page 1 only and its page is shown.
        QTRY_COMPARE_WITH_TIMEOUT(w.canvas->size(), QSize(150, 250), 10000);
        QFile args(argsFile);
        QVERIFY(args.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(args.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 (QStringList{pdf, "-ht", temp + "/text.png", "-f", "1", "-l", "1"}));
        args.close();
        // No page count is claimed without pages behind it.
        QCOMPARE(w.pageCount, 0);

        // Digits are read from the fifteenth character on when the key is
        // missing; too many for an int give 0 but all are shown.
        writeFile(info, "PageCount:    7x\n");
        w.getPDFpage();
        QCOMPARE(label->text(), QStringLiteral("/7"));
        writeFile(info, "NumberOfPages: 99999999999\n");
        w.getPDFpage();
        QCOMPARE(label->text(), QStringLiteral("/99999999999"));
        // Only the decimal digits 0 to 9 count.
        writeFile(info, "NumberOfPages: \xd9\xa3\n");
        w.getPDFpage();
        QCOMPARE(label->text(), QStringLiteral("/"));
        QTest::qWait(200);

        // Called on its own, the page renderer's step leaves the page on show
        // as it is and asks for every page when no page is given.
        w.currentPng = QStringLiteral("kept.png");
        w.generatePNG(pdf, 0, temp + QStringLiteral("/split.png"));
        QCOMPARE(w.currentPng, QStringLiteral("kept.png"));
        const auto rendererArgs = [&argsFile] {
            QFile f(argsFile);
            return f.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                       : QStringList();
        };
        QTRY_COMPARE_WITH_TIMEOUT(rendererArgs(), (QStringList{pdf, "-ht", temp + "/split.png"}), 10000);
        QTest::qWait(200);

        qInstallMessageHandler(before);
        QFile log(logFilePath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        setLogFilePath(QString());
        const QStringList expected{
            QStringLiteral("Debug: \"Information file is:\" \"%1\" \"\n\" \n").arg(info),
            QStringLiteral("Debug: \"\"%1/Pavlin.dll\" \"%2\" -getinfo -outfile \"%3\"\" \"\n\" \n")
                .arg(app, pdf, info),
            QStringLiteral("Debug: \"Page number is:12.\n\" \n"),
            QStringLiteral("Debug: \"PNG FILE CMD\" \"\"%1/Dorcet.dll\" \"%2\" -ht \"%3/text.png\" -f 1 -l 1\" \n")
                .arg(app, pdf, temp),
            QStringLiteral("Debug: \"Page number is:7.\n\" \n"),
            QStringLiteral("Debug: \"Page number is:0.\n\" \n"),
        };
        for (const QString &line : expected)
            QVERIFY2(text.contains(line), qPrintable(line + QStringLiteral(" in\n") + text));

        // An information file that cannot be read: no page count at all.
        writeFile(info, "NumberOfPages: 3\n");
        QFile::setPermissions(info, QFileDevice::WriteOwner);
        if (!QFile(info).open(QIODevice::ReadOnly)) {
            w.getPDFpage();
            QCOMPARE(label->text(), QStringLiteral("/"));
            QCOMPARE(child<QSpinBox>(w, "spinBox_pagenumber")->maximum(), 0);
            QCOMPARE(w.pageCount, 0);
        }
        QFile::setPermissions(info, QFileDevice::WriteOwner | QFileDevice::ReadOwner);
        QFile::remove(info);
    }

    void aboutRunsModallyThroughTheSeam()
    {
        Window w(dialogs);
        QDialog *shown = nullptr;
        dialogs.onExec = [&](QDialog *d) {
            shown = d;
            return int(QDialog::Rejected);
        };
        const int before = dialogs.execCount;
        child<QPushButton>(w, "aboutpushButton")->click();
        QCOMPARE(dialogs.execCount, before + 1);
        QCOMPARE(shown, static_cast<QDialog *>(&w.about));
        // The held thread object is never started.
        QVERIFY(!w.thumbnailThread.isRunning());
        QVERIFY(!w.thumbnailThread.isFinished());
    }

    void saveWritesTheTextFileAndOffersToOpenIt()
    {
        Window w(dialogs);
        openDocument(w, QStringLiteral("save"), 2);
        QCOMPARE(w.pageCount, 2);
        w.pageRects[0] = QRectF(10, 20, 150, 60);
        w.pageLines[0] = {QRectF(80, 20, 0, 60)};
        child<QSpinBox>(w, "spinBox_pagenumber")->setValue(2);
        child<QSpinBox>(w, "spinBox_pagenumber")->setValue(1);

        UrlCatcher opener;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");

        // Cancelling the dialog changes nothing, not even the settings.
        const QVariant stored =
            QSettings(QStringLiteral("setting.ini"), QSettings::IniFormat).value("output/output");
        child<QPushButton>(w, "pushButton_save")->click();
        QCOMPARE(dialogs.fileCaptions.last(), QStringLiteral("Save File"));
        QCOMPARE(dialogs.fileDirs.last(), stored.isValid() ? stored.toString() : QStringLiteral("."));
        QVERIFY(dialogs.boxes.isEmpty());
        QCOMPARE(QSettings(QStringLiteral("setting.ini"), QSettings::IniFormat).value("output/output"),
                 stored);

        const QString out = sources.path() + QStringLiteral("/out put.csv");
        dialogs.fileAnswers.enqueue(out);
        dialogs.buttons.enqueue(QMessageBox::Ok);
        child<QPushButton>(w, "pushButton_save")->click();

        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("\xff\xfe"));
        const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                                                (bytes.size() - 2) / 2);
        QCOMPARE(text, QStringLiteral("\"p1a \"\t\"p1b \"\n\"p1c \"\t\"\"\n\n"));
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].title, QStringLiteral("Finished"));
        QCOMPARE(dialogs.boxes[0].text, QStringLiteral("Open the ") + out + QStringLiteral("?"));
        QCOMPARE(opener.urls, QList<QUrl>{QUrl::fromLocalFile(out)});
        QSettings settings(QStringLiteral("setting.ini"), QSettings::IniFormat);
        QCOMPARE(settings.value("output/output").toString(), out);

        // Any other suffix gives the workbook, cells without their quotes.
        // Cancel in the box opens nothing.
        dialogs.boxes.clear();
        const QString book = sources.path() + QStringLiteral("/book.CSV");
        dialogs.fileAnswers.enqueue(book);
        dialogs.buttons.enqueue(QMessageBox::Cancel);
        child<QPushButton>(w, "pushButton_save")->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].title, QStringLiteral("Finished"));
        QCOMPARE(opener.urls.size(), 1);
        {
            Biff::XlsWorkbook loaded;
            QVERIFY(loaded.Load(book.toUtf8().constData()));
            Biff::XlsWorksheet *sheet = loaded.GetWorksheet(0);
            QVERIFY(sheet);
            const Biff::XlsWorksheet *constSheet = sheet;
            QVERIFY(constSheet->Cell(0, 1));
            QCOMPARE(QString::fromWCharArray(constSheet->Cell(0, 1)->GetWString()), QStringLiteral("p1b "));
            QCOMPARE(QString::fromWCharArray(constSheet->Cell(1, 0)->GetWString()), QStringLiteral("p1c "));
        }

        // A file that cannot be written is reported with its name and the
        // reason, not called finished, and nothing is offered to open.
        for (const QString &name : {QStringLiteral("x.csv"), QStringLiteral("x.xls")}) {
            dialogs.boxes.clear();
            const QString bad = sources.path() + QStringLiteral("/no/such/folder/") + name;
            dialogs.fileAnswers.enqueue(bad);
            dialogs.buttons.enqueue(QMessageBox::Ok);
            child<QPushButton>(w, "pushButton_save")->click();
            QCOMPARE(dialogs.boxes.size(), 1);
            QCOMPARE(dialogs.boxes[0].kind, QStringLiteral("warning"));
            QVERIFY2(dialogs.boxes[0].text.contains(QDir::toNativeSeparators(bad))
                         && dialogs.boxes[0].text.size() > QDir::toNativeSeparators(bad).size() + 20,
                     qPrintable(dialogs.boxes[0].text));
            dialogs.buttons.clear();
        }
        QCOMPARE(dialogs.fileDirs.last(), sources.path() + QStringLiteral("/no/such/folder/x.csv"));
        QCOMPARE(opener.urls.size(), 1);

        // A name with characters that mean something in a URL still opens
        // that very file.
        const QString odd = sources.path() + QStringLiteral("/a#1 %20?.csv");
        w.openexcel(odd);
        QCOMPARE(opener.urls.size(), 2);
        QCOMPARE(opener.urls.last().toLocalFile(), odd);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    void realConverterOnAMadePdf()
    {
        const QString rendrix = QStringLiteral(GRIDMOLT_APP_DIR "/rendrix");
        if (!QFile::exists(rendrix))
            QSKIP("the converter is not built");
        const QString link = QDir::currentPath() + QStringLiteral("/rendrix");
        QFile::remove(link);
        QVERIFY(QFile::link(rendrix, link));

        const QString pdf = sources.path() + QStringLiteral("/made by us.pdf");
        {
            QPdfWriter writer(pdf);
            writer.setResolution(72);
            writer.setPageSize(QPageSize(QPageSize::A5));
            writer.setPageMargins(QMarginsF(0, 0, 0, 0));
            QPainter painter(&writer);
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(12);
            painter.setFont(font);
            painter.drawText(QPointF(50, 100), QStringLiteral("Alpha"));
            painter.drawText(QPointF(200, 100), QStringLiteral("Beta"));
            writer.newPage();
            painter.drawText(QPointF(60, 200), QStringLiteral("Gamma"));
        }
        Window w(dialogs);
        import(w, pdf);
        QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
        QCOMPARE(w.pageCount, 2);
        QCOMPARE(w.pageRuns.size(), 2);
        bool alpha = false;
        for (const Subtext &s : w.pageRuns[0].subtext) {
            if (s.text == QStringLiteral("Alpha")) {
                alpha = true;
                QVERIFY2(qAbs(s.x - 50) <= 2, qPrintable(QString::number(s.x)));
                QVERIFY(s.y < 100 && s.y + s.height > 95);
            }
        }
        QVERIFY(alpha);
        QCOMPARE(w.pageRuns[1].count, 1);
        QCOMPARE(w.pageRuns[1].subtext[0].text, QStringLiteral("Gamma"));
        QVERIFY(w.canvas->width() > 400 && w.canvas->width() < 430);   // A5: 420 points

        // A real multi-page sample: every page has its runs and can be visited.
        const QString schools = QStringLiteral(GRIDMOLT_SAMPLES_DIR "/schools.pdf");
        if (QFile::exists(schools)) {
            import(w, schools);
            QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
            QCOMPARE(w.pageCount, 5);
            for (int p = 0; p < 5; ++p)
                QVERIFY(w.pageRuns[p].count > 50);
            for (int p = 2; p <= 5; ++p)
                child<QPushButton>(w, "pushButton_down")->click();
            QCOMPARE(child<QSpinBox>(w, "spinBox_pagenumber")->value(), 5);
            QCOMPARE(w.currentPng, PageFiles::imagePath(temp, 5));
            QVERIFY(!child<QPushButton>(w, "pushButton_down")->isEnabled());
        }

        // An encrypted sample is refused with a message, the document stays.
        const QString encrypted = QStringLiteral(GRIDMOLT_SAMPLES_DIR "/encrypted.pdf");
        if (QFile::exists(encrypted)) {
            import(w, encrypted);
            QCOMPARE(dialogs.boxes.size(), 1);
            QVERIFY(dialogs.boxes[0].text.contains(QStringLiteral("encrypted.pdf")));
            QCOMPARE(w.pageCount, QFile::exists(schools) ? 5 : 2);
        }
    }
};

QTEST_MAIN(ExcelMainTest)
#include "excelmain_test.moc"
