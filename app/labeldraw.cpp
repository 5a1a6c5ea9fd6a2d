#include "labeldraw.h"

#include "canvasgeometry.h"

#include <QColor>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QStyle>
#include <QStyleOptionFocusRect>

labeldraw::labeldraw(QWidget *parent)
    : QLabel(parent)
{
    setBackgroundRole(QPalette::Window);
    // The page image is the Window brush; let it be painted under our shapes.
    setAutoFillBackground(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::StrongFocus);
    // Hover feedback (cursors, which handle is under the pointer) needs moves
    // without a pressed button.
    setMouseTracking(true);
}

labeldraw::~labeldraw() = default;

QRectF labeldraw::returnRec() const
{
    return rect;
}

QVector<QRectF> labeldraw::returnLine() const
{
    return lines;
}

bool labeldraw::isEmptyTable(const QRectF &rectangle)
{
    return rectangle.width() == 0.0 || rectangle.height() == 0.0;
}

void labeldraw::drawrectandline(QRectF rectangle, QVector<QRectF> columnLines)
{
    updateRubberBandRegion();
    drawing = false;
    // Stored geometry from any source is kept normalised, like our own edits.
    rect = rectangle.normalized();
    removed = false;
    updateResizeRec();
    lines = columnLines;
    updateRubberBandRegion();
}

bool labeldraw::isEditableSize(const QRectF &rectangle)
{
    return !(rectangle.width() <= 5 && rectangle.height() <= 5);
}

void labeldraw::showPageTable(const QRectF &rectangle, const QVector<QRectF> &columnLines,
                              bool lineTool)
{
    // No edit of the page shown before goes on into this one.
    drawing = moving = resizing = false;
    lineFromTop = lineFromBottom = lineValid = lineSelected = false;
    overEdge = overLine = false;
    selectedLine = 0;
    hoverZone = CanvasGeometry::Outside;
    if (isEmptyTable(rectangle)) {
        // The removed state, without the signal of a removal by the user.
        removed = true;
        updateRubberBandRegion();
        update();
        return;
    }
    drawrectandline(rectangle, columnLines);
    hasRect = isEditableSize(rect);
    mode = hasRect && lineTool ? 2 : 1;
    updateBoundarea();
}

void labeldraw::updateResizeRec()
{
    handles = CanvasGeometry::handlesFor(rect);
}

void labeldraw::updateBoundarea()
{
    topStrip = CanvasGeometry::topStripFor(rect);
    bottomStrip = CanvasGeometry::bottomStripFor(rect);
}

void labeldraw::updateRecarea()
{
    rect = CanvasGeometry::normalisedBand(band);
}

void labeldraw::updateRubberBandRegion()
{
    if (removed) {
        // A removed table leaves the canvas in the rectangle tool, empty.
        mode = 1;
        lines.clear();
        handles.clear();
        rect = QRectF(0, 0, 0, 0);
        hasRect = false;
        return;
    }
    update();
}

void labeldraw::drawrect()
{
    mode = 1;
}

void labeldraw::drawline()
{
    mode = 2;
}

void labeldraw::delline()
{
    if (selectedLine <= 0 || selectedLine > lines.size())
        return;
    updateRubberBandRegion();
    lines.remove(selectedLine - 1);
    updateRubberBandRegion();
    selectedLine = 0;
    updateRubberBandRegion();
    emit updateRecandLine();
}

void labeldraw::delrec()
{
    updateRubberBandRegion();
    removed = true;
    updateRubberBandRegion();
    emit updateRecandLine();
}

void labeldraw::zoomin()
{
    scaleBy(1.25);
}

void labeldraw::zoomout()
{
    scaleBy(0.8);
}

void labeldraw::scaleBy(double factor)
{
    updateRubberBandRegion();
    rect = CanvasGeometry::scaled(rect, factor);
    for (QRectF &line : lines)
        line = CanvasGeometry::scaled(line, factor);
    updateResizeRec();
    updateBoundarea();
    updateRubberBandRegion();
}

void labeldraw::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPointF p(event->pos());

    if (!hasRect) {
        if (mode == 1) {
            removed = false;
            drawing = true;
            band = QRectF(p, p);
            updateRubberBandRegion();
            setCursor(Qt::CrossCursor);
        }
        return;
    }

    lastPos = p;
    updateBoundarea();

    if (overLine) {
        const int hit = CanvasGeometry::lineAt(lines, p);
        if (hit >= 0) {
            updateRubberBandRegion();
            setCursor(Qt::SplitHCursor);
            selectedLine = hit + 1;
            lineSelected = true;
            updateRubberBandRegion();
            return;
        }
        lineSelected = false;
        selectedLine = 0;
    } else {
        selectedLine = 0;
    }

    if (overEdge && mode == 2) {
        if (topStrip.contains(p)) {
            lineFromTop = true;
            lineFromBottom = false;
            lineX = float(p.x());
            return;
        }
        if (bottomStrip.contains(p)) {
            lineFromTop = false;
            lineFromBottom = true;
            lineX = float(p.x());
            return;
        }
    }

    if (CanvasGeometry::handleAt(handles, p) >= 0) {
        resizing = true;
        return;
    }
    resizing = false;
    moving = rect.contains(p);
}

void labeldraw::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF p(event->pos());

    if (drawing) {
        // A new rectangle starts a new table: old column lines go.
        lines.clear();
        updateRubberBandRegion();
        band.setBottomRight(p);
        updateRecarea();
        updateResizeRec();
        updateRubberBandRegion();
        return;
    }

    updateBoundarea();

    if (moving) {
        updateRubberBandRegion();
        const QPointF d = p - lastPos;
        rect.translate(d);
        for (QRectF &line : lines)
            line.translate(d);
        lastPos = p;
        updateResizeRec();
        updateRubberBandRegion();
        return;
    }

    if (resizing) {
        updateRubberBandRegion();
        const int zoneBefore = hoverZone;
        if (CanvasGeometry::resizeStep(rect, lines, hoverZone, p, lastPos)) {
            lastPos = p;
            updateResizeRec();
            if (hoverZone != zoneBefore)
                setCursor(CanvasGeometry::handleCursor(hoverZone));
            updateRubberBandRegion();
        }
        return;
    }

    if (lineFromTop || lineFromBottom) {
        updateRubberBandRegion();
        setCursor(Qt::CrossCursor);
        // The line counts only when the last step went away from its strip
        // or along it.
        const bool valid = lineFromTop ? p.y() >= lastPos.y() : p.y() <= lastPos.y();
        const qreal T = rect.y();
        if (valid) {
            newLine = QRectF(lineX, T, 0, rect.height());
            lineValid = true;
        } else {
            newLine = QRectF(lineX, T, p.x() - lineX, p.y() - T);
            lineValid = false;
        }
        lastPos = p;
        updateRubberBandRegion();
        return;
    }

    if (lineSelected) {
        const int index = selectedLine - 1;
        if (!CanvasGeometry::lineDragAllowed(rect, lines, index, p.x()))
            return;
        updateRubberBandRegion();
        QRectF &s = lines[index];
        s.moveLeft(s.x() + (p.x() - lastPos.x()));
        updateRubberBandRegion();
        lastPos = p;
        return;
    }

    if (hasRect)
        hover(p);
}

void labeldraw::hover(const QPointF &p)
{
    const int handle = CanvasGeometry::handleAt(handles, p);
    if (handle >= 0) {
        setCursor(CanvasGeometry::handleCursor(handle));
        hoverZone = handle;
        return;
    }
    if (topStrip.contains(p) || bottomStrip.contains(p)) {
        // Shown in either tool; only the line tool starts a line here.
        setCursor(Qt::CrossCursor);
        overEdge = true;
        return;
    }
    overEdge = false;
    if (CanvasGeometry::lineAt(lines, p) >= 0) {
        setCursor(Qt::SplitHCursor);
        overLine = true;
        return;
    }
    overLine = false;
    if (rect.contains(p)) {
        setCursor(Qt::SizeAllCursor);
        hoverZone = CanvasGeometry::Inside;
        return;
    }
    setCursor(Qt::ArrowCursor);
    hoverZone = CanvasGeometry::Outside;
}

void labeldraw::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && drawing) {
        unsetCursor();
        drawing = false;
        // A click or a tiny drag leaves a visible but not editable rectangle.
        hasRect = isEditableSize(rect);
    }
    if ((lineFromTop || lineFromBottom) && lineValid) {
        updateRubberBandRegion();
        lines.append(newLine);
        selectedLine = 0;
        updateRubberBandRegion();
    }
    moving = false;
    resizing = false;
    overEdge = false;
    lineFromTop = false;
    lineFromBottom = false;
    lineValid = false;
    lineSelected = false;
    emit updateRecandLine();
}

void labeldraw::paintEvent(QPaintEvent *event)
{
    if (removed)
        return;
    QPainter painter(this);
    const QColor red(255, 0, 0, 255);
    auto shape = [&painter](const QRectF &r) {
        const QRectF s = r.normalized().adjusted(0, 0, -1, -1);
        painter.drawRects(&s, 1);
    };

    painter.setPen(red);
    shape(rect);
    for (const QRectF &h : handles)
        shape(h);

    if (!drawing) {
        if (lineFromTop || lineFromBottom) {
            painter.setPen(Qt::DotLine);
            shape(newLine);
        }
        for (int i = 0; i < lines.size(); ++i) {
            if (i == selectedLine - 1)
                painter.setPen(Qt::DotLine);
            else
                painter.setPen(red);
            shape(lines.at(i));
        }
        if (lineSelected && selectedLine > 0 && selectedLine <= lines.size()) {
            painter.setPen(Qt::DotLine);
            const QRectF s = lines.at(selectedLine - 1).normalized();
            painter.drawRects(&s, 1);
        }
    }

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.backgroundColor = palette().color(QPalette::Dark);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
    Q_UNUSED(event);
}
