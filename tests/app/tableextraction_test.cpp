#include "tableextraction.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <numeric>

namespace {

Subtext run(const QString &text, int x, int y, int w, int h)
{
    return Subtext{x, y, w, h, text};
}

Alltext page(const QVector<Subtext> &runs)
{
    return Alltext{runs.size(), runs};
}

// The sort and the row pass as written step by step, quadratic: the fast
// code must agree with them.
std::vector<int> literalExchangeOrder(const std::vector<int> &keys)
{
    std::vector<int> idx(keys.size());
    std::iota(idx.begin(), idx.end(), 0);
    for (size_t a = 0; a < idx.size(); ++a)
        for (size_t b = a + 1; b < idx.size(); ++b)
            if (keys[size_t(idx[b])] < keys[size_t(idx[a])])
                std::swap(idx[a], idx[b]);
    return idx;
}

using Band = TableExtraction::Band;

std::vector<Band> literalBands(std::vector<Band> e)
{
    const auto within = [](const Band &in, const Band &out) {
        return out.top <= in.top && in.top <= out.top + out.height && in.top + in.height <= out.top + out.height;
    };
    for (size_t a = 0; a < e.size(); ++a)
        for (size_t b = a + 1; b < e.size() && e[a].height != 0; ++b) {
            if (e[b].height != 0 && within(e[b], e[a]))
                e[b].height = 0;
            else if (e[b].height != 0 && within(e[a], e[b]))
                e[a].height = 0;
        }
    std::vector<Band> bands;
    std::copy_if(e.begin(), e.end(), std::back_inserter(bands), [](const Band &x) { return x.height != 0; });
    for (size_t a = 0; a < bands.size(); ++a)
        for (size_t b = a + 1; b < bands.size(); ++b)
            if (bands[b].top <= bands[a].top)
                std::swap(bands[a], bands[b]);
    return bands;
}

using Rows = QVector<QStringList>;

} // namespace


class TableExtractionTest : public QObject
{
    Q_OBJECT

private slots:
    void tables()
    {
        // Rectangle (90, 40)-(300, 100) at zoom 1; "line": one line at x 180.
        const struct { const char *name; Alltext runs; bool line; Rows expected; } cases[] = {
            {"worked example", page({run("Name", 100, 50, 40, 10), run("Age", 200, 50, 30, 10),
                                     run("Bob", 100, 70, 40, 12), run("42", 200, 72, 20, 8)}),
             true, Rows{{"Name ", "Age "}, {"Bob ", "42 "}}},
            {"no runs inside", page({run("far", 500, 500, 20, 10)}), true, Rows()},
            // Runs may stick out by less than 10 units on every side.
            {"selection margin", page({run("inTop", 100, 31, 20, 15), run("outTop", 130, 30, 20, 15),
                                       run("outLeft", 80, 75, 30, 10), run("inRight", 200, 80, 109, 5),
                                       run("outRight", 280, 86, 30, 5), run("outBottom", 200, 90, 10, 20)}),
             false, Rows{{"inTop "}, {"inRight "}}},
            {"caption above, header on the edge",
             page({run("Table", 100, 32, 40, 7), run("Name", 100, 38, 40, 10), run("Age", 200, 38, 30, 10),
                   run("Bob", 100, 70, 40, 12), run("below", 100, 101, 40, 5)}),
             true, Rows{{"Name ", "Age "}, {"Bob ", ""}}},
            {"left edges on bounds: one column each",
             page({run("onLeft", 90, 50, 30, 10), run("onLine", 180, 50, 30, 10), run("margin", 85, 70, 30, 10),
                   run("inside", 181, 70, 30, 10), run("beforeLine", 179, 85, 5, 10)}),
             true, Rows{{"onLeft ", "onLine "}, {"margin ", "inside "}, {"beforeLine ", ""}}},
            {"nested extents, one band", page({run("x", 200, 52, 20, 6), run("tall", 100, 50, 40, 20),
                                               run("y", 250, 60, 20, 8), run("p", 100, 80, 20, 10),
                                               run("q", 200, 80, 20, 10)}),
             true, Rows{{"tall ", "x y "}, {"p ", "q "}}},
            // Bands 50..70 and 60..80: x (centre 65) ties and goes up, y goes down.
            {"overlapping bands: once, the nearest", page({run("a", 100, 50, 20, 20), run("b", 140, 60, 20, 20),
                                                           run("x", 200, 62, 20, 6), run("y", 240, 64, 20, 6)}),
             true, Rows{{"a ", "x "}, {"b ", "y "}}},
            {"tall box keeps its lines in order",
             page({run("Item", 100, 50, 40, 24), run("change", 200, 62, 40, 10), run("detect", 260, 50, 30, 10),
                   run("Ability", 200, 50, 35, 10), run("to", 240, 50, 15, 10)}),
             true, Rows{{"Item ", "Ability to detect change "}}},
            {"ties join in exchange-sort order",
             page({run("A", 100, 50, 20, 10), run("B", 100, 50, 20, 10), run("C", 95, 50, 20, 10)}), false,
             Rows{{"C B A "}}},
            {"height 0: inside a band or in none",
             page({run("a", 100, 50, 20, 10), run("inside", 200, 55, 20, 0), run("alone", 100, 80, 20, 0)}), true,
             Rows{{"a ", "inside "}}},
            {"quotes and separators stay in their cell",
             page({run("say \"hi\"", 100, 50, 40, 10), run("a\",\"b", 200, 50, 30, 10)}), true,
             Rows{{"say \"hi\" ", "a\",\"b "}}},
            {"the converter's references turned back",
             page({run("Dick", 100, 50, 20, 10), run("&amp;", 122, 50, 5, 10), run("Peg", 130, 50, 15, 10),
                   run("&lt;b&gt;", 200, 50, 20, 10), run("&amp;lt;", 100, 70, 20, 10), run("R&D", 130, 70, 20, 10)}),
             true, Rows{{"Dick & Peg ", "<b> "}, {"&lt; R&D ", ""}}},
        };
        for (const auto &c : cases) {
            const QVector<QRectF> lines = c.line ? QVector<QRectF>{QRectF(180, 40, 0, 60)} : QVector<QRectF>();
            const auto r = TableExtraction::extract(c.runs, QRectF(90, 40, 210, 60), lines);
            QString text;
            for (const QStringList &row : c.expected)
                text += QLatin1Char('"') + row.join(QStringLiteral("\",\"")) + QStringLiteral("\"\n");
            QVERIFY2(!r.emptyGeometry && r.columnCount == (c.line ? 2 : 1), c.name);
            QVERIFY2(r.rows == c.expected && r.text == text, qPrintable(QStringLiteral("%1: %2").arg(c.name, r.text)));
        }
    }

    void emptyRectangleAndZoom()
    {
        const Alltext p = page({run("Name", 100, 50, 40, 10), run("Age", 200, 50, 30, 10),
                                run("Bob", 100, 70, 40, 12), run("42", 200, 72, 20, 8)});
        for (const QRectF &rect : {QRectF(90, 40, 0, 60), QRectF(90, 40, 210, 0), QRectF()}) {
            const auto r = TableExtraction::extractFromCanvas(p, rect, {QRectF(180, 40, 0, 60)}, 1.0f);
            QVERIFY(r.emptyGeometry && r.rows.isEmpty() && r.text.isEmpty());
            QCOMPARE(r.rect, QRectF(0, 0, 0, 0));
            QCOMPARE(r.lines, QVector<QRectF>{QRectF(0, 0, 0, 0)});
            QVERIFY(TableExtraction::extract(p, rect, {}).emptyGeometry);
        }
        // One unit wide is a table already.
        QCOMPARE(TableExtraction::extract(page({run("x", 200, 50, 10, 10)}), QRectF(205, 40, 1, 60), {}).rows, Rows{{"x "}});
        QVERIFY(TableExtraction::toPageUnits(QRectF(10, 10, 50, 50), {}, 0.0f).empty);
        // At 1.25 the rectangle is divided unrounded, a line truncated.
        const auto g = TableExtraction::toPageUnits(QRectF(101, 50, 250, 100), {QRectF(101, 50, 0, 100)}, 1.25f);
        QCOMPARE(g.rect.x(), 80.8);
        QCOMPARE(g.lines, QVector<QRectF>{QRectF(80, 40, 0, 80)});
        for (float z : {1.25f, 0.8f, 1.25f * 1.25f, 0.8f * 0.8f}) {
            const auto r = TableExtraction::extractFromCanvas(p, QRectF(90 * z, 40 * z, 210 * z, 60 * z),
                                                              {QRectF(int(180 * z), 40 * z, 0, 60 * z)}, z);
            QCOMPARE(r.rows, (Rows{{"Name ", "Age "}, {"Bob ", "42 "}}));
        }
    }

    void noFixedCapacity()
    {
        // 1500 rows of two runs each and 150 lines, far beyond the old working
        // capacities of 1000 runs and 100 lines.
        QVector<Subtext> runs;
        for (int r = 0; r < 1500; ++r) {
            runs.append(run(QString("a%1").arg(r), 100, 50 + 20 * r, 10, 10));
            runs.append(run(QString("b%1").arg(r), 100 + 10 * 149 + 5, 50 + 20 * r, 3, 10));
        }
        QVector<QRectF> lines;   // in any order
        for (int c = 0; c < 150; ++c)
            lines.prepend(QRectF(100 + 10 * c, 40, 0, 30010));
        const auto res = TableExtraction::extract(page(runs), QRectF(90, 40, 2000, 30010), lines);
        QCOMPARE(res.columnCount, 151);
        QCOMPARE(res.rows.size(), 1500);
        QCOMPARE(res.rows.at(0).at(1), QString("a0 "));
        QCOMPARE(res.rows.at(1499).at(1), QString("a1499 "));
        QCOMPARE(res.rows.at(1499).at(150), QString("b1499 "));
    }

    void exchangeOrderMatchesTheQuadraticSort()
    {
        // A plain stable sort is not enough: [2, 2, 1] comes out 1, then the
        // second 2, then the first.
        QCOMPARE(TableExtraction::exchangeOrder({2, 2, 1}), (std::vector<int>{2, 1, 0}));
        QRandomGenerator rng(4711);
        for (int round = 0; round < 3000; ++round) {
            std::vector<int> keys(rng.bounded(60u));
            const int range = 1 + int(rng.bounded(round % 3 == 0 ? 3 : 12));
            for (int &k : keys)
                k = int(rng.bounded(range)) - range / 2;
            if (round % 7 == 0 && !keys.empty())
                keys.front() = std::numeric_limits<int>::min();
            QVERIFY(TableExtraction::exchangeOrder(keys) == literalExchangeOrder(keys));
        }
    }

    void everyRunLandsInItsNearestBand()
    {
        // Overlapping and nested extents of every kind, one column: each run
        // stands exactly once, in the band holding it whose centre is nearest its
        // own (the upper one on a tie); a run of height 0 outside every band is
        // left out. The expectation is found by trying every band, centres in
        // single precision like the extents; some rounds lie where float sums round.
        QRandomGenerator rng(31337);
        for (int round = 0; round < 1500; ++round) {
            const int base = round % 5 == 1 ? (1 << 24) - 20 : 100;
            const int n = 1 + int(rng.bounded(round % 4 == 0 ? 300 : 25));
            const int span = 10 + int(rng.bounded(round % 4 == 0 ? 2000 : 60));
            QVector<Subtext> runs;
            std::vector<Band> extents;
            for (int i = 0; i < n; ++i) {
                const int top = base + int(rng.bounded(span));
                const int h = rng.bounded(8) == 0 ? 0 : int(rng.bounded(1 + span / 3));
                runs.append(run(QString("w%1").arg(i), 100 + int(rng.bounded(50)), top, 10, h));
                extents.push_back({float(top), float(h)});
            }
            const auto result = TableExtraction::extract(page(runs), QRectF(90, base - 10, 300, 3 * span + 40), {});
            const auto bands = literalBands(extents);
            QCOMPARE(result.rows.size(), int(bands.size()));
            for (const Subtext &s : runs) {
                int expected = -1, found = -1, times = 0;
                double best = 0;
                const double centre = double(float(s.y)) + double(float(s.y + s.height));
                for (size_t b = 0; b < bands.size(); ++b) {
                    const float end = bands[b].top + bands[b].height;
                    if (!(bands[b].top <= float(s.y) && float(s.y + s.height) <= end))
                        continue;
                    const double d = qAbs(double(bands[b].top) + double(end) - centre);
                    if (expected < 0 || d < best)
                        expected = int(b), best = d;
                }
                for (int r = 0; r < result.rows.size(); ++r)
                    if (result.rows.at(r).at(0).split(' ').contains(s.text))
                        found = r, ++times;
                QVERIFY2(times <= 1, qPrintable(s.text));
                QCOMPARE(found, expected);
            }
        }
    }

    void hostileInputsGiveConsistentResults()
    {
        const int big = std::numeric_limits<int>::max(), small = std::numeric_limits<int>::min();
        Alltext p = page({run("max", big, big, big, big), run("min", small, small, big, big),
                          run("neg", 100, 60, -30, -20), run("neg2", 100, 70, 5, -5),
                          run("huge", 20000000, 20000000, 3, 3), run("huge2", 20000000, 20000001, 3, 1),
                          run("ok", 100, 50, 10, 10)});
        p.count = 1000;   // a count that lies is not trusted
        const QVector<QRectF> lines{QRectF(qQNaN(), 0, 0, 10), QRectF(qInf(), 0, 0, 10), QRectF(150, 0, 0, 10)};
        const QVector<QRectF> rects{QRectF(90, 40, 210, 60), QRectF(-1e12, -1e12, 4e12, 4e12),
                                    QRectF(300, 100, -210, -60), QRectF(19999990, 19999990, 30, 30)};
        for (const QRectF &rect : rects) {
            const auto r = TableExtraction::extract(p, rect, lines);
            QCOMPARE(r.columnCount, 4);
            for (const QStringList &row : r.rows)
                QCOMPARE(row.size(), 4);
            QCOMPARE(r.text, TableExtraction::tableText(r.rows));
        }
        QVERIFY(TableExtraction::extract(p, QRectF(19999990, 19999990, 30, 30), {}).text.contains("huge "));
        QVERIFY(TableExtraction::extract(p, rects.first(), lines).text.contains("ok "));

        QVERIFY(TableExtraction::extract(p, QRectF(qQNaN(), 0, 10, 10), lines).emptyGeometry);
        const auto tiny = TableExtraction::toPageUnits(QRectF(1, 1, 1, 1), lines, 1e-30f);
        QVERIFY(tiny.empty || tiny.lines.size() == lines.size());
        const auto g = TableExtraction::toPageUnits(QRectF(1, 1, 100, 100), {QRectF(1e30, 0, 0, 100)}, 1.0f);
        QCOMPARE(g.lines.at(0).x(), double(std::numeric_limits<int>::max()));
    }
};

QTEST_MAIN(TableExtractionTest)
#include "tableextraction_test.moc"
