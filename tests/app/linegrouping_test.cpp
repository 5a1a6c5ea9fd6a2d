#include "linegrouping.h"
#include "textlayer.h"
#include "textlayerwriter.h"

#include <QtTest>

#include <algorithm>
#include <random>

// How the converter turns word boxes into the runs of a text layer: words of
// one printed line share top and height, so the extraction finds one row per
// line, and odd boxes neither merge nor split lines.
class LineGroupingTest : public QObject
{
    Q_OBJECT

private slots:
    void linesOfPrintedWords();
    void tightLinesStaySeparateInReadingOrder();
    void resultDoesNotDependOnInputOrder();
    void escaping_data();
    void escaping();
    void textLayerRoundTripsThroughTheReader();
};

namespace
{
WordBox word(double left, double top, double width, double height, const QString &text)
{
    WordBox w;
    w.left = left;
    w.top = top;
    w.width = width;
    w.height = height;
    w.text = text;
    return w;
}

const PlacedWord *find(const QVector<PlacedWord> &placed, const QString &text)
{
    auto it = std::find_if(placed.begin(), placed.end(), [&](const PlacedWord &p) { return p.text == text; });
    return it == placed.end() ? nullptr : &*it;
}

// The row bands the table extraction forms: extents lying within another
// extent are dropped; the rest are the rows.
int rowBands(const QVector<PlacedWord> &placed)
{
    QSet<QPair<int, int>> extents;
    for (const PlacedWord &p : placed)
        extents.insert({p.top, p.top + p.height});
    return int(std::count_if(extents.begin(), extents.end(), [&](const QPair<int, int> &a) {
        return std::none_of(extents.begin(), extents.end(), [&](const QPair<int, int> &b) {
            return a != b && b.first <= a.first && a.second <= b.second;
        });
    }));
}
}

void LineGroupingTest::linesOfPrintedWords()
{
    struct Placed
    {
        QString text;
        int top, height;
    };
    struct Case
    {
        const char *name;
        QVector<WordBox> words;
        QVector<Placed> expected;   // some words' shared top and height
        int bands;
        int count;                  // words kept
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const QVector<Case> cases{
        {"value a point higher, other font",
         {word(50, 100.2, 40, 12.1, "Total"), word(200, 99.1, 30, 12.8, "1,234"), word(300, 100.6, 20, 11.4, "EUR")},
         {{"Total", 100, 12}, {"1,234", 100, 12}, {"EUR", 100, 12}}, 1, 3},
        // Its box covers three lines, its centre a little above the middle one's.
        {"bullet three lines tall",
         {word(60, 100, 40, 12, "above"), word(20, 100, 14, 36, "\u2022"), word(60, 114, 40, 12, "middle"),
          word(120, 114, 40, 12, "line"), word(60, 128, 40, 12, "below")},
         {{"above", 100, 12}, {"\u2022", 114, 12}, {"middle", 114, 12}, {"below", 128, 12}}, 3, 5},
        // Its centre lies between lines: it joins the nearest it covers.
        {"lone tall box between lines",
         {word(60, 100, 40, 12, "one"), word(60, 114, 40, 12, "two"), word(60, 128, 40, 12, "three"),
          word(60, 142, 40, 12, "four"), word(20, 95, 20, 45, "\u2022")},
         {{"\u2022", 114, 12}, {"two", 114, 12}, {"four", 142, 12}}, 4, 5},
        {"raised footnote mark",
         {word(50, 100, 40, 13.2, "Revenue"), word(91, 100.5, 4, 7.7, "1"), word(200, 100, 30, 13.2, "500")},
         {{"1", 100, 13}, {"500", 100, 13}}, 1, 3},
        {"mark and one word: the word decides",
         {word(50, 100, 40, 13.2, "Revenue"), word(91, 100.5, 4, 7.7, "1"), word(50, 200, 40, 13.2, "Cost")},
         {{"1", 100, 13}, {"Cost", 200, 13}}, 2, 3},
        {"heading above a table row",
         {word(50, 60, 120, 26, "Annual"), word(180, 60, 120, 26, "Report"), word(50, 90, 40, 12, "Name"),
          word(200, 90, 40, 12, "Value")},
         {{"Report", 60, 26}, {"Name", 90, 12}, {"Value", 90, 12}}, 2, 4},
        {"edges rounded, at least 1",
         {word(72.4, 300.6, 55.5, 10.2, "inside"), word(-3, 0.2, 20, 8, "edge"), word(500, 600, 0.1, 0.1, "dot")},
         {{"inside", 301, 10}, {"edge", 1, 7}, {"dot", 600, 1}}, 3, 3},
        {"unusable words dropped",
         {word(10, 10, 10, 10, ""), word(10, 10, 10, 10, " \t"), word(10, 10, 10, 10, "\b\x1f"),
          word(nan, 10, 10, 10, "nan"),
          word(10, inf, 10, 10, "inf"), word(10, 10, 10, 10, "kept")},
         {{"kept", 10, 10}}, 1, 1},
    };
    for (const Case &c : cases) {
        const QVector<PlacedWord> placed = groupLines(c.words);
        QVERIFY2(placed.size() == c.count, c.name);
        QVERIFY2(rowBands(placed) == c.bands, c.name);
        for (const PlacedWord &p : placed)
            QVERIFY2(p.left >= 1 && p.top >= 1 && p.width >= 1 && p.height >= 1, c.name);
        for (const Placed &want : c.expected) {
            const PlacedWord *got = find(placed, want.text);
            QVERIFY2(got, c.name);
            const QByteArray what = QByteArray(c.name) + ": " + want.text.toUtf8() + " at "
                + QByteArray::number(got->top) + "+" + QByteArray::number(got->height);
            QVERIFY2(got->top == want.top && got->height == want.height, what.constData());
        }
    }
    const PlacedWord inside = *find(groupLines({word(72.4, 300.6, 55.5, 10.2, "inside")}), "inside");
    QCOMPARE(inside.left, 72);
    QCOMPARE(inside.width, 56);   // right edge 127.9
}

void LineGroupingTest::tightLinesStaySeparateInReadingOrder()
{
    // Line spacing 11 points, boxes 12 tall: neighbours overlap a little.
    QVector<WordBox> words;
    for (int line = 19; line >= 0; --line) {
        words.append(word(150, 100.5 + line * 11.0, 30, 12, QStringLiteral("b%1").arg(line)));
        words.append(word(50, 100 + line * 11.0, 30, 12, QStringLiteral("a%1").arg(line)));
    }
    const QVector<PlacedWord> placed = groupLines(words);
    QCOMPARE(placed.size(), 40);
    QCOMPARE(rowBands(placed), 20);
    for (int line = 0; line < 20; ++line) {
        const PlacedWord &a = placed[2 * line];
        const PlacedWord &b = placed[2 * line + 1];
        QCOMPARE(a.text, QStringLiteral("a%1").arg(line));
        QCOMPARE(b.text, QStringLiteral("b%1").arg(line));
        QCOMPARE(a.top, b.top);
        QCOMPARE(a.height, b.height);
        QVERIFY(qAbs(a.top - (100 + line * 11)) <= 1);
    }
}

void LineGroupingTest::resultDoesNotDependOnInputOrder()
{
    QVector<WordBox> words;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-1.5, 1.5);
    for (int line = 0; line < 60; ++line) {
        for (int col = 0; col < 8; ++col)
            words.append(word(30 + col * 70, 40 + line * 12 + jitter(random), 40, 10 + jitter(random),
                              QStringLiteral("w%1_%2").arg(line).arg(col)));
    }
    words.append(word(10, 200, 15, 40, "big"));
    words.append(word(100, 300, 20, 10, "same"));
    words.append(word(100, 300, 20, 10, "same"));
    const QByteArray reference = formatTextLayer(groupLines(words));
    for (int round = 0; round < 5; ++round) {
        std::shuffle(words.begin(), words.end(), random);
        QCOMPARE(formatTextLayer(groupLines(words)), reference);
    }
}

void LineGroupingTest::escaping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("plain") << "Total" << "Total";
    QTest::newRow("markup") << "a<b>&c" << "a&lt;b&gt;&amp;c";
    QTest::newRow("reference stays decodable") << "&amp;" << "&amp;amp;";
    QTest::newRow("breaks and tabs") << QString("a\nb\rc\td") << "a b c d";
    QTest::newRow("nul") << QString::fromUtf16(u"a\0b", 3) << "a b";
    QTest::newRow("other control characters") << QString("a\bb\x1b" "c\x1f" "d\x7f") << "a b c d\x7f";
    QTest::newRow("quotes kept") << "\"q\";" << "\"q\";";
}

void LineGroupingTest::escaping()
{
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    QCOMPARE(escapeRunText(text), escaped);
}

void LineGroupingTest::textLayerRoundTripsThroughTheReader()
{
    PlacedWord a{61, 78, 36, 13, QString::fromUtf8("Gr\xc3\xb6\xc3\x9f" "e<5>\n")};
    PlacedWord b{227, 78, 36, 13, "x;\"left:9\""};
    const QByteArray layer = formatTextLayer({a, b});
    QCOMPARE(layer, QByteArray("<span style=\"left:61;top:78;width:36;height:13;\">"
                               "Gr\xc3\xb6\xc3\x9f" "e&lt;5&gt; </span>\n"
                               "<span style=\"left:227;top:78;width:36;height:13;\">x;\"left:9\"</span>\n"));
    // The reader finds both runs whole; key-like text after the style does
    // not disturb the position values.
    const Alltext runs = TextLayer::parsePage(layer);
    QCOMPARE(runs.count, 2);
    QCOMPARE(QRect(runs.subtext[0].x, runs.subtext[0].y, runs.subtext[0].width, runs.subtext[0].height),
             QRect(61, 78, 36, 13));
    QCOMPARE(runs.subtext[0].text, QString::fromUtf8("Gr\xc3\xb6\xc3\x9f" "e&lt;5&gt; "));
    QCOMPARE(runs.subtext[1].x, 227);
    QCOMPARE(runs.subtext[1].text, QStringLiteral("x;\"left:9\""));
}

QTEST_MAIN(LineGroupingTest)
#include "linegrouping_test.moc"
