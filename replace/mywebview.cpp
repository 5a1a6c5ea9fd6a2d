#include "mywebview.h"

#include <QWheelEvent>

myWebview::myWebview(QWidget *parent)
    : QWebView(parent), zoomValue(1.0f)
{
}

void myWebview::setZoomFactor(float)
{
    update();
    updateGeometry();
}

void myWebview::wheelEvent(QWheelEvent *event)
{
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    zoomValue = float(double(zoomValue) * (delta > 0 ? 1.1 : 0.9));
    setZoomFactor(zoomValue);
}
