#include "sanitized.h"
#include "testfiles.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

struct Ended { bool normally = false; int exitCode = -1; QByteArray err; };

Ended ostrelWithShare(const QString &in, const QString &option, const QString &out, const QString &rules, int megabytes)
{
    QProcess engine;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("OSTREL_MEMORY_MB", QString::number(megabytes));
    // A failed allocation is to reach the program, as it does without the
    // sanitizer, and freed memory is not held back from the share.
    if (kSanitized)
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS")
                                               + ":allocator_may_return_null=1:quarantine_size_mb=0:detect_leaks=0");
    engine.setProcessEnvironment(environment);
    engine.start(GRIDMOLT_APP_DIR "/Ostrel.dll", {in, option, out, rules});
    const bool ended = engine.waitForFinished(300000) && engine.exitStatus() == QProcess::NormalExit;
    return {ended, engine.exitCode(), engine.readAllStandardError()};
}

// The sanitizer may run out of its own memory before the program does, and
// ends the run with its message ("failed to allocate ... of DTLS_NextBlock",
// "Failed to mmap"); any report of a fault fails.
bool sanitizerRanOut(const QByteArray &err)
{
    static const QRegularExpression fault(R"(AddressSanitizer: |runtime error:)");
    return kSanitized && (err.contains("ERROR: AddressSanitizer failed to allocate") || err.contains("ERROR: Failed to mmap"))
        && !fault.match(QString::fromUtf8(err)).hasMatch();
}

QByteArray pdfText(const QString &pdf)
{
    QProcess p;
    p.start("pdftotext", {pdf, "-"});
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}
} // namespace

// The engine under memory shares from the smallest up: it ends with a whole,
// correct file or with a message naming its input and no file at all; never
// by a signal, never with a file that lacks the replacement. A share of
// 1000 MB applies every rule.
class OstrelMemoryTest : public QObject
{
    Q_OBJECT

private slots:
    void everyShareEndsWithTheFileOrAMessage()
    {
        QTemporaryDir work;
        const QString in = work.filePath("in.pdf");
        QVERIFY(QFile::copy(GRIDMOLT_SAMPLES_DIR "/AnimalSounds.pdf", in));
        const int animals = QString::fromUtf8(pdfText(in)).count("Animal");
        // The sample's word "Animal", as the window's rule editor writes it,
        // replaced by text (read back by pdftotext) or by a picture (the
        // converter's reading of the input is needed to find its run).
        const QString picture = work.filePath("pic.png");
        QImage blue(8, 4, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        QVERIFY(blue.save(picture));
        const struct { const char *name; const char *option; QString line, replacement; } rules[] = {
            {"Chinese text", "-tesome", QStringLiteral("1-61-78-36-13:Animal:中文替换"), QStringLiteral("中文替换")},
            {"Latin text", "-tesome", QStringLiteral("1-61-78-36-13:Animal:Beast"), QStringLiteral("Beast")},
            {"a picture", "-pisome", "1:61:78:(" + picture + "):36:13", QString()},
        };
        QVector<int> shares;
        for (int megabytes = 1; megabytes <= 12; ++megabytes)
            shares << megabytes;
        shares << 1000;
        for (const auto &rule : rules) {
            const QString ruleFile = work.filePath("rules.txt");
            QVERIFY(writeFile(ruleFile, (rule.line + "\r\n").toUtf8()));
            for (const int megabytes : shares) {
                const QString folder = work.filePath(QStringLiteral("%1-%2").arg(rule.name).arg(megabytes));
                QVERIFY(QDir().mkpath(folder));
                const QString out = folder + "/out.pdf";
                const Ended r = ostrelWithShare(in, rule.option, out, ruleFile, megabytes);
                const QString row = QStringLiteral("%1 at %2 MB: exit %3, %4").arg(rule.name).arg(megabytes).arg(r.exitCode)
                                        .arg(QString::fromUtf8(r.err.left(300)));
                QVERIFY2(r.normally, qPrintable(row));
                // The large share applies every rule.
                QVERIFY2(megabytes < 1000 || r.exitCode == 0, qPrintable(row));
                // The sanitizer's own end leaves no chance to clean up; the
                // output is never put in place all the same.
                if (sanitizerRanOut(r.err)) {
                    QVERIFY2(r.exitCode != 0 && !QFile::exists(out), qPrintable(row));
                    continue;
                }
                // No temporary file is left in the output's folder.
                QVERIFY2(QDir(folder).entryList(QDir::Files | QDir::Hidden) == (QFile::exists(out) ? QStringList{"out.pdf"} : QStringList()),
                         qPrintable(row));
                if (r.exitCode == 0) {
                    const QString text = QString::fromUtf8(pdfText(out));
                    QVERIFY2(r.err.isEmpty()
                                 && (rule.replacement.isEmpty() ? text.count("Animal") < animals : text.contains(rule.replacement)),
                             qPrintable(row));
                    continue;
                }
                QVERIFY2(r.exitCode == 1 && !QFile::exists(out), qPrintable(row));
                QVERIFY2(r.err.count('\n') == 1 && r.err.startsWith("Ostrel.dll: ") && r.err.contains("\"" + in.toUtf8() + "\"")
                             && r.err.contains("memory"),
                         qPrintable(row));
            }
        }
    }
};

QTEST_GUILESS_MAIN(OstrelMemoryTest)
#include "ostrelmemory_test.moc"
