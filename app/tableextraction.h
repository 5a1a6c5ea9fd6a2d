#ifndef TABLEEXTRACTION_H
#define TABLEEXTRACTION_H

#include "subtext.h"

#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVector>

#include <vector>

// Turns one page's text runs and the drawn table geometry into rows of cells
// and the page's table text. Pure functions without a display, so the main
// window, tests and benchmarks call the same code. Cost is O(n log n) in the
// page's runs plus the size of the output; there is no fixed capacity.
//
// A run is taken when it overlaps the rectangle and sticks out of it by less
// than 10 units on every side. Rows are the vertical extents of the taken
// runs that lie within no other; each run goes to exactly one row, the one
// holding it whose centre is nearest its own (the upper one on a tie). Its
// column is found by its left edge among the lines, each column including
// its left bound; the outermost columns take what lies beyond the
// rectangle's edges. The texts of a cell are joined line by line (by top,
// then by left edge), each followed by a blank.
class TableExtraction
{
public:
    // Table geometry in page units.
    struct Geometry
    {
        QRectF rect;                 // unrounded
        QVector<QRectF> lines;       // whole page units, in canvas order
        // Width or height 0: no table. rect is then (0, 0, 0, 0) and lines
        // one rectangle (0, 0, 0, 0), the empty state of a page.
        bool empty = true;
    };

    struct Result
    {
        QRectF rect;                 // store as the page's rectangle
        QVector<QRectF> lines;       // store as the page's lines
        bool emptyGeometry = true;   // no table drawn: rows empty, columnCount 0
        int columnCount = 0;         // lines + 1 when a table is drawn
        // Rows of cells, top row first; every row holds columnCount cells.
        // Every non-empty cell text ends with a blank. Keep these beside the
        // text: a cell may itself contain "\",\"", so the text alone cannot
        // be split back into cells.
        QVector<QStringList> rows;
        // The page's table text: per row the cells in double quotes joined
        // by ",", each row ended by "\n"; empty without rows.
        QString text;
    };

    // The empty state of one page's entries.
    static Geometry emptyGeometry();

    // Canvas pixels to page units by the zoom factor: the rectangle divided
    // unrounded, the lines truncated to whole units. A rectangle of width or
    // height 0 (or a zoom factor that is not a positive finite number) gives
    // the empty geometry.
    static Geometry toPageUnits(const QRectF &canvasRect, const QVector<QRectF> &canvasLines,
                                float zoomFactor);

    // The table of one page from geometry in page units. A rectangle of
    // width or height 0 gives the empty result.
    static Result extract(const Alltext &page, const QRectF &pageRect,
                          const QVector<QRectF> &pageLines);
    static Result extract(const Alltext &page, const Geometry &geometry);

    // Same, straight from canvas geometry and the zoom factor.
    static Result extractFromCanvas(const Alltext &page, const QRectF &canvasRect,
                                    const QVector<QRectF> &canvasLines, float zoomFactor);

    // The table text of rows of cells.
    static QString tableText(const QVector<QStringList> &rows);

    // Appends a run's text to a cell as the word itself. The converter
    // writes "&", "<" and ">" of a word as "&amp;", "&lt;" and "&gt;" so a
    // text-layer line keeps its end; the runs hold them as read, and these
    // three references are turned back here (any other "&" stays as it is),
    // so "Dick & Peg" is no "Dick &amp; Peg" in the saved table.
    static void appendRunText(QString &cell, const QString &runText);

    // Building blocks, public for tests and benchmarks.

    // The order (indices into `keys`) that the exchange sort "for each a, for
    // each b after a, swap when key[b] < key[a]" leaves, computed in
    // O(n log n). Ties do not keep their input order, so this is no plain
    // stable sort.
    static std::vector<int> exchangeOrder(const std::vector<int> &keys);

    struct Band
    {
        float top;
        float height;
    };
    // Row bands of vertical extents (top, height), given in the sorted-run
    // order: extents of height 0 never form a band, an extent lying within
    // another is dropped (of equal ones the first is kept); the result is
    // ascending by top.
    static std::vector<Band> rowBands(const std::vector<Band> &extents);
};

#endif // TABLEEXTRACTION_H
