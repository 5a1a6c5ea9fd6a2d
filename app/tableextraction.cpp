#include "tableextraction.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

private:
    std::vector<int> tree;
};

// The free slots 0..k-1 of a list being filled: find the (rank+1)-th free
// slot and take it. Sized to a power of two so the search runs without
// bounds checks or unpredictable branches.
class SlotTree
{
public:
    explicit SlotTree(int k)
    {
        size_t m = 1;
        while (m < size_t(k))
            m <<= 1;
        span = m;
        tree.assign(m + 1, 0);
        for (size_t i = 1; i <= m; ++i) {
            const size_t low = i & (~i + 1);
            const size_t from = i - low;
            const size_t to = std::min(i, size_t(k));
            tree[i] = to > from ? int(to - from) : 0;
        }
    }
    int take(int rank)
    {
        size_t pos = 0;
        for (size_t step = span; step > 0; step >>= 1) {
            const size_t next = pos + step;
            const int v = next <= span ? tree[next] : std::numeric_limits<int>::max();
            const bool right = v <= rank;
            pos = right ? next : pos;
            rank -= right ? v : 0;
        }
        for (size_t i = pos + 1; i <= span; i += i & (~i + 1))
            --tree[i];
        return int(pos);
    }

private:
    std::vector<int> tree;
    size_t span = 1;
};

// Stable LSD radix sort by a 64-bit key, 8 bits a pass, skipping passes in
// which every key has the same digit: a few linear passes for the keys met
// here, where a comparison sort was the bulk of an extraction.
template <typename T, typename KeyFn>
void radixSortStable(std::vector<T> &items, KeyFn key)
{
    const size_t n = items.size();
    if (n < 2)
        return;
    if (n < 48) {
        std::stable_sort(items.begin(), items.end(),
                         [&](const T &a, const T &b) { return key(a) < key(b); });
        return;
    }
    std::vector<std::uint64_t> keys(n);
    std::vector<std::uint32_t> counts(8 * 256, 0);
    for (size_t i = 0; i < n; ++i) {
        const std::uint64_t k = key(items[i]);
        keys[i] = k;
        for (int d = 0; d < 8; ++d)
            ++counts[size_t(d) * 256 + ((k >> (8 * d)) & 0xFF)];
    }
    std::vector<T> tmpItems(n);
    std::vector<std::uint64_t> tmpKeys(n);
    for (int d = 0; d < 8; ++d) {
        std::uint32_t *count = &counts[size_t(d) * 256];
        if (count[(keys[0] >> (8 * d)) & 0xFF] == n)
            continue;
        std::uint32_t sum = 0;
        for (int b = 0; b < 256; ++b) {
            const std::uint32_t c = count[b];
            count[b] = sum;
            sum += c;
        }
        for (size_t i = 0; i < n; ++i) {
            const size_t to = count[(keys[i] >> (8 * d)) & 0xFF]++;
            tmpItems[to] = std::move(items[i]);
            tmpKeys[to] = keys[i];
        }
        items.swap(tmpItems);
        keys.swap(tmpKeys);
    }
}

// Float to an unsigned key of the same order (both zeros alike).
std::uint32_t orderKey(float f)
{
    if (f == 0)
        f = 0;
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

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

// Extents of height 0 are no candidates. Without negative heights, "lies
// within" is containment of the intervals [top, top + height], so the pass
// keeps exactly the maximal intervals, the first of equal ones: sorted by
// top ascending, end descending, position ascending, an interval survives
// when it reaches further down than every interval before it; one that does
// not lies within the last survivor, its holder.
std::vector<TableExtraction::Band> maximalBands(const std::vector<TableExtraction::Band> &extents,
                                                std::vector<int> *holders)
{
    if (holders)
        holders->assign(extents.size(), -1);
    for (const auto &e : extents)
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
    // Candidates are in position order and the sort is stable.
    radixSortStable(c, [](const Candidate &x) {
        return (std::uint64_t(orderKey(x.top)) << 32) | std::uint32_t(~orderKey(x.end));
    });
    std::vector<TableExtraction::Band> bands;
    float reach = 0;
    for (const Candidate &x : c) {
        if (bands.empty() || x.end > reach) {
            bands.push_back(extents[size_t(x.index)]);
            reach = x.end;
        }
        if (holders)
            (*holders)[size_t(x.index)] = int(bands.size()) - 1;
    }
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

// Rows of cells from the selected runs (indices into runs, in page order,
// with their left edges). With exactTies false, runs of one left edge keep
// page order; tiesSeen then reports whether that order showed anywhere.
QVector<QStringList> assembleRows(const QVector<Subtext> &runs, const std::vector<int> &selected,
                                  const std::vector<int> &lefts, const std::vector<float> &lineXs,
                                  int columnCount, bool exactTies, bool *tiesSeen)
{
    QVector<QStringList> rows;
    std::vector<int> order;
    if (exactTies) {
        order = TableExtraction::exchangeOrder(lefts);
    } else {
        order.resize(lefts.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = int(i);
        radixSortStable(order, [&](int i) {
            return std::uint64_t(std::uint32_t(lefts[size_t(i)]) ^ 0x80000000u);
        });
    }
    std::vector<int> sorted(order.size());
    std::vector<TableExtraction::Band> extents(order.size());
    bool ordinaryHeights = true;
    for (size_t k = 0; k < order.size(); ++k) {
        sorted[k] = selected[size_t(order[k])];
        const Subtext &s = runs.at(sorted[k]);
        extents[k] = TableExtraction::Band{float(s.y), float(s.height)};
        if (s.height < 0)
            ordinaryHeights = false;
    }
    std::vector<int> holders;
    const std::vector<TableExtraction::Band> bands = maximalBands(extents, &holders);

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
        const auto holds = [&](size_t r) {
            return bands[r].top <= runTop && runEnd <= bandEnds[r];
        };
        const size_t holder = size_t(holders[k]);
        if (monotone && holders[k] >= 0 && holds(holder)) {
            // Centres ascend with the bands, so from a band holding the run
            // the nearest one lies in the direction of the run's centre;
            // usually no neighbour holds the run at all.
            size_t j = holder;
            int steps = 0;
            if (bandCentres[j] < centre) {
                while (j + 1 < bands.size() && holds(j + 1)
                       && bandCentres[j + 1] - centre < centre - bandCentres[j] && steps < 8) {
                    ++j;
                    ++steps;
                }
            } else {
                while (j > 0 && holds(j - 1)
                       && centre - bandCentres[j - 1] <= bandCentres[j] - centre && steps < 8) {
                    --j;
                    ++steps;
                }
            }
            if (steps < 8)
                row = int(j);
        }
        if (row < 0 && monotone) {
            const size_t hi = size_t(std::upper_bound(
                                  bands.begin(), bands.end(), runTop,
                                  [](float v, const TableExtraction::Band &b) { return v < b.top; })
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
        } else if (row < 0) {
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
    // Cells in row-major order, runs of a cell in left-edge order (stable),
    // then each cell holding several runs by extent, so that the lines come
    // out the same whatever the order of equal left edges.
    radixSortStable(placed, [](const Placed &p) {
        return (std::uint64_t(std::uint32_t(p.row)) << 32) | std::uint32_t(p.column);
    });
    for (size_t b = 0; b < placed.size();) {
        size_t e = b + 1;
        while (e < placed.size() && placed[e].row == placed[b].row
               && placed[e].column == placed[b].column)
            ++e;
        if (e - b > 1)
            std::stable_sort(placed.begin() + long(b), placed.begin() + long(e),
                             [](const Placed &x, const Placed &y) {
                                 return x.top != y.top ? x.top < y.top : x.bottom < y.bottom;
                             });
        b = e;
    }

    rows.resize(int(bands.size()));
    for (QStringList &row : rows) {
        row.reserve(columnCount);
        for (int c = 0; c < columnCount; ++c)
            row.append(QString());
    }

    std::vector<Placed> line;
    auto flushLine = [&](QString &cell) {
        std::sort(line.begin(), line.end(),
                  [](const Placed &a, const Placed &b) { return a.order < b.order; });
        if (tiesSeen) {
            for (size_t j = 1; j < line.size(); ++j)
                if (runs.at(line[j].run).x == runs.at(line[j - 1].run).x)
                    *tiesSeen = true;
        }
        for (const Placed &p : line) {
            TableExtraction::appendRunText(cell, runs.at(p.run).text);
            cell += QLatin1Char(' ');
        }
        line.clear();
    };
    size_t i = 0;
    while (i < placed.size()) {
        const int row = placed[i].row, column = placed[i].column;
        QString &cell = rows[row][column];
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

    return rows;
}

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

    // Runs by left edge. Ties keep the order the table has always used,
    // which only shows where runs with one left edge share a line of a cell,
    // where float sums of huge coordinates round, or with negative heights
    // (no parser gives those): try the cheap stable order first and redo
    // with the exact one only then.
    bool tiesMatter = false;
    for (int i : selected) {
        const Subtext &s = runs.at(i);
        if (s.height < 0
            || std::llabs(qint64(s.y)) + std::llabs(qint64(s.height)) >= (qint64(1) << 24))
            tiesMatter = true;
    }
    if (!tiesMatter)
        result.rows = assembleRows(runs, selected, lefts, lineXs, result.columnCount, false,
                                   &tiesMatter);
    if (tiesMatter)
        result.rows = assembleRows(runs, selected, lefts, lineXs, result.columnCount, true,
                                   nullptr);
    result.text = tableText(result.rows);
    return result;
}

void TableExtraction::appendRunText(QString &cell, const QString &runText)
{
    const int first = runText.indexOf(QLatin1Char('&'));
    if (first < 0) {
        cell += runText;
        return;
    }
    cell += QStringView(runText).left(first);
    const QStringView rest = QStringView(runText).mid(first);
    for (qsizetype i = 0; i < rest.size();) {
        if (rest[i] == QLatin1Char('&')) {
            const QStringView tail = rest.mid(i);
            if (tail.startsWith(QLatin1String("&amp;"))) {
                cell += QLatin1Char('&');
                i += 5;
                continue;
            }
            if (tail.startsWith(QLatin1String("&lt;"))) {
                cell += QLatin1Char('<');
                i += 4;
                continue;
            }
            if (tail.startsWith(QLatin1String("&gt;"))) {
                cell += QLatin1Char('>');
                i += 4;
                continue;
            }
        }
        cell += rest[i];
        ++i;
    }
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
    // (key, position) pairs ascending; the stable sort keeps positions in order.
    std::vector<std::uint64_t> byKey(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const std::uint32_t biased = std::uint32_t(keys[size_t(i)]) ^ 0x80000000u;
        byKey[size_t(i)] = (std::uint64_t(biased) << 32) | std::uint32_t(i);
    }
    radixSortStable(byKey, [](std::uint64_t v) { return v >> 32; });

    // Rank of each position's key among the distinct keys, and where each
    // group of equal keys starts in byKey.
    std::vector<int> rank(size_t(n), 0);
    std::vector<int> groupStart;
    for (int i = 0; i < n; ++i) {
        if (i == 0 || (byKey[size_t(i)] >> 32) != (byKey[size_t(i) - 1] >> 32))
            groupStart.push_back(i);
        rank[size_t(byKey[size_t(i)] & 0xFFFFFFFFu)] = int(groupStart.size()) - 1;
    }
    groupStart.push_back(n);
    const int groups = int(groupStart.size()) - 1;

    // smallerBefore[p]: keys below key[p] at positions before p. A Fenwick
    // tree over the ranks keeps this cheap when few distinct keys repeat.
    std::vector<int> smallerBefore(size_t(n), 0);
    {
        Fenwick seen(groups);
        for (int p = 0; p < n; ++p) {
            smallerBefore[size_t(p)] = seen.prefix(rank[size_t(p)]);
            seen.add(rank[size_t(p)], 1);
        }
    }

    std::vector<int> out;
    out.reserve(size_t(n));
    std::vector<int> inserts, slots;
    for (int g = 0; g < groups; ++g) {
        const int first = groupStart[size_t(g)];
        const int k = groupStart[size_t(g) + 1] - first;
        auto member = [&](int j) { return int(byKey[size_t(first + j)] & 0xFFFFFFFFu); };
        const int smallerTotal = first;   // all keys of lower groups
        if (k == 1 || smallerBefore[size_t(member(0))] == smallerTotal) {
            // No smaller key after the first of the group: it never moves.
            for (int j = 0; j < k; ++j)
                out.push_back(member(j));
            continue;
        }
        // inserts[j]: index at which member j enters the queue's list.
        inserts.assign(size_t(k), 0);
        int front = 0;
        int size = 1;
        int before = smallerBefore[size_t(member(0))];
        for (int j = 1; j < k; ++j) {
            const int now = smallerBefore[size_t(member(j))];
            front = (front + (now - before)) % size;
            before = now;
            inserts[size_t(j)] = front;
            ++front;
            ++size;
        }
        front = (front + (smallerTotal - before)) % size;

        // Replay the insertions backwards: each member takes the free slot
        // of its index.
        SlotTree freeSlots(k);
        slots.assign(size_t(k), 0);
        for (int j = k - 1; j >= 0; --j)
            slots[size_t(freeSlots.take(inserts[size_t(j)]))] = member(j);
        for (int j = 0; j < k; ++j)
            out.push_back(slots[size_t((front + j) % k)]);
    }
    return out;
}

std::vector<TableExtraction::Band> TableExtraction::rowBands(const std::vector<Band> &extents)
{
    return maximalBands(extents, nullptr);
}
