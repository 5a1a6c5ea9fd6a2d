#include "debugtraces.h"
#include "replacewindow.h"
#include "rules.h"
#include "rulesframe.h"

#include <QtWidgets>

#include <cmath>

namespace
{
// A word on a page, in points.
struct Word { int page; QString text; QRectF box; };

// US-letter pages unless `later` gives the size of those after the first,
// one point per device unit; each word is drawn with its left edge and
// baseline at the top left of its box.
bool makePdf(const QString &path, const QVector<Word> &words, const QPageSize &later = QPageSize(QPageSize::Letter))
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
    for (int i = 0; i < words.size(); ++i) {   // in page order
        if (i > 0 && words[i].page != words[i - 1].page) {
            writer.setPageSize(later);
            writer.newPage();
        }
        painter.drawText(words[i].box.topLeft(), words[i].text);
    }
    return painter.end();
}

// The words as the poppler command-line reader places them.
QVector<Word> bboxWords(const QString &pdf)
{
    static const QRegularExpression re(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    QVector<Word> words;
    const QStringList pages = QString::fromUtf8(output(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")}))
                                  .split(QStringLiteral("<page "));
    for (int page = 1; page < pages.size(); ++page)
        for (auto it = re.globalMatch(pages[page]); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            words.append({page, m.captured(5), QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                                      QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
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
    for (int y = 0; y < image.height(); ++y)
        for (int x : {0, 1, image.width() - 2, image.width() - 1})
            if (qAlpha(image.pixel(x, y)) == 255)
                colours.insert(image.pixel(x, y));
    return colours;
}

// What the replacement window leaves in the settings for the editor.
void handOver(const QString &file, const QString &pages)
{
    QSettings settings(QStringLiteral("setting.ini"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("file/file"), file);
    settings.setValue(QStringLiteral("file/page"), pages);
}

QString ruleFile(const char *name) { return PageFiles::tempFolder() + QLatin1Char('/') + QLatin1String(name); }

// The editor as a test sees it: its widgets by object name.
struct Editor
{
    std::unique_ptr<Rules> owned;
    Rules &rules;
    ScriptedDialogs dialogs;
    Editor() : owned(new Rules), rules(*owned) { rules.setDialogService(&dialogs); open(); }
    explicit Editor(Rules &made) : rules(made) {}   // the one a replacement window made

    template <typename T = QPushButton> T *get(const char *name) { return rules.findChild<T *>(QLatin1String(name)); }
    QPushButton *add() { return get("addButton"); }
    QTableWidget *texts() { return get<QTableWidget>("tableWidget_rule"); }
    QTableWidget *images() { return get<QTableWidget>("tableWidget_rule_image"); }
    QList<RulesFrame *> frames() { return get<QLabel>("pageLabel")->findChildren<RulesFrame *>(); }
    QSize pixmapSize() { return get<QLabel>("pageLabel")->pixmap(Qt::ReturnByValue).size(); }
    RulesFrame *frameOver(const QRectF &word, float zoom)
    {
        for (RulesFrame *f : frames())
            if (over(f->geometry(), word, zoom))
                return f;
        return nullptr;
    }
    // The first opening on a file empties both tables; a later one on the
    // same file keeps the rows the record hands over.
    void open() { rules.setIniImage(); }
    void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    // Picks the frame by the mouse alone and adds it.
    void pick(QWidget *frame) { click(frame); click(add()); }
};
} // namespace

class RulesTest : public QObject
{
    Q_OBJECT

    QString pdf;
    QMap<int, QVector<Word>> wordsOf;   // by page

    // What is wrong with the page on show; empty when it is `page` at
    // `zoom` with one frame over each of its words.
    QString framesWrong(Editor &e, int page, float zoom)
    {
        const QVector<Word> &expected = wordsOf[page];
        (void)QTest::qWaitFor([&] { return e.frames().size() == expected.size(); }, 5000);
        QStringList wrong;
        if (e.frames().size() != expected.size())
            wrong << QStringLiteral("%1 frames").arg(e.frames().size());
        for (const Word &w : expected)
            if (!e.frameOver(w.box, zoom))
                wrong << QStringLiteral("no frame over ") + w.text;
        // Scaled keeping the aspect ratio, so one side may lose a pixel.
        const QSize shown = e.pixmapSize();
        if (qAbs(shown.width() - 612 * zoom) >= 2 || qAbs(shown.height() - 792 * zoom) >= 2)
            wrong << QStringLiteral("page of %1x%2").arg(shown.width()).arg(shown.height());
        return wrong.join(QStringLiteral(", "));
    }

private slots:
    // The editor as it opens: a dialog of its own in the middle of the
    // screen, text rules chosen, both tables selecting whole rows, not
    // edited in place and offering their removal on a right click, the
    // picture table's narrow columns as given, nothing to save yet.
    void editorAsItOpens()
    {
        Editor e;
        // A dialog that can be made larger, smaller and closed.
        QVERIFY((e.rules.windowFlags() & (Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint))
                == (Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint));
        QVERIFY(centredOnScreen(e.rules));
        QVERIFY(e.get<QRadioButton>("radioButton_text")->isChecked() && e.texts()->isEnabled() && !e.images()->isEnabled());
        QVERIFY(!e.get("pushButton_save")->isEnabled());
        for (const QTableWidget *table : {e.texts(), e.images()})
            QVERIFY2(offersRowActions(table, {QStringLiteral("Delete Selected Rule(s)")}), qPrintable(table->objectName()));
        // The last column stretches to the table's edge.
        QVERIFY(e.images()->columnWidth(1) == 60 && e.images()->columnWidth(3) == 60 && e.images()->columnWidth(4) >= 60);
    }

    void initTestCase()
    {
        tmf = new TM;
        for (const char *tool : {"/Dorcet.dll", "/Pavlin.dll", "/Ostrel.dll"})
            QVERIFY(QFile::copy(QStringLiteral(GRIDMOLT_APP_DIR) + tool, QDir::currentPath() + tool));
        pdf = QDir::currentPath() + QStringLiteral("/words.pdf");
        QVERIFY(makePdf(pdf, {{1, "Alpha", {72, 100, 0, 0}}, {1, "Beta", {300, 200, 0, 0}}, {1, "Gamma", {100, 500, 0, 0}},
                              {2, "Delta", {400, 80, 0, 0}}, {2, "Epsilon", {150, 650, 0, 0}}}));
        for (const Word &w : bboxWords(pdf))
            wordsOf[w.page].append(w);
        QVERIFY(wordsOf[1].size() == 3 && wordsOf[2].size() == 2);
    }

    void init()
    {
        clearRecord();
        handOver(pdf, QStringLiteral("2"));
    }

    void framesStandOverTheWordsAndPickTheirRuns()
    {
        DebugTraces traces;
        Editor e;
        QCOMPARE(framesWrong(e, 1, 1.0f), QString());
        QCOMPARE(traces.count(QStringLiteral("PNG FILE CMD \"%1/Dorcet.dll\" \"%2\" -ht \"%3/editor/text.png\" -f 1 -l 1")
                                  .arg(QDir::currentPath(), pdf, PageFiles::tempFolder())),
                 1);
        // The wheel zooms only with the cursor above the page view.
        const auto turnWheel = [&](int y, int delta, bool sideways = false) {
            const QPoint global = e.get<QFrame>("frame_back")->mapToGlobal(QPoint(20, y));
            QWheelEvent event(e.rules.mapFromGlobal(global), global, QPoint(), sideways ? QPoint(delta, 0) : QPoint(0, delta),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(&e.rules, &event);
        };
        turnWheel(0, 120);   // the view's top row is inside it
        QCOMPARE(framesWrong(e, 1, 1.0f), QString());
        turnWheel(-1, 120);
        QCOMPARE(framesWrong(e, 1, 1.25f), QString());
        turnWheel(-1, -120);
        // A wheel turned sideways zooms as well, the same way round.
        turnWheel(-1, 120, true);
        QCOMPARE(framesWrong(e, 1, 1.25f), QString());
        turnWheel(-1, -120, true);
        for (const char *button : {"pushButton_zoomout", "pushButton_zoomout", "pushButton_zoomin"})   // out enlarges
            e.click(e.get(button));
        QCOMPARE(framesWrong(e, 1, 1.25f), QString());

        // A dotted border 2 pixels wide: green, red while pressed; a flat
        // button that takes the focus by click and by tab.
        RulesFrame *frame = e.frameOver(wordsOf[1].at(1).box, 1.25f);
        QVERIFY(frame->isFlat() && frame->focusPolicy() == Qt::StrongFocus);
        QCOMPARE(borderColours(frame), QSet<QRgb>({qRgb(0, 255, 0)}));
        frame->setDown(true);
        QCOMPARE(borderColours(frame), QSet<QRgb>({qRgb(255, 0, 0)}));

        // Picked: a text rule and an image rule keyed by the run's box in page units.
        e.click(frame);
        QVERIFY(!e.add()->isHidden() && e.add()->geometry() == QRect(frame->geometry().right() + 1, frame->y(), 121, 23));
        QCOMPARE(e.add()->text(), QStringLiteral("Add it to the table"));
        const QString tip = QToolTip::text();   // the run's place, shown where it was pressed
        e.click(e.add());
        QVERIFY(e.add()->isHidden() && e.get("pushButton_save")->isEnabled());
        QVERIFY(e.texts()->rowCount() == 1 && e.images()->rowCount() == 1);
        const QString key = e.texts()->item(0, 0)->text();
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^P1 \\((\\d+) (\\d+) (\\d+) (\\d+)\\)$")).match(key);
        QVERIFY2(m.hasMatch() && over(QRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt()),
                                      wordsOf[1].at(1).box, 1.0f), qPrintable(key));
        QVERIFY(e.texts()->item(0, 1)->text() == QLatin1String("Beta") && e.images()->item(0, 0)->text() == key);
        QCOMPARE(tip, QStringLiteral("Position\n X- %1 Y- %2").arg(m.captured(1), m.captured(2)));
        const auto hint = [&](int c) { return qobject_cast<QLineEdit *>(e.images()->cellWidget(0, c))->placeholderText(); };
        QCOMPARE(hint(3) + 'x' + hint(4), m.captured(3) + 'x' + m.captured(4));
        // The same run again only selects its rows.
        e.texts()->clearSelection();
        e.images()->clearSelection();
        e.pick(frame);
        QVERIFY(e.texts()->rowCount() == 1 && e.images()->rowCount() == 1);
        QVERIFY(e.texts()->selectionModel()->isRowSelected(0, {}) && e.images()->selectionModel()->isRowSelected(0, {}));

        // Its picture chosen; the next choice starts in the picture's folder.
        e.get<QRadioButton>("radioButton_image")->setChecked(true);
        QVERIFY(e.images()->isEnabled() && !e.texts()->isEnabled());
        auto *picture = qobject_cast<QPushButton *>(e.images()->cellWidget(0, 2));
        e.dialogs.fileAnswers.enqueue(QStringLiteral("/pics/x.jpg"));
        e.click(picture);
        e.click(picture);   // left without a choice: nothing changes
        QVERIFY(picture->text() == QLatin1String("/pics/x.jpg") && e.dialogs.fileDirs == QStringList({".", "/pics"}));
        QCOMPARE(traces.count(QStringLiteral("The choosen button is 0   2")), 1);

        // On page 2 it is another key.
        e.click(e.get("pushButton_up"));
        QCOMPARE(framesWrong(e, 2, 1.25f), QString());
        QVERIFY(!e.get("pushButton_up")->isEnabled() && e.get("pushButton_down")->isEnabled());
        e.pick(e.frameOver(wordsOf[2].at(0).box, 1.25f));
        QVERIFY(e.images()->rowCount() == 2 && e.images()->item(1, 0)->text().startsWith(QLatin1String("P2 ("))
                && e.images()->item(1, 1)->text() == QLatin1String("Delta"));
        // A press beside the frames takes the add button away; down goes back a page.
        e.click(e.frameOver(wordsOf[2].at(1).box, 1.25f));
        QVERIFY(!e.add()->isHidden());
        // So does a zoom step, which moves the frame it stood beside.
        e.click(e.get("pushButton_zoomin"));
        QVERIFY(e.add()->isHidden());
        e.click(e.get("pushButton_zoomout"));
        e.click(e.frameOver(wordsOf[2].at(1).box, 1.25f));
        QVERIFY(!e.add()->isHidden());
        QTest::mouseClick(&e.rules, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(e.add()->isHidden());
        e.click(e.get("pushButton_down"));
        QCOMPARE(framesWrong(e, 1, 1.25f), QString());
        e.click(e.get("pushButton_down"));   // there is no page 0
        QCOMPARE(e.get<QSpinBox>("spinBox_pagenumber")->value(), 1);

        // A later page change must not take the reply of the page left at once.
        for (int page : {1, 2, 1, 0})   // there is no page 0: it stays on page 1
            e.get<QSpinBox>("spinBox_pagenumber")->setValue(page);
        QCOMPARE(framesWrong(e, 1, 1.25f), QString());
        QVERIFY(e.get<QSpinBox>("spinBox_pagenumber")->value() == 1 && e.get("pushButton_up")->isEnabled()
                && !e.get("pushButton_down")->isEnabled());
        QVERIFY(!QTest::qWaitFor([&] { return e.frames().size() != wordsOf[1].size(); }, 100));

        // Zoom steps stop where the page image would leave 16..16384 pixels.
        for (int i = 0; i < 30; ++i)
            e.click(e.get("pushButton_zoomout"));
        QVERIFY(e.pixmapSize().height() <= 16384 && e.pixmapSize().height() > 16384 / 1.25);
        // So large a page scrolls in its view.
        e.rules.show();
        QVERIFY(QTest::qWaitForWindowExposed(&e.rules));
        const QScrollArea *view = e.rules.findChild<QScrollArea *>();
        QVERIFY(view);
        QTRY_VERIFY(view->verticalScrollBar()->maximum() > 16384 / 2 && view->horizontalScrollBar()->maximum() > 0);
        e.rules.hide();
        for (int i = 0; i < 60; ++i)
            e.click(e.get("pushButton_zoomin"));
        QVERIFY(e.pixmapSize().width() >= 16 && e.pixmapSize().width() < 16 / 0.8);
        // A page smaller than its view sits at the top left, where its frames are.
        QCOMPARE(e.get<QLabel>("pageLabel")->alignment(), Qt::AlignLeft | Qt::AlignTop);
        QVERIFY(e.dialogs.boxes.isEmpty());
    }

    // A save that cannot finish keeps the record and the rule files and
    // leaves the editor open; one that can writes both.
    void savingWritesTheRuleFileAndTheRecordOrNothing()
    {
        DebugTraces traces;
        Editor e;
        tmf->mode = tmf->nTexttoText = tmf->nTexttoImage = 7;
        const QByteArray before("earlier rules\r\n");
        QVERIFY(writeFile(ruleFile("imagerule.txt"), before) && writeFile(ruleFile("rules.txt"), before));

        // An image row without a picture, after one with a picture.
        tmf->inputKind = 2;
        tmf->imagesome[0] = {QStringLiteral("P1 (5 6 7 8)"), QString(), QStringLiteral("/p/a.png"), QString(), QString()};
        tmf->imagesome[1] = {QStringLiteral("P1 (9 6 7 8)"), QString(), QStringLiteral("Open Picture File"), QString(), QString()};
        tmf->nImagesome = 2;
        e.open();
        e.get<QRadioButton>("radioButton_image")->setChecked(true);
        e.rules.setsave();

        // More rows than the record holds.
        e.get<QRadioButton>("radioButton_text")->setChecked(true);
        e.texts()->setRowCount(201);
        e.rules.setsave();

        // A rule file that cannot be replaced.
        e.texts()->setRowCount(1);
        QVERIFY(QFile::remove(ruleFile("rules.txt")) && QDir().mkdir(ruleFile("rules.txt")));
        e.rules.setsave();
        QVERIFY(QDir().rmdir(ruleFile("rules.txt")));

        // The same two for picture rules: too many rows, then a file that
        // cannot be replaced (the row without a picture gone).
        e.get<QRadioButton>("radioButton_image")->setChecked(true);
        const int pictured = e.images()->rowCount();
        e.images()->setRowCount(201);
        e.rules.setsave();
        e.images()->setRowCount(1);
        QVERIFY(pictured == 2 && QFile::remove(ruleFile("imagerule.txt")) && QDir().mkdir(ruleFile("imagerule.txt")));
        e.rules.setsave();
        QVERIFY(QDir().rmdir(ruleFile("imagerule.txt")) && writeFile(ruleFile("imagerule.txt"), before));
        e.get<QRadioButton>("radioButton_text")->setChecked(true);
        QVERIFY(e.dialogs.boxes.size() == 5 && e.dialogs.boxes.at(0).text == QLatin1String("Please specify some image")
                && e.dialogs.boxes.at(1).text.contains(QLatin1String("At most 200 rules"))
                && e.dialogs.boxes.at(2).text.contains(ruleFile("rules.txt"))
                && e.dialogs.boxes.at(3).text.contains(QLatin1String("At most 200 rules"))
                && e.dialogs.boxes.at(4).text.contains(ruleFile("imagerule.txt")));

        QCOMPARE(e.rules.result(), int(QDialog::Rejected));
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(tmf->mode).arg(tmf->nTexttoText).arg(tmf->nTexttoImage), QStringLiteral("7 7 7"));
        QCOMPARE(readAll(ruleFile("imagerule.txt")), before);

        // Five rules handed over; the rows of two selected cells, whatever
        // the columns, are removed.
        tmf->inputKind = 1;
        const Textsome handed[5] = {{"P1 (72 88 40 17)", "Alpha", "Grüße"}, {"P1 (1 1 1 1)", "gone", "x"},
                                    {"P12 (0 7 130 14)", "a:b", ""}, {"P1 (2 2 2 2)", "gone", "y"},
                                    {"P2 (5 6 7 8)", "Omega", "O"}};
        std::copy(handed, handed + 5, tmf->textsome);
        tmf->nTextsome = 5;
        e.open();
        QVERIFY(clickSelectsItsRow(e.texts()));
        e.texts()->setRangeSelected(QTableWidgetSelectionRange(1, 0, 1, 1), true);
        e.texts()->setRangeSelected(QTableWidgetSelectionRange(3, 1, 3, 1), true);
        e.texts()->actions().at(0)->trigger();
        e.rules.setsave();
        QCOMPARE(e.rules.result(), int(QDialog::Accepted));
        QCOMPARE(readAll(ruleFile("rules.txt")), QString("1-72-88-40-17:Alpha:Grüße\r\n12-0-7-130-14:a:b:\r\n2-5-6-7-8:Omega:O\r\n").toUtf8());
        QCOMPARE(QStringList({QString::number(tmf->mode), QString::number(tmf->nTexttoText), tmf->texttoText[0].replace,
                              tmf->texttoText[1].position}), QStringList({"1", "3", "Grüße", "P12 (0 7 130 14)"}));

        // Image rules: typed sizes above 0 count, anything else (empty, zero,
        // negative, letters) is the run's own size, alike in file and record.
        e.rules.setResult(QDialog::Rejected);
        tmf->inputKind = 2;
        const Imagesome pictures[3] = {{"P1 (5 6 118 12)", "x", "/p/a.png", "40", ""},
                                       {"P1 (7 8 118 12)", "y", "/p/b.jpg", "-5", "ab"},
                                       {"P2 (9 10 30 20)", "z", "", "080", "0"}};
        std::copy(pictures, pictures + 3, tmf->imagesome);
        tmf->nImagesome = 3;
        e.open();
        e.get<QRadioButton>("radioButton_image")->setChecked(true);
        e.rules.setsave();
        QCOMPARE(readAll(ruleFile("imagerule.txt")), QByteArray("1:5:6:(/p/a.png):40:12\r\n1:7:8:(/p/b.jpg):118:12\r\n2:9:10:():80:20\r\n"));
        // Mode, counts (the other kind's left alone) and each picture with its size.
        QString record = QStringLiteral("%1 %2 %3 %4").arg(e.rules.result()).arg(tmf->mode).arg(tmf->nTexttoImage).arg(tmf->nTexttoText);
        for (int i = 0; i < 3; ++i)
            record += QStringLiteral(" %1|%2|%3:%4x%5").arg(tmf->texttoImage[i].position, tmf->texttoImage[i].find, tmf->texttoImage[i].image)
                          .arg(tmf->texttoImage[i].width).arg(tmf->texttoImage[i].height);
        QCOMPARE(record, QStringLiteral("%1 2 3 3 P1 (5 6 118 12)|x|/p/a.png:40x12 P1 (7 8 118 12)|y|/p/b.jpg:118x12 P2 (9 10 30 20)|z|:80x20")
                             .arg(int(QDialog::Accepted)));

        // Handed over again, two rows removed by the image table's own menu.
        e.open();
        QVERIFY(clickSelectsItsRow(e.images()));
        e.images()->setRangeSelected(QTableWidgetSelectionRange(1, 0, 2, 0), true);
        QVERIFY(e.images()->contextMenuPolicy() == Qt::ActionsContextMenu && e.texts()->contextMenuPolicy() == Qt::ActionsContextMenu);
        e.images()->actions().at(0)->trigger();
        e.rules.setsave();
        QCOMPARE(readAll(ruleFile("imagerule.txt")), QByteArray("1:5:6:(/p/a.png):40:12\r\n"));
        // As many rules as the record holds are saved.
        e.rules.setResult(QDialog::Rejected);
        e.get<QRadioButton>("radioButton_text")->setChecked(true);
        e.texts()->setRowCount(200);
        e.rules.setsave();
        QVERIFY(e.rules.result() == QDialog::Accepted && tmf->nTexttoText == 200
                && readAll(ruleFile("rules.txt")).count('\n') == 200);
        // Every save names the text rule file, whichever kind it writes.
        QCOMPARE(traces.count(QStringLiteral("rule text file is: \"%1\\n\"").arg(ruleFile("rules.txt"))), 9);
    }

    // The editor shows as many rules as the record hands over: none for a
    // count of 0 or below, at most as many as the record holds.
    void handedCountsBoundTheTables()
    {
        const int most = int(TM::capacity);
        for (int i = 0; i < most; ++i) {
            tmf->textsome[i] = {QStringLiteral("P1 (1 1 1 1)"), QStringLiteral("t%1").arg(i), QStringLiteral("x")};
            tmf->imagesome[i] = {QStringLiteral("P1 (1 1 1 1)"), QStringLiteral("i%1").arg(i), QString(), QString(), QString()};
        }
        // Each after a hand-over of 2, on the file already open (the first
        // opening on a file starts empty).
        const struct { int kind, count, rows; } cases[] = {
            {1, 0, 0}, {1, -3, 0}, {1, 1, 1}, {1, most + 5, most}, {2, 0, 0}, {2, -1, 0}, {2, 3, 3}, {2, most + 1, most},
        };
        Editor e;
        QStringList wrong;
        for (const auto &c : cases) {
            QTableWidget *table = c.kind == 1 ? e.texts() : e.images();
            for (const int count : {2, c.count}) {
                tmf->inputKind = c.kind;
                tmf->nTextsome = tmf->nImagesome = count;
                e.open();
            }
            if (table->rowCount() != c.rows)
                wrong << QStringLiteral("kind %1, %2 handed: %3 rows").arg(c.kind).arg(c.count).arg(table->rowCount());
        }
        // Another file: both tables start empty, whatever the record holds.
        tmf->inputKind = 1;
        tmf->nTextsome = 2;
        e.open();
        handOver(QDir::currentPath() + QStringLiteral("/other.pdf"), QStringLiteral("1"));
        e.open();
        if (e.texts()->rowCount() + e.images()->rowCount() != 0)
            wrong << QStringLiteral("another file: %1 and %2 rows").arg(e.texts()->rowCount()).arg(e.images()->rowCount());
        QCOMPARE(wrong.join(QStringLiteral("; ")), QString());
    }

    // Up and down step one page at a time and stop at the first and last.
    void pagesStepOneAtATime()
    {
        Editor e;
        handOver(QDir::currentPath() + QStringLiteral("/gone.pdf"), QStringLiteral("3"));
        e.open();
        QSpinBox *page = e.get<QSpinBox>("spinBox_pagenumber");
        QStringList seen;
        for (void (Rules::*step)() : {&Rules::setpageup, &Rules::setpageup, &Rules::setpageup, &Rules::setpagedown,
                                      &Rules::setpagedown, &Rules::setpagedown}) {
            (e.rules.*step)();
            seen << QString::number(page->value());
        }
        QCOMPARE(seen.join(' '), QStringLiteral("2 3 3 2 1 1"));
    }

    // A zoom that a larger page cannot take is fitted to it: its own size.
    void zoomIsFittedToTheNextPage()
    {
        const QString mixed = QDir::currentPath() + QStringLiteral("/mixed.pdf");
        QVERIFY(makePdf(mixed, {{1, "Small", {72, 100, 0, 0}}, {2, "Large", {72, 100, 0, 0}}},
                        QPageSize(QSizeF(2000, 4000), QPageSize::Point)));
        handOver(mixed, QStringLiteral("2"));
        Editor e;
        QTRY_COMPARE(e.pixmapSize(), QSize(612, 792));
        for (int i = 0; i < 8; ++i)   // 1.25^8: the larger page would pass 16384 pixels
            e.click(e.get("pushButton_zoomout"));
        QCOMPARE(e.pixmapSize().height(), int(792 * std::pow(1.25, 8)));
        e.get<QSpinBox>("spinBox_pagenumber")->setValue(2);
        QTRY_COMPARE(e.pixmapSize(), QSize(2000, 4000));
        QTRY_COMPARE(e.frames().size(), 1);
    }

    // The rule tables write in black on a desktop whose text is light.
    void rulesAreWrittenInBlack()
    {
        const QPalette was = QApplication::palette();
        QPalette light = was;
        light.setColor(QPalette::Text, Qt::white);
        QApplication::setPalette(light);
        QStringList colours;
        {
            Editor e;
            for (QTableWidget *table : {e.texts(), e.images()}) {
                table->ensurePolished();
                colours << table->palette().color(QPalette::Text).name();
            }
        }
        QApplication::setPalette(was);
        QCOMPARE(colours, QStringList({"#000000", "#000000"}));
    }

    void openingNeverShowsAStalePage()
    {
        // The main window's first page lies in the temporary folder itself.
        const QString mainPage = PageFiles::imagePath(PageFiles::tempFolder(), 1);
        const QString dorcet = QDir::currentPath() + QStringLiteral("/Dorcet.dll");
        QVERIFY(writeFile(mainPage, "main window page"));
        Editor e;
        const struct { QString file; const char *pages; bool rendererThere; const char *says; } cases[] = {
            {"/nowhere/gone.pdf", "3", true, "/nowhere/gone.pdf"}, {pdf, "", true, "words.pdf"},   // no page count
            {pdf, "2", false, "could not be rendered"}};
        for (const auto &c : cases) {
            handOver(pdf, QStringLiteral("2"));
            e.open();
            QCOMPARE(framesWrong(e, 1, 1.0f), QString());
            QVERIFY(e.get("pushButton_zoomin")->isEnabled() && e.get("pushButton_zoomout")->isEnabled());   // again after no page
            QCOMPARE(readAll(mainPage), QByteArray("main window page"));
            QVERIFY(c.rendererThere || QFile::rename(dorcet, dorcet + QStringLiteral(".away")));
            handOver(c.file, QLatin1String(c.pages));
            e.open();
            QVERIFY(c.rendererThere || QFile::rename(dorcet + QStringLiteral(".away"), dorcet));
            const QString said = e.dialogs.boxes.isEmpty() ? QString() : e.dialogs.boxes.last().text;
            QVERIFY2(said.contains(QLatin1String(c.says)) && e.pixmapSize().isEmpty(), qPrintable(said));
            // The emptied view takes no room the page had: nothing is left to scroll to.
            QVERIFY(e.get<QLabel>("pageLabel")->width() < 100 && e.get<QLabel>("pageLabel")->height() < 100);
            // Nor does a zoom bring the earlier page back; with no page it
            // is refused, so the next page shows as large as the last one.
            e.click(e.get("pushButton_zoomin"));
            QVERIFY(e.pixmapSize().isEmpty());
            QCOMPARE(e.get<QLabel>("label_pagenumber")->text(), (*c.pages ? QStringLiteral("/") : QString()) + QLatin1String(c.pages));
            // Without a page count no page can be chosen either.
            QCOMPARE(e.get<QSpinBox>("spinBox_pagenumber")->maximum(), QByteArray(c.pages).toInt());
            QVERIFY(!QTest::qWaitFor([&] { return !e.frames().isEmpty(); }, 50));
        }
        QCOMPARE(e.dialogs.boxes.size(), 3);
        handOver(pdf, QStringLiteral("2"));
        e.open();
        QCOMPARE(framesWrong(e, 1, 1.0f), QString());
    }

    // The whole road: the window hands its first PDF to the editor, a word
    // picked there with the mouse and given a new text comes back as the
    // window's rule, and the window's Replace changes that word in the PDF.
    void rulesPickedInTheEditorReplaceTheWordsThroughTheWindow()
    {
        QVERIFY(QDir::current().mkpath(QStringLiteral("out")));
        ScriptedDialogs dialogs;
        Window win(dialogs);
        win.open({pdf});

        const Word beta = wordsOf[1].at(1);
        dialogs.onExec = [&](QDialog *dialog) {
            Editor e(*qobject_cast<Rules *>(dialog));
            (void)QTest::qWaitFor([&] { return e.frames().size() == 3; }, 10000);
            if (QWidget *frame = e.frameOver(beta.box, 1.0f))
                e.pick(frame);
            if (e.texts()->rowCount() == 1) {
                qobject_cast<QLineEdit *>(e.texts()->cellWidget(0, 2))->setText(QStringLiteral("Omega"));
                e.get("pushButton_save")->click();
            }
            return e.rules.result();
        };
        win.button("pushButton_option")->click();
        auto *rules = win.get<QTableWidget>("tableWidget_textsome");
        QVERIFY(rules->rowCount() == 1 && rules->item(0, 1)->text() + rules->item(0, 2)->text() == QLatin1String("BetaOmega"));

        win.get<QTabWidget>("tabWidget_replaceparent")->setCurrentIndex(1);
        win.setOutput(QDir::current().filePath(QStringLiteral("out")));
        win.replace("pushButton_textsome_replace");
        const QVector<Word> replaced = bboxWords(QDir::current().filePath(QStringLiteral("out/words.pdf")));
        QStringList texts;
        for (const Word &w : replaced)
            texts << w.text;
        QCOMPARE(texts, QStringList({"Alpha", "Omega", "Gamma", "Delta", "Epsilon"}));
        QVERIFY(qAbs(replaced.at(1).box.left() - beta.box.left()) < 2 && qAbs(replaced.at(1).box.top() - beta.box.top()) < 4);
    }
};

QTEST_MAIN(RulesTest)
#include "rules_test.moc"
