#include "clickablelabel.h"

#include <QMouseEvent>

clickablelabel::clickablelabel(QWidget *parent)
    : QLabel(parent)
{
    setText("wwActiveLabel");
}

bool clickablelabel::hitLabel(const QPoint &p) const
{
    return rect().contains(p);
}

void clickablelabel::mousePressEvent(QMouseEvent *event)
{
    pressedLeft = event->button() == Qt::LeftButton;
    setFocus();
    emit pressed();
}

void clickablelabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (pressedLeft && event->button() == Qt::LeftButton && hitLabel(event->pos()))
        emit clicked();
    pressedLeft = false;
    emit released();
}

void clickablelabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    // The base handling treats a double click as a press.
    QWidget::mouseDoubleClickEvent(event);
}

void clickablelabel::enterEvent(QEvent *event)
{
    QLabel::enterEvent(event);
    emit mouseOver();
}

void clickablelabel::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    emit mouseOut();
}
