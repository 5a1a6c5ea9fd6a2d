// The program's private temporary folder, seen from two runs side by side.
// Each run is this test program started again with "--run": it writes a page
// file into its folder, reports the folder and waits until told to end.
// And which page files are kept aside, given back and deleted.

#include "pagefiles.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

int runAsProgram(const char *marker)
{
    const QString folder = PageFiles::tempFolder();
    QFile page(PageFiles::imagePath(folder, 1));
    if (folder.isEmpty() || !page.open(QIODevice::WriteOnly) || page.write(marker) < 0)
        return 2;
    page.close();
    std::printf("%s\n", QFile::encodeName(folder).constData());
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    // Nobody else has touched this run's page file meanwhile.
    page.open(QIODevice::ReadOnly);
    return page.readAll() == marker ? 0 : 3;
}

} // namespace

class PageFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void twoRunsKeepTheirOwnFoldersAndLeaveNothing()
    {
        const QString self = QCoreApplication::applicationFilePath();
        QProcess runs[2];
        QString folders[2];
        const char *markers[2] = {"first run", "second run"};
        for (int i = 0; i < 2; ++i) {
            runs[i].start(self, {QStringLiteral("--run"), QString::fromLatin1(markers[i])});
            QVERIFY(runs[i].waitForReadyRead(10000));
            folders[i] = QFile::decodeName(runs[i].readLine().trimmed());
        }
        QVERIFY(folders[0] != folders[1]);
        for (int i = 0; i < 2; ++i) {
            const QFileInfo info(folders[i]);
            QVERIFY(info.isDir() && !info.isSymLink());
            QCOMPARE(info.absolutePath(), QDir(QDir::tempPath()).absolutePath());
            // Nobody but the user may list, read or plant anything there.
            QCOMPARE(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                           | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
                     QFile::Permissions());
        }
        for (QProcess &run : runs) {
            run.write("end\n");
            run.closeWriteChannel();
        }
        for (int i = 0; i < 2; ++i) {
            QVERIFY(runs[i].waitForFinished(10000));
            QCOMPARE(runs[i].exitStatus(), QProcess::NormalExit);
            QCOMPARE(runs[i].exitCode(), 0);
            QVERIFY2(!QFileInfo::exists(folders[i]), qPrintable(folders[i]));
        }
    }

    // The pages past the maximum go with the others even where the page at
    // the maximum is missing; the ones after a gap there stay.
    void pagesPastTheMaximumAreKeptAsideAndDeleted()
    {
        QTemporaryDir work;
        const QString folder = work.path(), stash = work.path() + QStringLiteral("/stash");
        const int m = PageFiles::maxPages;
        for (int n : {1, m - 1, m + 1, m + 2, m + 4})
            QVERIFY(writeFile(n == m - 1 ? PageFiles::textPath(folder, n) : PageFiles::imagePath(folder, n), "page"));
        const QStringList moved{"text_pg_0001.png", "text_pg_1998.htm", "text_pg_2000.png", "text_pg_2001.png"};
        const QStringList left{"text_pg_2003.png"};
        QVERIFY(PageFiles::stashPageFiles(folder, stash));
        QCOMPARE(QDir(stash).entryList(QDir::Files), moved);
        QCOMPARE(QDir(folder).entryList(QDir::Files), left);
        QVERIFY(PageFiles::restoreStash(stash, folder));
        QCOMPARE(QDir(folder).entryList(QDir::Files), moved + left);
        QVERIFY(!QFileInfo::exists(stash));
        PageFiles::deletePageFiles(folder);
        QCOMPARE(QDir(folder).entryList(QDir::Files), left);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--run") == 0)
        return runAsProgram(argv[2]);
    QCoreApplication app(argc, argv);
    PageFilesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "pagefiles_test.moc"
