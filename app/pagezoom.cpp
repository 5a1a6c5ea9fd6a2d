#include "pagezoom.h"

namespace PageZoom
{

QSize scaledSize(const QSize &imageSize, float zoom)
{
    const float w = float(imageSize.width()) * zoom;
    const float h = float(imageSize.height()) * zoom;
    return QSize(int(w), int(h));
}

float enlarged(float zoom)
{
    return zoom * enlargeStep;
}

float shrunk(float zoom)
{
    return float(double(zoom) * shrinkStep);
}

bool zoomAllowed(const QSize &imageSize, float zoom)
{
    if (imageSize.isEmpty())
        return false;
    // Compare before truncating to int so a huge factor cannot overflow.
    const double w = double(imageSize.width()) * double(zoom);
    const double h = double(imageSize.height()) * double(zoom);
    return w >= minSide && h >= minSide && w <= maxSide && h <= maxSide;
}

float fittingZoom(const QSize &imageSize, float zoom)
{
    if (imageSize.isEmpty() || zoomAllowed(imageSize, zoom))
        return zoom;
    if (zoomAllowed(imageSize, 1.0f))
        return 1.0f;
    const int longest = qMax(imageSize.width(), imageSize.height());
    const int shortest = qMin(imageSize.width(), imageSize.height());
    if (longest > maxSide)
        return float(maxSide) / float(longest);
    return float(minSide) / float(shortest);
}

QRectF rectToCanvas(const QRectF &pageRect, float zoom)
{
    const double z = zoom;
    const double x = pageRect.x(), y = pageRect.y();
    const double w = pageRect.width(), h = pageRect.height();
    return QRectF(x * z, y * z, (x + w) * z - x * z, (y + h) * z - y * z);
}

QVector<QRectF> linesToCanvas(const QVector<QRectF> &pageLines, float zoom)
{
    const double z = zoom;
    QVector<QRectF> out;
    out.reserve(pageLines.size());
    for (const QRectF &l : pageLines) {
        const int x = int(l.x() * z);
        const int y = int(l.y() * z);
        const int r = int((l.x() + l.width()) * z);
        const int b = int((l.y() + l.height()) * z);
        out.append(QRectF(x, y, r - x, b - y));
    }
    return out;
}

} // namespace PageZoom
