#ifndef CLICKABLELABEL_H
#define CLICKABLELABEL_H

#include <QLabel>

// A label that reports presses, clicks and pointer entry as signals.
class clickablelabel : public QLabel
{
    Q_OBJECT

public:
    explicit clickablelabel(QWidget *parent = nullptr);

    // Whether p is one of the label's pixels, (0, 0) to (width - 1, height - 1).
    bool hitLabel(const QPoint &p) const;

signals:
    void doubleClicked();
    void clicked();
    void pressed();
    void released();
    void mouseOver();
    void mouseOut();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    bool pressedLeft = false;
};

#endif
