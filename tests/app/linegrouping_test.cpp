#include "linegrouping.h"
#include "textlayer.h"
#include "textlayerwriter.h"
#include "wordbreak.h"

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
    void tightLinesStaySeparateInReadingOrderWhateverTheInputOrder();
    void textLayerEscapesAndRoundTripsThroughTheReader();
    void wordBreaksAsBothProgramsSeeThem();
};

namespace
{
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
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct
    {
        const char *name;
        QVector<WordBox> words;
        QVector<PlacedWord> expected;   // left -1: only top and height checked
        int bands;
        int count;   // words kept
        QString order = {};   // when set: the runs' texts in layer order
    } cases[] = {
        // The line's band holds all three.
        {"value a point higher, other font",
         {{50, 100.2, 40, 12.1, "Total"}, {200, 99.1, 30, 12.8, "1,234"}, {300, 100.6, 20, 11.4, "EUR"}},
         {{-1, 99, 0, 13, "Total"}, {-1, 99, 0, 13, "1,234"}, {-1, 99, 0, 13, "EUR"}}, 1, 3},
        // Its box covers three lines, its centre a little above the middle one's.
        {"bullet three lines tall",
         {{60, 100, 40, 12, "above"}, {20, 100, 14, 36, "\u2022"}, {60, 114, 40, 12, "middle"},
          {120, 114, 40, 12, "line"}, {60, 128, 40, 12, "below"}},
         {{-1, 100, 0, 12, "above"}, {-1, 114, 0, 12, "\u2022"}, {-1, 114, 0, 12, "middle"},
          {-1, 128, 0, 12, "below"}}, 3, 5},
        // Its centre lies between lines: it joins the nearest it covers.
        {"lone tall box between lines",
         {{60, 100, 40, 12, "one"}, {60, 114, 40, 12, "two"}, {60, 128, 40, 12, "three"}, {60, 142, 40, 12, "four"},
          {20, 95, 20, 45, "\u2022"}},
         {{-1, 114, 0, 12, "\u2022"}, {-1, 114, 0, 12, "two"}, {-1, 142, 0, 12, "four"}}, 4, 5},
        // The first line by centre: its centre lies above the one line it holds.
        {"tall box above the middle of the line it holds",
         {{20, 100, 20, 40, "\u2022"}, {60, 121, 40, 12, "one"}},
         {{-1, 121, 0, 12, "\u2022"}, {-1, 121, 0, 12, "one"}}, 1, 2},
        {"raised footnote mark",
         {{50, 100, 40, 13.2, "Revenue"}, {91, 100.5, 4, 7.7, "1"}, {200, 100, 30, 13.2, "500"}},
         {{-1, 100, 0, 13, "1"}, {-1, 100, 0, 13, "500"}}, 1, 3},
        {"mark and one word: the word decides",
         {{50, 100, 40, 13.2, "Revenue"}, {91, 100.5, 4, 7.7, "1"}, {50, 200, 40, 13.2, "Cost"}},
         {{-1, 100, 0, 13, "1"}, {-1, 200, 0, 13, "Cost"}}, 2, 3},
        // It keeps its own edges: the line's row still holds both.
        {"a taller word does not stretch the line", {{50, 100, 40, 12, "word"}, {100, 95, 30, 20, "Big"}},
         {{-1, 100, 0, 12, "word"}, {-1, 95, 0, 20, "Big"}}, 1, 2},
        {"a taller word between lines it does not reach keeps its own edges",
         {{50, 60, 40, 12, "above"}, {50, 100, 40, 12, "word"}, {100, 95, 30, 20, "Big"}, {50, 140, 40, 12, "below"}},
         {{-1, 60, 0, 12, "above"}, {-1, 95, 0, 20, "Big"}, {-1, 140, 0, 12, "below"}}, 3, 4},
        {"a taller word that would reach over the next line keeps its line's band",
         {{50, 100, 40, 12, "word"}, {100, 95, 30, 27, "Big"}, {50, 113, 40, 8, "small"}},
         {{-1, 100, 0, 12, "Big"}, {-1, 113, 0, 8, "small"}}, 2, 3},
        {"a taller word keeps its own edges over a line of another column",
         {{50, 100, 40, 12, "word"}, {95, 96, 30, 20, "Big"}, {300, 91, 30, 12, "other"}},
         {{-1, 100, 0, 12, "word"}, {-1, 96, 0, 20, "Big"}, {-1, 91, 0, 12, "other"}}, 2, 3},
        {"heading above a table row",
         {{50, 60, 120, 26, "Annual"}, {180, 60, 120, 26, "Report"}, {50, 90, 40, 12, "Name"},
          {200, 90, 40, 12, "Value"}},
         {{-1, 60, 0, 26, "Report"}, {-1, 90, 0, 12, "Name"}, {-1, 90, 0, 12, "Value"}}, 2, 4},
        // Columns whose line spacings differ: their lines drift apart down
        // the page. Lines of separate columns that share no baseline stay
        // apart, so no line of one column reaches the next line of another
        // (which would give "AV," and "brown" one top at one left).
        {"columns of other line spacings",
         {{50, 100, 30, 10, "AV,"}, {200, 102, 30, 10, "b"}, {350, 104, 30, 10, "c"}, {50, 106, 30, 10, "brown"}},
         {{50, 100, 30, 10, "AV,"}, {-1, 102, 0, 10, "b"}, {-1, 104, 0, 10, "c"}, {50, 106, 30, 10, "brown"}}, 4, 4},
        {"columns on one baseline are one line",
         {{50, 100, 30, 12, "left"}, {200, 100.6, 30, 11.5, "middle"}, {350, 101.2, 30, 10.9, "right"}},
         {{-1, 100, 0, 12, "left"}, {-1, 100, 0, 12, "middle"}, {-1, 100, 0, 12, "right"}}, 1, 3},
        // A tilted word's box holds its turned glyphs; it makes no row.
        {"a tilted word keeps its own box",
         {{50, 100, 40, 12, "level"}, {60.4, 90.2, 50.3, 40.4, "tilted", false, true}, {100, 104, 40, 12, "more"}},
         {{50, 100, 40, 12, "level"}, {60, 90, 51, 41, "tilted"}}, 1, 3, "level more tilted"},
        // Right edge 127.9.
        {"edges rounded, at least 1",
         {{72.4, 300.6, 55.5, 10.2, "inside"}, {-3, 0.2, 20, 8, "edge"}, {500, 600, 0.1, 0.1, "dot"}},
         {{72, 301, 56, 10, "inside"}, {1, 1, 16, 7, "edge"}, {500, 600, 1, 1, "dot"}}, 3, 3},
        // A column of words written down the page shares its left and width;
        // each keeps its own top and height, tall and narrow.
        {"words running down the page",
         {{100, 50, 12, 40, "Down", true}, {100.5, 95, 11.6, 30, "the", true}, {101, 130, 12.2, 25, "page", true},
          {300, 60, 40, 12, "flat"}},
         {{100, 50, 13, 40, "Down"}, {100, 95, 13, 30, "the"}, {100, 130, 13, 25, "page"}, {300, 60, 40, 12, "flat"}}, 3, 4},
        {"two columns side by side stay apart",
         {{100, 50, 12, 40, "left", true}, {114, 50, 12, 40, "right", true}},
         {{100, 50, 12, 40, "left"}, {114, 50, 12, 40, "right"}}, 1, 2},
        {"lines above the page", {{10, -100, 20, 8, "a"}, {10, -50, 20, 8, "b"}}, {{-1, 1, 0, 1, "a"}, {-1, 1, 0, 1, "b"}}, 1, 2},
        {"unusable words dropped",
         {{10, 10, 10, 10, ""}, {10, 10, 10, 10, " \t"}, {10, 10, 10, 10, "\b\x1f"}, {nan, 10, 10, 10, "nan"},
          {10, inf, 10, 10, "inf"}, {10, 10, 10, 10, "kept"}},
         {{-1, 10, 0, 10, "kept"}}, 1, 1},
        // A lone box over two lines, its centre (rounded) nearer one of them,
        // joins that one; the farther comes first among those it holds in one
        // case, second in the other. Midway, the upper one.
        {"lone tall box nearer the upper line",
         {{60, 100, 40, 12, "one"}, {60, 114, 40, 12, "two"}, {60, 128, 40, 12, "three"}, {20, 92.2, 20, 40, "\u2022"}},
         {{-1, 100, 0, 12, "\u2022"}, {-1, 100, 0, 12, "one"}, {-1, 114, 0, 12, "two"}}, 3, 4, "\u2022 one two three"},
        {"lone tall box nearer the lower line",
         {{60, 100, 40, 12, "one"}, {60, 114, 40, 12, "two"}, {60, 128, 40, 12, "three"}, {20, 93.8, 20, 40, "\u2022"}},
         {{-1, 114, 0, 12, "\u2022"}, {-1, 100, 0, 12, "one"}, {-1, 114, 0, 12, "two"}}, 3, 4, "one \u2022 two three"},
        {"lone tall box midway: the upper line",
         {{60, 100, 40, 12, "one"}, {60, 114, 40, 12, "two"}, {60, 128, 40, 12, "three"}, {20, 93, 20, 40, "\u2022"}},
         {{-1, 100, 0, 12, "\u2022"}}, 3, 4, "\u2022 one two three"},
        // Words at one spot: same centre and left; the one reaching higher
        // first, then the narrower, then by text, whatever the input order.
        // A later run on the corner of an earlier one moves a unit right, its
        // right edge kept, so a picture rule names each by its own corner.
        {"same centre and left: the higher top first",
         {{50, 100, 20, 12, "short"}, {50, 98, 30, 16, "tall"}},
         {{-1, 98, 0, 16, "tall"}, {-1, 98, 0, 16, "short"}}, 1, 2, "tall short"},
        {"same centre, left and top: the narrower first",
         {{50, 100, 30, 12, "alpha"}, {50, 100, 20, 12, "zeta"}},
         {{51, 100, 29, 12, "alpha"}, {50, 100, 20, 12, "zeta"}}, 1, 2, "zeta alpha"},
        {"same box: by text", {{50, 100, 20, 12, "b"}, {50, 100, 20, 12, "a"}}, {}, 1, 2, "a b"},
        // A third moves a unit down, a fourth both ways; a fifth finds no
        // corner of its own within a unit and is left out.
        {"words piled on one spot: each its own corner",
         {{50, 100, 20, 12, "e"}, {50, 100, 20, 12, "d"}, {50, 100, 20, 12, "c"}, {50, 100, 20, 12, "b"}, {50, 100, 20, 12, "a"}},
         {{50, 100, 20, 12, "a"}, {51, 100, 19, 12, "b"}, {50, 101, 20, 11, "c"}, {51, 101, 19, 11, "d"}}, 1, 4, "a b c d"},
        // A tall word and a small one: the line's height is then the smaller
        // (the middle of the two), so a tall word 7 points lower is another line.
        {"the line's height is its words' middle height",
         {{50, 90, 30, 20, "Tall"}, {100, 96, 30, 10, "small"}, {150, 97, 30, 20, "lower"}}, {}, 2, 3},
        // Five heights rising along one centre: the middle one, 30, lets a
        // word 12 points lower join.
        {"the line's height follows its rising middle",
         {{10, 95, 9, 10, "a"}, {20, 90.1, 9, 20, "b"}, {30, 85.2, 9, 30, "c"}, {40, 80.3, 9, 40, "d"},
          {50, 75.4, 9, 50, "e"}, {60, 92, 9, 40, "f"}}, {}, 1, 6},
    };
    for (const auto &c : cases) {
        const QVector<PlacedWord> placed = groupLines(c.words);
        QVERIFY2(placed.size() == c.count && rowBands(placed) == c.bands, c.name);
        for (const PlacedWord &p : placed)
            QVERIFY2(p.left >= 1 && p.top >= 1 && p.width >= 1 && p.height >= 1, c.name);
        if (!c.order.isEmpty()) {
            QStringList texts;
            for (const PlacedWord &p : placed)
                texts << p.text;
            QVERIFY2(texts.join(' ') == c.order, qPrintable(QString(c.name) + ": " + texts.join(' ')));
            // The same whatever the input order.
            QVector<WordBox> reversed(c.words.rbegin(), c.words.rend());
            QVERIFY2(formatTextLayer(groupLines(reversed)) == formatTextLayer(placed), c.name);
        }
        for (const PlacedWord &want : c.expected) {
            const auto got = std::find_if(placed.begin(), placed.end(),
                                          [&](const PlacedWord &p) { return p.text == want.text; });
            QVERIFY2(got != placed.end() && got->top == want.top && got->height == want.height
                         && (want.left < 0 || (got->left == want.left && got->width == want.width)),
                     qPrintable(QString(c.name) + ": " + want.text));
        }
    }
}

void LineGroupingTest::tightLinesStaySeparateInReadingOrderWhateverTheInputOrder()
{
    // Line spacing 11 points, boxes 12 tall give or take 0.4: neighbours
    // overlap a little.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-0.4, 0.4);
    QVector<WordBox> words;
    for (int line = 19; line >= 0; --line) {
        for (const char *column : {"b", "a"})
            words.append({*column == 'a' ? 50.0 : 150.0, 100 + line * 11 + jitter(random), 30, 12 + jitter(random),
                          column + QString::number(line)});
    }
    const QVector<PlacedWord> placed = groupLines(words);
    QCOMPARE(placed.size(), 40);
    QCOMPARE(rowBands(placed), 20);
    for (int line = 0; line < 20; ++line) {
        const PlacedWord &a = placed[2 * line], &b = placed[2 * line + 1];
        QCOMPARE(a.text + b.text, QStringLiteral("a%1b%1").arg(line));
        QCOMPARE(QPoint(a.top, a.height), QPoint(b.top, b.height));
        QVERIFY(qAbs(a.top - (100 + line * 11)) <= 1);
    }
    // A box across three lines joins one of them, and two words in one box
    // keep their order, whatever the input order.
    words += {{10, 200, 15, 40, "big"}, {300, 200, 20, 12, "y"}, {300, 200, 20, 12, "x"}};
    const QByteArray reference = formatTextLayer(groupLines(words));
    for (int round = 0; round < 5; ++round) {
        std::shuffle(words.begin(), words.end(), random);
        QCOMPARE(formatTextLayer(groupLines(words)), reference);
    }
}

void LineGroupingTest::textLayerEscapesAndRoundTripsThroughTheReader()
{
    const QString cases[][2] = {
        {"a<b>&c", "a&lt;b&gt;&amp;c"},
        {"&amp;", "&amp;amp;"},   // a reference stays decodable
        {"a\nb\rc\td", "a b c d"},
        {QString::fromUtf16(u"a\0b", 3), "a b"},
        {"a\bb\x1b" "c\x1f" "d\x7f", "a b c d\x7f"},
        {"\"q\" 'r'!;", "\"q\" 'r'!;"},   // quotes and the first printable characters kept
    };
    for (const auto &c : cases)
        QCOMPARE(escapeRunText(c[0]), c[1]);

    const QByteArray layer = formatTextLayer(
        {{61, 78, 36, 13, QString::fromUtf8("Gr\xc3\xb6\xc3\x9f" "e<5>\n")}, {227, 78, 36, 13, "x;\"left:9\""}});
    QCOMPARE(layer, QByteArray("<span style=\"left:61;top:78;width:36;height:13;\">"
                               "Gr\xc3\xb6\xc3\x9f" "e&lt;5&gt; </span>\n"
                               "<span style=\"left:227;top:78;width:36;height:13;\">x;\"left:9\"</span>\n"));
    // Key-like text after the style does not disturb the reader's positions.
    const Subtext second = TextLayer::parsePage(layer).subtext.value(1);
    QCOMPARE(QRect(second.x, second.y, second.width, second.height), QRect(227, 78, 36, 13));
    QCOMPARE(second.text, QStringLiteral("x;\"left:9\""));
}

// The one rule by which the converter parts its words and the replacement
// engine finds them again: glyph boxes of a 10-point line, 12 thick.
void LineGroupingTest::wordBreaksAsBothProgramsSeeThem()
{
    int fontA = 0, fontB = 0;
    const GlyphPlace::Turn right = GlyphPlace::Right, down = GlyphPlace::Down;
    const struct
    {
        const char *name;
        GlyphPlace a, b;
        bool breaks;
    } cases[] = {
        {"next letter", GlyphPlace::of(10, 100, 16, 112, right), GlyphPlace::of(16, 100, 22, 112, right), false},
        {"kerned a little apart", GlyphPlace::of(10, 100, 16, 112, right), GlyphPlace::of(16.8, 100, 22, 112, right), false},
        {"gap of a tenth of an em", GlyphPlace::of(10, 100, 16, 112, right), GlyphPlace::of(17.2, 100, 23, 112, right), true},
        {"next table column", GlyphPlace::of(10, 100, 16, 112, right), GlyphPlace::of(90, 100, 96, 112, right), true},
        {"step back", GlyphPlace::of(10, 100, 16, 112, right), GlyphPlace::of(2, 100, 8, 112, right), true},
        {"overlapping a little", GlyphPlace::of(10, 100, 16, 112, right), GlyphPlace::of(15, 100, 21, 112, right), false},
        {"larger size", GlyphPlace::of(10, 100, 16, 112, right), GlyphPlace::of(16, 98, 23, 112, right), true},
        {"raised", GlyphPlace::of(10, 100, 16, 112, right), GlyphPlace::of(16, 97, 22, 109, right), true},
        {"next line", GlyphPlace::of(10, 100, 16, 112, right), GlyphPlace::of(10, 114, 16, 126, right), true},
        {"other direction", GlyphPlace::of(10, 100, 16, 112, right), GlyphPlace::of(16, 100, 28, 106, down), true},
        {"down the page", GlyphPlace::of(100, 10, 112, 16, down), GlyphPlace::of(100, 16, 112, 22, down), false},
        {"down the page after a gap", GlyphPlace::of(100, 10, 112, 16, down), GlyphPlace::of(100, 19, 112, 25, down), true},
        {"up the page", GlyphPlace::of(100, 20, 112, 26, GlyphPlace::Up), GlyphPlace::of(100, 14, 112, 20, GlyphPlace::Up), false},
        {"right to left", GlyphPlace::of(20, 100, 26, 112, GlyphPlace::Left), GlyphPlace::of(14, 100, 20, 112, GlyphPlace::Left), false},
        {"empty box", GlyphPlace::of(10, 100, 16, 100, right), GlyphPlace::of(16, 100, 22, 100, right), true},
    };
    for (const auto &c : cases)
        QVERIFY2(wordBreakBetween(c.a, c.b) == c.breaks, c.name);
    // Fonts count where the reader tells them.
    GlyphPlace a = GlyphPlace::of(10, 100, 16, 112, right), b = GlyphPlace::of(16, 100, 22, 112, right);
    a.font = &fontA;
    QVERIFY(!wordBreakBetween(a, b));
    b.font = &fontA;
    QVERIFY(!wordBreakBetween(a, b));
    b.font = &fontB;
    QVERIFY(wordBreakBetween(a, b));
}

QTEST_MAIN(LineGroupingTest)
#include "linegrouping_test.moc"
