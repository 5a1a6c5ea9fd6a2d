#include "eobject.h"
#include "eresizefocus.h"

#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QStyleOptionGraphicsItem>
#include <QPainter>
#include <QImage>
#include <QtTest>

// Drives a scene the way the graphics view does: press, moves, release at
// scene positions.
class SceneDriver
{
public:
    explicit SceneDriver(QGraphicsScene &scene) : scene(scene) {}

    void press(QPointF at) { send(QEvent::GraphicsSceneMousePress, at, Qt::LeftButton, Qt::LeftButton); }
    // A second button pressed while the left one is held.
    void pressRightToo(QPointF at)
    {
        send(QEvent::GraphicsSceneMousePress, at, Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    }
    // The pointer passing by with no button held.
    void hover(QPointF at) { send(QEvent::GraphicsSceneMouseMove, at, Qt::NoButton, Qt::NoButton); }
    void move(QPointF at) { send(QEvent::GraphicsSceneMouseMove, at, Qt::NoButton, Qt::LeftButton); }
    void release(QPointF at) { send(QEvent::GraphicsSceneMouseRelease, at, Qt::LeftButton, Qt::NoButton); }
    void drag(QPointF from, QPointF to)
    {
        press(from);
        move(to);
        release(to);
    }

private:
    void send(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QGraphicsSceneMouseEvent event(type);
        event.setScenePos(at);
        event.setScreenPos(at.toPoint());
        event.setButton(button);
        event.setButtons(buttons);
        if (type != QEvent::GraphicsSceneMouseMove)
            event.setButtonDownScenePos(Qt::LeftButton, at);
        else
            event.setButtonDownScenePos(Qt::LeftButton, lastPress);
        event.setLastScenePos(last);
        if (type == QEvent::GraphicsSceneMousePress && button == Qt::LeftButton)
            lastPress = at;
        last = at;
        QCoreApplication::sendEvent(&scene, &event);
    }
    QGraphicsScene &scene;
    QPointF lastPress, last;
};

// Centre of a handle in scene coordinates.
static QPointF handleCentre(const EObject &box, EResizeFocus::PosInHost pos)
{
    for (EResizeFocus *h : box.handles()) {
        if (h->getInHost() == pos)
            return h->mapToScene(h->rect().center());
    }
    return {};
}

static void paintOnce(QGraphicsScene &scene)
{
    QImage image(400, 400, QImage::Format_ARGB32);
    QPainter painter(&image);
    scene.render(&painter, QRectF(0, 0, 400, 400), QRectF(0, 0, 400, 400));
}

// A 400 x 400 scene holding one box at the given place, selected or not,
// painted once so its handles are shown as on screen.
struct BoxScene
{
    explicit BoxScene(QPointF at = QPointF(50, 50), bool selected = true)
    {
        scene.addItem(box);
        box->setPos(at);
        box->setSelected(selected);
        paintOnce(scene);
    }
    QGraphicsScene scene{0, 0, 400, 400};
    EObject *box = new EObject;
};

class GraphicsItemTest : public QObject
{
    Q_OBJECT

private slots:
    void typesAndHandles()
    {
        EObject box;
        QCOMPARE(box.type(), int(QGraphicsItem::UserType) + 100);
        QCOMPARE(box.handles().size(), 8);
        QCOMPARE(box.handles().first()->type(), int(QGraphicsItem::UserType) + 1);
        QCOMPARE(box.boundingRect(), QRectF(0, 0, 100, 100));
        // Creation order, and each handle at its place on the host.
        const QList<EResizeFocus::PosInHost> order = {
            EResizeFocus::TopMiddle, EResizeFocus::TopRight, EResizeFocus::TopLeft,
            EResizeFocus::BottomMiddle, EResizeFocus::BottomRight, EResizeFocus::BottomLeft,
            EResizeFocus::MiddleRight, EResizeFocus::MiddleLeft};
        for (int i = 0; i < 8; ++i)
            QCOMPARE(box.handles().at(i)->getInHost(), order.at(i));
        QCOMPARE(box.handles().at(1)->pos(), QPointF(94, 0));       // top right
        QCOMPARE(box.handles().at(4)->pos(), QPointF(94, 94));      // bottom right
        QCOMPARE(box.handles().at(7)->pos(), QPointF(0, 47));       // middle left
    }

    void handlesShowExactlyWhileSelected()
    {
        BoxScene b(QPointF(50, 50), false);
        QGraphicsScene &scene = b.scene;
        EObject *box = b.box;
        for (EResizeFocus *h : box->handles())
            QVERIFY(!h->isVisible());
        box->setSelected(true);
        paintOnce(scene);
        for (EResizeFocus *h : box->handles())
            QVERIFY(h->isVisible());
    }

    void resizeByEachHandle_data()
    {
        QTest::addColumn<int>("handle");
        QTest::addColumn<QRectF>("expected"); // box geometry in scene: pos and size
        // Box at (50, 50), 100 x 100, margin 6: body (56, 56, 88, 88). Drag by (+10, +20).
        QTest::newRow("top middle") << int(EResizeFocus::TopMiddle) << QRectF(50, 70, 100, 80);
        QTest::newRow("top right") << int(EResizeFocus::TopRight) << QRectF(50, 70, 110, 80);
        QTest::newRow("middle right") << int(EResizeFocus::MiddleRight) << QRectF(50, 50, 110, 100);
        QTest::newRow("bottom right") << int(EResizeFocus::BottomRight) << QRectF(50, 50, 110, 120);
        QTest::newRow("bottom middle") << int(EResizeFocus::BottomMiddle) << QRectF(50, 50, 100, 120);
        QTest::newRow("bottom left") << int(EResizeFocus::BottomLeft) << QRectF(60, 50, 90, 120);
        QTest::newRow("middle left") << int(EResizeFocus::MiddleLeft) << QRectF(60, 50, 90, 100);
        QTest::newRow("top left") << int(EResizeFocus::TopLeft) << QRectF(60, 70, 90, 80);
    }
    void resizeByEachHandle()
    {
        QFETCH(int, handle);
        QFETCH(QRectF, expected);
        BoxScene b;
        QGraphicsScene &scene = b.scene;
        EObject *box = b.box;
        SceneDriver mouse(scene);
        const QPointF from = handleCentre(*box, EResizeFocus::PosInHost(handle));
        mouse.press(from);
        QVERIFY(box->resizeOutline());
        mouse.move(from + QPointF(10, 20));
        mouse.release(from + QPointF(10, 20));
        QVERIFY(!box->resizeOutline());
        QCOMPARE(QRectF(box->pos(), box->boundingRect().size()), expected);
    }

    void resizeKeepsTheMinimumBody()
    {
        BoxScene b;
        QGraphicsScene &scene = b.scene;
        EObject *box = b.box;
        SceneDriver mouse(scene);
        const QPointF from = handleCentre(*box, EResizeFocus::BottomRight);
        mouse.press(from);
        mouse.move(from + QPointF(-60, -60));   // body 28 x 28: taken
        QCOMPARE(box->resizeOutline()->rect().size(), QSizeF(28, 28));
        mouse.move(from + QPointF(-69, -50));   // body 19 wide: refused, outline stays
        QCOMPARE(box->resizeOutline()->rect().size(), QSizeF(28, 28));
        mouse.release(from + QPointF(-69, -50));
        QCOMPARE(box->boundingRect().size(), QSizeF(40, 40));
    }

    void stepsAreComputedFromThePress()
    {
        BoxScene b(QPointF(0, 0));
        QGraphicsScene &scene = b.scene;
        EObject *box = b.box;
        SceneDriver mouse(scene);
        const QPointF from = handleCentre(*box, EResizeFocus::MiddleRight);
        mouse.press(from);
        mouse.move(from + QPointF(50, 0));
        mouse.move(from + QPointF(30, 0));
        mouse.move(from);
        mouse.release(from);
        QCOMPARE(box->boundingRect(), QRectF(0, 0, 100, 100));
        QCOMPARE(box->pos(), QPointF(0, 0));
    }

    void sceneFindsTheBoxAtItsNewSize()
    {
        BoxScene b;
        QGraphicsScene &scene = b.scene;
        EObject *box = b.box;
        QCoreApplication::processEvents();   // let the scene index the box
        QVERIFY(!scene.items(QPointF(200, 200)).contains(box));
        SceneDriver mouse(scene);
        // The bottom right handle leaves the position alone: only the size changes.
        const QPointF from = handleCentre(*box, EResizeFocus::BottomRight);
        mouse.drag(from, from + QPointF(60, 60));
        QCOMPARE(box->pos(), QPointF(50, 50));
        QCOMPARE(box->boundingRect(), QRectF(0, 0, 160, 160));
        QVERIFY(scene.items(QPointF(200, 200)).contains(box));
        QCOMPARE(scene.itemAt(QPointF(200, 200), QTransform()), static_cast<QGraphicsItem *>(box));
    }

    void anotherPressEndsTheResizeWithoutAnOutline()
    {
        BoxScene b;
        QGraphicsScene &scene = b.scene;
        EObject *box = b.box;
        SceneDriver mouse(scene);
        const QPointF from = handleCentre(*box, EResizeFocus::BottomRight);
        mouse.press(from);
        mouse.move(from + QPointF(30, 30));
        QVERIFY(box->resizeOutline());
        mouse.pressRightToo(QPointF(100, 100));
        QVERIFY(!box->resizeOutline());
        int dashed = 0;
        for (QGraphicsItem *child : box->childItems())
            dashed += child->type() == QGraphicsRectItem::Type;
        QCOMPARE(dashed, 0);
        mouse.release(from + QPointF(30, 30));
        QCOMPARE(box->boundingRect(), QRectF(0, 0, 100, 100));
        QCOMPARE(box->pos(), QPointF(50, 50));
    }

    void handleShowsItsCursorWhenHovered_data()
    {
        QTest::addColumn<int>("handle");
        QTest::addColumn<int>("cursor");
        QTest::newRow("top middle") << int(EResizeFocus::TopMiddle) << int(Qt::SizeVerCursor);
        QTest::newRow("top right") << int(EResizeFocus::TopRight) << int(Qt::SizeBDiagCursor);
        QTest::newRow("middle right") << int(EResizeFocus::MiddleRight) << int(Qt::SizeHorCursor);
        QTest::newRow("bottom right") << int(EResizeFocus::BottomRight) << int(Qt::SizeFDiagCursor);
        QTest::newRow("bottom middle") << int(EResizeFocus::BottomMiddle) << int(Qt::SizeVerCursor);
        QTest::newRow("bottom left") << int(EResizeFocus::BottomLeft) << int(Qt::SizeBDiagCursor);
        QTest::newRow("middle left") << int(EResizeFocus::MiddleLeft) << int(Qt::SizeHorCursor);
        QTest::newRow("top left") << int(EResizeFocus::TopLeft) << int(Qt::SizeFDiagCursor);
    }
    void handleShowsItsCursorWhenHovered()
    {
        QFETCH(int, handle);
        QFETCH(int, cursor);
        BoxScene b;
        QGraphicsScene &scene = b.scene;
        EObject *box = b.box;
        EResizeFocus *target = nullptr;
        for (EResizeFocus *h : box->handles())
            target = h->getInHost() == handle ? h : target;
        QVERIFY(target && !target->hasCursor());
        SceneDriver mouse(scene);
        mouse.hover(QPointF(10, 10));
        mouse.hover(handleCentre(*box, EResizeFocus::PosInHost(handle)));
        QVERIFY(target->hasCursor());
        QCOMPARE(int(target->cursor().shape()), cursor);
        // Leaving keeps the cursor set on the handle.
        mouse.hover(QPointF(10, 10));
        QVERIFY(target->hasCursor());
    }

    void pressOffTheHandlesMovesTheBox()
    {
        QGraphicsScene scene(0, 0, 400, 400);
        auto *box = new EObject;
        scene.addItem(box);
        box->setPos(50, 50);
        SceneDriver mouse(scene);
        mouse.press(QPointF(100, 100));
        QVERIFY(!box->resizeOutline());
        QVERIFY(box->isSelected());
        mouse.move(QPointF(130, 110));
        mouse.release(QPointF(130, 110));
        QCOMPARE(box->pos(), QPointF(80, 60));
        QCOMPARE(box->boundingRect(), QRectF(0, 0, 100, 100));
    }
};

QTEST_MAIN(GraphicsItemTest)
#include "graphicsitem_test.moc"
