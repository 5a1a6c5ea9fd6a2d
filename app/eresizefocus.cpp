#include "eresizefocus.h"

#include <QCursor>

EResizeFocus::EResizeFocus(PosInHost pos, QGraphicsItem *parent)
    : EResizeFocus(6, pos, parent)
{
}

EResizeFocus::EResizeFocus(double size, PosInHost pos, QGraphicsItem *parent)
    : QGraphicsRectItem(0, 0, size, size, parent), inHost(pos), focusSize(size)
{
    setAcceptHoverEvents(true);
    setVisible(false);
    locateInHost();
}

EResizeFocus::~EResizeFocus() = default;

Qt::CursorShape EResizeFocus::cursorFor(PosInHost pos)
{
    switch (pos) {
    case TopMiddle:
    case BottomMiddle:
        return Qt::SizeVerCursor;
    case TopRight:
    case BottomLeft:
        return Qt::SizeBDiagCursor;
    case MiddleRight:
    case MiddleLeft:
        return Qt::SizeHorCursor;
    case BottomRight:
    case TopLeft:
        return Qt::SizeFDiagCursor;
    }
    return Qt::ArrowCursor;
}

void EResizeFocus::locateInHost()
{
    const QGraphicsItem *host = parentItem();
    if (!host)
        return;
    const QRectF r = host->boundingRect();
    const double w = r.width(), h = r.height(), s = focusSize;
    QPointF p;
    switch (inHost) {
    case TopMiddle:    p = QPointF(w / 2 - s / 2, 0); break;
    case TopRight:     p = QPointF(w - s, 0); break;
    case MiddleRight:  p = QPointF(w - s, h / 2 - s / 2); break;
    case BottomRight:  p = QPointF(w - s, h - s); break;
    case BottomMiddle: p = QPointF(w / 2 - s / 2, h - s); break;
    case BottomLeft:   p = QPointF(0, h - s); break;
    case MiddleLeft:   p = QPointF(0, h / 2 - s / 2); break;
    case TopLeft:      p = QPointF(0, 0); break;
    }
    setPos(p);
}

void EResizeFocus::hoverEnterEvent(QGraphicsSceneHoverEvent *event)
{
    setCursor(cursorFor(inHost));
    QGraphicsRectItem::hoverEnterEvent(event);
}

void EResizeFocus::hoverLeaveEvent(QGraphicsSceneHoverEvent *event)
{
    QGraphicsRectItem::hoverLeaveEvent(event);
}
