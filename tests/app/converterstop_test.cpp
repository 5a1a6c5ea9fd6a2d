#include "converterruns.h"
#include "converterstop.h"
#include "testfiles.h"
#include "toolrun.h"

#include <QtTest>

#include <QTemporaryDir>

#include <csignal>

namespace
{
const QString kSlowPages = QStringLiteral(GRIDMOLT_SOURCE_DIR "/tests/data/hostile/slow-pages.pdf");

// Whether the converter's private folder in `dir` holds a page file yet.
bool partialPagesIn(const QString &dir)
{
    const QStringList partial = entriesIn(dir).filter(QStringLiteral("-partial-"));
    return partial.size() == 1 && !entriesIn(dir + QLatin1Char('/') + partial.first()).isEmpty();
}
}

// What the windows do with a page converter they stop: whether it ends when
// asked or has to be killed (here frozen first, so it cannot tidy up), no
// page file and no private folder of pages stays.
class ConverterStopTest : public QObject
{
    Q_OBJECT

private slots:
    void stoppedConverterLeavesNothing()
    {
        for (const bool frozen : {false, true}) {
            QTemporaryDir dir;
            QProcess process;
            process.start(GRIDMOLT_APP_DIR "/Dorcet.dll", {kSlowPages, "-ht", dir.filePath("text.png")});
            QTRY_VERIFY_WITH_TIMEOUT(partialPagesIn(dir.path()), 30000);
            if (frozen)
                QVERIFY(::kill(pid_t(process.processId()), SIGSTOP) == 0);
            ConverterStop::end(&process, dir.path(), "text");
            QCOMPARE(process.state(), QProcess::NotRunning);
            QCOMPARE(entriesIn(dir.path()), QStringList());
        }
    }

    // Only the folders of that process and that base go.
    void leftoversOfOthersStay()
    {
        QTemporaryDir dir;
        const QStringList others = {".text-partial-12-abcdef", ".text-partial-1234-abcdef", ".split-partial-123-abcdef", "text-partial-123-x"};
        for (const QString &name : others + QStringList{".text-partial-123-abcdef", ".text-partial-123-second"})
            QVERIFY(QDir(dir.path()).mkpath(name + "/half"));
        ConverterStop::removeLeftovers(dir.path(), "text", 123);
        QStringList left = entriesIn(dir.path());
        left.sort();
        QStringList expected = others;
        expected.sort();
        QCOMPARE(left, expected);
    }

    // The replacement window's runs: a converter frozen mid-run and stopped
    // leaves no private folder either.
    void stoppedToolRunLeavesNoPrivateFolder()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("split.png");
        auto *run = new ToolRun(GRIDMOLT_APP_DIR "/Dorcet.dll", {kSlowPages, "-ht", target}, target, 60000, this);
        int ended = 0;
        connect(run, &ToolRun::ended, this, [&ended] { ++ended; });
        QTRY_VERIFY_WITH_TIMEOUT(partialPagesIn(dir.path()), 30000);
        const QString partial = entriesIn(dir.path()).filter("-partial-").value(0);
        const qint64 pid = partial.section('-', 2, 2).toLongLong();
        QVERIFY(pid > 0 && ::kill(pid_t(pid), SIGSTOP) == 0);
        run->stop();
        QTRY_VERIFY_WITH_TIMEOUT(ended == 1, 30000);
        QCOMPARE(entriesIn(dir.path()), QStringList());
    }
};

QTEST_MAIN(ConverterStopTest)
#include "converterstop_test.moc"
