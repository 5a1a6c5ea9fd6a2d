#ifndef LABELDRAW_H
#define LABELDRAW_H

#include <QLabel>
#include <QPointF>
#include <QRectF>
#include <QVector>

class QMouseEvent;
class QPaintEvent;

// The page canvas: the user draws one table rectangle and vertical column
// lines on it. Everything here is in canvas pixels (page units times the main
// window's zoom factor); the page image itself is the palette's Window brush,
// set by the main window. The geometry arithmetic lives in CanvasGeometry so
// it can be checked without a display; this class holds the editing state.
class labeldraw : public QLabel
{
    Q_OBJECT

public:
    explicit labeldraw(QWidget *parent = nullptr);
    ~labeldraw() override;

    // Geometry handed to the main window after every edit.
    QRectF returnRec() const;
    QVector<QRectF> returnLine() const;

    // Puts stored geometry on the canvas without making it editable; emits
    // nothing.
    void drawrectandline(QRectF rectangle, QVector<QRectF> columnLines);

    // What a page change does with a page's stored geometry (already in
    // canvas pixels): the canvas is left exactly as if the user had just
    // drawn it. A table can be moved, resized and given or cleared of lines
    // at once, in the line tool when `lineTool`, else in the rectangle tool;
    // a rectangle no larger than 5 x 5 px stays visible but not editable;
    // an empty rectangle leaves the canvas cleared in the rectangle tool,
    // ready for a new table. Emits nothing: nothing was edited.
    void showPageTable(const QRectF &rectangle, const QVector<QRectF> &columnLines, bool lineTool);

    // A rectangle is "no table" only when its width or its height is 0; a
    // table may well start at x 0.
    static bool isEmptyTable(const QRectF &rectangle);
    // A drawn rectangle becomes editable once one of its sides exceeds 5 px.
    static bool isEditableSize(const QRectF &rectangle);

    // Recompute derived geometry from rect / band (see CanvasGeometry).
    void updateResizeRec();
    void updateBoundarea();
    void updateRecarea();
    // The canvas's one repaint request; after delrec() it resets the geometry
    // instead.
    void updateRubberBandRegion();

    // Editing state, public so tests can see every step of an edit.
    bool drawing = false;          // a new rectangle is being drawn
    QRectF band;                   // press point to pointer, not normalised
    QRectF rect;                   // the table rectangle, always normalised
    bool hasRect = false;          // rect can be moved, resized, given lines
    bool moving = false;           // rect and lines are being dragged
    bool resizing = false;         // rect is being resized from hoverZone
    int mode = 0;                  // 0 no tool, 1 rectangle, 2 column line
    bool lineFromTop = false;      // a line is being drawn from the top strip
    bool lineFromBottom = false;   // ... from the bottom strip
    bool overEdge = false;         // pointer last seen over an edge strip
    float lineX = 0.0f;            // x of the press starting the new line
    bool lineValid = false;        // the previewed line is appended at release
    bool lineSelected = false;     // a pressed line is being dragged
    bool overLine = false;         // pointer last seen over a line
    int selectedLine = 0;          // 1-based index into lines, 0 = none
    bool removed = false;          // table removed; next repaint request resets
    QPointF lastPos;               // last press or accepted move step
    QVector<QRectF> handles;       // eight resize handles, index = zone 0-7
    QRectF topStrip;               // band along the top edge that starts lines
    QRectF bottomStrip;            // band along the bottom edge
    QVector<QRectF> lines;         // column lines (width 0), insertion order
    QRectF newLine;                // preview of the line being drawn
    int hoverZone = 9;             // 0-7 handle, 8 inside, 9 outside

signals:
    void updateRecandLine();

public slots:
    void drawrect();
    void drawline();
    void delline();
    void delrec();
    void zoomin();
    void zoomout();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void scaleBy(double factor);
    void hover(const QPointF &p);
};

#endif // LABELDRAW_H
