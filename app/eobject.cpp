#include "eobject.h"

#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QPen>
#include <QStyleOptionGraphicsItem>

EObject::EObject(QGraphicsItem *parent)
    : EObject(100, 100, 6, parent)
{
}

EObject::EObject(double width, double height, double focusSize, QGraphicsItem *parent)
    : QGraphicsItem(parent), width(width), height(height), focusSize(focusSize)
{
    setAcceptDrops(true);
    setAcceptHoverEvents(true);
    setFlags(ItemIsMovable | ItemIsSelectable | ItemIsFocusable);
    createResizeFocus();
}

EObject::~EObject() = default;

void EObject::createResizeFocus()
{
    const EResizeFocus::PosInHost order[] = {
        EResizeFocus::TopMiddle, EResizeFocus::TopRight, EResizeFocus::TopLeft,
        EResizeFocus::BottomMiddle, EResizeFocus::BottomRight, EResizeFocus::BottomLeft,
        EResizeFocus::MiddleRight, EResizeFocus::MiddleLeft};
    for (EResizeFocus::PosInHost pos : order)
        focusList.append(new EResizeFocus(focusSize, pos, this));
}

void EObject::showResizeFocus(bool visible)
{
    for (EResizeFocus *focus : focusList) {
        focus->locateInHost();
        focus->setVisible(visible);
    }
}

QRectF EObject::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

QPainterPath EObject::shape() const
{
    QPainterPath path;
    path.addRect(boundingRect());
    return path;
}

QRectF EObject::bodyRect() const
{
    return QRectF(focusSize, focusSize, width - 2 * focusSize, height - 2 * focusSize);
}

void EObject::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    QColor color(100, 100, 255, 255);
    if (option->state & QStyle::State_Selected)
        color = color.darker(150);
    if (option->state & QStyle::State_MouseOver)
        color = color.lighter(125);
    const QRect body{int(focusSize), int(focusSize), int(width - 2 * focusSize),
                     int(height - 2 * focusSize)};
    painter->fillRect(body, color);
    if (option->state & QStyle::State_Selected) {
        painter->setPen(Qt::DotLine);
        painter->drawRect(body);
        showResizeFocus(true);
    } else {
        painter->drawRect(body);
        showResizeFocus(false);
    }
}

void EObject::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    // A press without a release in between (another button) ends any resize:
    // its outline must not stay behind.
    delete outline;
    outline = nullptr;
    pressedFocus = nullptr;
    if (scene()) {
        const QList<QGraphicsItem *> under =
            scene()->items(event->scenePos(), Qt::IntersectsItemShape, Qt::DescendingOrder);
        if (!under.isEmpty())
            pressedFocus = qgraphicsitem_cast<EResizeFocus *>(under.first());
    }
    if (!pressedFocus || pressedFocus->parentItem() != this) {
        pressedFocus = nullptr;
        resizeState = 0;
        QGraphicsItem::mousePressEvent(event);
        return;
    }
    resizeState = 1;
    pressPos = event->scenePos();
    outline = new QGraphicsRectItem(bodyRect(), this);
    outline->setPen(QPen(Qt::DashLine));
}

void EObject::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    if (resizeState != 1 || !outline || !pressedFocus) {
        QGraphicsItem::mouseMoveEvent(event);
        return;
    }
    const double dx = event->scenePos().x() - pressPos.x();
    const double dy = event->scenePos().y() - pressPos.y();
    const QRectF start = bodyRect();
    double x = start.x(), y = start.y(), w = start.width(), h = start.height();
    switch (pressedFocus->getInHost()) {
    case EResizeFocus::TopMiddle:    y += dy; h -= dy; break;
    case EResizeFocus::TopRight:     y += dy; w += dx; h -= dy; break;
    case EResizeFocus::MiddleRight:  w += dx; break;
    case EResizeFocus::BottomRight:  w += dx; h += dy; break;
    case EResizeFocus::BottomMiddle: h += dy; break;
    case EResizeFocus::BottomLeft:   x += dx; w -= dx; h += dy; break;
    case EResizeFocus::MiddleLeft:   x += dx; w -= dx; break;
    case EResizeFocus::TopLeft:      x += dx; y += dy; w -= dx; h -= dy; break;
    }
    if (w >= minimumBody && h >= minimumBody)
        outline->setRect(QRectF(x, y, w, h));
}

void EObject::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    if (resizeState != 1 || !outline) {
        QGraphicsItem::mouseReleaseEvent(event);
        return;
    }
    const QRectF r = outline->rect();
    const QPointF newPos = mapToScene(QPointF(r.left() - focusSize, r.top() - focusSize));
    // The bounding rectangle changes: the scene must hear of it first.
    prepareGeometryChange();
    width = r.width() + 2 * focusSize;
    height = r.height() + 2 * focusSize;
    setPos(parentItem() ? parentItem()->mapFromScene(newPos) : newPos);
    delete outline;
    outline = nullptr;
}
