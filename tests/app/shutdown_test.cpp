// A terminate, interrupt or hang-up signal to the program while a batch runs
// a program: the program started by the batch ends, the private temporary
// folder goes, and the exit status tells the signal. The program under the
// signal is this test started again with "--batch", set up as the start-up
// sets up the application.

#include "replacewindow.h"
#include "signalshutdown.h"

#include <QApplication>

#include <csignal>
#include <sys/types.h>

namespace
{
// The batch side: the replacement window replaces by position with an
// engine that never ends; "engine.pid" tells its process once it runs.
int runBatch(int argc, char **argv, const QString &folder)
{
    tmf = new TM;
    clearRecord();
    QApplication app(argc, argv);
    SignalShutdown shutdown;
    if (!QDir::setCurrent(folder) || PageFiles::tempFolder().isEmpty()
        || !writeFile(QStringLiteral("tempfolder"), PageFiles::tempFolder().toUtf8()))
        return 1;
    ScriptedDialogs dialogs;
    Window win(dialogs);
    win.choose({folder + QStringLiteral("/in.pdf")});
    if (!QTest::qWaitFor([&] { return win.linesEqual(QStringLiteral("Finished.")) == 1; }, 60000))
        return 1;
    win.setOutput(folder);
    win.button("pushButton_textsome_replace")->click();
    return app.exec();
}
}

class ShutdownTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Patience::afterCase(); }
    void signalEndsTheProgramCleanly_data()
    {
        QTest::addColumn<int>("signal");
        for (const int s : {SIGTERM, SIGINT, SIGHUP})
            QTest::addRow("signal %d", s) << s;
    }
    void signalEndsTheProgramCleanly()
    {
        QFETCH(int, signal);
        QTemporaryDir box;
        const QString folder = box.path(), temp = folder + QStringLiteral("/tmp");
        QVERIFY(QDir().mkpath(temp) && QFile::link(GRIDMOLT_APP_DIR + QStringLiteral("/Pavlin.dll"), folder + QStringLiteral("/Pavlin.dll"))
                && QFile::copy(QStringLiteral(GRIDMOLT_SAMPLES_DIR "/AnimalSounds.pdf"), folder + QStringLiteral("/in.pdf"))
                && writeFile(folder + QStringLiteral("/Ostrel.dll"), "#!/bin/sh\necho $$ > engine.pid\nexec sleep 60\n")
                && QFile::setPermissions(folder + QStringLiteral("/Ostrel.dll"), QFile::ReadOwner | QFile::ExeOwner));

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), temp);
        program.setProcessEnvironment(env);
        program.setStandardErrorFile(QProcess::nullDevice());
        program.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--batch"), folder});
        QTRY_VERIFY_WITH_TIMEOUT(readAll(folder + QStringLiteral("/engine.pid")).endsWith('\n'), Patience::ms(60000));
        const qint64 engine = readAll(folder + QStringLiteral("/engine.pid")).trimmed().toLongLong();
        const QString privateFolder = QString::fromUtf8(readAll(folder + QStringLiteral("/tempfolder")));
        QVERIFY(processRunning(engine) && privateFolder.startsWith(temp) && QFileInfo(privateFolder).isDir());

        QCOMPARE(::kill(pid_t(program.processId()), signal), 0);
        QVERIFY(program.waitForFinished(20000));
        QVERIFY(program.exitStatus() == QProcess::NormalExit && program.exitCode() == SignalShutdown::exitStatus(signal));
        QVERIFY(!processRunning(engine) && !QFileInfo::exists(privateFolder));
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--batch") == 0)
        return runBatch(1, argv, QString::fromLocal8Bit(argv[2]));
    QApplication app(argc, argv);
    ShutdownTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "shutdown_test.moc"
