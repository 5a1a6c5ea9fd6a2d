#ifndef MYLISTWIDET_CANDRAG_H
#define MYLISTWIDET_CANDRAG_H

#include <QListWidget>
#include <QPointF>
#include <QRectF>
#include <QVector>

class DialogService;
class QLabel;

// A list widget laying out placeholder labels in a grid, with a prepared
// drag of its right edge.
class MylistWidet_candrag : public QListWidget
{
    Q_OBJECT

public:
    explicit MylistWidet_candrag(QWidget *parent = nullptr, DialogService *dialogs = nullptr);

    void LayLabels(QVector<QLabel *> labels);
    void updateround();
    void setMaximumWidth(int w);

    QRectF edgeRect() const { return edgeStrip; }
    bool isDragging() const { return dragging; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    DialogService *dialogs;
    QRectF edgeStrip;
    bool overEdgeStrip = false;
    bool dragging = false;
    float maxWidth = 0;
    QPointF dragPos;
};

#endif
