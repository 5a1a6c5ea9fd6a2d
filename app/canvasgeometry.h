#ifndef CANVASGEOMETRY_H
#define CANVASGEOMETRY_H

#include <QPointF>
#include <QRectF>
#include <QVector>
#include <Qt>

// Pure geometry of the page canvas: handles, edge strips, hit tests and the
// edit steps (resize, line drag, zoom). No widget needed, so every rule can be
// checked directly. Coordinates are canvas pixels.
class CanvasGeometry
{
public:
    // Handle zones, in the order of labeldraw::handles.
    enum Zone {
        TopLeft = 0, TopMiddle, TopRight, MiddleLeft, MiddleRight,
        BottomLeft, BottomMiddle, BottomRight, Inside, Outside
    };

    // Eight 10 x 10 handles centred on the corners and edge midpoints.
    static QVector<QRectF> handlesFor(const QRectF &rect);
    // 10 px bands centred on the top / bottom edge, 5 px short of the corners.
    static QRectF topStripFor(const QRectF &rect);
    static QRectF bottomStripFor(const QRectF &rect);
    // A column line widened by 2 px on each side.
    static QRectF lineHitRect(const QRectF &line);

    // First handle (zone order) / line (list order) containing p, or -1.
    static int handleAt(const QVector<QRectF> &handles, const QPointF &p);
    static int lineAt(const QVector<QRectF> &lines, const QPointF &p);

    static Qt::CursorShape handleCursor(int zone);

    // The rubber band as a rectangle with non-negative width and height.
    static QRectF normalisedBand(const QRectF &band);

    // One resize step of `zone` by the pointer moving from lastPos to p.
    // Returns false (nothing changed) when the step is refused because the
    // dragged side edge would come within 5 px of a column line. Afterwards
    // rect and lines are normalised; when an edge was dragged across the
    // opposite one, `zone` becomes the mirrored handle so the drag continues
    // with the edge under the pointer.
    static bool resizeStep(QRectF &rect, QVector<QRectF> &lines, int &zone,
                           const QPointF &p, const QPointF &lastPos);

    // Whether the selected line (0-based `index`) may follow the pointer to
    // x: it must stay 2 px inside the table and 1 px away from other lines.
    static bool lineDragAllowed(const QRectF &rect, const QVector<QRectF> &lines,
                                int index, qreal x);

    // Scales every edge about the canvas origin.
    static QRectF scaled(const QRectF &r, double factor);

    // Mirrors a zone across the vertical / horizontal axis of the rectangle.
    static int mirrorHorizontally(int zone);
    static int mirrorVertically(int zone);
};

#endif // CANVASGEOMETRY_H
