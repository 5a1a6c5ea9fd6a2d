#ifndef GRIDMOLT_MOUSEINPUT_H
#define GRIDMOLT_MOUSEINPUT_H

// Mouse events as a person makes them, sent straight to a widget.

#include <QCoreApplication>
#include <QMouseEvent>
#include <QVector>
#include <QWidget>

// A press or double click holds `button`, a release lets go of it, a move
// carries the buttons `held`.
inline void sendMouse(QWidget *w, QEvent::Type type, QPointF pos, Qt::MouseButton button = Qt::LeftButton,
                      Qt::MouseButtons held = Qt::NoButton)
{
    const bool move = type == QEvent::MouseMove;
    const Qt::MouseButtons buttons = move ? held : type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, pos, w->mapToGlobal(pos.toPoint()), move ? Qt::NoButton : button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

// Hover, press, the steps with the left button held, release.
inline void drag(QWidget *w, QPointF from, const QVector<QPointF> &steps)
{
    sendMouse(w, QEvent::MouseMove, from);
    sendMouse(w, QEvent::MouseButtonPress, from);
    for (const QPointF &p : steps)
        sendMouse(w, QEvent::MouseMove, p, Qt::LeftButton, Qt::LeftButton);
    sendMouse(w, QEvent::MouseButtonRelease, steps.isEmpty() ? from : steps.last());
}

#endif
