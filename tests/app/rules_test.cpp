#include "pagefiles.h"
#include "process.h"
#include "rules.h"
#include "scripteddialogs.h"
#include "testfiles.h"
#include "tm.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace
{
// A word as the poppler command-line reader places it, in points.
struct Word
{
    int page;
    QString text;
    QRectF box;
};

// Writes a PDF of US-letter pages, one point per device unit, with each word
// drawn at its left edge and baseline.
struct Placed
{
    int page;
    QString text;
    int x, baseline;
};

bool makePdf(const QString &path, const QVector<Placed> &words, int pages)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(14);
    painter.setFont(font);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1 && !writer.newPage())
            return false;
        for (const Placed &w : words) {
            if (w.page == page)
                painter.drawText(w.x, w.baseline, w.text);
        }
    }
    return painter.end();
}

QVector<Word> bboxWords(const QString &pdf)
{
    QProcess reader;
    reader.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    reader.waitForFinished(30000);
    const QString out = QString::fromUtf8(reader.readAllStandardOutput());
    static const QRegularExpression re(QStringLiteral(
        "<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QVector<Word> words;
    int page = 0;
    auto it = re.globalMatch(out);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0).startsWith(QLatin1String("<page"))) {
            ++page;
            continue;
        }
        const double x0 = m.captured(1).toDouble(), y0 = m.captured(2).toDouble();
        words.append({page, m.captured(5), QRectF(x0, y0, m.captured(3).toDouble() - x0,
                                                  m.captured(4).toDouble() - y0)});
    }
    return words;
}

// Whether a frame (or a key's numbers) stands over the word's box at `zoom`:
// the renderer keeps whole points, so a point and a half each way.
bool over(const QRect &frame, const QRectF &word, float zoom)
{
    const double tol = 1.5 * zoom + 1;
    return qAbs(frame.left() - word.left() * zoom) <= tol && qAbs(frame.top() - word.top() * zoom) <= tol
           && qAbs(frame.x() + frame.width() - word.right() * zoom) <= tol
           && qAbs(frame.y() + frame.height() - word.bottom() * zoom) <= tol;
}

// The colours drawn on the two outer pixel columns of a frame, apart from
// the transparent gaps of the dots.
QSet<QRgb> borderColours(QWidget *frame)
{
    QImage image(frame->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    frame->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x : {0, 1, image.width() - 2, image.width() - 1}) {
            if (qAlpha(image.pixel(x, y)) == 255)
                colours.insert(image.pixel(x, y));
        }
    }
    return colours;
}

void turnWheel(QWidget *w, const QPoint &global, int delta)
{
    QWheelEvent event(w->mapFromGlobal(global), global, QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &event);
}

void handOver(const QString &file, const QString &pages)
{
    QSettings settings(QStringLiteral("setting.ini"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("file/file"), file);
    settings.setValue(QStringLiteral("file/page"), pages);
}

void resetRecord()
{
    tmf->mode = tmf->nTexttoText = tmf->nTexttoImage = 0;
    tmf->nTextsome = tmf->nImagesome = tmf->inputKind = tmf->spare = 0;
}

QString ruleFile(const char *name)
{
    return PageFiles::tempFolder() + QLatin1Char('/') + QLatin1String(name);
}

// The editor as a test sees it: its widgets by object name.
struct Editor
{
    std::unique_ptr<Rules> owned;
    Rules &rules;
    ScriptedDialogs dialogs;
    Editor() : owned(new Rules), rules(*owned) { rules.setDialogService(&dialogs); }
    // The one editor that a replacement window made.
    explicit Editor(Rules &made) : rules(made) {}

    template <typename T> T *get(const char *name) { return rules.findChild<T *>(QLatin1String(name)); }
    QLabel *page() { return get<QLabel>("pageLabel"); }
    QPushButton *add() { return get<QPushButton>("addButton"); }
    QTableWidget *texts() { return get<QTableWidget>("tableWidget_rule"); }
    QTableWidget *images() { return get<QTableWidget>("tableWidget_rule_image"); }
    QList<QPushButton *> frames()
    {
        QList<QPushButton *> out;
        for (QPushButton *b : page()->findChildren<QPushButton *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (b != add())
                out << b;
        }
        return out;
    }
    QSize pixmapSize() { return page()->pixmap(Qt::ReturnByValue).size(); }
    QPushButton *frameOver(const QRectF &word, float zoom)
    {
        for (QPushButton *f : frames()) {
            if (over(f->geometry(), word, zoom))
                return f;
        }
        return nullptr;
    }
    // The first opening on a file empties both tables; a later one on the
    // same file keeps the rows the record hands over.
    void open() { rules.setIniImage(); }
    void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    // Picks the frame by the mouse alone and adds it.
    void pick(QPushButton *frame)
    {
        click(frame);
        QVERIFY(!add()->isHidden());
        click(add());
    }
};
} // namespace

// Helpers report through QCOMPARE, which only leaves the helper.
#define CHECKED(call)                      \
    do {                                   \
        call;                              \
        if (QTest::currentTestFailed())    \
            return;                        \
    } while (false)

class RulesTest : public QObject
{
    Q_OBJECT

    QString pdf;
    QVector<Word> words;

    QVector<Word> wordsOf(int page) const
    {
        QVector<Word> out;
        for (const Word &w : words) {
            if (w.page == page)
                out << w;
        }
        return out;
    }

    void checkFrames(Editor &e, int page, float zoom)
    {
        const QVector<Word> expected = wordsOf(page);
        QTRY_COMPARE(e.frames().size(), expected.size());
        for (const Word &w : expected)
            QVERIFY2(e.frameOver(w.box, zoom), qPrintable(QStringLiteral("no frame over %1 at zoom %2").arg(w.text).arg(zoom)));
        // Scaled keeping the aspect ratio, so one side may lose a pixel.
        const QSize shown = e.pixmapSize();
        QVERIFY2(qAbs(shown.width() - 612 * zoom) < 2 && qAbs(shown.height() - 792 * zoom) < 2,
                 qPrintable(QStringLiteral("%1x%2 at zoom %3").arg(shown.width()).arg(shown.height()).arg(zoom)));
        // A dotted border 2 pixels wide: green, red while pressed.
        QPushButton *f = e.frames().first();
        QCOMPARE(borderColours(f), QSet<QRgb>({qRgb(0, 255, 0)}));
        f->setDown(true);
        QCOMPARE(borderColours(f), QSet<QRgb>({qRgb(255, 0, 0)}));
        f->setDown(false);
    }

private slots:
    void initTestCase()
    {
        tmf = new TM;
        resetRecord();
        const QString renderer = QStringLiteral(GRIDMOLT_APP_DIR "/Dorcet.dll");
        QVERIFY2(QFile::exists(renderer), "the page renderer is not built");
        QVERIFY(QFile::copy(renderer, QDir::currentPath() + QStringLiteral("/Dorcet.dll")));
        pdf = QDir::currentPath() + QStringLiteral("/words.pdf");
        QVERIFY(makePdf(pdf, {{1, "Alpha", 72, 100}, {1, "Beta", 300, 200}, {1, "Gamma", 100, 500},
                              {2, "Delta", 400, 80}, {2, "Epsilon", 150, 650}}, 2));
        words = bboxWords(pdf);
        QCOMPARE(words.size(), 5);
    }

    void init() { resetRecord(); }

    void framesStandOverTheWordsAtEveryZoomAndPage()
    {
        Editor e;
        handOver(pdf, QStringLiteral("2"));
        e.open();
        CHECKED(checkFrames(e, 1, 1.0f));
        // The wheel zooms only with the cursor above the page view.
        QFrame *view = e.get<QFrame>("frame_back");
        turnWheel(&e.rules, view->mapToGlobal(QPoint(20, 20)), 120);
        CHECKED(checkFrames(e, 1, 1.0f));
        turnWheel(&e.rules, view->mapToGlobal(QPoint(20, -5)), 120);
        CHECKED(checkFrames(e, 1, 1.25f));
        turnWheel(&e.rules, view->mapToGlobal(QPoint(20, -5)), -120);
        CHECKED(checkFrames(e, 1, 1.0f));
        e.click(e.get<QPushButton>("pushButton_zoomout"));   // enlarges
        e.click(e.get<QPushButton>("pushButton_zoomout"));
        CHECKED(checkFrames(e, 1, 1.5625f));
        e.click(e.get<QPushButton>("pushButton_zoomin"));    // shrinks
        CHECKED(checkFrames(e, 1, 1.25f));
        e.click(e.get<QPushButton>("pushButton_up"));        // next page
        QCOMPARE(e.get<QSpinBox>("spinBox_pagenumber")->value(), 2);
        CHECKED(checkFrames(e, 2, 1.25f));
        QVERIFY(!e.get<QPushButton>("pushButton_up")->isEnabled());
        QVERIFY(e.dialogs.boxes.isEmpty());

        // A later page change must not take the reply of the page left at once.
        QSpinBox *spin = e.get<QSpinBox>("spinBox_pagenumber");
        spin->setValue(1);
        spin->setValue(2);
        spin->setValue(1);
        CHECKED(checkFrames(e, 1, 1.25f));
        QTest::qWait(100);
        QCOMPARE(e.frames().size(), wordsOf(1).size());

        // Zoom steps stop where the page image would leave 16..16384 pixels.
        for (int i = 0; i < 30; ++i)
            e.click(e.get<QPushButton>("pushButton_zoomout"));
        QVERIFY(e.pixmapSize().height() <= 16384 && e.pixmapSize().height() > 16384 / 1.25);
        for (int i = 0; i < 60; ++i)
            e.click(e.get<QPushButton>("pushButton_zoomin"));
        QVERIFY(e.pixmapSize().width() >= 16 && e.pixmapSize().width() < 16 / 0.8);
        QCOMPARE(e.frames().size(), wordsOf(1).size());
    }

    void pickingByMouseGivesThePositionKeyInPageUnits()
    {
        Editor e;
        handOver(pdf, QStringLiteral("2"));
        e.open();
        e.rules.show();
        QVERIFY(QTest::qWaitForWindowExposed(&e.rules));
        e.click(e.get<QPushButton>("pushButton_zoomout"));
        const float zoom = 1.25f;
        QTRY_COMPARE(e.frames().size(), 3);
        const Word beta = wordsOf(1).at(1);
        QCOMPARE(beta.text, QStringLiteral("Beta"));
        QPushButton *frame = e.frameOver(beta.box, zoom);
        QVERIFY(frame);
        e.click(frame);
        QVERIFY(e.add()->isVisible());
        QCOMPARE(e.add()->text(), QStringLiteral("Add it to the table"));
        QCOMPARE(e.add()->geometry(), QRect(frame->x() + frame->width(), frame->y(), 121, 23));
        e.click(e.add());
        QVERIFY(!e.add()->isVisible());
        QVERIFY(e.get<QPushButton>("pushButton_save")->isEnabled());

        QCOMPARE(e.texts()->rowCount(), 1);
        QCOMPARE(e.images()->rowCount(), 1);
        const QString key = e.texts()->item(0, 0)->text();
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^P1 \\((\\d+) (\\d+) (\\d+) (\\d+)\\)$")).match(key);
        QVERIFY2(m.hasMatch(), qPrintable(key));
        const QRect keyBox(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
        QVERIFY2(over(keyBox, beta.box, 1.0f), qPrintable(key));
        QCOMPARE(frame->geometry(), QRect(int(keyBox.x() * zoom), int(keyBox.y() * zoom),
                                          int(keyBox.width() * zoom), int(keyBox.height() * zoom)));
        QCOMPARE(e.texts()->item(0, 1)->text(), QStringLiteral("Beta"));
        QCOMPARE(e.images()->item(0, 0)->text(), key);
        QCOMPARE(qobject_cast<QPushButton *>(e.images()->cellWidget(0, 2))->text(), QStringLiteral("Open Picture File"));
        QCOMPARE(qobject_cast<QLineEdit *>(e.images()->cellWidget(0, 3))->placeholderText(), m.captured(3));
        QCOMPARE(qobject_cast<QLineEdit *>(e.images()->cellWidget(0, 4))->placeholderText(), m.captured(4));

        // The same run again only selects its rows; on page 2 it is another key.
        CHECKED(e.pick(frame));
        QCOMPARE(e.texts()->rowCount(), 1);
        e.click(e.get<QPushButton>("pushButton_up"));
        QTRY_COMPARE(e.frames().size(), 2);
        CHECKED(e.pick(e.frameOver(wordsOf(2).at(0).box, zoom)));
        QCOMPARE(e.texts()->rowCount(), 2);
        QVERIFY(e.texts()->item(1, 0)->text().startsWith(QLatin1String("P2 (")));
        QCOMPARE(e.texts()->item(1, 1)->text(), QStringLiteral("Delta"));
    }

    void savingWritesTheRuleFileAndTheRecord()
    {
        Editor e;
        handOver(pdf, QStringLiteral("2"));
        e.open();
        tmf->inputKind = 1;
        tmf->textsome[0] = {QStringLiteral("P1 (72 88 40 17)"), QStringLiteral("Alpha"), QStringLiteral("Grüße")};
        tmf->textsome[1] = {QStringLiteral("P12 (0 7 130 14)"), QStringLiteral("a:b"), QString()};
        tmf->nTextsome = 2;
        e.open();
        QCOMPARE(e.texts()->rowCount(), 2);
        e.rules.setsave();
        QCOMPARE(e.rules.result(), int(QDialog::Accepted));
        QCOMPARE(readAll(ruleFile("rules.txt")),
                 QString("1-72-88-40-17:Alpha:Grüße\r\n12-0-7-130-14:a:b:\r\n").toUtf8());
        QCOMPARE(tmf->mode, 1);
        QCOMPARE(tmf->nTexttoText, 2);
        QCOMPARE(tmf->texttoText[0].replace, QStringLiteral("Grüße"));
        QCOMPARE(tmf->texttoText[1].position, QStringLiteral("P12 (0 7 130 14)"));

        // Image rules: typed sizes above 0 go to the file as typed, anything
        // else falls back to the run's size; the record falls back on 0 only.
        e.rules.setResult(QDialog::Rejected);
        tmf->inputKind = 2;
        tmf->imagesome[0] = {QStringLiteral("P1 (5 6 118 12)"), QStringLiteral("x"), QStringLiteral("/p/a.png"), QStringLiteral("40"), QString()};
        tmf->imagesome[1] = {QStringLiteral("P1 (7 8 118 12)"), QStringLiteral("y"), QStringLiteral("/p/b.jpg"), QStringLiteral("-5"), QStringLiteral("ab")};
        tmf->imagesome[2] = {QStringLiteral("P2 (9 10 30 20)"), QStringLiteral("z"), QString(), QStringLiteral("080"), QStringLiteral("0")};
        tmf->nImagesome = 3;
        e.open();
        e.get<QRadioButton>("radioButton_image")->setChecked(true);
        QVERIFY(e.images()->isEnabled() && !e.texts()->isEnabled());
        e.rules.setsave();
        QCOMPARE(e.rules.result(), int(QDialog::Accepted));
        QCOMPARE(readAll(ruleFile("imagerule.txt")),
                 QByteArray("1:5:6:(/p/a.png):40:12\r\n1:7:8:(/p/b.jpg):118:12\r\n2:9:10:():080:20\r\n"));
        QCOMPARE(tmf->mode, 2);
        QCOMPARE(tmf->nTexttoImage, 3);
        const int sizes[3][2] = {{40, 12}, {-5, 12}, {80, 20}};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(tmf->texttoImage[i].width, sizes[i][0]);
            QCOMPARE(tmf->texttoImage[i].height, sizes[i][1]);
        }
        QCOMPARE(tmf->texttoImage[1].image, QStringLiteral("/p/b.jpg"));
        QCOMPARE(tmf->nTexttoText, 2);   // the other kind is left alone

        // A second exchange with fewer rows: only those count.
        e.rules.setResult(QDialog::Rejected);
        tmf->nImagesome = 1;
        e.open();
        e.rules.setsave();
        QCOMPARE(tmf->nTexttoImage, 1);
        QCOMPARE(readAll(ruleFile("imagerule.txt")), QByteArray("1:5:6:(/p/a.png):40:12\r\n"));
    }

    void aSaveThatCannotFinishKeepsEverythingAndStaysOpen()
    {
        Editor e;
        handOver(pdf, QStringLiteral("2"));
        e.open();
        tmf->mode = 7;
        tmf->nTexttoText = tmf->nTexttoImage = 9;
        const QByteArray before("earlier rules\r\n");
        QVERIFY(writeFile(ruleFile("imagerule.txt"), before));
        QVERIFY(writeFile(ruleFile("rules.txt"), before));

        // An image row without a picture, after one with a picture.
        tmf->inputKind = 2;
        tmf->imagesome[0] = {QStringLiteral("P1 (5 6 7 8)"), QString(), QStringLiteral("/p/a.png"), QString(), QString()};
        tmf->imagesome[1] = {QStringLiteral("P1 (9 6 7 8)"), QString(), QStringLiteral("Open Picture File"), QString(), QString()};
        tmf->nImagesome = 2;
        e.open();
        e.get<QRadioButton>("radioButton_image")->setChecked(true);
        e.rules.setsave();
        QCOMPARE(e.dialogs.boxes.size(), 1);
        QCOMPARE(e.dialogs.boxes.at(0).title, QStringLiteral("No image"));
        QCOMPARE(e.dialogs.boxes.at(0).text, QStringLiteral("Please specify some image"));
        QCOMPARE(readAll(ruleFile("imagerule.txt")), before);

        // More rows than the record holds: 250 runs of a 12,000-run page.
        e.get<QRadioButton>("radioButton_text")->setChecked(true);
        QString layer;
        for (int i = 0; i < 12000; ++i)
            layer += QStringLiteral("<span style=\"left:%1;top:%2;width:9;height:9;\">w%3</span>\n").arg(1 + i % 100 * 6).arg(1 + i / 100 * 6).arg(i);
        e.rules.getTextPosition(layer);
        e.rules.drawlabels();
        const QList<QPushButton *> frames = e.frames();
        QCOMPARE(frames.size(), 12000);
        for (int i = 11999; i >= 11750; --i)
            CHECKED(e.pick(frames.at(i)));
        QCOMPARE(e.texts()->rowCount(), 250);
        QCOMPARE(e.texts()->item(0, 0)->text(), QStringLiteral("P1 (595 715 9 9)"));
        QCOMPARE(e.texts()->item(0, 1)->text(), QStringLiteral("w11999"));
        e.rules.setsave();
        QCOMPARE(e.dialogs.boxes.size(), 2);
        QVERIFY(e.dialogs.boxes.at(1).text.contains(QLatin1String("200")));

        // A rule file that cannot be replaced.
        for (int r = e.texts()->rowCount() - 1; r >= 1; --r)
            e.texts()->removeRow(r);
        QVERIFY(QFile::remove(ruleFile("rules.txt")) && QDir().mkdir(ruleFile("rules.txt")));
        e.rules.setsave();
        QCOMPARE(e.dialogs.boxes.size(), 3);
        QVERIFY(e.dialogs.boxes.at(2).text.contains(ruleFile("rules.txt")));
        QVERIFY(QDir().rmdir(ruleFile("rules.txt")));

        QCOMPARE(e.rules.result(), int(QDialog::Rejected));
        QCOMPARE(tmf->mode, 7);
        QCOMPARE(tmf->nTexttoText, 9);
        QCOMPARE(tmf->nTexttoImage, 9);

        // Closing without Save leaves the record and the files alone.
        e.rules.reject();
        QCOMPARE(tmf->mode, 7);
        QCOMPARE(readAll(ruleFile("imagerule.txt")), before);
    }

    void openingNeverShowsAStalePage_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("pages");
        QTest::addColumn<bool>("rendererThere");
        QTest::addColumn<QString>("says");
        QTest::newRow("file gone") << "/nowhere/gone.pdf" << "3" << true << "/nowhere/gone.pdf";
        QTest::newRow("no page count") << "PDF" << "" << true << "words.pdf";
        QTest::newRow("renderer fails") << "PDF" << "2" << false << "could not be rendered";
    }

    void openingNeverShowsAStalePage()
    {
        QFETCH(QString, file);
        QFETCH(QString, pages);
        QFETCH(bool, rendererThere);
        QFETCH(QString, says);
        // The main window's first page lies in the temporary folder itself.
        const QString mainPage = PageFiles::imagePath(PageFiles::tempFolder(), 1);
        QVERIFY(writeFile(mainPage, "main window page"));

        Editor e;
        handOver(pdf, QStringLiteral("2"));
        e.open();
        QTRY_COMPARE(e.frames().size(), 3);
        QCOMPARE(readAll(mainPage), QByteArray("main window page"));

        const QString dorcet = QDir::currentPath() + QStringLiteral("/Dorcet.dll");
        if (!rendererThere)
            QVERIFY(QFile::rename(dorcet, dorcet + QStringLiteral(".away")));
        handOver(file == QLatin1String("PDF") ? pdf : file, pages);
        e.open();
        if (!rendererThere)
            QVERIFY(QFile::rename(dorcet + QStringLiteral(".away"), dorcet));
        QCOMPARE(e.dialogs.boxes.size(), 1);
        QVERIFY2(e.dialogs.boxes.at(0).text.contains(says), qPrintable(e.dialogs.boxes.at(0).text));
        QVERIFY(e.pixmapSize().isEmpty());
        QTest::qWait(50);
        QCOMPARE(e.frames().size(), 0);
        QVERIFY(!e.get<QPushButton>("pushButton_zoomout")->isEnabled() || e.pixmapSize().isEmpty());
    }

    // The whole road: the window hands its first PDF to the editor, a word
    // picked there with the mouse and given a new text comes back as the
    // window's rule, and the window's Replace changes that word in the PDF.
    void rulesPickedInTheEditorReplaceTheWordsThroughTheWindow()
    {
        for (const char *tool : {"Pavlin.dll", "Ostrel.dll"}) {
            const QString from = QStringLiteral(GRIDMOLT_APP_DIR "/") + QLatin1String(tool);
            QVERIFY2(QFile::copy(from, QDir::currentPath() + QLatin1Char('/') + QLatin1String(tool)), tool);
        }
        const QString out = QDir::currentPath() + QStringLiteral("/out");
        QVERIFY(QDir().mkpath(out));
        ScriptedDialogs dialogs;
        Process window;
        window.setDialogService(&dialogs);
        auto button = [&](const char *name) { return window.findChild<QPushButton *>(QLatin1String(name)); };
        auto status = [&] { return window.findChild<QTextEdit *>(QStringLiteral("textEdit_process"))->toPlainText(); };
        dialogs.filesAnswers.enqueue({pdf});
        button("openfileButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(button("pushButton_option")->isEnabled(), 60000);

        const Word beta = wordsOf(1).at(1);
        QString key;
        dialogs.onExec = [&](QDialog *dialog) {
            Editor e(*qobject_cast<Rules *>(dialog));
            if (!QTest::qWaitFor([&] { return e.frames().size() == 3; }, 10000))
                return int(QDialog::Rejected);
            QPushButton *frame = e.frameOver(beta.box, 1.0f);
            if (!frame)
                return int(QDialog::Rejected);
            e.click(frame);
            e.click(e.add());
            key = e.texts()->item(0, 0)->text();
            qobject_cast<QLineEdit *>(e.texts()->cellWidget(0, 2))->setText(QStringLiteral("Omega"));
            e.get<QPushButton>("pushButton_save")->click();
            return e.rules.result();
        };
        button("pushButton_option")->click();
        auto *rules = window.findChild<QTableWidget *>(QStringLiteral("tableWidget_textsome"));
        QCOMPARE(rules->rowCount(), 1);
        QVERIFY(key.startsWith(QLatin1String("P1 (")));
        QCOMPARE(rules->item(0, 0)->text(), key);
        QCOMPARE(rules->item(0, 1)->text(), QStringLiteral("Beta"));
        QCOMPARE(rules->item(0, 2)->text(), QStringLiteral("Omega"));

        // Opened again and closed without Save: the window keeps its rule.
        dialogs.onExec = [](QDialog *dialog) {
            dialog->reject();
            return dialog->result();
        };
        button("pushButton_option")->click();
        QCOMPARE(rules->rowCount(), 1);
        QCOMPARE(tmf->textsome[0].replace, QStringLiteral("Omega"));

        window.findChild<QTabWidget *>(QStringLiteral("tabWidget_replaceparent"))->setCurrentIndex(1);
        window.findChild<QLineEdit *>(QStringLiteral("outputfolderEdit"))->setText(out);
        button("pushButton_textsome_replace")->click();
        QTRY_VERIFY_WITH_TIMEOUT(status().contains(QLatin1String("Conversion Finished.")), 60000);
        const QVector<Word> replaced = bboxWords(out + QStringLiteral("/words.pdf"));
        QStringList texts;
        for (const Word &w : replaced)
            texts << w.text;
        QCOMPARE(texts, QStringList({"Alpha", "Omega", "Gamma", "Delta", "Epsilon"}));
        QVERIFY(qAbs(replaced.at(1).box.left() - beta.box.left()) < 2 && qAbs(replaced.at(1).box.top() - beta.box.top()) < 4);
    }

    void choosingAPictureAndRemovingRows()
    {
        Editor e;
        handOver(pdf, QStringLiteral("2"));
        e.open();
        QTRY_COMPARE(e.frames().size(), 3);
        CHECKED(e.pick(e.frames().at(0)));
        e.get<QRadioButton>("radioButton_image")->setChecked(true);
        auto *picture = qobject_cast<QPushButton *>(e.images()->cellWidget(0, 2));
        e.dialogs.fileAnswers.enqueue(QStringLiteral("/pics/x.jpg"));
        e.click(picture);
        QCOMPARE(picture->text(), QStringLiteral("/pics/x.jpg"));
        QVERIFY(e.dialogs.fileFilters.at(0).startsWith(QLatin1String("All Supported Files(*.bmp *.jpg *.png);;")));
        QCOMPARE(e.dialogs.fileDirs.at(0), QStringLiteral("."));
        e.click(picture);   // left without a choice: nothing changes
        QCOMPARE(picture->text(), QStringLiteral("/pics/x.jpg"));
        QCOMPARE(e.dialogs.fileDirs.at(1), QStringLiteral("/pics"));

        // Removing the rows of selected cells, whatever the columns.
        tmf->inputKind = 1;
        for (int i = 0; i < 5; ++i)
            tmf->textsome[i] = {QStringLiteral("P1 (%1 1 1 1)").arg(i), QString(), QString()};
        tmf->nTextsome = 5;
        e.open();
        QTableWidget *t = e.texts();
        QCOMPARE(t->rowCount(), 5);
        t->setRangeSelected(QTableWidgetSelectionRange(1, 0, 1, 1), true);
        t->setRangeSelected(QTableWidgetSelectionRange(3, 1, 3, 1), true);
        t->actions().at(0)->trigger();
        QStringList keys;
        for (int r = 0; r < t->rowCount(); ++r)
            keys << t->item(r, 0)->text();
        QCOMPARE(keys, QStringList({"P1 (0 1 1 1)", "P1 (2 1 1 1)", "P1 (4 1 1 1)"}));
    }
};

QTEST_MAIN(RulesTest)
#include "rules_test.moc"
