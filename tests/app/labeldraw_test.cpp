// The page canvas driven by synthetic mouse events.
#include "canvasgeometry.h"
#include "labeldraw.h"
#include "mouseinput.h"

#include <QImage>
#include <QtTest>

namespace {

void drag(labeldraw &c, QPointF from, const QVector<QPointF> &steps) { drag(&c, from, steps); }

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
    return QLineF(a.topLeft(), b.topLeft()).length() < 1e-4 && QLineF(a.bottomRight(), b.bottomRight()).length() < 1e-4;
}

using Drags = QVector<QVector<QPointF>>;   // each: the press, then the steps

} // namespace

class LabeldrawTest : public QObject
{
    Q_OBJECT

private slots:
    void drawRectangleInAnyDirection()
    {
        const QPointF directions[][2] = {{{100, 50}, {300, 200}}, {{300, 200}, {100, 50}}, {{100, 200}, {300, 50}}};
        for (const auto &d : directions) {
            labeldraw c(nullptr);
            QSignalSpy spy(&c, &labeldraw::updateRecandLine);
            c.drawrect();
            drag(c, d[0], {(d[0] + d[1]) / 2, d[1]});
            QCOMPARE(spy.count(), 1);
            QVERIFY(c.hasRect && !c.drawing);
            QCOMPARE(c.returnRec(), QRectF(100, 50, 200, 150));
            QCOMPARE(c.handles.at(7), QRectF(295, 195, 10, 10));
            // Without a tool nothing is drawn, but the release still reports.
            labeldraw none(nullptr);
            QSignalSpy noneSpy(&none, &labeldraw::updateRecandLine);
            drag(none, d[0], {d[1]});
            QCOMPARE(none.returnRec(), QRectF());
            QCOMPARE(noneSpy.count(), 1);
        }
        // A click or a tiny drag stays visible but not editable.
        labeldraw tiny(nullptr);
        drawTable(tiny, 100, 100, 105, 104);
        QVERIFY(!tiny.hasRect);
        QCOMPARE(tiny.returnRec(), QRectF(100, 100, 5, 4));
        // A rectangle drawn over it starts a new table, without the old lines.
        tiny.lines.append(QRectF(102, 100, 0, 4));
        drawTable(tiny, 100, 100, 300, 200);
        QVERIFY(tiny.hasRect && tiny.returnLine().isEmpty());
    }

    void dragsEditTheTable()
    {
        struct Case { const char *name; QVector<qreal> lines; Drags drags; QRectF expected; QVector<qreal> xs; };
        QVector<Case> cases;
        // Table (100,100)-(300,200). Each handle: the pointer moves (+20, +10) in
        // two steps, each measured from the last accepted position.
        const struct { const char *name; QPointF grab; QRectF rect; qreal x; } handles[] = {
            {"top-left", {100, 100}, {120, 110, 180, 90}, 165},
            {"top-middle", {200, 100}, {100, 110, 200, 90}, 150},
            {"top-right", {300, 100}, {100, 110, 220, 90}, 155},
            {"middle-left", {100, 150}, {120, 100, 180, 100}, 150},
            {"middle-right", {300, 150}, {100, 100, 220, 100}, 150},
            {"bottom-left", {100, 200}, {120, 100, 180, 110}, 165},
            {"bottom-middle", {200, 200}, {100, 100, 200, 110}, 150},
            {"bottom-right", {300, 200}, {100, 100, 220, 110}, 155},
        };
        for (const auto &h : handles)
            cases << Case{h.name, {150}, {{h.grab, h.grab + QPointF(5, 4), h.grab + QPointF(20, 10)}}, h.rect, {h.x}};
        cases << Case{"move; a press outside moves nothing", {180},
                      {{{150, 150}, {160, 155}, {140, 175}}, {{10, 10}, {30, 30}}}, {90, 125, 200, 100}, {170}}
              << Case{"corners keep lines in proportion", {100, 150, 300},
                      {{{100, 200}, {60, 200}}, {{300, 100}, {360, 100}}}, {60, 100, 300, 100}, {60, 135, 360}}
              << Case{"side within 5 px of a line: refused", {150}, {{{100, 150}, {146, 150}}},
                      {100, 100, 200, 100}, {150}}
              << Case{"refused, then the whole way from the last accepted", {150},
                      {{{100, 150}, {146, 150}, {120, 150}}}, {120, 100, 180, 100}, {150}}
              << Case{"right edge over the left keeps the edge it holds", {}, {{{300, 150}, {50, 150}, {80, 150}}},
                      {80, 100, 20, 100}, {}}
              << Case{"bottom edge over the top turns table and line over", {150}, {{{200, 200}, {200, 40}}},
                      {100, 40, 200, 60}, {150}};
        for (const Case &k : cases) {
            const QRectF &expected = k.expected;
            labeldraw c(nullptr);
            drawTable(c, 100, 100, 300, 200);
            for (qreal x : k.lines)
                c.lines.append(QRectF(x, 100, 0, 100));
            for (const QVector<QPointF> &d : k.drags)
                drag(c, d.first(), d.mid(1));
            QVERIFY2(near(c.returnRec(), expected), k.name);
            QVERIFY2(c.returnLine().size() == k.xs.size(), k.name);
            for (int i = 0; i < k.xs.size(); ++i)
                QVERIFY2(near(c.returnLine()[i], QRectF(k.xs[i], expected.y(), 0, expected.height())), k.name);
            QVERIFY2(near(c.handles.at(7), QRectF(expected.right() - 5, expected.bottom() - 5, 10, 10)), k.name);
            // A corner dragged onto the opposite edge (width 0) never divides by it.
            drag(c, expected.topLeft(), {expected.topRight(), expected.topRight() + QPointF(10, 20),
                                         expected.topRight() + QPointF(-10, 30)});
            for (const QRectF &l : c.returnLine())
                QVERIFY(qIsFinite(l.x()) && qIsFinite(l.height()));
        }
    }

    void addSelectDragAndRemoveLines()
    {
        labeldraw c(nullptr);
        drawTable(c, 100, 100, 300, 200);
        QSignalSpy spy(&c, &labeldraw::updateRecandLine);
        c.delline();   // nothing selected: silent
        QCOMPARE(spy.count(), 0);
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
        // Dragged onto the other line or within 2 px of an edge: refused steps.
        drag(c, {251, 150}, {{150, 150}, {299, 10}, {241, 10}});
        QCOMPARE(lineXs(c), QVector<qreal>({150, 240}));
        QCOMPARE(c.selectedLine, 2);
        spy.clear();
        c.delline();
        QCOMPARE(lineXs(c), QVector<qreal>({150}));
        QCOMPARE(spy.count(), 1);
        c.selectedLine = 5;   // stale index
        c.delline();
        QCOMPARE(spy.count(), 1);
    }

    void removeTableClearsCanvasAndPicture()
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
        for (const QPoint p : {QPoint(60, 20), QPoint(60, 119), QPoint(100, 70)})   // edges 1 px in, the line
            QCOMPARE(img.pixelColor(p), red);
        QCOMPARE(img.pixelColor(60, 70), QColor(Qt::white));
        c.drawline();
        QSignalSpy spy(&c, &labeldraw::updateRecandLine);
        c.delrec();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(c.returnRec(), QRectF(0, 0, 0, 0));
        QVERIFY(c.returnLine().isEmpty() && !c.hasRect);
        QCOMPARE(c.mode, 1);
        img = c.grab().toImage();
        for (int y = 0; y < img.height(); y += 3)
            for (int x = 0; x < img.width(); x += 3)
                QVERIFY2(img.pixelColor(x, y) != red, "red pixel left after the table was removed");
        drag(c, {20, 20}, {{80, 90}});   // the rectangle tool draws a new one
        QCOMPARE(c.returnRec(), QRectF(20, 20, 60, 70));
    }

    // The pointer rests on the bottom-right handle while the next page's table,
    // whose top-left handle lies under it, is shown: a press there never drags
    // the corner the pointer was over on the page before.
    void pageChangeForgetsTheHoveredHandle()
    {
        labeldraw c(nullptr);
        drawTable(c, 10, 10, 110, 110);
        sendMouse(&c, QEvent::MouseMove, {110, 110});
        c.showPageTable(QRectF(110, 110, 100, 100), {}, false);
        sendMouse(&c, QEvent::MouseButtonPress, {110, 110});
        sendMouse(&c, QEvent::MouseMove, {120, 130}, Qt::LeftButton, Qt::LeftButton);
        sendMouse(&c, QEvent::MouseButtonRelease, {120, 130});
        QCOMPARE(c.returnRec().bottomRight(), QPointF(210, 210));
        // Nor does a drag begun on one page go on into the next.
        for (QPointF grab : {QPointF(160, 160), QPointF(210, 210)}) {
            sendMouse(&c, QEvent::MouseMove, grab);
            sendMouse(&c, QEvent::MouseButtonPress, grab);
            c.showPageTable(QRectF(20, 20, 60, 60), {}, false);
            sendMouse(&c, QEvent::MouseMove, {40, 50}, Qt::LeftButton, Qt::LeftButton);
            sendMouse(&c, QEvent::MouseButtonRelease, {40, 50});
            QCOMPARE(c.returnRec(), QRectF(20, 20, 60, 60));
            QCOMPARE(c.handles.at(7), QRectF(75, 75, 10, 10));   // the handles are the new table's
            c.showPageTable(QRectF(110, 110, 100, 100), {}, false);
        }
    }
};

QTEST_MAIN(LabeldrawTest)
#include "labeldraw_test.moc"
