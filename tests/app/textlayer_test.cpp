#include "textlayer.h"

#include <QtTest>

// The rules by which one text-layer line becomes one run, and a page's bytes
// become the runs of a page.
class TextLayerTest : public QObject
{
    Q_OBJECT

private slots:
    void positionValues_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "left" << "<span style=\"left:120;top:5;\">x</span>" << 120;
        QTest::newRow("px unit") << "left" << "<span style=\"left:120px;\">x</span>" << 0;
        QTest::newRow("negative") << "left" << "left:-5;" << 0;
        QTest::newRow("decimal point") << "left" << "left:12.5;" << 0;
        QTest::newRow("equals and quote") << "left" << "<span left=120\">" << 120;
        QTest::newRow("to end of line") << "left" << "top:1;left:77" << 77;
        QTest::newRow("surrounding blanks and sign") << "left" << "left: +42 ;" << 42;
        QTest::newRow("sign alone") << "left" << "left:+;" << 0;
        QTest::newRow("largest int") << "left" << "left:2147483647;" << 2147483647;
        QTest::newRow("beyond int") << "left" << "left:2147483648;" << 0;
        QTest::newRow("key at end of line") << "left" << "abc left:" << 0;
        QTest::newRow("full-width digits") << "left" << QString::fromUtf8("left:\xef\xbc\x91\xef\xbc\x92;") << 0;
        // The first occurrence counts, even inside a longer name; case matters.
        QTest::newRow("inside a longer name") << "left" << "padding-left:3;left:50;" << 3;
        QTest::newRow("case") << "left" << "Left:5;left:6;" << 6;
        QTest::newRow("one-letter key") << "x" << "ab x:5;" << 5;
    }

    void positionValues()
    {
        QFETCH(QString, key);
        QFETCH(QString, line);
        QFETCH(int, value);
        QCOMPARE(TextLayer::getpos(key, line), value);
    }

    void runText_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("text");
        QTest::newRow("styled span") << "<span style=\"left:1;\">Total</span>" << "Total";
        QTest::newRow("reference kept") << "<span>a&amp;b</span>" << "a&amp;b";
        QTest::newRow("no close tag") << "<span>abc" << "";
        QTest::newRow("no > before close: first character dropped") << "abc</span>" << "bc";
        QTest::newRow("only the first close counts") << "<b>one</span><i>two</span>" << "one";
        QTest::newRow("close at position 1") << "a</span>" << "";
        QTest::newRow("blanks kept") << "<span> a b </span>" << " a b ";
        QTest::newRow("case-sensitive close") << "<span>abc</SPAN>" << "";
    }

    void runText()
    {
        QFETCH(QString, line);
        QFETCH(QString, text);
        QCOMPARE(TextLayer::gettext(line), text);
        QCOMPARE(TextLayer::getSubtextInfo(line).text, text);
    }

    void pages_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("empty") << QByteArray() << QStringList();
        QTest::newRow("empty lines skipped") << QByteArray("\n<s>a</span>\n\n<s>b</span>") << QStringList{"a", "b"};
        QTest::newRow("crlf: a lone \\r is a run") << QByteArray("<s>a</span>\r\n\r\n<s>b</span>\r\n")
                                                   << QStringList{"a", "", "b"};
        QTest::newRow("lines without keys are runs too") << QByteArray("hello\n") << QStringList{""};
        QTest::newRow("stops at the first NUL") << QByteArray("<s>a</span>\n<s>b\0c</span>\n<s>d</span>", 35)
                                                << QStringList{"a", ""};
        QTest::newRow("UTF-8") << QByteArray("<s>\xe2\x82\xac 5</span>") << QStringList{QString::fromUtf8("\xe2\x82\xac 5")};
        QTest::newRow("invalid UTF-8 keeps the lines") << QByteArray("<s>\xff\xfe</span>\n<s>ok</span>\n")
                                                       << QStringList{QString(2, QChar::ReplacementCharacter), "ok"};
    }

    void pages()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, texts);
        const Alltext page = TextLayer::parsePage(bytes);
        QCOMPARE(page.count, texts.size());
        QStringList got;
        for (const Subtext &run : page.subtext)
            got << run.text;
        QCOMPARE(got, texts);
    }
};

QTEST_MAIN(TextLayerTest)
#include "textlayer_test.moc"
