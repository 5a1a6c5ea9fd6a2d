#include "tableextraction.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// Counts over positions 0..n-1; prefix(p) = count at positions below p.
class Fenwick
{
public:
    explicit Fenwick(int n) : tree(size_t(n) + 1, 0) {}
    void add(int pos, int delta)
    {
        for (size_t i = size_t(pos) + 1; i < tree.size(); i += i & (~i + 1))
            tree[i] += delta;
    }
    int prefix(int pos) const
    {
        int sum = 0;
        for (size_t i = size_t(pos); i > 0; i -= i & (~i + 1))
            sum += tree[i];
        return sum;
    }
    // Position of the (rank+1)-th counted position; the counts are 0 or 1.
    int findRank(int rank) const
    {
        size_t pos = 0;
        size_t step = 1;
        while (step * 2 < tree.size())
            step *= 2;
        for (; step > 0; step /= 2) {
            if (pos + step < tree.size() && tree[pos + step] <= rank) {
                pos += step;
                rank -= tree[pos];
            }
        }
        return int(pos);
    }

private:
    std::vector<int> tree;
};

// Division result to a whole page unit: toward zero, clamped to 32 bits so
// absurd zoom factors cannot overflow.
int truncToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(v);
}

bool finite(const QRectF &r)
{
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width())
        && std::isfinite(r.height());
}

// Whether [a, a+len] meets the open span (lo, hi); a degenerate run (length
// 0) counts when it lies inside or on the span's edge.
bool spanMeets(qint64 a, qint64 len, double lo, double hi)
{
    const double s = double(std::min(a, a + len));
    const double e = double(std::max(a, a + len));
    if (s == e)
        return lo <= s && s <= hi;
    return s < hi && e > lo;
}

// The literal nesting pass: kept as the fallback for negative heights, which
// the text-layer parser never produces and for which containment is no
// partial order.
std::vector<TableExtraction::Band> rowBandsQuadratic(std::vector<TableExtraction::Band> ext)
{
    const size_t n = ext.size();
    for (size_t a = 0; a < n; ++a) {
        if (ext[a].height == 0)
            continue;
        for (size_t b = a + 1; b < n; ++b) {
            if (ext[b].height == 0)
                continue;
            const float ya = ext[a].top, ha = ext[a].height;
            const float yb = ext[b].top, hb = ext[b].height;
            if (ya <= yb && yb <= ya + ha && yb + hb <= ya + ha)
                ext[b].height = 0;
            else if (yb <= ya && ya <= yb + hb && ya + ha <= yb + hb)
                ext[a].height = 0;
        }
    }
    std::vector<TableExtraction::Band> bands;
    for (const auto &e : ext)
        if (e.height != 0)
            bands.push_back(e);
    for (size_t a = 0; a < bands.size(); ++a)
        for (size_t b = a + 1; b < bands.size(); ++b)
            if (bands[b].top <= bands[a].top)
                std::swap(bands[a], bands[b]);
    return bands;
}

struct Placed
{
    int row;
    int column;
    int top;
    qint64 bottom;
    int order;   // position in the left-edge order
    int run;     // index into the page's runs
};

} // namespace

TableExtraction::Geometry TableExtraction::emptyGeometry()
{
    Geometry g;
    g.rect = QRectF(0, 0, 0, 0);
    g.lines = QVector<QRectF>{QRectF(0, 0, 0, 0)};
    g.empty = true;
    return g;
}

TableExtraction::Geometry TableExtraction::toPageUnits(const QRectF &canvasRect,
                                                       const QVector<QRectF> &canvasLines,
                                                       float zoomFactor)
{
    const double z = double(zoomFactor);
    if (canvasRect.width() == 0 || canvasRect.height() == 0 || !(z > 0) || !std::isfinite(z))
        return emptyGeometry();

    const double x = canvasRect.x(), y = canvasRect.y();
    const double l = x / z;
    const double t = y / z;
    const double w = (x + canvasRect.width()) / z - l;
    const double h = (y + canvasRect.height()) / z - t;
    Geometry g;
    g.rect = QRectF(l, t, w, h);
    if (!finite(g.rect) || w == 0 || h == 0)
        return emptyGeometry();

    g.lines.reserve(canvasLines.size());
    for (const QRectF &line : canvasLines) {
        const qint64 lx = truncToInt(line.x() / z);
        const qint64 ly = truncToInt(line.y() / z);
        const qint64 lw = qint64(truncToInt((line.x() + line.width()) / z)) - lx;
        const qint64 lh = qint64(truncToInt((line.y() + line.height()) / z)) - ly;
        g.lines.append(QRectF(double(lx), double(ly), double(lw), double(lh)));
    }
    g.empty = false;
    return g;
}

TableExtraction::Result TableExtraction::extractFromCanvas(const Alltext &page,
                                                           const QRectF &canvasRect,
                                                           const QVector<QRectF> &canvasLines,
                                                           float zoomFactor)
{
    return extract(page, toPageUnits(canvasRect, canvasLines, zoomFactor));
}

TableExtraction::Result TableExtraction::extract(const Alltext &page, const Geometry &geometry)
{
    if (geometry.empty) {
        const Geometry e = emptyGeometry();
        Result r;
        r.rect = e.rect;
        r.lines = e.lines;
        return r;
    }
    return extract(page, geometry.rect, geometry.lines);
}

TableExtraction::Result TableExtraction::extract(const Alltext &page, const QRectF &pageRect,
                                                 const QVector<QRectF> &pageLines)
{
    Result result;
    if (pageRect.width() == 0 || pageRect.height() == 0 || !finite(pageRect)) {
        const Geometry e = emptyGeometry();
        result.rect = e.rect;
        result.lines = e.lines;
        return result;
    }
    result.rect = pageRect;
    result.lines = pageLines;
    result.emptyGeometry = false;
    result.columnCount = pageLines.size() + 1;

    const double left = pageRect.x(), top = pageRect.y();
    const double right = pageRect.width() + left, bottom = pageRect.height() + top;
    const double spanLeft = std::min(left, right), spanRight = std::max(left, right);
    const double spanTop = std::min(top, bottom), spanBottom = std::max(top, bottom);

    // Inner column bounds, ascending. The outer edges need not be kept:
    // columns are half-open and the outermost ones take whatever lies beyond
    // the rectangle's edges, so no selected run is lost.
    std::vector<float> lineXs;
    lineXs.reserve(size_t(pageLines.size()));
    for (const QRectF &line : pageLines) {
        float v = float(line.x());
        if (std::isnan(v))
            v = -std::numeric_limits<float>::infinity();
        lineXs.push_back(v);
    }
    std::sort(lineXs.begin(), lineXs.end());

    // Selection: within the 10-unit margin, and overlapping the rectangle so
    // that a caption just outside it is not taken for a row.
    const QVector<Subtext> &runs = page.subtext;
    std::vector<int> selected;
    std::vector<int> lefts;
    for (int i = 0; i < runs.size(); ++i) {
        const Subtext &s = runs.at(i);
        const qint64 runRight = qint64(s.x) + s.width;
        const qint64 runBottom = qint64(s.y) + s.height;
        if (!(s.x > left - 10 && s.y > top - 10 && double(runRight) < right + 10
              && double(runBottom) < bottom + 10))
            continue;
        if (!spanMeets(s.x, s.width, spanLeft, spanRight)
            || !spanMeets(s.y, s.height, spanTop, spanBottom))
            continue;
        selected.push_back(i);
        lefts.push_back(s.x);
    }

    // Runs by left edge, ties in the order the table has always used; it
    // decides which copy of equal extents makes a band and the order of
    // runs at one spot of a line.
    const std::vector<int> order = exchangeOrder(lefts);
    std::vector<int> sorted(order.size());
    std::vector<Band> extents(order.size());
    bool ordinaryHeights = true;
    for (size_t k = 0; k < order.size(); ++k) {
        sorted[k] = selected[size_t(order[k])];
        const Subtext &s = runs.at(sorted[k]);
        extents[k] = Band{float(s.y), float(s.height)};
        if (s.height < 0)
            ordinaryHeights = false;
    }
    const std::vector<Band> bands = rowBands(extents);

    std::vector<float> bandEnds(bands.size());
    std::vector<double> bandCentres(bands.size());
    bool monotone = true;
    for (size_t r = 0; r < bands.size(); ++r) {
        bandEnds[r] = bands[r].top + bands[r].height;
        bandCentres[r] = double(bands[r].top) + double(bandEnds[r]);
        if (r > 0 && !(bands[r].top > bands[r - 1].top && bandEnds[r] > bandEnds[r - 1]))
            monotone = false;
    }
    monotone = monotone && ordinaryHeights;

    // Each run goes to exactly one row: of the bands holding it, the one
    // whose centre is nearest its own, the upper one on a tie.
    std::vector<Placed> placed;
    placed.reserve(sorted.size());
    for (size_t k = 0; k < sorted.size(); ++k) {
        const Subtext &s = runs.at(sorted[k]);
        const float runTop = float(s.y);
        const qint64 runBottom = qint64(s.y) + s.height;
        const float runEnd = float(runBottom);
        const double centre = double(runTop) + double(runEnd);
        int row = -1;
        if (monotone) {
            const size_t hi = size_t(std::upper_bound(
                                  bands.begin(), bands.end(), runTop,
                                  [](float v, const Band &b) { return v < b.top; })
                              - bands.begin());
            const size_t lo = size_t(std::lower_bound(bandEnds.begin(), bandEnds.end(), runEnd)
                                     - bandEnds.begin());
            if (lo < hi) {
                size_t j = size_t(std::lower_bound(bandCentres.begin() + long(lo),
                                                   bandCentres.begin() + long(hi), centre)
                                  - bandCentres.begin());
                if (j == hi) {
                    row = int(j - 1);
                } else if (j == lo) {
                    row = int(j);
                } else {
                    const double above = centre - bandCentres[j - 1];
                    const double below = bandCentres[j] - centre;
                    row = int(below < above ? j : j - 1);
                }
            }
        } else {
            double best = 0;
            for (size_t r = 0; r < bands.size(); ++r) {
                if (!(bands[r].top <= runTop && runEnd <= bandEnds[r]))
                    continue;
                const double d = std::fabs(bandCentres[r] - centre);
                if (row < 0 || d < best) {
                    row = int(r);
                    best = d;
                }
            }
        }
        if (row < 0)
            continue;   // a run of height 0 outside every band: in no row
        const int column = int(std::upper_bound(lineXs.begin(), lineXs.end(), float(s.x))
                               - lineXs.begin());
        placed.push_back(Placed{row, column, s.y, runBottom, int(k), sorted[k]});
    }

    // Texts of a cell line by line: by top, then by left edge within a line.
    std::sort(placed.begin(), placed.end(), [](const Placed &a, const Placed &b) {
        if (a.row != b.row)
            return a.row < b.row;
        if (a.column != b.column)
            return a.column < b.column;
        if (a.top != b.top)
            return a.top < b.top;
        return a.order < b.order;
    });

    result.rows.resize(int(bands.size()));
    for (QStringList &row : result.rows) {
        row.reserve(result.columnCount);
        for (int c = 0; c < result.columnCount; ++c)
            row.append(QString());
    }

    std::vector<Placed> line;
    auto flushLine = [&](QString &cell) {
        std::sort(line.begin(), line.end(),
                  [](const Placed &a, const Placed &b) { return a.order < b.order; });
        for (const Placed &p : line) {
            cell += runs.at(p.run).text;
            cell += QLatin1Char(' ');
        }
        line.clear();
    };
    size_t i = 0;
    while (i < placed.size()) {
        const int row = placed[i].row, column = placed[i].column;
        QString &cell = result.rows[row][column];
        qint64 lineTop = 0, lineBottom = 0;
        for (; i < placed.size() && placed[i].row == row && placed[i].column == column; ++i) {
            const Placed &p = placed[i];
            if (!line.empty()) {
                // Same line when the run's centre lies within the line, or
                // the line's centre within the run (a larger first letter, a
                // superscript).
                const qint64 twiceCentre = qint64(p.top) + p.bottom;
                const qint64 twiceLineCentre = lineTop + lineBottom;
                const bool same = (twiceCentre <= 2 * lineBottom)
                    || (2 * qint64(p.top) <= twiceLineCentre && twiceLineCentre <= 2 * p.bottom);
                if (!same)
                    flushLine(cell);
            }
            if (line.empty()) {
                lineTop = p.top;
                lineBottom = p.bottom;
            } else {
                lineBottom = std::min(lineBottom, p.bottom);
            }
            line.push_back(p);
        }
        flushLine(cell);
    }

    result.text = tableText(result.rows);
    return result;
}

QString TableExtraction::tableText(const QVector<QStringList> &rows)
{
    int size = 0;
    for (const QStringList &row : rows) {
        for (const QString &cell : row)
            size += cell.size() + 3;
        size += 1;
    }
    QString text;
    text.reserve(size);
    for (const QStringList &row : rows) {
        for (int c = 0; c < row.size(); ++c) {
            if (c > 0)
                text += QLatin1Char(',');
            text += QLatin1Char('"');
            text += row.at(c);
            text += QLatin1Char('"');
        }
        text += QLatin1Char('\n');
    }
    return text;
}

// The exchange sort moves, in the pass for position a, the chain of strict
// running minima of the rest one step along and the last (the first smallest
// key) to a. Keys below v behave the same with or without the larger keys
// present, so the keys v are ordered by a queue: after the first v, each
// smaller key further on moves the queue's front to its back, and each
// further v joins at the back. The queue's final order is their sorted
// order. Counting the smaller keys between consecutive v's (a Fenwick tree
// over positions) and replaying the queue as insertions at computed indices
// (another Fenwick tree) keeps the whole O(n log n).
std::vector<int> TableExtraction::exchangeOrder(const std::vector<int> &keys)
{
    const int n = int(keys.size());
    std::vector<std::uint64_t> byKey(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const std::uint32_t biased = std::uint32_t(keys[size_t(i)]) ^ 0x80000000u;
        byKey[size_t(i)] = (std::uint64_t(biased) << 32) | std::uint32_t(i);
    }
    std::sort(byKey.begin(), byKey.end());

    std::vector<int> out;
    out.reserve(size_t(n));
    Fenwick smaller(n);
    int smallerCount = 0;
    std::vector<int> group, inserts, slots;
    size_t g = 0;
    while (g < byKey.size()) {
        size_t end = g + 1;
        while (end < byKey.size() && (byKey[end] >> 32) == (byKey[g] >> 32))
            ++end;
        group.clear();
        for (size_t i = g; i < end; ++i)
            group.push_back(int(byKey[i] & 0xFFFFFFFFu));
        const int k = int(group.size());
        if (k == 1) {
            out.push_back(group[0]);
        } else {
            // inserts[j]: index at which group[j] enters the queue's list.
            inserts.assign(size_t(k), 0);
            int front = 0;
            int size = 1;
            int before = smaller.prefix(group[0]);
            for (int j = 1; j < k; ++j) {
                const int now = smaller.prefix(group[size_t(j)]);
                front = int((qint64(front) + (now - before)) % size);
                before = now;
                inserts[size_t(j)] = front;
                ++front;
                ++size;
            }
            front = int((qint64(front) + (smallerCount - before)) % size);

            // Replay the insertions backwards: each element takes the free
            // slot of its index.
            Fenwick freeSlots(k);
            for (int s = 0; s < k; ++s)
                freeSlots.add(s, 1);
            slots.assign(size_t(k), 0);
            for (int j = k - 1; j >= 0; --j) {
                const int slot = freeSlots.findRank(inserts[size_t(j)]);
                freeSlots.add(slot, -1);
                slots[size_t(slot)] = group[size_t(j)];
            }
            for (int s = 0; s < k; ++s)
                out.push_back(slots[size_t((front + s) % k)]);
        }
        for (int p : group)
            smaller.add(p, 1);
        smallerCount += k;
        g = end;
    }
    return out;
}

// Extents of height 0 are no candidates. Without negative heights, "lies
// within" is containment of the intervals [top, top + height], so the pass
// keeps exactly the maximal intervals, the first of equal ones: sorted by
// top ascending, end descending, position ascending, an interval survives
// when it reaches further down than every interval before it.
std::vector<TableExtraction::Band> TableExtraction::rowBands(const std::vector<Band> &extents)
{
    for (const Band &e : extents)
        if (!(e.height >= 0))
            return rowBandsQuadratic(extents);

    struct Candidate
    {
        float top;
        float end;
        int index;
    };
    std::vector<Candidate> c;
    c.reserve(extents.size());
    for (size_t i = 0; i < extents.size(); ++i)
        if (extents[i].height != 0)
            c.push_back(Candidate{extents[i].top, extents[i].top + extents[i].height, int(i)});
    std::sort(c.begin(), c.end(), [](const Candidate &a, const Candidate &b) {
        if (a.top != b.top)
            return a.top < b.top;
        if (a.end != b.end)
            return a.end > b.end;
        return a.index < b.index;
    });
    std::vector<Band> bands;
    bool any = false;
    float reach = 0;
    for (const Candidate &x : c) {
        if (!any || x.end > reach) {
            bands.push_back(extents[size_t(x.index)]);
            reach = x.end;
            any = true;
        }
    }
    return bands;
}
