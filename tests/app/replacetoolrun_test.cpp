// One program run: its outcome, exit code and error lines (and how the window
// reports an engine run); a gentle end by a
// terminate signal, a kill after the grace, and nothing left behind by a run
// that was ended (its output, its ".gm<pid>." temporary files).

#include "engineoutcome.h"
#include "testfiles.h"
#include "toolrun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/resource.h>

namespace
{
// A program as a shell script in `folder`, given `folder` as its argument.
QString script(const QString &folder, const QByteArray &body)
{
    const QString path = folder + QStringLiteral("/program");
    if (!writeFile(path, "#!/bin/sh\n" + body) || !QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner))
        return QString();
    return path;
}

// What every case leaves: ".gm<pid>.aB3xY9" and "out.pdf" (both to go when
// the run is ended), ".gm<pid>x.keep" and ".gm1.other" (never this run's),
// and "ready" with the pid once it has written them.
const QByteArray leaveFiles = ": > \"$1/.gm$$.aB3xY9\"; : > \"$1/.gm$$x.keep\"; : > \"$1/.gm1.other\"; "
                              ": > \"$1/out.pdf\"; echo $$ > \"$1/ready\"\n";

// A run of `program` on `folder`, its output "out.pdf" there.
ToolRun *start(const QString &program, const QString &folder, int limitMs, QObject *owner)
{
    return new ToolRun(program, {folder}, folder + QStringLiteral("/out.pdf"), limitMs, owner);
}

// A program's body, its limit, whether it is stopped once ready, what the
// run reports, and the files left in the folder (sorted).
struct RunCase { QByteArray body; int limitMs; bool stopWhenReady; ToolRun::Outcome outcome; int exitCode; QStringList errorLines, left; };
}

Q_DECLARE_METATYPE(RunCase)

class ReplaceToolRunTest : public QObject
{
    Q_OBJECT

private slots:
    void outcomes_data()
    {
        QTest::addColumn<RunCase>("c");
        const QStringList all{".gm1.other", ".gmPIDx.keep", ".gmPID.aB3xY9", "out.pdf", "program", "ready"};
        const QStringList cleaned{".gm1.other", ".gmPIDx.keep", "program", "ready"};
        QTest::newRow("partial result")
            << RunCase{leaveFiles + "printf 'line 1: page 1, \"Cat\" not found\\n\\n  line 3: page 2, /p/a.png  \\n' >&2\nexit 2\n", 60000,
                       false, ToolRun::Ended, 2, {"line 1: page 1, \"Cat\" not found", "line 3: page 2, /p/a.png"}, all};
        QTest::newRow("ends by itself") << RunCase{leaveFiles + "exit 0\n", 60000, false, ToolRun::Ended, 0, {}, all};
        // The programs' convention: on a terminate signal they remove their
        // temporary file themselves (and here say they were asked); the run
        // clears whatever remains.
        QTest::newRow("terminated")
            << RunCase{"trap 'rm -f \"$1/.gm$$.aB3xY9\"; : > \"$1/asked\"; exit 143' TERM\n" + leaveFiles
                           + "while :; do sleep 0.05; done\n",
                       60000, true, ToolRun::Stopped, 0, {}, QStringList(cleaned) << "asked"};
        QTest::newRow("terminate ignored, killed after the grace")
            << RunCase{"trap '' TERM\n" + leaveFiles + "exec sleep 60\n", 60000, true, ToolRun::Stopped, 0, {}, cleaned};
        QTest::newRow("time limit") << RunCase{leaveFiles + "exec sleep 60\n", 300, false, ToolRun::TimedOut, 0, {}, cleaned};
        // A link standing at the output's name is no work of the run's.
        QTest::newRow("stopped with a link at the output's name")
            << RunCase{QByteArray(leaveFiles).replace(": > \"$1/out.pdf\"", "ln -s program \"$1/out.pdf\"") + "exec sleep 60\n", 60000,
                       true, ToolRun::Stopped, 0, {}, QStringList(cleaned) << "out.pdf"};
    }
    void outcomes()
    {
        QFETCH(RunCase, c);
        QTemporaryDir box;
        const QString program = script(box.path(), c.body);
        QVERIFY(!program.isEmpty());
        QObject owner;
        auto *run = start(program, box.path(), c.limitMs, &owner);
        QPointer<ToolRun> alive(run);
        QList<ToolRun::Result> results;
        connect(run, &ToolRun::ended, [&](const ToolRun::Result &r) { results << r; });
        const QString ready = box.path() + QStringLiteral("/ready");
        if (c.stopWhenReady) {
            QTRY_VERIFY_WITH_TIMEOUT(readAll(ready).endsWith('\n'), 10000);
            run->stop();
            run->stop();   // a second stop changes nothing
        }
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), 1, 15000);
        QTRY_VERIFY(alive.isNull());   // released once it has reported
        const QByteArray pid = readAll(ready).trimmed();
        QVERIFY(!processRunning(pid.toLongLong()));
        QVERIFY(results[0].outcome == c.outcome && results[0].exitCode == c.exitCode);
        QCOMPARE(results[0].errorLines, c.errorLines);
        QStringList expected;
        for (const QString &name : c.left)
            expected << QString(name).replace(QStringLiteral("PID"), QString::fromLatin1(pid));
        expected.sort();
        QCOMPARE(QDir(box.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    }

    // A program that writes far more to its error output than is kept: the
    // first 256 KB are its lines, and the rest is read as it comes, never
    // held (the test's peak memory grows by far less than was written).
    void errorOutputIsHeldInBoundedMemory()
    {
        QTemporaryDir box;
        const QString program = script(box.path(), "echo first >&2\nhead -c 64000000 /dev/zero | tr '\\0' x >&2\nexit 2\n");
        QVERIFY(!program.isEmpty());
        rusage before{};
        QVERIFY(::getrusage(RUSAGE_SELF, &before) == 0);
        QObject owner;
        QList<ToolRun::Result> results;
        connect(start(program, box.path(), 120000, &owner), &ToolRun::ended, [&](const ToolRun::Result &r) { results << r; });
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), 1, 120000);
        rusage after{};
        QVERIFY(::getrusage(RUSAGE_SELF, &after) == 0);
        QVERIFY(results[0].outcome == ToolRun::Ended && results[0].exitCode == 2);
        QVERIFY2(results[0].errorLines.size() == 2 && results[0].errorLines[0] == QStringLiteral("first")
                     && results[0].errorLines[1].size() == 256 * 1024 - 6,
                 qPrintable(QString::number(results[0].errorLines.value(1).size())));
#ifndef __SANITIZE_ADDRESS__   // the sanitizer holds freed memory back for a while
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 32 * 1024, qPrintable(QString::number(after.ru_maxrss - before.ru_maxrss)));
#endif
    }

    // The engine's outcome as the window reports it: which rule-file line an
    // engine line names, and a long list of skipped rules cut short.
    void engineReports()
    {
        const struct { const char *line; int rule; } lines[] = {
            {"rule file \"r\", line 12, page 3, \"Cat\": not found; rule skipped", 12},
            {"pipeline 3 broke", 0}, {"line 0", 0}, {"line 99999999999 of a hostile file", 0}, {"no number here", 0}};
        for (const auto &c : lines)
            QCOMPARE(EngineOutcome::ruleLine(QLatin1String(c.line)), c.rule);

        ToolRun::Result skipped;
        skipped.exitCode = EngineOutcome::SomeSkipped;
        for (int i = 1; i <= EngineOutcome::maxShownLines + 5; ++i)
            skipped.errorLines << QStringLiteral("line %1, page 1: skipped").arg(i);
        const auto name = [](int line) { return line % 2 ? QStringLiteral("row %1").arg(line) : QString(); };
        const EngineOutcome::Report r = EngineOutcome::judge(skipped, QStringLiteral("E"), QStringLiteral("in.pdf"),
                                                             QStringLiteral("out.pdf"), false, name);
        QCOMPARE(r.failure, QStringLiteral("Not every rule could be applied to in.pdf:"));
        QCOMPARE(r.lines.size(), EngineOutcome::maxShownLines + 3);
        QCOMPARE(r.lines.mid(1, 2), QStringList({"    line 1, page 1: skipped (row 1)", "    line 2, page 1: skipped"}));
        QCOMPARE(r.lines.mid(r.lines.size() - 2), QStringList({"    ... and 5 more.", "No output was written."}));

        ToolRun::Result crashed;
        crashed.crashed = true;
        QCOMPARE(EngineOutcome::judge(crashed, QStringLiteral("E"), QStringLiteral("in.pdf"), QString(), true, name).failure,
                 QStringLiteral("in.pdf was not replaced: E ended abnormally."));
    }

    // A run stopped before its program started never starts it; one that
    // cannot start says so; one deleted while its program ignores the
    // terminate signal ends it all the same and leaves nothing behind.
    void stopsBeforeStartAndOnDelete()
    {
        QTemporaryDir box;
        const QString program = script(box.path(), "trap '' TERM\n" + leaveFiles + "exec sleep 60\n");
        QObject owner;
        for (const bool missing : {false, true}) {
            auto *run = start(missing ? box.path() + QStringLiteral("/none") : program, box.path(), 60000, &owner);
            QList<ToolRun::Result> results;
            connect(run, &ToolRun::ended, [&](const ToolRun::Result &r) { results << r; });
            if (!missing)
                run->stop();
            QTRY_COMPARE(results.size(), 1);
            QCOMPARE(results[0].outcome, missing ? ToolRun::NotStarted : ToolRun::Stopped);
        }
        QTest::qWait(200);
        QVERIFY(!QFile::exists(box.path() + QStringLiteral("/ready")));

        auto *run = start(program, box.path(), 60000, &owner);
        int reports = 0;
        connect(run, &ToolRun::ended, [&] { ++reports; });
        QTRY_VERIFY_WITH_TIMEOUT(readAll(box.path() + QStringLiteral("/ready")).endsWith('\n'), 10000);
        const QByteArray pid = readAll(box.path() + QStringLiteral("/ready")).trimmed();
        delete run;
        QVERIFY(!processRunning(pid.toLongLong()) && reports == 0);
        QCOMPARE(QDir(box.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 QStringList({".gm1.other", ".gm" + pid + "x.keep", "program", "ready"}));
    }
};

QTEST_GUILESS_MAIN(ReplaceToolRunTest)
#include "replacetoolrun_test.moc"
