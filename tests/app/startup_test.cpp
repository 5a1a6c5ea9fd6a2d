// The log handler and the start-up of the real program.

#include "messagehandler.h"

#include "testfiles.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>

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
        log(QtDebugMsg, QStringLiteral("gr\u00fc\u00dfe \u8868"));
        const QtMessageHandler before = qInstallMessageHandler(customMessageHandler);
        qDebug() << "buffer" << QStringLiteral("cell");
        qInstallMessageHandler(before);
        QCOMPARE(readAll(logPath), QByteArray("Debug: abc\nWarning: abc\nCritical: abc\n\n")
                                       + QStringLiteral("Debug: gr\u00fc\u00dfe \u8868\n").toUtf8()
                                       + "Debug: buffer \"cell\"\n");
        // An unwritable log loses the line quietly.
        setLogFilePath(dir.path() + QStringLiteral("/missing/folder/excellog.txt"));
        log(QtDebugMsg, QStringLiteral("lost"));
        QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/missing")));
    }

    // The log deleted, moved or replaced between two messages: the second
    // goes into the file that the path names then, as if each line opened it.
    void logFollowsItsPath()
    {
        const QString aside = dir.path() + QStringLiteral("/aside.txt");
        const auto replace = [&] {
            QSaveFile other(logPath);
            return other.open(QIODevice::WriteOnly) && other.write("other\n") == 6 && other.commit();
        };
        const struct {
            const char *what;
            std::function<bool()> change;
            QByteArray atPath, atAside;
        } cases[] = {
            {"deleted", [&] { return QFile::remove(logPath); }, "Debug: second\n", "<unreadable>"},
            {"moved", [&] { return QFile::rename(logPath, aside); }, "Debug: second\n", "Debug: first\n"},
            {"replaced", replace, "other\nDebug: second\n", "<unreadable>"},
            {"kept", [] { return true; }, "Debug: first\nDebug: second\n", "<unreadable>"},
        };
        for (const auto &c : cases) {
            QFile::remove(aside);
            QFile::remove(logPath);
            setLogFilePath(logPath);
            log(QtDebugMsg, QStringLiteral("first"));
            QVERIFY2(c.change(), c.what);
            log(QtDebugMsg, QStringLiteral("second"));
            QVERIFY2(readAll(logPath) == c.atPath, c.what);
            QVERIFY2(readAll(aside) == c.atAside, c.what);
        }
    }

    // Writing the line may itself raise a message (here: a device that
    // cannot seek to its end); that must not lock the handler up.
    void messageRaisedWhileWritingIsDropped()
    {
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
        QScopedPointer<QThread> a(writer(QStringLiteral("a"))), b(writer(QStringLiteral("b")));
        a->start();
        b->start();
        QVERIFY(a->wait(60000) && b->wait(60000));
        const QList<QByteArray> lines = readAll(logPath).split('\n');
        QCOMPARE(lines.size(), 2 * perThread + 1);
        const QRegularExpression shape(QStringLiteral("^Debug: [ab]\\d+ x{40}$"));
        for (int i = 0; i < lines.size() - 1; ++i)
            QVERIFY2(shape.match(QString::fromUtf8(lines[i])).hasMatch(), lines[i].constData());
    }

    // The real program: at start it deletes the old log, creates the data
    // folder when missing, and makes its own temporary folder.
    void programStartsClean()
    {
        QTemporaryDir home;
        const QString folder = home.path() + QStringLiteral("/data/gridmolt");
        const QString tmp = home.path() + QStringLiteral("/tmp");
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(tmp));
        QVERIFY(writeFile(folder + QStringLiteral("/excellog.txt"), "Debug: from the last run\n"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
        env.insert(QStringLiteral("TMPDIR"), tmp);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(QStringLiteral(GRIDMOLT_APP_DIR "/gridmolt"), QStringList());
        QVERIFY(run.waitForStarted());
        const auto started = [&] {
            return !readAll(folder + QStringLiteral("/excellog.txt")).contains("last run")
                   && QDir(tmp).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() == 1;
        };
        QTRY_VERIFY_WITH_TIMEOUT(started(), 10000);
        QVERIFY(QDir(tmp).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0).startsWith(QStringLiteral("gridmolt-")));
        run.kill();
        run.waitForFinished();
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
