#ifndef PAGEZOOM_H
#define PAGEZOOM_H

#include <QRectF>
#include <QSize>
#include <QVector>

// Conversions between page units and canvas pixels (page units times the
// zoom factor), and the bounds of a zoom step.
namespace PageZoom
{
constexpr float enlargeStep = 1.25f;
constexpr double shrinkStep = 0.8;
// A scaled page image must stay within these pixels on each side.
constexpr int minSide = 16;
constexpr int maxSide = 16384;

// The page image's size at `zoom`: each side times the factor in single
// precision, truncated.
QSize scaledSize(const QSize &imageSize, float zoom);

// The factor after one enlarging / shrinking step.
float enlarged(float zoom);
float shrunk(float zoom);

// Whether a page image of `imageSize` may be shown at `zoom`: both sides
// between minSide and maxSide. An unknown (empty) size allows nothing.
bool zoomAllowed(const QSize &imageSize, float zoom);

// `zoom` when a page image of `imageSize` may be shown at it; otherwise 1.0
// when that fits, else the largest factor that fits.
float fittingZoom(const QSize &imageSize, float zoom);

// Stored table rectangle (page units) on the canvas: scaled, not rounded.
QRectF rectToCanvas(const QRectF &pageRect, float zoom);
// Stored column lines on the canvas: scaled and truncated to whole pixels.
QVector<QRectF> linesToCanvas(const QVector<QRectF> &pageLines, float zoom);
}

#endif
