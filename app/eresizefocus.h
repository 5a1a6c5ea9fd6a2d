#ifndef ERESIZEFOCUS_H
#define ERESIZEFOCUS_H

#include <QGraphicsRectItem>

// One square resize handle on the margin of its host item.
class EResizeFocus : public QGraphicsRectItem
{
public:
    // Clockwise from the top edge.
    enum PosInHost {
        TopMiddle = 0,
        TopRight,
        MiddleRight,
        BottomRight,
        BottomMiddle,
        BottomLeft,
        MiddleLeft,
        TopLeft
    };
    enum { Type = UserType + 1 };

    EResizeFocus(PosInHost pos, QGraphicsItem *parent);
    EResizeFocus(double size, PosInHost pos, QGraphicsItem *parent);
    ~EResizeFocus() override;

    int type() const override { return Type; }
    PosInHost getInHost() const { return inHost; }
    // Places the handle on the parent's bounding rectangle, taken to start at (0, 0).
    void locateInHost();

    static Qt::CursorShape cursorFor(PosInHost pos);

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent *event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent *event) override;

private:
    PosInHost inHost;
    double focusSize;
};

#endif
