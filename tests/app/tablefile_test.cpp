// The saved text file: its bytes, read back by an independent csv reader,
// and a save that fails without costing the earlier file.
#include "tablefile.h"
#include "testfiles.h"
#include "../filesizelimit.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Pages = QVector<TableFile::PageRows>;

QByteArray fileOf(const QString &text)
{
    return QByteArray("\xff\xfe") + QByteArray(reinterpret_cast<const char *>(text.utf16()), 2 * text.size());
}

} // namespace

class TableFileTest : public QObject
{
    Q_OBJECT

private slots:
    void bytes_data()
    {
        QTest::addColumn<Pages>("pages");
        QTest::addColumn<QString>("text");
        QTest::newRow("one page, no table") << Pages(1) << QString();
        QTest::newRow("three pages, no table") << Pages(3) << QStringLiteral("\n\n");
        QTest::newRow("two pages") << Pages{{{"a ", "b "}, {"c ", ""}}, {{"d ", "e "}}}
                                   << QStringLiteral("\"a\"\t\"b\"\n\"c\"\t\"\"\n\n\"d\"\t\"e\"\n");
        QTest::newRow("quotes doubled") << Pages{{{"say \"hi\" ", "\""}}}
                                        << QStringLiteral("\"say \"\"hi\"\"\"\t\"\"\"\"\n");
        QTest::newRow("only the separating blank goes") << Pages{{{"a  ", " "}}}
                                                        << QStringLiteral("\"a \"\t\"\"\n");
        QTest::newRow("surrogate pair") << Pages{{{QString::fromUcs4(U"\U0001F600 ")}}}
                                        << QStringLiteral("\"\U0001F600\"\n");
    }

    void bytes()
    {
        QFETCH(Pages, pages);
        QFETCH(QString, text);
        QCOMPARE(TableFile::encode(pages), fileOf(text));
    }

    // Every cell reads back whole, numbers without a trailing blank, and a
    // page's rows end at an empty row.
    void readsBackInACsvReader()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.csv"));
        const Pages pages{{{"Name ", "Scale from 1 = \"very satisfied\" ", "42 "},
                           {"a\",\"b ", "tab\there ", ""}},
                          {},
                          {{"D'Aquila ", "\u00e9t\u00e9 \U0001F600 ", "129,445.00 "}}};
        QVERIFY(TableFile::save(path, pages).ok);
        const QVector<QStringList> expected{
            {"Name", "Scale from 1 = \"very satisfied\"", "42"},
            {"a\",\"b", "tab\there", ""},
            {}, {},
            {"D'Aquila", "\u00e9t\u00e9 \U0001F600", "129,445.00"}};
        QCOMPARE(readBack(path, "csv"), expected);
    }

    void saveReplacesOrFailsWithItsReason()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("keep.csv"));
        QVERIFY(TableFile::save(path, {{{"a "}}}).ok);
        QCOMPARE(readAll(path), fileOf(QStringLiteral("\"a\"\n")));
        const QByteArray earlier = readAll(path);

        // A file size limit stands in for a full disk; it binds root too.
        Pages big{{}};
        for (int r = 0; r < 2000; ++r)
            big[0].append(QStringList{QStringLiteral("row %1 ").arg(r), QStringLiteral("cell ")});
        FileSizeLimit limit(4096);
        QVERIFY(limit.ok());
        const TableFile::SaveResult full = TableFile::save(path, big);
        limit.restore();
        QVERIFY2(!full.ok && !full.reason.isEmpty() && full.reason != QStringLiteral("Unknown error"), qPrintable(full.reason));
        QVERIFY(full.message().contains(QDir::toNativeSeparators(path)));
        QCOMPARE(readAll(path), earlier);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.csv"});

        // A "folder" that is a regular file fails for root as well.
        const TableFile::SaveResult inside = TableFile::save(path + QStringLiteral("/x.csv"), {{{"a "}}});
        QVERIFY(!inside.ok && !inside.reason.isEmpty());
        QVERIFY(!TableFile::save(QString(), {{{"a "}}}).ok);
    }
};

QTEST_MAIN(TableFileTest)
#include "tablefile_test.moc"
