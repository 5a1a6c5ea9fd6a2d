#include "rulesframe.h"

#include <QPainter>
#include <QPen>

RulesFrame::RulesFrame(QWidget *parent)
    : QPushButton(parent)
{
    setFlat(true);
    setFocusPolicy(Qt::StrongFocus);
}

void RulesFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int border = 2;
    QPen pen(isDown() ? Qt::red : Qt::green, border, Qt::DotLine);
    painter.setPen(pen);
    // The pen is centred on the path: inset by half its width so the whole
    // border lies inside the frame, as a widget border does.
    const qreal half = border / 2.0;
    painter.drawRect(QRectF(rect()).adjusted(half, half, -half, -half));
}
