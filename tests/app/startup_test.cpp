// The log handler and the start-up of the real program.

#include "messagehandler.h"
#include "tm.h"

#include "testfiles.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

void log(QtMsgType type, const QString &text)
{
    customMessageHandler(type, QMessageLogContext(), text);
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString logPath;

private slots:
    void init()
    {
        logPath = dir.path() + QStringLiteral("/excellog.txt");
        QFile::remove(logPath);
        setLogFilePath(logPath);
    }

    void cleanupTestCase()
    {
        setLogFilePath(QString());
    }

    void linesByMessageType()
    {
        log(QtDebugMsg, QStringLiteral("abc"));
        log(QtWarningMsg, QStringLiteral("abc"));
        log(QtCriticalMsg, QStringLiteral("abc"));
        log(QtInfoMsg, QStringLiteral("abc"));   // no line text of its own
        log(QtDebugMsg, QStringLiteral("two\nlines"));
        log(QtDebugMsg, QStringLiteral("gr\u00fc\u00dfe \u8868"));
        QCOMPARE(readAll(logPath),
                 QByteArray("Debug: abc\nWarning: abc\nCritical: abc\n\nDebug: two\nlines\n")
                     + QStringLiteral("Debug: gr\u00fc\u00dfe \u8868\n").toUtf8());
    }

    void qtMessagesReachTheFile()
    {
        const QtMessageHandler before = qInstallMessageHandler(customMessageHandler);
        qDebug() << "buffer" << QStringLiteral("cell");
        qWarning("careful");
        qInstallMessageHandler(before);
        QCOMPARE(readAll(logPath), QByteArray("Debug: buffer \"cell\"\nWarning: careful\n"));
    }

    void unwritableLogIsSilent()
    {
        setLogFilePath(dir.path() + QStringLiteral("/missing/folder/excellog.txt"));
        log(QtDebugMsg, QStringLiteral("lost"));
        QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/missing")));
        setLogFilePath(QString());
        log(QtDebugMsg, QStringLiteral("dropped"));
    }

    // Writing the line may itself raise a message (here: a device that
    // cannot seek to its end); that must not lock the handler up.
    void messageRaisedWhileWritingIsDropped()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        const QtMessageHandler before = qInstallMessageHandler(customMessageHandler);
        setLogFilePath(QStringLiteral("/dev/full"));
        qDebug("into a full device");
        setLogFilePath(logPath);
        qDebug("after");
        qInstallMessageHandler(before);
        QCOMPARE(readAll(logPath), QByteArray("Debug: after\n"));
    }

    void concurrentMessagesDoNotMix()
    {
        const int perThread = 400;
        auto writer = [&](const QString &tag) {
            return QThread::create([tag] {
                for (int i = 0; i < perThread; ++i)
                    log(QtDebugMsg, tag + QString::number(i) + QStringLiteral(" ") + QString(40, QLatin1Char('x')));
            });
        };
        QThread *a = writer(QStringLiteral("a"));
        QThread *b = writer(QStringLiteral("b"));
        a->start();
        b->start();
        QVERIFY(a->wait(60000));
        QVERIFY(b->wait(60000));
        delete a;
        delete b;
        const QList<QByteArray> lines = readAll(logPath).split('\n');
        QCOMPARE(lines.size(), 2 * perThread + 1);
        QRegularExpression shape(QStringLiteral("^Debug: [ab]\\d+ x{40}$"));
        for (int i = 0; i < lines.size() - 1; ++i)
            QVERIFY2(shape.match(QString::fromUtf8(lines[i])).hasMatch(), lines[i].constData());
    }

    void exchangeRecordHasItsFullCapacity()
    {
        TM tm;
        tm.nTexttoImage = TM::capacity;
        tm.texttoImage[TM::capacity - 1].image = QStringLiteral("last.png");
        tm.imagesome[TM::capacity - 1].width = QStringLiteral("0");
        QVERIFY(tm.spareText.isEmpty());
        QVERIFY(tm.textsome[0].position.isEmpty());
        QCOMPARE(tm.imagesome[TM::capacity - 1].width, QStringLiteral("0"));
    }

    // The real program: the old log goes at start and the data folder is
    // created when missing.
    void programDeletesTheOldLogAtStart()
    {
        const QString program = QStringLiteral(GRIDMOLT_APP_DIR "/gridmolt");
        if (!QFile::exists(program))
            QSKIP("the program is not built");
        QTemporaryDir home;
        const QString data = home.path() + QStringLiteral("/data");
        const QString folder = data + QStringLiteral("/gridmolt");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

        for (bool oldLog : {false, true}) {
            if (oldLog) {
                QVERIFY(QDir().mkpath(folder));
                QFile old(folder + QStringLiteral("/excellog.txt"));
                QVERIFY(old.open(QIODevice::WriteOnly));
                old.write("Debug: from the last run\n");
            }
            QProcess run;
            run.setProcessEnvironment(env);
            run.start(program, QStringList());
            QVERIFY(run.waitForStarted());
            // The window comes up after the deletion; give it time to get there.
            bool gone = false;
            for (int k = 0; k < 100 && !gone; ++k) {
                QTest::qWait(50);
                gone = QDir(folder).exists()
                       && !readAll(folder + QStringLiteral("/excellog.txt")).contains("last run");
            }
            QTest::qWait(300);
            run.kill();
            run.waitForFinished();
            QVERIFY(gone);
            QVERIFY(!readAll(folder + QStringLiteral("/excellog.txt")).contains("last run"));
        }
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
