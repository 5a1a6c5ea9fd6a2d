#ifndef EOBJECT_H
#define EOBJECT_H

#include <QGraphicsItem>
#include <QList>
#include <QPointF>

#include "eresizefocus.h"

class QGraphicsRectItem;

// A movable, selectable box resized by eight handles on its margin. While a
// handle is dragged a dashed outline shows the new body; the release applies it.
class EObject : public QGraphicsItem
{
public:
    enum { Type = UserType + 100 };
    static constexpr double minimumBody = 20;

    explicit EObject(QGraphicsItem *parent = nullptr);
    EObject(double width, double height, double focusSize, QGraphicsItem *parent = nullptr);
    ~EObject() override;

    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget) override;
    int type() const override { return Type; }

    void showResizeFocus(bool visible);
    const QList<EResizeFocus *> &handles() const { return focusList; }
    // The dashed outline of a resize in progress, or null.
    const QGraphicsRectItem *resizeOutline() const { return outline; }
    // The body: the bounding rectangle less the handles' margin.
    QRectF bodyRect() const;

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;

private:
    void createResizeFocus();

    double width;
    double height;
    double focusSize;
    int resizeState = 0;
    QList<EResizeFocus *> focusList;
    EResizeFocus *pressedFocus = nullptr;
    QPointF pressPos;
    QGraphicsRectItem *outline = nullptr;
};

#endif
