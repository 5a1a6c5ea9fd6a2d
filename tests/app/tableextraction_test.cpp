#include "tableextraction.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

namespace {

Subtext run(const QString &text, int x, int y, int w, int h)
{
    Subtext s;
    s.x = x;
    s.y = y;
    s.width = w;
    s.height = h;
    s.text = text;
    return s;
}

Alltext page(const QVector<Subtext> &runs)
{
    Alltext a;
    a.subtext = runs;
    a.count = runs.size();
    return a;
}

// The table as it has always been computed, step by step with its quadratic
// sorts and without the corrections (a run may land in several rows or in no
// column). The fast code must agree with it wherever those corrections do
// not apply.
std::vector<int> literalExchangeOrder(const std::vector<int> &keys)
{
    std::vector<int> idx(keys.size());
    for (size_t i = 0; i < idx.size(); ++i)
        idx[i] = int(i);
    for (size_t a = 0; a < idx.size(); ++a)
        for (size_t b = a + 1; b < idx.size(); ++b)
            if (keys[size_t(idx[b])] < keys[size_t(idx[a])])
                std::swap(idx[a], idx[b]);
    return idx;
}

std::vector<TableExtraction::Band> literalBands(std::vector<TableExtraction::Band> e)
{
    for (size_t a = 0; a < e.size(); ++a) {
        if (e[a].height == 0)
            continue;
        for (size_t b = a + 1; b < e.size(); ++b) {
            if (e[b].height == 0)
                continue;
            if (e[a].top <= e[b].top && e[b].top <= e[a].top + e[a].height
                && e[b].top + e[b].height <= e[a].top + e[a].height)
                e[b].height = 0;
            else if (e[b].top <= e[a].top && e[a].top <= e[b].top + e[b].height
                     && e[a].top + e[a].height <= e[b].top + e[b].height)
                e[a].height = 0;
        }
    }
    std::vector<TableExtraction::Band> bands;
    for (const auto &x : e)
        if (x.height != 0)
            bands.push_back(x);
    for (size_t a = 0; a < bands.size(); ++a)
        for (size_t b = a + 1; b < bands.size(); ++b)
            if (bands[b].top <= bands[a].top)
                std::swap(bands[a], bands[b]);
    return bands;
}

struct LiteralTable
{
    QVector<QStringList> rows;
    QString text;
};

LiteralTable literalExtract(const Alltext &pg, const QRectF &rect, const QVector<QRectF> &lines)
{
    const double l = rect.x(), t = rect.y(), r = rect.width() + l, b = rect.height() + t;
    QVector<Subtext> sel;
    for (const Subtext &s : pg.subtext)
        if (s.x > l - 10 && s.y > t - 10 && s.x + s.width < r + 10 && s.y + s.height < b + 10)
            sel.append(s);
    for (int a = 0; a < sel.size(); ++a)
        for (int c = a + 1; c < sel.size(); ++c)
            if (sel[c].x < sel[a].x)
                std::swap(sel[a], sel[c]);
    std::vector<TableExtraction::Band> ext;
    for (const Subtext &s : sel)
        ext.push_back({float(s.y), float(s.height)});
    const auto bands = literalBands(ext);
    std::vector<float> xs;
    for (const QRectF &line : lines)
        xs.push_back(float(int(line.x())));
    for (size_t a = 0; a < xs.size(); ++a)
        for (size_t c = a + 1; c < xs.size(); ++c)
            if (xs[c] <= xs[a])
                std::swap(xs[a], xs[c]);
    QVector<float> bounds{float(l)};
    for (float x : xs)
        bounds.append(x);
    bounds.append(float(r));
    const int columns = bounds.size() - 1;
    LiteralTable out;
    out.rows.resize(int(bands.size()));
    for (QStringList &row : out.rows)
        for (int c = 0; c < columns; ++c)
            row.append(QString());
    for (const Subtext &s : sel)
        for (size_t band = 0; band < bands.size(); ++band)
            for (int c = 0; c < columns; ++c) {
                const float x = float(s.x);
                if (bounds[c] < x && x < bounds[c + 1] && bands[band].top <= float(s.y)
                    && float(s.y + s.height) <= bands[band].top + bands[band].height)
                    out.rows[int(band)][c] += s.text + QLatin1Char(' ');
            }
    for (const QStringList &row : out.rows) {
        QStringList quoted;
        for (const QString &cell : row)
            quoted.append(QLatin1Char('"') + cell + QLatin1Char('"'));
        out.text += quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return out;
}

QVector<QStringList> rows(std::initializer_list<QStringList> r)
{
    return QVector<QStringList>(r);
}

} // namespace

class TableExtractionTest : public QObject
{
    Q_OBJECT

private slots:
    void workedExample();
    void emptyRectangleGivesTheEmptyState();
    void noRunsGivesColumnsButNoRows();
    void selectionMargin();
    void captionOutsideTheRectangleIsNotSelected();
    void runsOnBoundsLandInExactlyOneColumn();
    void linesOutsideTheRectangleAndDoubleLines();
    void nestedExtentsMakeOneBand();
    void runWithinTwoBandsAppearsOnce();
    void tallBoxKeepsLineOrderInACell();
    void tiesInTheSortDecideTheJoinOrder();
    void heightZeroRuns();
    void quotesAndSeparatorsStayInsideTheirCell();
    void converterReferencesBecomeTheCharacters();
    void zoomFactors();
    void noFixedCapacity();
    void exchangeOrderMatchesTheQuadraticSort();
    void rowBandsMatchTheQuadraticPass();
    void ordinaryTablesMatchTheStepByStepExtraction();
    void everyRunLandsInItsNearestBand();
    void hostileInputsGiveConsistentResults();
};

void TableExtractionTest::workedExample()
{
    const Alltext p = page({run("Name", 100, 50, 40, 10), run("Age", 200, 50, 30, 10),
                            run("Bob", 100, 70, 40, 12), run("42", 200, 72, 20, 8)});
    const auto r = TableExtraction::extractFromCanvas(p, QRectF(90, 40, 210, 60),
                                                      {QRectF(180, 40, 0, 60)}, 1.0f);
    QVERIFY(!r.emptyGeometry);
    QCOMPARE(r.rect, QRectF(90, 40, 210, 60));
    QCOMPARE(r.lines, QVector<QRectF>{QRectF(180, 40, 0, 60)});
    QCOMPARE(r.columnCount, 2);
    QCOMPARE(r.rows, rows({{"Name ", "Age "}, {"Bob ", "42 "}}));
    QCOMPARE(r.text, QString("\"Name \",\"Age \"\n\"Bob \",\"42 \"\n"));
    QCOMPARE(TableExtraction::tableText(r.rows), r.text);
}

void TableExtractionTest::emptyRectangleGivesTheEmptyState()
{
    const Alltext p = page({run("Name", 100, 50, 40, 10)});
    for (const QRectF &rect : {QRectF(90, 40, 0, 60), QRectF(90, 40, 210, 0), QRectF()}) {
        const auto r = TableExtraction::extractFromCanvas(p, rect, {QRectF(180, 40, 0, 60)}, 1.0f);
        QVERIFY(r.emptyGeometry);
        QCOMPARE(r.rect, QRectF(0, 0, 0, 0));
        QCOMPARE(r.lines, QVector<QRectF>{QRectF(0, 0, 0, 0)});
        QVERIFY(r.rows.isEmpty());
        QVERIFY(r.text.isEmpty());
    }
    const auto g = TableExtraction::toPageUnits(QRectF(10, 10, 50, 50), {}, 0.0f);
    QVERIFY(g.empty);
}

void TableExtractionTest::noRunsGivesColumnsButNoRows()
{
    const auto r = TableExtraction::extract(page({}), QRectF(90, 40, 210, 60),
                                            {QRectF(150, 40, 0, 60), QRectF(200, 40, 0, 60)});
    QVERIFY(!r.emptyGeometry);
    QCOMPARE(r.columnCount, 3);
    QVERIFY(r.rows.isEmpty());
    QCOMPARE(r.text, QString());

    // Runs elsewhere on the page change nothing.
    const auto r2 = TableExtraction::extract(page({run("far", 500, 500, 20, 10)}),
                                             QRectF(90, 40, 210, 60), {});
    QVERIFY(r2.rows.isEmpty());
    QCOMPARE(r2.columnCount, 1);
}

void TableExtractionTest::selectionMargin()
{
    // Rectangle 90..300 x 40..100. Runs overlapping it may stick out by less
    // than 10 units on any side.
    const QRectF rect(90, 40, 210, 60);
    const Alltext p = page({
        run("inTop", 100, 31, 20, 15),     // top 31 > 30: taken
        run("outTop", 130, 30, 20, 15),    // top 30: not taken
        run("inLeft", 81, 60, 20, 10),     // left 81 > 80: taken, first column
        run("outLeft", 80, 75, 30, 10),    // left 80: not taken
        run("inRight", 280, 80, 29, 5),    // right 309 < 310
        run("outRight", 280, 86, 30, 5),   // right 310
        run("inBottom", 150, 90, 10, 19),  // bottom 109 < 110
        run("outBottom", 200, 90, 10, 20), // bottom 110
    });
    const auto r = TableExtraction::extract(p, rect, {});
    const QString all = r.text;
    for (const char *name : {"inTop", "inLeft", "inRight", "inBottom"})
        QVERIFY2(all.contains(QLatin1String(name)), name);
    for (const char *name : {"outTop", "outLeft", "outRight", "outBottom"})
        QVERIFY2(!all.contains(QLatin1String(name)), name);
}

void TableExtractionTest::captionOutsideTheRectangleIsNotSelected()
{
    // The caption ends above the rectangle, within the margin; the header
    // row overlaps the top edge a little.
    const Alltext p = page({run("Table", 100, 32, 40, 7), run("1:", 150, 32, 20, 7),
                            run("Name", 100, 38, 40, 10), run("Age", 200, 38, 30, 10),
                            run("Bob", 100, 70, 40, 12), run("right", 301, 70, 5, 10),
                            run("below", 100, 101, 40, 5)});
    const auto r = TableExtraction::extract(p, QRectF(90, 40, 210, 60), {QRectF(180, 40, 0, 60)});
    QCOMPARE(r.rows, rows({{"Name ", "Age "}, {"Bob ", ""}}));
}

void TableExtractionTest::runsOnBoundsLandInExactlyOneColumn()
{
    // Left edges on the rectangle's left edge, on a line, and inside the
    // margin left of the rectangle: each in exactly one column (half-open
    // columns, the outermost taking what lies beyond the edges).
    const Alltext p = page({run("onLeft", 90, 50, 30, 10), run("onLine", 180, 50, 30, 10),
                            run("margin", 85, 70, 30, 10), run("inside", 181, 70, 30, 10),
                            run("beforeLine", 179, 85, 5, 10)});
    const auto r = TableExtraction::extract(p, QRectF(90, 40, 210, 60), {QRectF(180, 40, 0, 60)});
    QCOMPARE(r.rows, rows({{"onLeft ", "onLine "}, {"margin ", "inside "}, {"beforeLine ", ""}}));
}

void TableExtractionTest::linesOutsideTheRectangleAndDoubleLines()
{
    const Alltext p = page({run("a", 100, 50, 20, 10), run("b", 200, 50, 20, 10),
                            run("c", 150, 50, 20, 10)});
    // One line left of the rectangle, one right of it: three columns, the
    // runs in the middle one, as the sorted bounds give.
    const auto outside = TableExtraction::extract(p, QRectF(90, 40, 210, 60),
                                                  {QRectF(350, 40, 0, 60), QRectF(50, 40, 0, 60)});
    QCOMPARE(outside.columnCount, 3);
    QCOMPARE(outside.rows, rows({{"", "a c b ", ""}}));

    // Two lines at one position: an always empty column between them.
    const auto twice = TableExtraction::extract(p, QRectF(90, 40, 210, 60),
                                                {QRectF(150, 40, 0, 60), QRectF(150, 40, 0, 60)});
    QCOMPARE(twice.columnCount, 3);
    QCOMPARE(twice.rows, rows({{"a ", "", "c b "}}));
    QCOMPARE(twice.text, QString("\"a \",\"\",\"c b \"\n"));
}

void TableExtractionTest::nestedExtentsMakeOneBand()
{
    // A tall run holds two shorter ones; two runs with the same extent make
    // one band; the separate run below makes its own.
    const Alltext p = page({run("x", 200, 52, 20, 6), run("tall", 100, 50, 40, 20),
                            run("y", 250, 60, 20, 8), run("p", 100, 80, 20, 10),
                            run("q", 200, 80, 20, 10)});
    const auto r = TableExtraction::extract(p, QRectF(90, 40, 210, 60), {QRectF(180, 40, 0, 60)});
    QCOMPARE(r.rows, rows({{"tall ", "x y "}, {"p ", "q "}}));
}

void TableExtractionTest::runWithinTwoBandsAppearsOnce()
{
    // Bands 50..70 (centre 60) and 60..80 (centre 70) overlap. x (62..68,
    // centre 65) is equally near both: the upper one. y (64..70, centre 67)
    // is nearer the lower one.
    const Alltext p = page({run("a", 100, 50, 20, 20), run("b", 140, 60, 20, 20),
                            run("x", 200, 62, 20, 6), run("y", 240, 64, 20, 6)});
    const auto r = TableExtraction::extract(p, QRectF(90, 40, 210, 60), {QRectF(180, 40, 0, 60)});
    QCOMPARE(r.rows, rows({{"a ", "x "}, {"b ", "y "}}));
    QCOMPARE(r.text.count("x "), 1);
    QCOMPARE(r.text.count("y "), 1);
}

void TableExtractionTest::tallBoxKeepsLineOrderInACell()
{
    // The tall first-column run makes one band over two lines of words.
    const Alltext p = page({run("Item", 100, 50, 40, 24), run("change", 200, 62, 40, 10),
                            run("detect", 260, 50, 30, 10), run("Ability", 200, 50, 35, 10),
                            run("to", 240, 50, 15, 10)});
    const auto r = TableExtraction::extract(p, QRectF(90, 40, 210, 60), {QRectF(180, 40, 0, 60)});
    QCOMPARE(r.rows, rows({{"Item ", "Ability to detect change "}}));

    // A superscript sitting a little higher stays in its line, and so does a
    // tall run sharing the line's top.
    const Alltext q = page({run("Item", 100, 45, 40, 30), run("x", 200, 50, 10, 10), run("2", 211, 47, 5, 6),
                            run("+", 220, 50, 8, 10), run("Y", 230, 50, 10, 22),
                            run("next", 200, 62, 30, 10)});
    const auto s = TableExtraction::extract(q, QRectF(90, 40, 210, 60), {QRectF(180, 40, 0, 60)});
    QCOMPARE(s.rows, rows({{"Item ", "x 2 + Y next "}}));
}

void TableExtractionTest::tiesInTheSortDecideTheJoinOrder()
{
    // Equal left edges within one line of one cell: the order is that of the
    // exchange sort, which here is not the page order ([100, 100, 95] gives
    // the third, the second, the first).
    const Alltext p = page({run("A", 100, 50, 20, 10), run("B", 100, 50, 20, 10),
                            run("C", 95, 50, 20, 10)});
    const auto r = TableExtraction::extract(p, QRectF(90, 40, 210, 60), {});
    QCOMPARE(r.rows, rows({{"C B A "}}));
}

void TableExtractionTest::heightZeroRuns()
{
    // Height 0 inside another run's extent: in its row. Height 0 elsewhere:
    // in no band, so in no row.
    const Alltext p = page({run("a", 100, 50, 20, 10), run("inside", 200, 55, 20, 0),
                            run("alone", 100, 80, 20, 0)});
    const auto r = TableExtraction::extract(p, QRectF(90, 40, 210, 60), {QRectF(180, 40, 0, 60)});
    QCOMPARE(r.rows, rows({{"a ", "inside "}}));
}

void TableExtractionTest::quotesAndSeparatorsStayInsideTheirCell()
{
    const Alltext p = page({run("say \"hi\"", 100, 50, 40, 10), run("a\",\"b", 200, 50, 30, 10)});
    const auto r = TableExtraction::extract(p, QRectF(90, 40, 210, 60), {QRectF(180, 40, 0, 60)});
    QCOMPARE(r.rows, rows({{"say \"hi\" ", "a\",\"b "}}));
    QCOMPARE(r.rows.at(0).size(), 2);
    QCOMPARE(r.text, QString("\"say \"hi\" \",\"a\",\"b \"\n"));
}

void TableExtractionTest::converterReferencesBecomeTheCharacters()
{
    // As the converter writes "Dick & Peg", "<b>" and "x>1"; other "&" stay.
    const Alltext p = page({run("Dick", 100, 50, 20, 10), run("&amp;", 122, 50, 5, 10),
                            run("Peg", 130, 50, 15, 10), run("&lt;b&gt;", 200, 50, 20, 10),
                            run("x&gt;1", 200, 62, 20, 10), run("&amp;lt;", 100, 62, 20, 10),
                            run("R&D", 130, 62, 20, 10), run("&nbsp;&", 150, 62, 20, 10)});
    const auto r = TableExtraction::extract(p, QRectF(90, 40, 210, 40), {QRectF(180, 40, 0, 40)});
    QCOMPARE(r.rows, rows({{"Dick & Peg ", "<b> "}, {"&lt; R&D &nbsp;& ", "x>1 "}}));
    QCOMPARE(r.text, QString("\"Dick & Peg \",\"<b> \"\n\"&lt; R&D &nbsp;& \",\"x>1 \"\n"));
    // The runs themselves keep the text as read.
    QCOMPARE(p.subtext.at(1).text, QString("&amp;"));
}

void TableExtractionTest::zoomFactors()
{
    // At 1.25 the rectangle is divided unrounded, a line truncated.
    auto g = TableExtraction::toPageUnits(QRectF(101, 50, 250, 100), {QRectF(101, 50, 0, 100)}, 1.25f);
    QVERIFY(!g.empty);
    QCOMPARE(g.rect.x(), 80.8);
    QCOMPARE(g.rect.y(), 40.0);
    QCOMPARE(g.lines, QVector<QRectF>{QRectF(80, 40, 0, 80)});

    // 0.8 is not exact as a float; the widened factor makes canvas 80
    // slightly more than 99 units, stored as 99.
    g = TableExtraction::toPageUnits(QRectF(72, 32, 168, 48), {QRectF(80, 32, 0, 48)}, 0.8f);
    QCOMPARE(g.lines.at(0).x(), 99.0);
    QVERIFY(qAbs(g.rect.x() - 90.0) < 1e-5);
    QVERIFY(qAbs(g.rect.right() - 300.0) < 1e-4);

    // The worked example drawn at either zoom gives the same table.
    const Alltext p = page({run("Name", 100, 50, 40, 10), run("Age", 200, 50, 30, 10),
                            run("Bob", 100, 70, 40, 12), run("42", 200, 72, 20, 8)});
    for (float z : {1.25f, 0.8f, 1.25f * 1.25f, 0.8f * 0.8f}) {
        const QRectF canvasRect(90 * z, 40 * z, 210 * z, 60 * z);
        const QVector<QRectF> canvasLines{QRectF(int(180 * z), 40 * z, 0, 60 * z)};
        const auto r = TableExtraction::extractFromCanvas(p, canvasRect, canvasLines, z);
        QCOMPARE(r.rows, rows({{"Name ", "Age "}, {"Bob ", "42 "}}));
        QVERIFY(qAbs(r.rect.x() - 90) < 1e-3 && qAbs(r.rect.width() - 210) < 1e-3);
    }
}

void TableExtractionTest::noFixedCapacity()
{
    // 1500 rows of two runs each and 150 lines, far beyond the old working
    // capacities of 1000 runs and 100 lines.
    QVector<Subtext> runs;
    for (int r = 0; r < 1500; ++r) {
        runs.append(run(QString("a%1").arg(r), 100, 50 + 20 * r, 10, 10));
        runs.append(run(QString("b%1").arg(r), 100 + 10 * 149 + 5, 50 + 20 * r, 3, 10));
    }
    QVector<QRectF> lines;
    for (int c = 0; c < 150; ++c)
        lines.append(QRectF(100 + 10 * c, 40, 0, 30010));
    const auto res = TableExtraction::extract(page(runs), QRectF(90, 40, 2000, 30010), lines);
    QCOMPARE(res.columnCount, 151);
    QCOMPARE(res.rows.size(), 1500);
    QCOMPARE(res.rows.at(0).at(1), QString("a0 "));
    QCOMPARE(res.rows.at(1499).at(1), QString("a1499 "));
    QCOMPARE(res.rows.at(1499).at(150), QString("b1499 "));
}

void TableExtractionTest::exchangeOrderMatchesTheQuadraticSort()
{
    // A plain stable sort is not enough: [2, 2, 1] comes out 1, then the
    // second 2, then the first.
    QCOMPARE(TableExtraction::exchangeOrder({2, 2, 1}), (std::vector<int>{2, 1, 0}));
    QCOMPARE(TableExtraction::exchangeOrder({}), std::vector<int>{});

    QRandomGenerator rng(4711);
    for (int round = 0; round < 3000; ++round) {
        const int n = int(rng.bounded(60));
        const int range = 1 + int(rng.bounded(round % 3 == 0 ? 3 : 12));
        std::vector<int> keys(static_cast<size_t>(n));
        for (int &k : keys)
            k = int(rng.bounded(range)) - range / 2;
        if (round % 7 == 0 && n > 0)
            keys[0] = std::numeric_limits<int>::min();
        if (round % 11 == 0 && n > 1)
            keys[size_t(n - 1)] = std::numeric_limits<int>::max();
        const auto expected = literalExchangeOrder(keys);
        const auto got = TableExtraction::exchangeOrder(keys);
        if (got != expected) {
            QString s;
            for (int k : keys)
                s += QString::number(k) + ' ';
            QFAIL(qPrintable("differs for keys " + s));
        }
    }
    for (int round = 0; round < 5; ++round) {
        std::vector<int> keys(1500);
        for (int &k : keys)
            k = 90 + int(rng.bounded(40));
        QCOMPARE(TableExtraction::exchangeOrder(keys), literalExchangeOrder(keys));
    }
}

void TableExtractionTest::rowBandsMatchTheQuadraticPass()
{
    QRandomGenerator rng(815);
    auto same = [](const std::vector<TableExtraction::Band> &a,
                   const std::vector<TableExtraction::Band> &b) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i].top != b[i].top || a[i].height != b[i].height)
                return false;
        return true;
    };
    for (int round = 0; round < 3000; ++round) {
        const int n = int(rng.bounded(40));
        const int span = 1 + int(rng.bounded(30));
        std::vector<TableExtraction::Band> ext;
        for (int i = 0; i < n; ++i) {
            int h = int(rng.bounded(span / 2 + 2));
            if (round % 5 == 0 && rng.bounded(4) == 0)
                h = -h;   // the parser never gives these; the result must still agree
            ext.push_back({float(rng.bounded(span)), float(h)});
        }
        QVERIFY(same(TableExtraction::rowBands(ext), literalBands(ext)));
    }
    // Large values where float sums round.
    for (int round = 0; round < 500; ++round) {
        std::vector<TableExtraction::Band> ext;
        for (int i = 0; i < 20; ++i)
            ext.push_back({float(16777200 + int(rng.bounded(40))), float(rng.bounded(5))});
        QVERIFY(same(TableExtraction::rowBands(ext), literalBands(ext)));
    }
}

void TableExtractionTest::ordinaryTablesMatchTheStepByStepExtraction()
{
    // Tables where every run lies in one band and starts strictly inside a
    // column, one line of text per cell, many equal left edges: the result
    // is the one the step-by-step extraction gives.
    QRandomGenerator rng(2024);
    const QStringList words{"a", "bb", "c c", "\"q\"", "7", "x,y", "Ünï", "\xF0\x9F\x98\x80"};
    for (int round = 0; round < 400; ++round) {
        const int rowCount = 1 + int(rng.bounded(8));
        const QRectF rect(90, 40, 600, rowCount * 20 + 10);
        QVector<QRectF> lines;
        const int lineCount = int(rng.bounded(6));
        for (int i = 0; i < lineCount; ++i)
            lines.append(QRectF(100 + 10 * int(rng.bounded(55)), 40, 0, rect.height()));
        auto onBound = [&](int x) {
            for (const QRectF &l : lines)
                if (int(l.x()) == x)
                    return true;
            return x == 90;
        };
        QVector<Subtext> runs;
        for (int r = 0; r < rowCount; ++r) {
            const int top = 50 + 20 * r;
            const int n = 1 + int(rng.bounded(8));
            for (int i = 0; i < n; ++i) {
                int x;
                do {
                    x = 92 + 5 * int(rng.bounded(110));
                } while (onBound(x));
                const int h = i == 0 ? 10 : int(rng.bounded(11));
                runs.append(run(words.at(int(rng.bounded(words.size()))), x, top,
                                1 + int(rng.bounded(25)), h));
            }
        }
        std::shuffle(runs.begin(), runs.end(), rng);
        const Alltext p = page(runs);
        const auto got = TableExtraction::extract(p, rect, lines);
        const auto expected = literalExtract(p, rect, lines);
        QCOMPARE(got.rows, expected.rows);
        QCOMPARE(got.text, expected.text);
    }
}

void TableExtractionTest::everyRunLandsInItsNearestBand()
{
    // Overlapping and nested extents of every kind, one column: each run
    // stands exactly once, in the band holding it whose centre is nearest its
    // own (the upper one on a tie); a run of height 0 outside every band is
    // left out. The expectation is found by trying every band.
    QRandomGenerator rng(31337);
    for (int round = 0; round < 1500; ++round) {
        const int n = 1 + int(rng.bounded(round % 4 == 0 ? 300 : 25));
        const int span = 10 + int(rng.bounded(round % 4 == 0 ? 2000 : 60));
        QVector<Subtext> runs;
        std::vector<TableExtraction::Band> extents;
        for (int i = 0; i < n; ++i) {
            const int top = 100 + int(rng.bounded(span));
            const int h = rng.bounded(8) == 0 ? 0 : int(rng.bounded(1 + span / 3));
            runs.append(run(QString("w%1").arg(i), 100 + int(rng.bounded(50)), top, 10, h));
        }
        const auto result = TableExtraction::extract(page(runs), QRectF(90, 90, 300, 3 * span + 40), {});
        for (const Subtext &s : runs)
            extents.push_back({float(s.y), float(s.height)});
        const auto bands = literalBands(extents);
        QCOMPARE(result.rows.size(), int(bands.size()));
        for (const Subtext &s : runs) {
            int expected = -1;
            double best = 0;
            const double centre = double(s.y) + double(s.y + s.height);
            for (size_t b = 0; b < bands.size(); ++b) {
                const float end = bands[b].top + bands[b].height;
                if (!(bands[b].top <= float(s.y) && float(s.y + s.height) <= end))
                    continue;
                const double d = qAbs(double(bands[b].top) + double(end) - centre);
                if (expected < 0 || d < best) {
                    expected = int(b);
                    best = d;
                }
            }
            int found = -1;
            int times = 0;
            for (int r = 0; r < result.rows.size(); ++r) {
                if (result.rows.at(r).at(0).split(' ').contains(s.text)) {
                    found = r;
                    ++times;
                }
            }
            QVERIFY2(times <= 1, qPrintable(s.text));
            QCOMPARE(found, expected);
        }
    }
}

void TableExtractionTest::hostileInputsGiveConsistentResults()
{
    const int big = std::numeric_limits<int>::max();
    const int small = std::numeric_limits<int>::min();
    Alltext p = page({run("max", big, big, big, big), run("min", small, small, big, big),
                      run("neg", 100, 60, -30, -20), run("neg2", 100, 70, 5, -5),
                      run("huge", 20000000, 20000000, 3, 3), run("huge2", 20000000, 20000001, 3, 1),
                      run("ok", 100, 50, 10, 10)});
    p.count = 1000;   // a count that lies is not trusted
    const QVector<QRectF> lines{QRectF(qQNaN(), 0, 0, 10), QRectF(qInf(), 0, 0, 10),
                                QRectF(150, 0, 0, 10)};
    const QVector<QRectF> rects{QRectF(90, 40, 210, 60), QRectF(-1e12, -1e12, 4e12, 4e12),
                                QRectF(300, 100, -210, -60), QRectF(19999990, 19999990, 30, 30)};
    for (const QRectF &rect : rects) {
        const auto r = TableExtraction::extract(p, rect, lines);
        QCOMPARE(r.columnCount, 4);
        for (const QStringList &row : r.rows)
            QCOMPARE(row.size(), 4);
        QCOMPARE(r.text, TableExtraction::tableText(r.rows));
    }
    const auto inHuge = TableExtraction::extract(p, QRectF(19999990, 19999990, 30, 30), {});
    QVERIFY(inHuge.text.contains("huge "));

    QVERIFY(TableExtraction::extract(p, QRectF(qQNaN(), 0, 10, 10), lines).emptyGeometry);
    const auto tiny = TableExtraction::toPageUnits(QRectF(1, 1, 1, 1), lines, 1e-30f);
    QVERIFY(tiny.empty || tiny.lines.size() == lines.size());
    const auto g = TableExtraction::toPageUnits(QRectF(1, 1, 100, 100),
                                                {QRectF(1e30, 0, 0, 100)}, 1.0f);
    QCOMPARE(g.lines.at(0).x(), double(std::numeric_limits<int>::max()));
}

QTEST_MAIN(TableExtractionTest)
#include "tableextraction_test.moc"
