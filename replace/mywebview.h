#ifndef MYWEBVIEW_H
#define MYWEBVIEW_H

#include <QWebView>

class QWheelEvent;

// A web view that keeps a zoom factor of its own, changed by the wheel and
// never applied to the page: the wheel neither scrolls nor zooms what is
// shown. Nothing constructs it.
class myWebview : public QWebView
{
    Q_OBJECT

public:
    explicit myWebview(QWidget *parent = nullptr);

    float zoom() const { return zoomValue; }

    // Hides the view's own setter: repaints and tells the layout, and leaves
    // the page's zoom as it is.
    void setZoomFactor(float factor);

protected:
    void wheelEvent(QWheelEvent *event) override;

private:
    float zoomValue;
};

#endif
