#include "canvasgeometry.h"

QVector<QRectF> CanvasGeometry::handlesFor(const QRectF &rect)
{
    // Computed in single precision, like the rest of the canvas arithmetic.
    const float l = float(rect.x());
    const float t = float(rect.y());
    const float r = l + float(rect.width());
    const float b = t + float(rect.height());
    const float cx = (l + r) * 0.5f;
    const float cy = (t + b) * 0.5f;
    const float xs[8] = {l, cx, r, l, r, l, cx, r};
    const float ys[8] = {t, t, t, cy, cy, b, b, b};
    QVector<QRectF> out;
    out.reserve(8);
    for (int i = 0; i < 8; ++i)
        out.append(QRectF(xs[i] - 5.0f, ys[i] - 5.0f, 10.0f, 10.0f));
    return out;
}

QRectF CanvasGeometry::topStripFor(const QRectF &rect)
{
    const float l = float(rect.x());
    const float t = float(rect.y());
    const float w = float(rect.width());
    return QRectF(l + 5.0f, t - 5.0f, w - 10.0f, 10.0f);
}

QRectF CanvasGeometry::bottomStripFor(const QRectF &rect)
{
    const float l = float(rect.x());
    const float b = float(rect.y()) + float(rect.height());
    const float w = float(rect.width());
    return QRectF(l + 5.0f, b - 5.0f, w - 10.0f, 10.0f);
}

QRectF CanvasGeometry::lineHitRect(const QRectF &line)
{
    return QRectF(line.x() - 2, line.y(), line.width() + 4, line.height());
}

int CanvasGeometry::handleAt(const QVector<QRectF> &handles, const QPointF &p)
{
    for (int i = 0; i < handles.size(); ++i)
        if (handles.at(i).contains(p))
            return i;
    return -1;
}

int CanvasGeometry::lineAt(const QVector<QRectF> &lines, const QPointF &p)
{
    for (int i = 0; i < lines.size(); ++i)
        if (lineHitRect(lines.at(i)).contains(p))
            return i;
    return -1;
}

Qt::CursorShape CanvasGeometry::handleCursor(int zone)
{
    switch (zone) {
    case TopLeft:
    case BottomRight:
        return Qt::SizeFDiagCursor;
    case TopRight:
    case BottomLeft:
        return Qt::SizeBDiagCursor;
    case TopMiddle:
    case BottomMiddle:
        return Qt::SizeVerCursor;
    case MiddleLeft:
    case MiddleRight:
        return Qt::SizeHorCursor;
    case Inside:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

QRectF CanvasGeometry::normalisedBand(const QRectF &band)
{
    const qreal x1 = band.left(), x2 = band.right();
    const qreal y1 = band.top(), y2 = band.bottom();
    const float left = float(qMin(x1, x2));
    const float top = float(qMin(y1, y2));
    const float right = float(qMax(x1, x2));
    const float bottom = float(qMax(y1, y2));
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

int CanvasGeometry::mirrorHorizontally(int zone)
{
    switch (zone) {
    case TopLeft: return TopRight;
    case TopRight: return TopLeft;
    case MiddleLeft: return MiddleRight;
    case MiddleRight: return MiddleLeft;
    case BottomLeft: return BottomRight;
    case BottomRight: return BottomLeft;
    default: return zone;
    }
}

int CanvasGeometry::mirrorVertically(int zone)
{
    switch (zone) {
    case TopLeft: return BottomLeft;
    case BottomLeft: return TopLeft;
    case TopMiddle: return BottomMiddle;
    case BottomMiddle: return TopMiddle;
    case TopRight: return BottomRight;
    case BottomRight: return TopRight;
    default: return zone;
    }
}

bool CanvasGeometry::resizeStep(QRectF &rect, QVector<QRectF> &lines, int &zone,
                                const QPointF &p, const QPointF &lastPos)
{
    if (zone < TopLeft || zone > BottomRight)
        return false;
    const float dx = float(p.x() - lastPos.x());
    const float dy = float(p.y() - lastPos.y());
    const qreal L = rect.left(), T = rect.top();
    const qreal R = rect.right(), B = rect.bottom();
    const qreal W = rect.width();

    // A side edge may not be dragged onto or past a column line.
    if (zone == MiddleLeft) {
        for (const QRectF &line : lines)
            if (p.x() > line.x() - 5)
                return false;
    } else if (zone == MiddleRight) {
        for (const QRectF &line : lines)
            if (p.x() < line.x() + line.width() + 5)
                return false;
    }

    const bool left = zone == TopLeft || zone == MiddleLeft || zone == BottomLeft;
    const bool right = zone == TopRight || zone == MiddleRight || zone == BottomRight;
    const bool top = zone == TopLeft || zone == TopMiddle || zone == TopRight;
    const bool bottom = zone == BottomLeft || zone == BottomMiddle || zone == BottomRight;
    const bool corner = zone == TopLeft || zone == TopRight
                        || zone == BottomLeft || zone == BottomRight;

    const qreal nl = left ? L + dx : L;
    const qreal nr = right ? R + dx : R;
    const qreal nt = top ? T + dy : T;
    const qreal nb = bottom ? B + dy : B;

    for (QRectF &line : lines) {
        qreal x = line.x();
        // Corner drags keep each line's relative place across the width. A
        // zero-width table has no relative place to keep: its lines then stay
        // on the edge that does not move.
        if (corner && W != 0.0) {
            float shift = left ? float((R - (line.x() + line.width())) * dx / W)
                               : float((line.x() - L) * dx / W);
            x += shift;
        }
        qreal y = line.y();
        qreal h = line.height();
        if (top) {
            y += dy;
            h -= dy;
        } else if (bottom) {
            h += dy;
        }
        // A top edge dragged below the bottom turns the line over with it.
        if (h < 0) {
            y += h;
            h = -h;
        }
        line = QRectF(x, y, line.width(), h);
    }

    // Dragging an edge across the opposite one mirrors the table; keep it
    // normalised and let the handle under the pointer carry on.
    if (nr < nl)
        zone = mirrorHorizontally(zone);
    if (nb < nt)
        zone = mirrorVertically(zone);
    rect = QRectF(QPointF(qMin(nl, nr), qMin(nt, nb)), QPointF(qMax(nl, nr), qMax(nt, nb)));
    return true;
}

bool CanvasGeometry::lineDragAllowed(const QRectF &rect, const QVector<QRectF> &lines,
                                     int index, qreal x)
{
    if (index < 0 || index >= lines.size())
        return false;
    if (x > rect.right() - 2 || x < rect.left() + 2)
        return false;
    for (int i = 0; i < lines.size(); ++i) {
        if (i == index)
            continue;
        const QRectF &o = lines.at(i);
        if (o.x() - 1 < x && x < o.x() + o.width() + 1)
            return false;
    }
    return true;
}

QRectF CanvasGeometry::scaled(const QRectF &r, double factor)
{
    const qreal l = r.left() * factor, t = r.top() * factor;
    const qreal rr = r.right() * factor, b = r.bottom() * factor;
    return QRectF(l, t, rr - l, b - t);
}
