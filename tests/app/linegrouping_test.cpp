#include "linegrouping.h"
#include "textlayer.h"
#include "textlayerwriter.h"

#include <QtTest>

#include <algorithm>
#include <random>

// How the converter turns word boxes into the runs of a text layer: words of
// one printed line share top and height, so the extraction finds one row per
// line, and odd boxes do not merge or split lines.
class LineGroupingTest : public QObject
{
    Q_OBJECT

private slots:
    void wordsOfOneLineShareTopAndHeight();
    void separateLinesStaySeparate();
    void bulletSeveralLinesTallDoesNotSwallowNeighbours();
    void loneTallBoxBetweenLinesIsAttachedToALine();
    void superscriptStaysOnItsLine();
    void headingLineDoesNotTakeTheLineBelow();
    void resultDoesNotDependOnInputOrder();
    void positionsAreWithinAPointAndAtLeastOne();
    void unusableWordsAreDropped();
    void manyWordsOnOneLine();
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
    for (const PlacedWord &p : placed) {
        if (p.text == text)
            return &p;
    }
    return nullptr;
}

// The row bands the table extraction forms: extents lying within another
// extent are dropped; the rest are the rows.
int rowBands(const QVector<PlacedWord> &placed)
{
    QVector<QPair<int, int>> extents;
    for (const PlacedWord &p : placed)
        extents.append({p.top, p.height});
    for (int a = 0; a < extents.size(); ++a) {
        for (int b = a + 1; b < extents.size() && extents[a].second != 0; ++b) {
            if (extents[b].second == 0)
                continue;
            const int ya = extents[a].first, ha = extents[a].second;
            const int yb = extents[b].first, hb = extents[b].second;
            if (ya <= yb && yb <= ya + ha && yb + hb <= ya + ha)
                extents[b].second = 0;
            else if (yb <= ya && ya <= yb + hb && ya + ha <= yb + hb)
                extents[a].second = 0;
        }
    }
    return int(std::count_if(extents.begin(), extents.end(),
                             [](const QPair<int, int> &e) { return e.second != 0; }));
}
}

void LineGroupingTest::wordsOfOneLineShareTopAndHeight()
{
    // A label and its value a point higher with a slightly different font.
    const QVector<PlacedWord> placed = groupLines({
        word(50, 100.2, 40, 12.1, "Total"),
        word(200, 99.1, 30, 12.8, "1,234"),
        word(300, 100.6, 20, 11.4, "EUR"),
    });
    QCOMPARE(placed.size(), 3);
    for (const PlacedWord &p : placed) {
        QCOMPARE(p.top, placed[0].top);
        QCOMPARE(p.height, placed[0].height);
    }
    QVERIFY(qAbs(placed[0].top - 100) <= 1);
    QVERIFY(qAbs(placed[0].height - 12) <= 1);
    QCOMPARE(rowBands(placed), 1);
}

void LineGroupingTest::separateLinesStaySeparate()
{
    // Tight line spacing: boxes of neighbouring lines overlap a little.
    QVector<WordBox> words;
    for (int line = 0; line < 20; ++line) {
        words.append(word(50, 100 + line * 11.0, 30, 12, QStringLiteral("a%1").arg(line)));
        words.append(word(150, 100.5 + line * 11.0, 30, 12, QStringLiteral("b%1").arg(line)));
    }
    const QVector<PlacedWord> placed = groupLines(words);
    QCOMPARE(placed.size(), 40);
    for (int line = 0; line < 20; ++line) {
        const PlacedWord *a = find(placed, QStringLiteral("a%1").arg(line));
        const PlacedWord *b = find(placed, QStringLiteral("b%1").arg(line));
        QVERIFY(a && b);
        QCOMPARE(a->top, b->top);
        QCOMPARE(a->height, b->height);
        QVERIFY(qAbs(a->top - (100 + line * 11)) <= 1);
    }
    QCOMPARE(rowBands(placed), 20);
    // Written line by line from the top, left to right.
    QCOMPARE(placed[0].text, QStringLiteral("a0"));
    QCOMPARE(placed[1].text, QStringLiteral("b0"));
    QCOMPARE(placed[39].text, QStringLiteral("b19"));
}

void LineGroupingTest::bulletSeveralLinesTallDoesNotSwallowNeighbours()
{
    // A bullet from a large font: its box covers three 12-point lines and its
    // centre lies a little above the middle line's.
    const QVector<PlacedWord> placed = groupLines({
        word(60, 100, 40, 12, "above"),
        word(20, 100, 14, 36, "\u2022"),
        word(60, 114, 40, 12, "middle"),
        word(120, 114, 40, 12, "line"),
        word(60, 128, 40, 12, "below"),
    });
    const PlacedWord *bullet = find(placed, "\u2022");
    const PlacedWord *middle = find(placed, "middle");
    QVERIFY(bullet && middle);
    QCOMPARE(bullet->top, middle->top);
    QCOMPARE(bullet->height, 12);
    QCOMPARE(find(placed, "above")->top, 100);
    QCOMPARE(find(placed, "below")->top, 128);
    QCOMPARE(rowBands(placed), 3);
}

void LineGroupingTest::loneTallBoxBetweenLinesIsAttachedToALine()
{
    // Its centre is half-way between two lines, near none of them.
    const QVector<PlacedWord> placed = groupLines({
        word(60, 100, 40, 12, "one"),
        word(60, 114, 40, 12, "two"),
        word(60, 128, 40, 12, "three"),
        word(60, 142, 40, 12, "four"),
        word(20, 95, 20, 45, "\u2022"),
    });
    const PlacedWord *tall = find(placed, "\u2022");
    QVERIFY(tall);
    QCOMPARE(tall->height, 12);
    QVERIFY(tall->top == 114 || tall->top == 128);
    QCOMPARE(rowBands(placed), 4);
}

void LineGroupingTest::superscriptStaysOnItsLine()
{
    // Body text 12 points, a 7-point footnote mark raised by 4 points; the
    // boxes span each font's ascent and descent.
    const QVector<PlacedWord> placed = groupLines({
        word(50, 100, 40, 13.2, "Revenue"),
        word(91, 100.5, 4, 7.7, "1"),
        word(200, 100, 30, 13.2, "500"),
    });
    QCOMPARE(find(placed, "1")->top, find(placed, "Revenue")->top);
    QCOMPARE(find(placed, "1")->height, 13);
    QCOMPARE(rowBands(placed), 1);

    // With only the mark and one word, the word still decides the line's box.
    const QVector<PlacedWord> pair = groupLines({
        word(50, 100, 40, 13.2, "Revenue"),
        word(91, 100.5, 4, 7.7, "1"),
        word(50, 200, 40, 13.2, "Cost"),
    });
    QCOMPARE(find(pair, "1")->top, 100);
    QCOMPARE(find(pair, "1")->height, 13);
}

void LineGroupingTest::headingLineDoesNotTakeTheLineBelow()
{
    const QVector<PlacedWord> placed = groupLines({
        word(50, 60, 120, 26, "Annual"),
        word(180, 60, 120, 26, "Report"),
        word(50, 90, 40, 12, "Name"),
        word(200, 90, 40, 12, "Value"),
    });
    QCOMPARE(find(placed, "Report")->top, 60);
    QCOMPARE(find(placed, "Report")->height, 26);
    QCOMPARE(find(placed, "Name")->top, 90);
    QCOMPARE(find(placed, "Value")->height, 12);
    QCOMPARE(rowBands(placed), 2);
}

void LineGroupingTest::resultDoesNotDependOnInputOrder()
{
    QVector<WordBox> words;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-1.5, 1.5);
    for (int line = 0; line < 60; ++line) {
        for (int col = 0; col < 8; ++col)
            words.append(word(30 + col * 70, 40 + line * 12 + jitter(random), 40,
                              10 + jitter(random), QStringLiteral("w%1_%2").arg(line).arg(col)));
    }
    words.append(word(10, 200, 15, 40, "big"));
    words.append(word(100, 300, 20, 10, "same"));
    words.append(word(100, 300, 20, 10, "same"));
    const QVector<PlacedWord> reference = groupLines(words);
    for (int round = 0; round < 5; ++round) {
        std::shuffle(words.begin(), words.end(), random);
        const QVector<PlacedWord> again = groupLines(words);
        QCOMPARE(again.size(), reference.size());
        for (int i = 0; i < again.size(); ++i) {
            QCOMPARE(again[i].text, reference[i].text);
            QCOMPARE(again[i].left, reference[i].left);
            QCOMPARE(again[i].top, reference[i].top);
            QCOMPARE(again[i].width, reference[i].width);
            QCOMPARE(again[i].height, reference[i].height);
        }
    }
}

void LineGroupingTest::positionsAreWithinAPointAndAtLeastOne()
{
    const QVector<PlacedWord> placed = groupLines({
        word(72.4, 300.6, 55.5, 10.2, "inside"),
        word(-3, 0.2, 20, 8, "edge"),
        word(500, 600, 0.1, 0.1, "dot"),
    });
    const PlacedWord *inside = find(placed, "inside");
    QCOMPARE(inside->left, 72);
    QCOMPARE(inside->top, 301);
    QVERIFY(qAbs(inside->left + inside->width - 127.9) <= 1);
    QVERIFY(qAbs(inside->top + inside->height - 310.8) <= 1);
    for (const PlacedWord &p : placed) {
        QVERIFY(p.left >= 1);
        QVERIFY(p.top >= 1);
        QVERIFY(p.width >= 1);
        QVERIFY(p.height >= 1);
    }
}

void LineGroupingTest::unusableWordsAreDropped()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const QVector<PlacedWord> placed = groupLines({
        word(10, 10, 10, 10, ""),
        word(10, 10, 10, 10, " \t"),
        word(nan, 10, 10, 10, "nan"),
        word(10, inf, 10, 10, "inf"),
        word(10, 10, 10, 10, "kept"),
    });
    QCOMPARE(placed.size(), 1);
    QCOMPARE(placed[0].text, QStringLiteral("kept"));
    QVERIFY(groupLines({}).isEmpty());
}

void LineGroupingTest::manyWordsOnOneLine()
{
    // Thousands of words of one line, every height different: one row.
    QVector<WordBox> words;
    for (int i = 0; i < 5000; ++i)
        words.append(word(i * 2.0, 100 + (i % 7) * 0.2, 2, 10 + (i % 5) * 0.3, "x"));
    const QVector<PlacedWord> placed = groupLines(words);
    QCOMPARE(placed.size(), 5000);
    QCOMPARE(rowBands(placed), 1);
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
    PlacedWord a;
    a.left = 61;
    a.top = 78;
    a.width = 36;
    a.height = 13;
    a.text = QString::fromUtf8("Gr\xc3\xb6\xc3\x9f" "e<5>\n");
    PlacedWord b = a;
    b.left = 227;
    b.text = "x;\"left:9\"";
    const QByteArray layer = formatTextLayer({a, b});
    QVERIFY(!layer.startsWith("\xef\xbb\xbf"));
    QCOMPARE(layer.count('\n'), 2);
    QVERIFY(layer.startsWith("<span style=\"left:61;top:78;width:36;height:13;\">"));

    const Alltext runs = TextLayer::parsePage(layer);
    QCOMPARE(runs.count, 2);
    QCOMPARE(runs.subtext[0].x, 61);
    QCOMPARE(runs.subtext[0].y, 78);
    QCOMPARE(runs.subtext[0].width, 36);
    QCOMPARE(runs.subtext[0].height, 13);
    // The reader takes the text literally: references stay as written.
    QCOMPARE(runs.subtext[0].text, QString::fromUtf8("Gr\xc3\xb6\xc3\x9f" "e&lt;5&gt; "));
    // Key-like text after the style does not disturb the position values.
    QCOMPARE(runs.subtext[1].x, 227);
    QCOMPARE(runs.subtext[1].text, QStringLiteral("x;\"left:9\""));
}

QTEST_MAIN(LineGroupingTest)
#include "linegrouping_test.moc"
