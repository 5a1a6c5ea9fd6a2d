#include "mylistwidet_candrag.h"

#include "dialogservice.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>

MylistWidet_candrag::MylistWidet_candrag(QWidget *parent, DialogService *dialogs)
    : QListWidget(parent), dialogs(dialogs ? dialogs : DialogService::standard())
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setFixedSize(200, 500);
    QVector<QLabel *> labels;
    for (int i = 0; i < 50; ++i) {
        QLabel *label = new QLabel(this);
        label->setFixedSize(91, 111);
        label->setMinimumSize(91, 111);
        label->setText("helo");
        labels.append(label);
    }
    LayLabels(labels);
}

void MylistWidet_candrag::LayLabels(QVector<QLabel *> labels)
{
    int columns = int(float(width()) / 111.0f);
    dialogs->warning(this, "layout", QString::number(columns), QMessageBox::Ok);
    // Narrower than one label: lay them out in one column rather than divide by zero.
    if (columns < 1)
        columns = 1;
    // A widget takes no second layout: a lay-out again replaces the first
    // (its labels stay children of the widget).
    delete layout();
    QGridLayout *grid = new QGridLayout(this);
    for (int k = 0; k < labels.size(); ++k)
        grid->addWidget(labels[k], k / columns, k % columns, Qt::AlignCenter);
    setLayout(grid);
}

void MylistWidet_candrag::updateround()
{
    edgeStrip = QRectF(width() - 5, 0, 5, height());
}

void MylistWidet_candrag::setMaximumWidth(int w)
{
    maxWidth = float(w);
}

void MylistWidet_candrag::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && overEdgeStrip) {
        dragPos = event->localPos();
        dragging = true;
    } else {
        dragging = false;
    }
}

void MylistWidet_candrag::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging) {
        updateround();
        return;
    }
    const float dx = float(event->localPos().x() - dragPos.x());
    if (float(width()) + dx < maxWidth) {
        setFixedSize(int(float(width()) + dx), height());
        updateround();
        dragPos = event->localPos();
    }
}

void MylistWidet_candrag::mouseReleaseEvent(QMouseEvent *)
{
    overEdgeStrip = false;
    dragging = false;
    updateround();
}
