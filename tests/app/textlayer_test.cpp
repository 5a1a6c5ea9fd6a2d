#include "textlayer.h"

#include <QtTest>

// The rules by which one text-layer line becomes one run, and a page's bytes
// become the runs of a page.
class TextLayerTest : public QObject
{
    Q_OBJECT

private slots:
    void positionValues_data();
    void positionValues();
    void keysAreFirstOccurrenceAndCaseSensitive();
    void runText_data();
    void runText();
    void wholeLine();
    void pageSplitting_data();
    void pageSplitting();
    void pageStopsAtFirstNul();
    void pageDecodesUtf8();
    void splitLinesKeepsCarriageReturn();
    void hostileInputGivesZerosNotCrashes();
};

void TextLayerTest::positionValues_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("left");

    QTest::newRow("plain") << "<span style=\"left:120;top:5;\">x</span>" << 120;
    QTest::newRow("px unit") << "<span style=\"left:120px;\">x</span>" << 0;
    QTest::newRow("negative") << "left:-5;" << 0;
    QTest::newRow("zero") << "left:0;" << 0;
    QTest::newRow("one") << "left:1;" << 1;
    QTest::newRow("empty value") << "left:;" << 0;
    QTest::newRow("decimal point") << "left:12.5;" << 0;
    QTest::newRow("equals and quote") << "<span left=120\">" << 120;
    QTest::newRow("blank separator") << "left 120;" << 120;
    QTest::newRow("second colon is part of the value") << "left::120;" << 0;
    QTest::newRow("to end of line") << "top:1;left:77" << 77;
    QTest::newRow("surrounding blanks") << "left: 42 ;" << 42;
    QTest::newRow("plus sign") << "left:+42;" << 42;
    QTest::newRow("largest int") << "left:2147483647;" << 2147483647;
    QTest::newRow("beyond int") << "left:2147483648;" << 0;
    QTest::newRow("far beyond int") << "left:99999999999999999999999999;" << 0;
    QTest::newRow("hex") << "left:0x10;" << 0;
    QTest::newRow("key at end of line") << "abc left" << 0;
    QTest::newRow("key and separator at end") << "abc left:" << 0;
    QTest::newRow("missing key") << "<span style=\"top:3;\">x</span>" << 0;
    QTest::newRow("leading zeros") << "left:007;" << 7;
    QTest::newRow("full-width digits") << QString::fromUtf8("left:\xef\xbc\x91\xef\xbc\x92;") << 0;
    QTest::newRow("double sign") << "left:--5;" << 0;
}

void TextLayerTest::positionValues()
{
    QFETCH(QString, line);
    QFETCH(int, left);
    QCOMPARE(TextLayer::getpos(u"left", line), left);
}

void TextLayerTest::keysAreFirstOccurrenceAndCaseSensitive()
{
    // "top" first occurs at the end of a longer property name.
    const QString line = "<span style=\"padding-top:3;top:50;left:9\">a</span>";
    QCOMPARE(TextLayer::getpos(u"top", line), 3);
    QCOMPARE(TextLayer::getpos(u"left", line), 9);

    // Case matters: "Left" is not "left".
    QCOMPARE(TextLayer::getpos(u"left", QStringLiteral("Left:5;LEFT:6;")), 0);
    QCOMPARE(TextLayer::getpos(u"left", QStringLiteral("Left:5;left:6;")), 6);

    // A key inside the text of the run counts when it comes first.
    QCOMPARE(TextLayer::getpos(u"width", QStringLiteral("width:8;<span style=\"width:30;\">x</span>")), 8);
    // "height" inside "lineheight" is found as well.
    QCOMPARE(TextLayer::getpos(u"height", QStringLiteral("lineheight:4;height:10;")), 4);
}

void TextLayerTest::runText_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("text");

    QTest::newRow("span") << "<span>abc</span>" << "abc";
    QTest::newRow("styled span") << "<span style=\"left:1;\">Total</span>" << "Total";
    QTest::newRow("reference kept") << "<span>a&amp;b&lt;</span>" << "a&amp;b&lt;";
    QTest::newRow("no close tag") << "<span>abc" << "";
    QTest::newRow("no > before close: first character dropped") << "abc</span>" << "bc";
    QTest::newRow("only first close counts") << "<b>one</span><i>two</span>" << "one";
    QTest::newRow("last > before close") << "<a><b>in</span>" << "in";
    QTest::newRow("> at position 0 is not searched") << ">abc</span>" << "abc";
    QTest::newRow("> at position 1") << "x>abc</span>" << "abc";
    QTest::newRow("close at start") << "</span>abc" << "";
    QTest::newRow("close at position 1") << "a</span>" << "";
    QTest::newRow("empty text") << "<span></span>" << "";
    QTest::newRow("blanks kept") << "<span> a b </span>" << " a b ";
    QTest::newRow("case-sensitive close") << "<span>abc</SPAN>" << "";
    QTest::newRow("non-ascii") << QString::fromUtf8("<span>Gr\xc3\xbc\xc3\x9f\xe4\xb8\xad</span>")
                               << QString::fromUtf8("Gr\xc3\xbc\xc3\x9f\xe4\xb8\xad");
}

void TextLayerTest::runText()
{
    QFETCH(QString, line);
    QFETCH(QString, text);
    QCOMPARE(TextLayer::gettext(line), text);
}

void TextLayerTest::wholeLine()
{
    const Subtext run = TextLayer::getSubtextInfo(
        QStringLiteral("<span style=\"left:120; top:50; width:30; height:10;\">Total</span>"));
    QCOMPARE(run.x, 120);
    QCOMPARE(run.y, 50);
    QCOMPARE(run.width, 30);
    QCOMPARE(run.height, 10);
    QCOMPARE(run.text, QStringLiteral("Total"));

    const Subtext trailing = TextLayer::getSubtextInfo(QStringLiteral("<i>x</span> left:1;top:2;width:3;height:10"));
    QCOMPARE(trailing.height, 10);
    QCOMPARE(trailing.text, QStringLiteral("x"));

    const Subtext nothing = TextLayer::getSubtextInfo(QStringLiteral("just words"));
    QCOMPARE(nothing.x, 0);
    QCOMPARE(nothing.y, 0);
    QCOMPARE(nothing.width, 0);
    QCOMPARE(nothing.height, 0);
    QVERIFY(nothing.text.isEmpty());
}

void TextLayerTest::pageSplitting_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("empty") << QByteArray() << QStringList();
    QTest::newRow("only line feeds") << QByteArray("\n\n\n") << QStringList();
    QTest::newRow("empty line skipped") << QByteArray("<s>a</span>\n\n<s>b</span>\n")
                                        << QStringList{"a", "b"};
    QTest::newRow("no final line feed") << QByteArray("<s>a</span>\n<s>b</span>")
                                        << QStringList{"a", "b"};
    QTest::newRow("crlf with blank line: the lone \\r is a run")
        << QByteArray("<s>a</span>\r\n\r\n<s>b</span>\r\n") << QStringList{"a", "", "b"};
    QTest::newRow("lines without keys are runs too") << QByteArray("hello\n<s>x</span>\n")
                                                     << QStringList{"", "x"};
}

void TextLayerTest::pageSplitting()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, texts);
    const Alltext page = TextLayer::parsePage(bytes);
    QCOMPARE(page.count, texts.size());
    QCOMPARE(page.subtext.size(), texts.size());
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(page.subtext[i].text, texts[i]);
}

void TextLayerTest::pageStopsAtFirstNul()
{
    QByteArray bytes("<span style=\"left:5;\">a</span>\n<s>b</span>\n");
    bytes += '\0';
    bytes += "<s>c</span>\n<s>d</span>\n";
    const Alltext page = TextLayer::parsePage(bytes);
    QCOMPARE(page.count, 2);
    QCOMPARE(page.subtext[0].x, 5);
    QCOMPARE(page.subtext[1].text, QStringLiteral("b"));

    // A NUL in the middle of a line cuts that line.
    QByteArray cut("<s>ab");
    cut += '\0';
    cut += "c</span>\n";
    const Alltext cutPage = TextLayer::parsePage(cut);
    QCOMPARE(cutPage.count, 1);
    QVERIFY(cutPage.subtext[0].text.isEmpty());
}

void TextLayerTest::pageDecodesUtf8()
{
    // A byte-order mark, were one present, stays part of the first line.
    const Alltext page = TextLayer::parsePage(QByteArray("<s>\xe2\x82\xac 5</span>\n"));
    QCOMPARE(page.count, 1);
    QCOMPARE(page.subtext[0].text, QString::fromUtf8("\xe2\x82\xac 5"));

    // Invalid UTF-8 is replaced, not a reason to lose the line.
    const Alltext bad = TextLayer::parsePage(QByteArray("<s>\xff\xfe</span>\n<s>ok</span>\n"));
    QCOMPARE(bad.count, 2);
    QCOMPARE(bad.subtext[1].text, QStringLiteral("ok"));
}

void TextLayerTest::splitLinesKeepsCarriageReturn()
{
    const QStringList lines = TextLayer::splitLines(QStringLiteral("a\r\n\nb\n\r\n"));
    QCOMPARE(lines, (QStringList{"a\r", "b", "\r"}));
    QCOMPARE(TextLayer::parseText(QStringLiteral("a\r\n\nb\n\r\n")).count, lines.size());
}

void TextLayerTest::hostileInputGivesZerosNotCrashes()
{
    // Long lines of keys without values, separators only, lone brackets.
    QByteArray bytes;
    for (int i = 0; i < 2000; ++i)
        bytes += "left";
    bytes += "\n>>>>>>>>>>>>>>>>>>>>>\n</span></span></span>\n\"\"\";;;;;\nheight\n";
    const Alltext page = TextLayer::parsePage(bytes);
    QCOMPARE(page.count, 5);
    for (const Subtext &run : page.subtext) {
        QCOMPARE(run.x, 0);
        QCOMPARE(run.height, 0);
    }
    QVERIFY(page.subtext[2].text.isEmpty());
}

QTEST_MAIN(TextLayerTest)
#include "textlayer_test.moc"
