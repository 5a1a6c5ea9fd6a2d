#include "tablefile.h"
#include "testfiles.h"
#include "../filesizelimit.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

namespace {

using Pages = QVector<TableFile::PageRows>;

QString rowText(const QStringList &row)
{
    QStringList quoted;
    for (const QString &cell : row)
        quoted.append(QLatin1Char('"') + cell + QLatin1Char('"'));
    return quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
}

QStringList pageTexts(const Pages &pages)
{
    QStringList texts;
    for (const auto &page : pages) {
        QString t;
        for (const QStringList &row : page)
            t += rowText(row);
        texts.append(t);
    }
    return texts;
}

// The file as it has always been written: page texts joined by "\n", the
// separators turned into tabs, through a UTF-16LE text stream with its
// byte-order mark.
QByteArray streamedBytes(const Pages &pages)
{
    QString joined = pageTexts(pages).join(QLatin1Char('\n'));
    joined.replace(QLatin1String("\",\""), QLatin1String("\"\t\""));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly | QIODevice::Text);
    QTextStream out(&buffer);
    out.setGenerateByteOrderMark(true);
    out.setCodec("UTF-16LE");
    out << joined;
    out.flush();
    return buffer.data();
}

// The workbook's lines as they have always been cut from the joined text.
QVector<QStringList> cutLines(const Pages &pages)
{
    QVector<QStringList> lines;
    const QString joined = pageTexts(pages).join(QLatin1Char('\n'));
    for (const QString &line : joined.split(QLatin1Char('\n'))) {
        if (line.isEmpty()) {
            lines.append(QStringList());
            continue;
        }
        QStringList fields = line.split(QLatin1String("\",\""));
        fields.first().remove(0, 1);
        fields.last().chop(1);
        lines.append(fields);
    }
    return lines;
}

QByteArray utf16le(const QString &s)
{
    QByteArray b;
    for (QChar c : s) {
        b.append(char(c.unicode() & 0xFF));
        b.append(char(c.unicode() >> 8));
    }
    return b;
}

const QByteArray markBytes("\xFF\xFE", 2);

Pages randomPages(QRandomGenerator &rng)
{
    static const QStringList pieces{"a",  "b",  " ",  "\"", ",", "\t", "\u00e9",
                                    "\xF0\x9F\x98\x80", "\r", "x y", "\"\""};
    Pages pages;
    const int pageCount = 1 + int(rng.bounded(4));
    for (int p = 0; p < pageCount; ++p) {
        TableFile::PageRows page;
        const int rowCount = int(rng.bounded(4));
        const int columns = 1 + int(rng.bounded(4));
        for (int r = 0; r < rowCount; ++r) {
            QStringList row;
            for (int c = 0; c < columns; ++c) {
                QString cell;
                do {
                    cell.clear();
                    const int n = int(rng.bounded(5));
                    for (int i = 0; i < n; ++i)
                        cell += pieces.at(int(rng.bounded(pieces.size())));
                    // Cells that with their own quotes hold the separator are
                    // exactly where the joined text cannot be split back.
                } while ((QLatin1Char('"') + cell + QLatin1Char('"')).contains(QLatin1String("\",\"")));
                row.append(cell);
            }
            page.append(row);
        }
        pages.append(page);
    }
    return pages;
}

} // namespace

class TableFileTest : public QObject
{
    Q_OBJECT

private slots:
    void bytesOfSmallDocuments();
    void nonBmpCharactersAsSurrogatePairs();
    void separatorInsideACellStaysOneCell();
    void bytesMatchTheStreamedText();
    void sheetLinesMatchTheCutText();
    void saveWritesAndReplaces();
    void saveIntoAMissingFolderReportsTheReason();
    void failedWriteLeavesTheEarlierFileIntact();
};

void TableFileTest::bytesOfSmallDocuments()
{
    // Three pages without a table: the mark and two line feeds.
    QCOMPARE(TableFile::encode(Pages(3)), markBytes + utf16le("\n\n"));
    // One page without a table: the mark alone.
    QCOMPARE(TableFile::encode(Pages(1)), markBytes);

    // Two rows on page 1, one on page 2: an empty line between the pages, a
    // line feed at the end.
    const Pages two{{{"a ", "b "}, {"c ", ""}}, {{"d ", "e "}}};
    QCOMPARE(TableFile::encode(two), markBytes + utf16le("\"a \"\t\"b \"\n\"c \"\t\"\"\n\n\"d \"\t\"e \"\n"));
    QCOMPARE(QByteArray(TableFile::encode(two).mid(2, 8)),
             QByteArray("\x22\x00\x61\x00\x20\x00\x22\x00", 8));

    // Quotes inside a cell stay as they are.
    QCOMPARE(TableFile::encode({{{"say \"hi\" "}}}), markBytes + utf16le("\"say \"hi\" \"\n"));
}

void TableFileTest::nonBmpCharactersAsSurrogatePairs()
{
    const QString grin = QString::fromUcs4(U"\U0001F600");
    QCOMPARE(grin.size(), 2);
    const QByteArray bytes = TableFile::encode({{{grin}}});
    QCOMPARE(bytes, markBytes + QByteArray("\x22\x00\x3D\xD8\x00\xDE\x22\x00\x0A\x00", 10));
}

void TableFileTest::separatorInsideACellStaysOneCell()
{
    const Pages pages{{{"a\",\"b ", "c "}}};
    const QByteArray bytes = TableFile::encode(pages);
    QCOMPARE(bytes, markBytes + utf16le("\"a\",\"b \"\t\"c \"\n"));
    // Reading it back by tabs gives the two cells.
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                                            (bytes.size() - 2) / 2);
    QCOMPARE(text.trimmed().split(QLatin1Char('\t')).size(), 2);
    // The workbook's lines keep it in one cell too.
    QCOMPARE(TableFile::sheetLines(pages),
             (QVector<QStringList>{{"a\",\"b ", "c "}, {}}));
}

void TableFileTest::bytesMatchTheStreamedText()
{
    QRandomGenerator rng(99);
    for (int round = 0; round < 2000; ++round) {
        const Pages pages = randomPages(rng);
        const QByteArray expected = streamedBytes(pages);
        if (expected.isEmpty())
            continue;   // the stream writes no mark for an empty text; we always do
        QCOMPARE(TableFile::encode(pages), expected);
    }
}

void TableFileTest::sheetLinesMatchTheCutText()
{
    QCOMPARE(TableFile::sheetLines({}), QVector<QStringList>{QStringList()});
    QCOMPARE(TableFile::sheetLines(Pages(3)), (QVector<QStringList>{{}, {}, {}}));
    QCOMPARE(TableFile::sheetLines({{{"a ", "b "}, {"c ", "d "}}, {{"e "}}}),
             (QVector<QStringList>{{"a ", "b "}, {"c ", "d "}, {}, {"e "}, {}}));

    QRandomGenerator rng(7);
    for (int round = 0; round < 2000; ++round) {
        Pages pages = randomPages(rng);
        for (auto &page : pages)
            for (QStringList &row : page)
                for (QString &cell : row)
                    cell.remove(QLatin1Char('\n'));
        QCOMPARE(TableFile::sheetLines(pages), cutLines(pages));
    }
}

void TableFileTest::saveWritesAndReplaces()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("out.csv");
    const Pages first{{{"a ", "b "}}};
    auto r = TableFile::save(path, first);
    QVERIFY2(r.ok, qPrintable(r.message()));
    QVERIFY(r.reason.isEmpty());
    QCOMPARE(readAll(path), TableFile::encode(first));

    const Pages second{{{"c "}}, {}};
    r = TableFile::save(path, second);
    QVERIFY(r.ok);
    QCOMPARE(readAll(path), TableFile::encode(second));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.csv"});
}

void TableFileTest::saveIntoAMissingFolderReportsTheReason()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A "folder" that is a regular file: no permission trick, fails as root too.
    const QString blocker = dir.filePath("plain");
    QVERIFY(writeFile(blocker, "x"));
    const QString path = blocker + "/out.csv";
    const auto r = TableFile::save(path, {{{"a "}}});
    QVERIFY(!r.ok);
    QCOMPARE(r.fileName, path);
    QVERIFY(!r.reason.isEmpty());
    QVERIFY(r.message().contains(QDir::toNativeSeparators(path)));
    QVERIFY(r.message().contains(r.reason));
    QCOMPARE(readAll(blocker), QByteArray("x"));

    const auto none = TableFile::save(QString(), {{{"a "}}});
    QVERIFY(!none.ok);
    QVERIFY(!none.reason.isEmpty());
}

void TableFileTest::failedWriteLeavesTheEarlierFileIntact()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("keep.csv");
    const QByteArray earlier("earlier content");
    QVERIFY(writeFile(path, earlier));
    // A file size limit stands in for a full disk; it applies to root too.
    Pages big{{}};
    for (int r = 0; r < 2000; ++r)
        big[0].append(QStringList{QString("row %1 ").arg(r), "cell "});
    QVERIFY(TableFile::encode(big).size() > 8192);

    FileSizeLimit limit(4096);
    QVERIFY(limit.ok());
    const auto r = TableFile::save(path, big);
    limit.restore();

    QVERIFY(!r.ok);
    QVERIFY(!r.reason.isEmpty());
    QVERIFY2(r.reason != "Unknown error", qPrintable(r.reason));
    QVERIFY(r.message().contains("keep.csv"));
    QCOMPARE(readAll(path), earlier);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.csv"});
}

QTEST_MAIN(TableFileTest)
#include "tablefile_test.moc"
