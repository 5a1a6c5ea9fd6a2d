// The page canvas driven by synthetic mouse events, and its geometry helper.
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

void press(labeldraw &c, qreal x, qreal y, Qt::MouseButton b = Qt::LeftButton)
{
    mouse(c, QEvent::MouseButtonPress, x, y, b, b);
}

void move(labeldraw &c, qreal x, qreal y, Qt::MouseButtons held = Qt::LeftButton)
{
    mouse(c, QEvent::MouseMove, x, y, Qt::NoButton, held);
}

void hoverTo(labeldraw &c, qreal x, qreal y)
{
    move(c, x, y, Qt::NoButton);
}

void release(labeldraw &c, qreal x, qreal y, Qt::MouseButton b = Qt::LeftButton)
{
    mouse(c, QEvent::MouseButtonRelease, x, y, b, Qt::NoButton);
}

// Draws an editable rectangle from (x1, y1) to (x2, y2) with the rectangle tool.
void drawTable(labeldraw &c, qreal x1, qreal y1, qreal x2, qreal y2)
{
    c.drawrect();
    press(c, x1, y1);
    move(c, x2, y2);
    release(c, x2, y2);
}

// Adds a column line at x by dragging down from the top strip.
void addLine(labeldraw &c, qreal x)
{
    const int mode = c.mode;
    c.drawline();
    const qreal top = c.rect.top();
    hoverTo(c, x, top);
    press(c, x, top);
    move(c, x + 3, top + 20);
    release(c, x + 3, top + 20);
    c.mode = mode;
}

Qt::CursorShape cursorOf(const labeldraw &c)
{
    return c.cursor().shape();
}

bool fuzzyRect(const QRectF &a, const QRectF &b)
{
    const qreal e = 1e-4;
    return std::abs(a.x() - b.x()) < e && std::abs(a.y() - b.y()) < e
           && std::abs(a.width() - b.width()) < e && std::abs(a.height() - b.height()) < e;
}

#define COMPARE_RECT(actual, expected)                                                   \
    do {                                                                                 \
        const QRectF a_ = (actual), e_ = (expected);                                     \
        if (!fuzzyRect(a_, e_))                                                          \
            QFAIL(qPrintable(QStringLiteral("rect (%1, %2, %3, %4), expected (%5, %6, %7, %8)") \
                                 .arg(a_.x()).arg(a_.y()).arg(a_.width()).arg(a_.height())    \
                                 .arg(e_.x()).arg(e_.y()).arg(e_.width()).arg(e_.height()))); \
    } while (0)

} // namespace

class LabeldrawTest : public QObject
{
    Q_OBJECT

private slots:
    void constructionState();
    void noToolDoesNothingButReleaseSignals();
    void toolSlotsSwitchModeSilently();

    void drawRectangleInAnyDirection_data();
    void drawRectangleInAnyDirection();
    void tinyRectangleStaysVisibleButNotEditable();
    void clickMakesStoredTableEditableKeepingLines();
    void firstDrawMoveDiscardsLines();

    void hoverClassifiesPointer();
    void moveDragsRectangleAndLines();

    void resizeByEachHandle_data();
    void resizeByEachHandle();
    void cornerResizeShiftsLinesProportionally();
    void sideResizeRefusedNearLineThenMadeUp();
    void resizePastOppositeEdgeStaysNormalised();
    void cornerResizeOfZeroWidthKeepsLinesFinite();

    void lineFromTopAndBottom();
    void lineNotAddedWhenLastStepWentBack();
    void lineNotStartedByPressWithoutMoveOrInRectTool();
    void selectDragAndRemoveLine();
    void lineDragRefusedNearEdgesAndOtherLines();
    void delLineWithoutSelectionIsSilent();

    void removeTableResetsCanvas();
    void showPageTableTreatsOnlyZeroSizeAsEmpty();
    void drawrectandlineShowsWithoutSignal();

    void zoomScalesGeometryAndRoundTrips();
    void editsAfterZoomReadBackInCanvasPixels();

    void paintShowsTableAndNothingAfterRemoval();

    void geometryHelperShapes();
};

void LabeldrawTest::constructionState()
{
    labeldraw c(nullptr);
    QCOMPARE(c.mode, 0);
    QCOMPARE(c.selectedLine, 0);
    QVERIFY(!c.drawing && !c.hasRect && !c.moving && !c.resizing && !c.removed);
    QVERIFY(!c.lineFromTop && !c.lineFromBottom && !c.overEdge && !c.lineValid);
    QVERIFY(!c.lineSelected && !c.overLine);
    QCOMPARE(c.returnRec(), QRectF());
    QVERIFY(c.returnLine().isEmpty());
    QVERIFY(c.handles.isEmpty());
    QVERIFY(c.hasMouseTracking());
    QVERIFY(c.autoFillBackground());
    QCOMPARE(c.focusPolicy(), Qt::StrongFocus);
    QCOMPARE(c.backgroundRole(), QPalette::Window);
    QCOMPARE(c.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(c.sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
}

void LabeldrawTest::noToolDoesNothingButReleaseSignals()
{
    labeldraw c(nullptr);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    press(c, 10, 10);
    move(c, 200, 200);
    release(c, 200, 200);
    QCOMPARE(c.returnRec(), QRectF());
    QVERIFY(!c.hasRect && !c.drawing);
    QCOMPARE(spy.count(), 1);

    // A release of any button reports, even with nothing changed.
    release(c, 5, 5, Qt::RightButton);
    release(c, 5, 5, Qt::MiddleButton);
    QCOMPARE(spy.count(), 3);

    // Only the left button starts a rectangle.
    c.drawrect();
    press(c, 10, 10, Qt::RightButton);
    QVERIFY(!c.drawing);
}

void LabeldrawTest::toolSlotsSwitchModeSilently()
{
    labeldraw c(nullptr);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    c.drawline();
    QCOMPARE(c.mode, 2);
    c.drawrect();
    QCOMPARE(c.mode, 1);
    c.zoomin();
    c.zoomout();
    c.drawrectandline(QRectF(1, 2, 30, 40), {});
    QCOMPARE(spy.count(), 0);
}

void LabeldrawTest::drawRectangleInAnyDirection_data()
{
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");
    QTest::newRow("down-right") << QPointF(100, 50) << QPointF(300, 200);
    QTest::newRow("up-left") << QPointF(300, 200) << QPointF(100, 50);
    QTest::newRow("up-right") << QPointF(100, 200) << QPointF(300, 50);
    QTest::newRow("down-left") << QPointF(300, 50) << QPointF(100, 200);
}

void LabeldrawTest::drawRectangleInAnyDirection()
{
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);
    labeldraw c(nullptr);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    c.drawrect();
    press(c, from.x(), from.y());
    QVERIFY(c.drawing);
    QCOMPARE(cursorOf(c), Qt::CrossCursor);
    move(c, (from.x() + to.x()) / 2, (from.y() + to.y()) / 2);
    move(c, to.x(), to.y());
    QCOMPARE(cursorOf(c), Qt::CrossCursor);
    QCOMPARE(spy.count(), 0);
    release(c, to.x(), to.y());

    QCOMPARE(spy.count(), 1);
    QVERIFY(!c.drawing);
    QVERIFY(c.hasRect);
    QCOMPARE(cursorOf(c), Qt::ArrowCursor); // cursor unset again
    COMPARE_RECT(c.returnRec(), QRectF(100, 50, 200, 150));
    QCOMPARE(c.handles.size(), 8);
    COMPARE_RECT(c.handles.at(0), QRectF(95, 45, 10, 10));
    COMPARE_RECT(c.handles.at(4), QRectF(295, 120, 10, 10));
    COMPARE_RECT(c.handles.at(7), QRectF(295, 195, 10, 10));
}

void LabeldrawTest::tinyRectangleStaysVisibleButNotEditable()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 105, 104);
    QVERIFY(!c.hasRect);
    COMPARE_RECT(c.returnRec(), QRectF(100, 100, 5, 4));

    // One side over 5 px is enough to make it editable.
    drawTable(c, 100, 100, 106, 101);
    QVERIFY(c.hasRect);
    COMPARE_RECT(c.returnRec(), QRectF(100, 100, 6, 1));

    // With the tiny one, the next press starts a fresh rectangle.
    labeldraw d(nullptr);
    drawTable(d, 10, 10, 12, 12);
    press(d, 50, 60);
    QVERIFY(d.drawing);
    move(d, 150, 160);
    release(d, 150, 160);
    COMPARE_RECT(d.returnRec(), QRectF(50, 60, 100, 100));
    QVERIFY(d.hasRect);
}

void LabeldrawTest::clickMakesStoredTableEditableKeepingLines()
{
    labeldraw c(nullptr);
    const QVector<QRectF> stored{QRectF(150, 40, 0, 100), QRectF(200, 40, 0, 100)};
    c.showPageTable(QRectF(100, 40, 200, 100), stored);
    QCOMPARE(c.mode, 1);
    QVERIFY(!c.hasRect);

    // A click without a move leaves rect as stored and makes it editable.
    press(c, 400, 400);
    release(c, 400, 400);
    QVERIFY(c.hasRect);
    COMPARE_RECT(c.returnRec(), QRectF(100, 40, 200, 100));
    QCOMPARE(c.returnLine(), stored);

    // Now it moves like a drawn table.
    hoverTo(c, 120, 60);
    QCOMPARE(c.hoverZone, int(CanvasGeometry::Inside));
    press(c, 120, 60);
    move(c, 130, 70);
    release(c, 130, 70);
    COMPARE_RECT(c.returnRec(), QRectF(110, 50, 200, 100));
    COMPARE_RECT(c.returnLine().at(1), QRectF(210, 50, 0, 100));
}

void LabeldrawTest::firstDrawMoveDiscardsLines()
{
    labeldraw c(nullptr);
    c.showPageTable(QRectF(100, 40, 200, 100), {QRectF(150, 40, 0, 100)});
    press(c, 10, 10);
    QCOMPARE(c.returnLine().size(), 1); // the press alone keeps them
    move(c, 20, 20);
    QVERIFY(c.returnLine().isEmpty());
    release(c, 20, 20);
    COMPARE_RECT(c.returnRec(), QRectF(10, 10, 10, 10));
}

void LabeldrawTest::hoverClassifiesPointer()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 220);

    struct Probe { QPointF p; int zone; Qt::CursorShape cursor; };
    const Probe handles[] = {
        {{100, 100}, 0, Qt::SizeFDiagCursor}, {{200, 100}, 1, Qt::SizeVerCursor},
        {{300, 100}, 2, Qt::SizeBDiagCursor}, {{100, 150}, 3, Qt::SizeHorCursor},
        {{300, 150}, 4, Qt::SizeHorCursor},   {{100, 200}, 5, Qt::SizeBDiagCursor},
        {{200, 200}, 6, Qt::SizeVerCursor},   {{300, 200}, 7, Qt::SizeFDiagCursor},
        {{150, 150}, 8, Qt::SizeAllCursor},   {{20, 20}, 9, Qt::ArrowCursor},
    };
    for (const Probe &probe : handles) {
        hoverTo(c, probe.p.x(), probe.p.y());
        QCOMPARE(c.hoverZone, probe.zone);
        QCOMPARE(cursorOf(c), probe.cursor);
    }

    // Edge strip: cross cursor, zone kept.
    hoverTo(c, 150, 103);
    QVERIFY(c.overEdge);
    QCOMPARE(cursorOf(c), Qt::CrossCursor);
    QCOMPARE(c.hoverZone, 9);
    hoverTo(c, 250, 197);
    QVERIFY(c.overEdge);

    // Line hit area: 2 px either side, zone kept.
    hoverTo(c, 150, 150);
    hoverTo(c, 222, 150);
    QVERIFY(!c.overEdge);
    QVERIFY(c.overLine);
    QCOMPARE(cursorOf(c), Qt::SplitHCursor);
    QCOMPARE(c.hoverZone, 8);
    hoverTo(c, 223, 150);
    QVERIFY(!c.overLine);
    QCOMPARE(c.hoverZone, 8);
}

void LabeldrawTest::moveDragsRectangleAndLines()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 180);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    hoverTo(c, 150, 150);
    press(c, 150, 150);
    QVERIFY(c.moving);
    move(c, 160, 155);
    move(c, 140, 175);
    QCOMPARE(spy.count(), 0);
    release(c, 140, 175);
    QCOMPARE(spy.count(), 1);
    QVERIFY(!c.moving);
    COMPARE_RECT(c.returnRec(), QRectF(90, 125, 200, 100));
    COMPARE_RECT(c.returnLine().at(0), QRectF(170, 125, 0, 100));
    COMPARE_RECT(c.handles.at(7), QRectF(285, 220, 10, 10));

    // A press outside the table moves nothing.
    hoverTo(c, 10, 10);
    press(c, 10, 10);
    QVERIFY(!c.moving);
    move(c, 30, 30);
    release(c, 30, 30);
    COMPARE_RECT(c.returnRec(), QRectF(90, 125, 200, 100));
}

void LabeldrawTest::resizeByEachHandle_data()
{
    QTest::addColumn<int>("zone");
    QTest::addColumn<QPointF>("grab");
    QTest::addColumn<QRectF>("expected");
    QTest::addColumn<QRectF>("line");
    // Table (100,100)-(300,200) with a line at x 150; pointer moves by (+20, +10).
    QTest::newRow("top-left") << 0 << QPointF(100, 100) << QRectF(120, 110, 180, 90)
                              << QRectF(165, 110, 0, 90);
    QTest::newRow("top-middle") << 1 << QPointF(200, 100) << QRectF(100, 110, 200, 90)
                                << QRectF(150, 110, 0, 90);
    QTest::newRow("top-right") << 2 << QPointF(300, 100) << QRectF(100, 110, 220, 90)
                               << QRectF(155, 110, 0, 90);
    QTest::newRow("middle-left") << 3 << QPointF(100, 150) << QRectF(120, 100, 180, 100)
                                 << QRectF(150, 100, 0, 100);
    QTest::newRow("middle-right") << 4 << QPointF(300, 150) << QRectF(100, 100, 220, 100)
                                  << QRectF(150, 100, 0, 100);
    QTest::newRow("bottom-left") << 5 << QPointF(100, 200) << QRectF(120, 100, 180, 110)
                                 << QRectF(165, 100, 0, 110);
    QTest::newRow("bottom-middle") << 6 << QPointF(200, 200) << QRectF(100, 100, 200, 110)
                                   << QRectF(150, 100, 0, 110);
    QTest::newRow("bottom-right") << 7 << QPointF(300, 200) << QRectF(100, 100, 220, 110)
                                  << QRectF(155, 100, 0, 110);
}

void LabeldrawTest::resizeByEachHandle()
{
    QFETCH(int, zone);
    QFETCH(QPointF, grab);
    QFETCH(QRectF, expected);
    QFETCH(QRectF, line);

    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 150);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    hoverTo(c, grab.x(), grab.y());
    QCOMPARE(c.hoverZone, zone);
    press(c, grab.x(), grab.y());
    QVERIFY(c.resizing);
    QVERIFY(!c.moving);
    // Two steps: each is measured from the last accepted position.
    move(c, grab.x() + 5, grab.y() + 4);
    move(c, grab.x() + 20, grab.y() + 10);
    release(c, grab.x() + 20, grab.y() + 10);
    QCOMPARE(spy.count(), 1);
    QVERIFY(!c.resizing);
    COMPARE_RECT(c.returnRec(), expected);
    QCOMPARE(c.returnLine().size(), 1);
    COMPARE_RECT(c.returnLine().at(0), line);
    // Handles follow the new rectangle.
    COMPARE_RECT(c.handles.at(7), QRectF(expected.right() - 5, expected.bottom() - 5, 10, 10));
}

void LabeldrawTest::cornerResizeShiftsLinesProportionally()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    c.lines = {QRectF(100, 100, 0, 100), QRectF(150, 100, 0, 100), QRectF(300, 100, 0, 100)};

    // Left corner by dx -40: the line on the left edge moves fully, the one
    // on the right edge stays, a quarter of the way moves three quarters.
    hoverTo(c, 100, 200);
    press(c, 100, 200);
    move(c, 60, 200);
    release(c, 60, 200);
    COMPARE_RECT(c.returnRec(), QRectF(60, 100, 240, 100));
    QCOMPARE(c.returnLine().at(0).x(), 60.0);
    QCOMPARE(c.returnLine().at(1).x(), 120.0);
    QCOMPARE(c.returnLine().at(2).x(), 300.0);

    // Right corner mirrors it: left-edge line stays.
    hoverTo(c, 300, 100);
    press(c, 300, 100);
    move(c, 360, 100);
    release(c, 360, 100);
    COMPARE_RECT(c.returnRec(), QRectF(60, 100, 300, 100));
    QCOMPARE(c.returnLine().at(0).x(), 60.0);
    QCOMPARE(c.returnLine().at(1).x(), 135.0);
    QCOMPARE(c.returnLine().at(2).x(), 360.0);
    for (const QRectF &l : c.returnLine())
        QCOMPARE(l.width(), 0.0);
}

void LabeldrawTest::sideResizeRefusedNearLineThenMadeUp()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 150);
    addLine(c, 250);

    hoverTo(c, 100, 150);
    press(c, 100, 150);
    move(c, 140, 150); // 140 > 150 - 5 is false: accepted
    QCOMPARE(c.returnRec().left(), 140.0);
    move(c, 146, 150); // within 5 px of the line: refused
    QCOMPARE(c.returnRec().left(), 140.0);
    QCOMPARE(c.lastPos, QPointF(140, 150));
    move(c, 120, 150); // accepted from the last accepted position
    QCOMPARE(c.returnRec().left(), 120.0);
    release(c, 120, 150);

    hoverTo(c, 300, 150);
    press(c, 300, 150);
    move(c, 254, 150); // 254 < 250 + 5: refused
    QCOMPARE(c.returnRec().right(), 300.0);
    move(c, 255, 150);
    QCOMPARE(c.returnRec().right(), 255.0);
    release(c, 255, 150);
    QCOMPARE(c.returnLine().size(), 2);
    QCOMPARE(c.returnLine().at(0).x(), 150.0);
    QCOMPARE(c.returnLine().at(1).x(), 250.0);
}

void LabeldrawTest::resizePastOppositeEdgeStaysNormalised()
{
    labeldraw c(nullptr);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    drawTable(c, 100, 100, 300, 200);

    // Right edge dragged over the left one: the table flips, the handle under
    // the pointer becomes the left one and keeps following it.
    hoverTo(c, 300, 150);
    press(c, 300, 150);
    move(c, 50, 150);
    QVERIFY(c.returnRec().width() >= 0);
    COMPARE_RECT(c.returnRec(), QRectF(50, 100, 50, 100));
    QCOMPARE(c.hoverZone, 3);
    move(c, 80, 150);
    COMPARE_RECT(c.returnRec(), QRectF(80, 100, 20, 100));
    release(c, 80, 150);

    // Top-left corner dragged past the bottom-right one: both axes flip.
    hoverTo(c, 80, 100);
    QCOMPARE(c.hoverZone, 0);
    press(c, 80, 100);
    move(c, 130, 260);
    COMPARE_RECT(c.returnRec(), QRectF(100, 200, 30, 60));
    QCOMPARE(c.hoverZone, 7);
    QCOMPARE(cursorOf(c), Qt::SizeFDiagCursor);
    move(c, 140, 250);
    COMPARE_RECT(c.returnRec(), QRectF(100, 200, 40, 50));
    release(c, 140, 250);
    COMPARE_RECT(c.handles.at(0), QRectF(95, 195, 10, 10));

    // Bottom edge above the top edge with a line: the line turns over too.
    labeldraw d(nullptr);
    drawTable(d, 100, 100, 300, 200);
    addLine(d, 150);
    hoverTo(d, 200, 200);
    press(d, 200, 200);
    move(d, 200, 40);
    release(d, 200, 40);
    COMPARE_RECT(d.returnRec(), QRectF(100, 40, 200, 60));
    COMPARE_RECT(d.returnLine().at(0), QRectF(150, 40, 0, 60));
    QVERIFY(spy.count() >= 2);
}

void LabeldrawTest::cornerResizeOfZeroWidthKeepsLinesFinite()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 180);
    // Top-left corner exactly onto the right edge: width 0.
    hoverTo(c, 100, 100);
    press(c, 100, 100);
    move(c, 300, 100);
    QCOMPARE(c.returnRec().width(), 0.0);
    QCOMPARE(c.returnLine().at(0).x(), 300.0);
    // Further corner steps on the zero-width table must not divide by it.
    move(c, 310, 120);
    move(c, 290, 130);
    release(c, 290, 130);
    const QRectF line = c.returnLine().at(0);
    QVERIFY(std::isfinite(line.x()) && std::isfinite(line.y()) && std::isfinite(line.height()));
    QCOMPARE(line.x(), 300.0);
    COMPARE_RECT(c.returnRec(), QRectF(290, 130, 10, 70));
    for (const QRectF &h : c.handles)
        QVERIFY(std::isfinite(h.x()) && std::isfinite(h.y()));
}

void LabeldrawTest::lineFromTopAndBottom()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    c.drawline();
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);

    hoverTo(c, 150, 98);
    QVERIFY(c.overEdge);
    press(c, 150, 98);
    QVERIFY(c.lineFromTop);
    QCOMPARE(c.lineX, 150.0f);
    move(c, 170, 130);
    QVERIFY(c.lineValid);
    QCOMPARE(cursorOf(c), Qt::CrossCursor);
    move(c, 175, 130); // level counts as going along the strip
    QVERIFY(c.lineValid);
    QCOMPARE(spy.count(), 0);
    release(c, 175, 130);
    QCOMPARE(spy.count(), 1);
    QVERIFY(!c.lineFromTop && !c.lineValid);
    // The line stands at the press's x and spans the table.
    QCOMPARE(c.returnLine().size(), 1);
    COMPARE_RECT(c.returnLine().at(0), QRectF(150, 100, 0, 100));

    hoverTo(c, 250, 204);
    QVERIFY(c.overEdge);
    press(c, 250, 204);
    QVERIFY(c.lineFromBottom);
    move(c, 240, 150);
    QVERIFY(c.lineValid);
    release(c, 240, 150);
    QCOMPARE(c.returnLine().size(), 2);
    COMPARE_RECT(c.returnLine().at(1), QRectF(250, 100, 0, 100));
    QCOMPARE(c.selectedLine, 0);
}

void LabeldrawTest::lineNotAddedWhenLastStepWentBack()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    c.drawline();
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);

    hoverTo(c, 150, 100);
    press(c, 150, 100);
    move(c, 150, 140);
    move(c, 160, 120); // last step went up: invalid preview
    QVERIFY(!c.lineValid);
    COMPARE_RECT(c.newLine, QRectF(150, 100, 10, 20));
    release(c, 160, 120);
    QVERIFY(c.returnLine().isEmpty());
    QCOMPARE(spy.count(), 1); // the release still reports

    hoverTo(c, 150, 200);
    press(c, 150, 200);
    QVERIFY(c.lineFromBottom);
    move(c, 150, 160);
    move(c, 150, 170); // last step went down, away from the table
    release(c, 150, 170);
    QVERIFY(c.returnLine().isEmpty());
}

void LabeldrawTest::lineNotStartedByPressWithoutMoveOrInRectTool()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    c.drawline();
    hoverTo(c, 150, 100);
    press(c, 150, 100);
    release(c, 150, 100);
    QVERIFY(c.returnLine().isEmpty());

    // Rectangle tool: a press on the top strip inside the table moves it.
    c.drawrect();
    hoverTo(c, 150, 103);
    QVERIFY(c.overEdge);
    press(c, 150, 103);
    QVERIFY(!c.lineFromTop);
    QVERIFY(c.moving);
    move(c, 150, 113);
    release(c, 150, 113);
    QVERIFY(c.returnLine().isEmpty());
    COMPARE_RECT(c.returnRec(), QRectF(100, 110, 200, 100));

    // ... and on the strip part outside the table does nothing.
    hoverTo(c, 150, 107);
    press(c, 150, 107);
    QVERIFY(!c.moving && !c.lineFromTop);
}

void LabeldrawTest::selectDragAndRemoveLine()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 150);
    addLine(c, 250);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);

    hoverTo(c, 251, 150);
    QVERIFY(c.overLine);
    press(c, 251, 150);
    QVERIFY(c.lineSelected);
    QCOMPARE(c.selectedLine, 2);
    QCOMPARE(cursorOf(c), Qt::SplitHCursor);
    QVERIFY(!c.moving && !c.resizing);
    move(c, 231, 180);
    move(c, 221, 10); // only x counts
    release(c, 221, 10);
    QCOMPARE(spy.count(), 1);
    QVERIFY(!c.lineSelected);
    QCOMPARE(c.selectedLine, 2); // stays selected for removal
    COMPARE_RECT(c.returnLine().at(1), QRectF(220, 100, 0, 100));
    COMPARE_RECT(c.returnRec(), QRectF(100, 100, 200, 100));

    c.delline();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(c.selectedLine, 0);
    QCOMPARE(c.returnLine().size(), 1);
    QCOMPARE(c.returnLine().at(0).x(), 150.0);

    // Removing the first of several moves the later ones down.
    addLine(c, 210);
    addLine(c, 260);
    hoverTo(c, 150, 150);
    press(c, 150, 150);
    release(c, 150, 150);
    QCOMPARE(c.selectedLine, 1);
    c.delline();
    QCOMPARE(c.returnLine().size(), 2);
    QCOMPARE(c.returnLine().at(0).x(), 210.0);
    QCOMPARE(c.returnLine().at(1).x(), 260.0);

    // A press away from every line clears the selection.
    hoverTo(c, 210, 150);
    press(c, 210, 150);
    release(c, 210, 150);
    QCOMPARE(c.selectedLine, 1);
    hoverTo(c, 230, 150);
    press(c, 230, 150);
    release(c, 230, 150);
    QCOMPARE(c.selectedLine, 0);
}

void LabeldrawTest::lineDragRefusedNearEdgesAndOtherLines()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 150);
    addLine(c, 230);
    hoverTo(c, 230, 150);
    press(c, 230, 150);
    QCOMPARE(c.selectedLine, 2);

    move(c, 150, 150); // onto the other line: refused
    QCOMPARE(c.lines.at(1).x(), 230.0);
    move(c, 151, 150); // 1 px away is allowed; the whole step applies
    QCOMPARE(c.lines.at(1).x(), 151.0);
    move(c, 299, 150); // beyond right - 2
    QCOMPARE(c.lines.at(1).x(), 151.0);
    move(c, 298, 150);
    QCOMPARE(c.lines.at(1).x(), 298.0);
    release(c, 298, 150);

    hoverTo(c, 150, 150);
    press(c, 150, 150);
    move(c, 101, 150); // left + 2 is the limit
    QCOMPARE(c.lines.at(0).x(), 150.0);
    move(c, 102, 150);
    QCOMPARE(c.lines.at(0).x(), 102.0);
    release(c, 102, 150);
}

void LabeldrawTest::delLineWithoutSelectionIsSilent()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 100, 300, 200);
    addLine(c, 150);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    c.delline();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(c.returnLine().size(), 1);
    // A stale index beyond the list is ignored too.
    c.selectedLine = 5;
    c.delline();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(c.returnLine().size(), 1);
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
    QVERIFY(c.removed);
    QCOMPARE(c.returnRec(), QRectF(0, 0, 0, 0));
    QVERIFY(c.returnLine().isEmpty());
    QVERIFY(c.handles.isEmpty());
    QCOMPARE(c.mode, 1);
    QVERIFY(!c.hasRect);

    // Moves over the old place find nothing to edit.
    hoverTo(c, 150, 150);
    QCOMPARE(c.returnRec(), QRectF(0, 0, 0, 0));

    // The next press starts a new table and ends the removed state.
    press(c, 20, 20);
    QVERIFY(!c.removed);
    move(c, 80, 90);
    release(c, 80, 90);
    COMPARE_RECT(c.returnRec(), QRectF(20, 20, 60, 70));
    QVERIFY(c.hasRect);
}

void LabeldrawTest::showPageTableTreatsOnlyZeroSizeAsEmpty()
{
    labeldraw c(nullptr);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);

    // A table that starts at the page's left edge is a table.
    const QVector<QRectF> stored{QRectF(40, 10, 0, 50)};
    c.showPageTable(QRectF(0, 10, 100, 50), stored);
    QCOMPARE(spy.count(), 0);
    QVERIFY(!c.removed);
    COMPARE_RECT(c.returnRec(), QRectF(0, 10, 100, 50));
    QCOMPARE(c.returnLine(), stored);
    QCOMPARE(c.handles.size(), 8);
    QVERIFY(!c.hasRect);
    QCOMPARE(c.mode, 1);
    QVERIFY(!labeldraw::isEmptyTable(QRectF(0, 0, 1, 1)));

    // Zero width or zero height is no table: the canvas is cleared.
    c.showPageTable(QRectF(30, 10, 0, 50), stored);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(c.returnRec(), QRectF(0, 0, 0, 0));
    QVERIFY(c.returnLine().isEmpty());

    c.showPageTable(QRectF(0, 10, 100, 50), stored);
    c.showPageTable(QRectF(30, 10, 20, 0), stored);
    QCOMPARE(spy.count(), 2);
    QVERIFY(c.returnLine().isEmpty());
    QVERIFY(labeldraw::isEmptyTable(QRectF()));
}

void LabeldrawTest::drawrectandlineShowsWithoutSignal()
{
    labeldraw c(nullptr);
    c.delrec();
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);
    const QVector<QRectF> stored{QRectF(60, 20, 0, 30), QRectF(70, 20, 0, 30)};
    c.drawrectandline(QRectF(50, 20, 40, 30), stored);
    QCOMPARE(spy.count(), 0);
    QVERIFY(!c.removed);
    COMPARE_RECT(c.returnRec(), QRectF(50, 20, 40, 30));
    QCOMPARE(c.returnLine(), stored);
    COMPARE_RECT(c.handles.at(0), QRectF(45, 15, 10, 10));
    // A later repaint request keeps the shown table.
    c.updateRubberBandRegion();
    QCOMPARE(c.returnLine().size(), 2);
}

void LabeldrawTest::zoomScalesGeometryAndRoundTrips()
{
    labeldraw c(nullptr);
    drawTable(c, 100, 40, 300, 120);
    addLine(c, 180);
    QSignalSpy spy(&c, &labeldraw::updateRecandLine);

    c.zoomin();
    COMPARE_RECT(c.returnRec(), QRectF(125, 50, 250, 100));
    COMPARE_RECT(c.returnLine().at(0), QRectF(225, 50, 0, 100));
    COMPARE_RECT(c.handles.at(7), QRectF(370, 145, 10, 10));
    COMPARE_RECT(c.topStrip, QRectF(130, 45, 240, 10));
    COMPARE_RECT(c.bottomStrip, QRectF(130, 145, 240, 10));

    c.zoomout();
    COMPARE_RECT(c.returnRec(), QRectF(100, 40, 200, 80));
    COMPARE_RECT(c.returnLine().at(0), QRectF(180, 40, 0, 80));

    for (int i = 0; i < 5; ++i)
        c.zoomout();
    for (int i = 0; i < 5; ++i)
        c.zoomin();
    COMPARE_RECT(c.returnRec(), QRectF(100, 40, 200, 80));
    QCOMPARE(spy.count(), 0);
}

void LabeldrawTest::editsAfterZoomReadBackInCanvasPixels()
{
    labeldraw c(nullptr);
    drawTable(c, 80, 40, 240, 120);
    c.zoomin(); // (100, 50)-(300, 150)
    c.zoomin(); // (125, 62.5)-(375, 187.5)
    COMPARE_RECT(c.returnRec(), QRectF(125, 62.5, 250, 125));

    // Handles and strips are at the zoomed places: the corner grabs there.
    hoverTo(c, 375, 187);
    QCOMPARE(c.hoverZone, 7);
    press(c, 375, 187);
    move(c, 385, 197);
    release(c, 385, 197);
    COMPARE_RECT(c.returnRec(), QRectF(125, 62.5, 260, 135));

    c.drawline();
    hoverTo(c, 200, 62);
    QVERIFY(c.overEdge);
    press(c, 200, 62);
    move(c, 200, 90);
    release(c, 200, 90);
    COMPARE_RECT(c.returnLine().at(0), QRectF(200, 62.5, 0, 135));

    c.zoomout();
    COMPARE_RECT(c.returnRec(), QRectF(100, 50, 208, 108));
    COMPARE_RECT(c.returnLine().at(0), QRectF(160, 50, 0, 108));
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
    QCOMPARE(img.pixelColor(60, 20), red);   // top edge
    QCOMPARE(img.pixelColor(20, 70), red);   // left edge
    QCOMPARE(img.pixelColor(60, 119), red);  // bottom edge, 1 px in
    QCOMPARE(img.pixelColor(60, 70), QColor(Qt::white));
    QCOMPARE(img.pixelColor(100, 70).red(), 255); // the column line
    QCOMPARE(img.pixelColor(100, 70).green(), 0);

    // A selected line is dotted, not red.
    hoverTo(c, 100, 70);
    press(c, 100, 70);
    release(c, 100, 70);
    QCOMPARE(c.selectedLine, 1);
    img = c.grab().toImage();
    bool anyRed = false;
    for (int y = 30; y < 110; ++y)
        anyRed = anyRed || img.pixelColor(100, y) == red || img.pixelColor(99, y) == red;
    QVERIFY(!anyRed);

    c.delrec();
    img = c.grab().toImage();
    for (int y = 0; y < img.height(); y += 3)
        for (int x = 0; x < img.width(); x += 3)
            if (img.pixelColor(x, y) == red)
                QFAIL("red pixel left after the table was removed");
}

void LabeldrawTest::geometryHelperShapes()
{
    const QRectF r(100, 100, 200, 100);
    COMPARE_RECT(CanvasGeometry::topStripFor(r), QRectF(105, 95, 190, 10));
    COMPARE_RECT(CanvasGeometry::bottomStripFor(r), QRectF(105, 195, 190, 10));
    COMPARE_RECT(CanvasGeometry::lineHitRect(QRectF(150, 100, 0, 100)), QRectF(148, 100, 4, 100));
    const QVector<QRectF> h = CanvasGeometry::handlesFor(r);
    QCOMPARE(h.size(), 8);
    // The top-middle handle overlaps the strip; the zone order decides.
    QCOMPARE(CanvasGeometry::handleAt(h, QPointF(200, 100)), 1);
    QCOMPARE(CanvasGeometry::handleAt(h, QPointF(105, 105)), 0);
    QCOMPARE(CanvasGeometry::handleAt(h, QPointF(106, 106)), -1);
    COMPARE_RECT(CanvasGeometry::normalisedBand(QRectF(QPointF(30, 40), QPointF(10, 5))),
                 QRectF(10, 5, 20, 35));
    // A zero-size rectangle contains nothing, so it hits nothing.
    QCOMPARE(CanvasGeometry::lineAt({QRectF(10, 10, 0, 0)}, QPointF(10, 10)), -1);

    // The mirror maps are involutions over the eight handles.
    for (int z = 0; z < 8; ++z) {
        QCOMPARE(CanvasGeometry::mirrorHorizontally(CanvasGeometry::mirrorHorizontally(z)), z);
        QCOMPARE(CanvasGeometry::mirrorVertically(CanvasGeometry::mirrorVertically(z)), z);
        QCOMPARE(CanvasGeometry::handleCursor(CanvasGeometry::mirrorHorizontally(
                     CanvasGeometry::mirrorVertically(z))),
                 CanvasGeometry::handleCursor(z));
    }

    // A zone outside 0-7 never resizes.
    QRectF rr = r;
    QVector<QRectF> lines;
    int zone = 8;
    QVERIFY(!CanvasGeometry::resizeStep(rr, lines, zone, QPointF(10, 10), QPointF(0, 0)));
    QCOMPARE(rr, r);
}

QTEST_MAIN(LabeldrawTest)
#include "labeldraw_test.moc"
