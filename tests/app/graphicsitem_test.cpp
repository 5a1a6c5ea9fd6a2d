#include "eobject.h"
#include "eresizefocus.h"

#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QtTest>

// A 400 x 400 scene holding one selected box at (50, 50), painted once so its
// handles are shown as on screen, driven the way the graphics view does:
// press, moves, release at scene positions.
struct BoxScene
{
    BoxScene()
    {
        scene.addItem(box);
        box->setPos(50, 50);
        box->setSelected(true);
        paint();
    }

    QImage paint()
    {
        QImage image(400, 400, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        scene.render(&painter, QRectF(0, 0, 400, 400), QRectF(0, 0, 400, 400));
        return image;
    }

    // Centre of a handle in scene coordinates.
    QPointF handleCentre(EResizeFocus::PosInHost pos) const
    {
        for (EResizeFocus *h : box->handles())
            if (h->getInHost() == pos)
                return h->mapToScene(h->rect().center());
        return {};
    }

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
    void drag(QPointF from, QPointF to) { press(from); move(to); release(to); }

    void send(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QGraphicsSceneMouseEvent event(type);
        event.setScenePos(at);
        event.setScreenPos(at.toPoint());
        event.setButton(button);
        event.setButtons(buttons);
        event.setButtonDownScenePos(Qt::LeftButton, type == QEvent::GraphicsSceneMouseMove ? lastPress : at);
        event.setLastScenePos(last);
        if (type == QEvent::GraphicsSceneMousePress && button == Qt::LeftButton)
            lastPress = at;
        last = at;
        QCoreApplication::sendEvent(&scene, &event);
    }

    QGraphicsScene scene{0, 0, 400, 400};
    EObject *box = new EObject;
    QPointF lastPress, last;
};

class GraphicsItemTest : public QObject
{
    Q_OBJECT

private slots:
    void resizeByEachHandle()
    {
        // Box at (50, 50), 100 x 100; the handle is dragged by (+10, +20).
        const struct { EResizeFocus::PosInHost handle; QRectF expected; } cases[] = {
            {EResizeFocus::TopMiddle, {50, 70, 100, 80}}, {EResizeFocus::TopRight, {50, 70, 110, 80}},
            {EResizeFocus::MiddleRight, {50, 50, 110, 100}}, {EResizeFocus::BottomRight, {50, 50, 110, 120}},
            {EResizeFocus::BottomMiddle, {50, 50, 100, 120}}, {EResizeFocus::BottomLeft, {60, 50, 90, 120}},
            {EResizeFocus::MiddleLeft, {60, 50, 90, 100}}, {EResizeFocus::TopLeft, {60, 70, 90, 80}}};
        for (const auto &c : cases) {
            BoxScene b;
            const QPointF from = b.handleCentre(c.handle);
            b.hover(from);
            for (EResizeFocus *h : b.box->handles())
                QVERIFY(h->isVisible());   // shown while the box is selected
            b.press(from);
            QVERIFY(b.box->resizeOutline());
            // Every step is measured from the press, not from the last step.
            b.move(from + QPointF(50, 40));
            b.move(from + QPointF(10, 20));
            b.release(from + QPointF(10, 20));
            QVERIFY(!b.box->resizeOutline());
            QCOMPARE(QRectF(b.box->pos(), b.box->boundingRect().size()), c.expected);
        }
    }

    void resizeKeepsTheMinimumBodyAndTheSceneFindsTheBox()
    {
        BoxScene b;
        const QPointF from = b.handleCentre(EResizeFocus::BottomRight);
        b.press(from);
        b.move(from + QPointF(-60, -60));   // body 28 x 28: taken
        b.move(from + QPointF(-69, -50));   // body 19 wide: refused
        QCOMPARE(b.box->resizeOutline()->rect().size(), QSizeF(28, 28));
        b.release(from + QPointF(-69, -50));
        QCOMPARE(b.box->boundingRect().size(), QSizeF(40, 40));

        b.paint();
        QCoreApplication::processEvents();   // let the scene index the box
        const QPointF grown = b.handleCentre(EResizeFocus::BottomRight);
        b.drag(grown, grown + QPointF(120, 120));
        QCOMPARE(b.box->boundingRect(), QRectF(0, 0, 160, 160));
        QCOMPARE(b.scene.itemAt(QPointF(200, 200), QTransform()), static_cast<QGraphicsItem *>(b.box));
    }

    void anotherPressEndsTheResizeAndPressOffTheHandlesMoves()
    {
        BoxScene b;
        const QPointF from = b.handleCentre(EResizeFocus::BottomRight);
        b.press(from);
        b.move(from + QPointF(30, 30));
        b.pressRightToo(QPointF(100, 100));
        for (QGraphicsItem *child : b.box->childItems())
            QVERIFY(child->type() != QGraphicsRectItem::Type);   // no outline left behind
        b.release(from + QPointF(30, 30));
        QCOMPARE(b.box->boundingRect(), QRectF(0, 0, 100, 100));

        b.box->setSelected(false);
        QCOMPARE(b.paint().pixelColor(100, 100), QColor(100, 100, 255));   // the body
        b.drag(QPointF(100, 100), QPointF(130, 110));
        QVERIFY(b.box->isSelected());
        QCOMPARE(b.box->pos(), QPointF(80, 60));
        QCOMPARE(b.box->boundingRect(), QRectF(0, 0, 100, 100));
    }
};

QTEST_MAIN(GraphicsItemTest)
#include "graphicsitem_test.moc"
