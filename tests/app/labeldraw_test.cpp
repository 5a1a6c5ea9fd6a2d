// The page canvas driven by synthetic mouse events.
#include "canvasgeometry.h"
#include "labeldraw.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

namespace {

void mouse(labeldraw &c, QEvent::Type type, qreal x, qreal y, Qt::MouseButton button,
           Qt::MouseButtons buttons)
{
    const QPointF pos(x, y);
    QMouseEvent e(type, pos, c.mapToGlobal(pos.toPoint()), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&c, &e);
}
void press(labeldraw &c, qreal x, qreal y) { mouse(c, QEvent::MouseButtonPress, x, y, Qt::LeftButton, Qt::LeftButton); }
void move(labeldraw &c, qreal x, qreal y) { mouse(c, QEvent::MouseMove, x, y, Qt::NoButton, Qt::LeftButton); }
void hoverTo(labeldraw &c, qreal x, qreal y) { mouse(c, QEvent::MouseMove, x, y, Qt::NoButton, Qt::NoButton); }
void release(labeldraw &c, qreal x, qreal y, Qt::MouseButton b = Qt::LeftButton)
{
    mouse(c, QEvent::MouseButtonRelease, x, y, b, Qt::NoButton);
}

// Hover, press, move in steps, release: one drag as a person makes it.
void drag(labeldraw &c, QPointF from, const QVector<QPointF> &steps)
{
    hoverTo(c, from.x(), from.y());
    press(c, from.x(), from.y());
    for (const QPointF &p : steps)
        move(c, p.x(), p.y());
    release(c, steps.isEmpty() ? from.x() : steps.last().x(),
            steps.isEmpty() ? from.y() : steps.last().y());
}

void drawTable(labeldraw &c, qreal x1, qreal y1, qreal x2, qreal y2)
{
    c.drawrect();
    drag(c, {x1, y1}, {{x2, y2}});
}

// Adds a column line at x by dragging down from the top strip.
void addLine(labeldraw &c, qreal x)
{
    const int mode = c.mode;
    c.drawline();
    drag(c, {x, c.rect.top()}, {{x + 3, c.rect.top() + 20}});
    c.mode = mode;
}

QVector<qreal> lineXs(const labeldraw &c)
{
    QVector<qreal> xs;
    for (const QRectF &l : c.returnLine())
        xs << l.x();
    return xs;
}

bool near(const QRectF &a, const QRectF &b)
{
    const qreal e = 1e-4;
    return std::abs(a.x() - b.x()) < e && std::abs(a.y() - b.y()) < e
           && std::abs(a.width() - b.width()) < e && std::abs(a.height() - b.height()) < e;
}

} // namespace

class LabeldrawTest : public QObject
{
    Q_OBJECT

private slots:
    void drawRectangleInAnyDirection_data();
    void drawRectangleInAnyDirection();
    void moveDragsRectangleAndLines();
    void resizeByEachHandle_data();
    void resizeByEachHandle();
    void cornerResizeKeepsLinesInProportion();
    void sideResizeRefusedNearLineThenMadeUp();
    void resizePastOppositeEdgeStaysNormalised();
    void linesAddedOnlyByAStepAwayFromTheStrip();
    void selectDragAndRemoveLine();
    void removeTableResetsCanvas();
    void storedTableIsEditableAsIfJustDrawn_data();
    void storedTableIsEditableAsIfJustDrawn();
    void paintShowsTableAndNothingAfterRemoval();
};

void LabeldrawTest::drawRectangleInAnyDirection_data()
{
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");
    QTest::newRow("down-right") << QPointF(100, 50) << QPointF(300, 200);
    QTest::newRow("up-left") << QPointF(300, 200) << QPointF(100, 50);
    QTest::newRow("up-right") << QPointF(100, 200) << QPointF(300, 50);
}

void LabeldrawTest::drawRectangleInAnyDirection()
{
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);
    labeldraw c(nullptr);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    c.drawrect();
    drag(c, from, {(from + to) / 2, to});
    QCOMPARE(spy.count(), 1);
    QVERIFY(c.hasRect && !c.drawing);
    QCOMPARE(c.returnRec(), QRectF(100, 50, 200, 150));
    QCOMPARE(c.handles.at(7), QRectF(295, 195, 10, 10));
    // A click or a tiny drag stays visible but not editable.
    labeldraw tiny(nullptr);
    drawTable(tiny, 100, 100, 105, 104);
    QVERIFY(!tiny.hasRect);
    QCOMPARE(tiny.returnRec(), QRectF(100, 100, 5, 4));
    // Without a tool nothing is drawn, but the release still reports.
    labeldraw none(nullptr);
    QSignalSpy noneSpy(&none, &labeldraw::updateRecandLine);
    drag(none, from, {to});
    QCOMPARE(none.returnRec(), QRectF());
    QCOMPARE(noneSpy.count(), 1);
}

void LabeldrawTest::moveDragsRectangleAndLines()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 180);
    drag(c, {150, 150}, {{160, 155}, {140, 175}});
    QCOMPARE(c.returnRec(), QRectF(90, 125, 200, 100));
    QCOMPARE(c.returnLine().at(0), QRectF(170, 125, 0, 100));
    drag(c, {10, 10}, {{30, 30}});   // outside: nothing moves
    QCOMPARE(c.returnRec(), QRectF(90, 125, 200, 100));
}

void LabeldrawTest::resizeByEachHandle_data()
{
    QTest::addColumn<QPointF>("grab");
    QTest::addColumn<QRectF>("expected");
    QTest::addColumn<QRectF>("line");
    // Table (100,100)-(300,200), a line at x 150; the pointer moves (+20, +10).
    QTest::newRow("top-left") << QPointF(100, 100) << QRectF(120, 110, 180, 90) << QRectF(165, 110, 0, 90);
    QTest::newRow("top-middle") << QPointF(200, 100) << QRectF(100, 110, 200, 90) << QRectF(150, 110, 0, 90);
    QTest::newRow("top-right") << QPointF(300, 100) << QRectF(100, 110, 220, 90) << QRectF(155, 110, 0, 90);
    QTest::newRow("middle-left") << QPointF(100, 150) << QRectF(120, 100, 180, 100) << QRectF(150, 100, 0, 100);
    QTest::newRow("middle-right") << QPointF(300, 150) << QRectF(100, 100, 220, 100) << QRectF(150, 100, 0, 100);
    QTest::newRow("bottom-left") << QPointF(100, 200) << QRectF(120, 100, 180, 110) << QRectF(165, 100, 0, 110);
    QTest::newRow("bottom-middle") << QPointF(200, 200) << QRectF(100, 100, 200, 110) << QRectF(150, 100, 0, 110);
    QTest::newRow("bottom-right") << QPointF(300, 200) << QRectF(100, 100, 220, 110) << QRectF(155, 100, 0, 110);
}

void LabeldrawTest::resizeByEachHandle()
{
    QFETCH(QPointF, grab);
    QFETCH(QRectF, expected);
    QFETCH(QRectF, line);
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 150);
    // Two steps: each is measured from the last accepted position.
    drag(c, grab, {grab + QPointF(5, 4), grab + QPointF(20, 10)});
    QVERIFY(near(c.returnRec(), expected));
    QVERIFY(near(c.returnLine().value(0), line));
    QVERIFY(near(c.handles.at(7), QRectF(expected.right() - 5, expected.bottom() - 5, 10, 10)));
}

void LabeldrawTest::cornerResizeKeepsLinesInProportion()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    c.lines = {QRectF(100, 100, 0, 100), QRectF(150, 100, 0, 100), QRectF(300, 100, 0, 100)};
    drag(c, {100, 200}, {{60, 200}});
    QCOMPARE(lineXs(c), QVector<qreal>({60, 120, 300}));
    drag(c, {300, 100}, {{360, 100}});
    QCOMPARE(lineXs(c), QVector<qreal>({60, 135, 360}));
    // A corner dragged onto the opposite edge (width 0) never divides by it.
    drag(c, {60, 100}, {{360, 100}, {370, 120}, {350, 130}});
    for (const QRectF &l : c.returnLine())
        QVERIFY(std::isfinite(l.x()) && std::isfinite(l.height()));
}

void LabeldrawTest::sideResizeRefusedNearLineThenMadeUp()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 150);
    hoverTo(c, 100, 150);
    press(c, 100, 150);
    move(c, 146, 150);   // within 5 px of the line: refused
    QCOMPARE(c.returnRec().left(), 100.0);
    move(c, 120, 150);   // the whole way from the last accepted position
    QCOMPARE(c.returnRec().left(), 120.0);
    release(c, 120, 150);
    QCOMPARE(lineXs(c), QVector<qreal>({150}));
}

void LabeldrawTest::resizePastOppositeEdgeStaysNormalised()
{
    // The right edge over the left: the pointer keeps the edge it holds.
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    drag(c, {300, 150}, {{50, 150}, {80, 150}});
    QCOMPARE(c.returnRec(), QRectF(80, 100, 20, 100));
    // The bottom edge over the top one: the table and its line turn over.
    labeldraw d(nullptr);
    drawTable(d, 100, 100, 300, 200);
    addLine(d, 150);
    drag(d, {200, 200}, {{200, 40}});
    QCOMPARE(d.returnRec(), QRectF(100, 40, 200, 60));
    QCOMPARE(d.returnLine().at(0), QRectF(150, 40, 0, 60));
}

void LabeldrawTest::linesAddedOnlyByAStepAwayFromTheStrip()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    c.drawline();
    drag(c, {150, 98}, {{170, 130}, {175, 130}});     // down, then level: added at the press
    drag(c, {250, 204}, {{240, 150}});                // up from the bottom strip
    drag(c, {120, 100}, {{120, 140}, {125, 120}});    // last step went back: none
    drag(c, {130, 200}, {{130, 160}, {130, 170}});
    drag(c, {140, 100}, {});                          // a press alone: none
    QCOMPARE(c.returnLine(), QVector<QRectF>({QRectF(150, 100, 0, 100), QRectF(250, 100, 0, 100)}));
    // In the rectangle tool the strip inside the table moves it instead.
    c.drawrect();
    drag(c, {160, 103}, {{160, 113}});
    QCOMPARE(c.returnRec(), QRectF(100, 110, 200, 100));
    QCOMPARE(c.returnLine().size(), 2);
}

void LabeldrawTest::selectDragAndRemoveLine()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 150);
    addLine(c, 230);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    c.delline();   // nothing selected: silent
    QCOMPARE(spy.count(), 0);
    // Dragged onto the other line or within 2 px of an edge: refused steps.
    drag(c, {231, 150}, {{150, 150}, {299, 10}, {221, 10}});
    QCOMPARE(lineXs(c), QVector<qreal>({150, 220}));
    QCOMPARE(c.selectedLine, 2);
    c.delline();
    QCOMPARE(lineXs(c), QVector<qreal>({150}));
    QCOMPARE(spy.count(), 2);
    c.selectedLine = 5;   // stale index
    c.delline();
    QCOMPARE(spy.count(), 2);
}

void LabeldrawTest::removeTableResetsCanvas()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 150);
    c.drawline();
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    c.delrec();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(c.returnRec(), QRectF(0, 0, 0, 0));
    QVERIFY(c.returnLine().isEmpty() && !c.hasRect);
    QCOMPARE(c.mode, 1);
    drag(c, {20, 20}, {{80, 90}});
    QCOMPARE(c.returnRec(), QRectF(20, 20, 60, 70));
}

void LabeldrawTest::storedTableIsEditableAsIfJustDrawn_data()
{
    QTest::addColumn<bool>("lineTool");
    QTest::newRow("rectangle tool") << false;
    QTest::newRow("line tool") << true;
}

// A page change hands the page's stored table to the canvas: the first
// ordinary edit must change that table, never start an empty one.
void LabeldrawTest::storedTableIsEditableAsIfJustDrawn()
{
    QFETCH(bool, lineTool);
    labeldraw c(nullptr);
    drawTable(c, 10, 10, 50, 50);
    c.drawline();
    hoverTo(c, 20, 20);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    const QVector<QRectF> stored{QRectF(150, 40, 0, 100), QRectF(200, 40, 0, 100)};
    c.showPageTable(QRectF(100, 40, 200, 100), stored, lineTool);
    QCOMPARE(spy.count(), 0);
    QVERIFY(c.hasRect);
    QCOMPARE(c.mode, lineTool ? 2 : 1);

    drag(c, {200, 90}, {{220, 90}});                // a column line
    QCOMPARE(lineXs(c), QVector<qreal>({150, 220}));
    drag(c, {300, 90}, {{320, 90}});                // the right edge
    QCOMPARE(c.returnRec(), QRectF(100, 40, 220, 100));
    drag(c, {250, 142}, {{250, 100}});              // the bottom strip
    QCOMPARE(c.returnLine().size(), lineTool ? 3 : 2);
    QCOMPARE(spy.count(), 3);

    // Tiny: visible, not editable; empty: cleared, ready for a new table.
    c.showPageTable(QRectF(10, 10, 4, 4), {}, lineTool);
    QVERIFY(!c.hasRect);
    QCOMPARE(c.mode, 1);
    c.showPageTable(QRectF(30, 10, 0, 50), stored, lineTool);
    QCOMPARE(c.returnRec(), QRectF(0, 0, 0, 0));
    QVERIFY(c.returnLine().isEmpty() && !c.hasRect);
    QCOMPARE(c.mode, 1);
    QCOMPARE(spy.count(), 3);
    // A table at the page's left edge is still a table.
    c.showPageTable(QRectF(0, 10, 100, 50), {}, lineTool);
    QVERIFY(c.hasRect);
}

void LabeldrawTest::paintShowsTableAndNothingAfterRemoval()
{
    labeldraw c(nullptr);
    QPalette pal = c.palette();
    pal.setBrush(QPalette::Window, QBrush(Qt::white));
    c.setPalette(pal);
    c.resize(400, 300);
    drawTable(c, 20, 20, 220, 120);
    addLine(c, 100);
    const QColor red(255, 0, 0);
    QImage img = c.grab().toImage();
    QCOMPARE(img.pixelColor(60, 20), red);
    QCOMPARE(img.pixelColor(60, 119), red);   // bottom edge, 1 px in
    QCOMPARE(img.pixelColor(100, 70), red);
    QCOMPARE(img.pixelColor(60, 70), QColor(Qt::white));
    c.delrec();
    img = c.grab().toImage();
    for (int y = 0; y < img.height(); y += 3)
        for (int x = 0; x < img.width(); x += 3)
            QVERIFY2(img.pixelColor(x, y) != red, "red pixel left after the table was removed");
}

QTEST_MAIN(LabeldrawTest)
#include "labeldraw_test.moc"
