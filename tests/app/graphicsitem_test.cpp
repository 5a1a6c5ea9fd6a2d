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

static QImage paintOnce(QGraphicsScene &scene)
{
    QImage image(400, 400, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    scene.render(&painter, QRectF(0, 0, 400, 400), QRectF(0, 0, 400, 400));
    return image;
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
    void resizeByEachHandle_data()
    {
        QTest::addColumn<int>("handle");
        QTest::addColumn<QRectF>("expected");   // pos and size in the scene
        // Box at (50, 50), 100 x 100; the handle is dragged by (+10, +20).
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
        SceneDriver mouse(b.scene);
        const QPointF from = handleCentre(*b.box, EResizeFocus::PosInHost(handle));
        mouse.hover(from);
        for (EResizeFocus *h : b.box->handles())
            QVERIFY(h->isVisible());   // shown while the box is selected
        mouse.press(from);
        QVERIFY(b.box->resizeOutline());
        // Every step is measured from the press, not from the last step.
        mouse.move(from + QPointF(50, 40));
        mouse.move(from + QPointF(10, 20));
        mouse.release(from + QPointF(10, 20));
        QVERIFY(!b.box->resizeOutline());
        QCOMPARE(QRectF(b.box->pos(), b.box->boundingRect().size()), expected);
    }

    void resizeKeepsTheMinimumBodyAndTheSceneFindsTheBox()
    {
        BoxScene b;
        SceneDriver mouse(b.scene);
        const QPointF from = handleCentre(*b.box, EResizeFocus::BottomRight);
        mouse.press(from);
        mouse.move(from + QPointF(-60, -60));   // body 28 x 28: taken
        mouse.move(from + QPointF(-69, -50));   // body 19 wide: refused
        QCOMPARE(b.box->resizeOutline()->rect().size(), QSizeF(28, 28));
        mouse.release(from + QPointF(-69, -50));
        QCOMPARE(b.box->boundingRect().size(), QSizeF(40, 40));

        paintOnce(b.scene);
        QCoreApplication::processEvents();   // let the scene index the box
        const QPointF grown = handleCentre(*b.box, EResizeFocus::BottomRight);
        mouse.drag(grown, grown + QPointF(120, 120));
        QCOMPARE(b.box->boundingRect(), QRectF(0, 0, 160, 160));
        QCOMPARE(b.scene.itemAt(QPointF(200, 200), QTransform()), static_cast<QGraphicsItem *>(b.box));
    }

    void anotherPressEndsTheResizeWithoutAnOutline()
    {
        BoxScene b;
        SceneDriver mouse(b.scene);
        const QPointF from = handleCentre(*b.box, EResizeFocus::BottomRight);
        mouse.press(from);
        mouse.move(from + QPointF(30, 30));
        mouse.pressRightToo(QPointF(100, 100));
        for (QGraphicsItem *child : b.box->childItems())
            QVERIFY(child->type() != QGraphicsRectItem::Type);
        mouse.release(from + QPointF(30, 30));
        QCOMPARE(b.box->boundingRect(), QRectF(0, 0, 100, 100));
    }

    void pressOffTheHandlesMovesTheBox()
    {
        BoxScene b(QPointF(50, 50), false);
        QCOMPARE(paintOnce(b.scene).pixelColor(100, 100), QColor(100, 100, 255));   // the body
        SceneDriver mouse(b.scene);
        mouse.drag(QPointF(100, 100), QPointF(130, 110));
        QVERIFY(b.box->isSelected());
        QCOMPARE(b.box->pos(), QPointF(80, 60));
        QCOMPARE(b.box->boundingRect(), QRectF(0, 0, 100, 100));
    }
};

QTEST_MAIN(GraphicsItemTest)
#include "graphicsitem_test.moc"
