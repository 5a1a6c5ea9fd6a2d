#ifndef GRIDMOLT_CONVERTERRUNS_H
#define GRIDMOLT_CONVERTERRUNS_H

// Runs of the page converters (rendrix, Dorcet.dll) for their tests, and
// hand-built PDFs for inputs the tests need byte by byte.

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QVector>

#include <csignal>
#include <sys/resource.h>

struct ConverterRun
{
    int exitCode = -1;
    bool crashed = true;
    QByteArray err;
};

// A process whose file size limit is `limit` bytes (0: unchanged), as a full
// disk, with SIGXFSZ at its default: the program itself must ignore it.
class LimitedProcess : public QProcess
{
public:
    explicit LimitedProcess(rlim_t limit) : limit_(limit) {}

protected:
    void setupChildProcess() override
    {
        std::signal(SIGXFSZ, SIG_DFL);
        const struct rlimit r = {limit_, limit_};
        if (limit_ > 0)
            ::setrlimit(RLIMIT_FSIZE, &r);
    }

private:
    rlim_t limit_;
};

// Runs `program` from the application folder to its end; `env` adds
// "NAME=value" entries.
inline ConverterRun runConverter(const QString &program, const QStringList &args, const QStringList &env = {},
                                 rlim_t fileSizeLimit = 0)
{
    LimitedProcess process(fileSizeLimit);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : env)
        environment.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(GRIDMOLT_APP_DIR "/") + program, args);
    ConverterRun result;
    if (process.waitForFinished(120000))
        result = {process.exitCode(), process.exitStatus() != QProcess::NormalExit, process.readAllStandardError()};
    return result;
}

inline QString samplePdf(const QString &name)
{
    return QStringLiteral(GRIDMOLT_SAMPLES_DIR "/") + name + QStringLiteral(".pdf");
}

// <dir>/<base>_pg_0001.<suffix> and so on.
inline QString pageFile(const QString &dir, const QString &base, int page, const char *suffix)
{
    return QStringLiteral("%1/%2_pg_%3.").arg(dir, base).arg(page, 4, 10, QLatin1Char('0')) + QLatin1String(suffix);
}

// Every entry of a folder, hidden ones included.
inline QStringList entriesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// A PDF of the given objects (numbered from 1, the first the catalog) with a
// correct cross-reference table.
inline QByteArray pdfOf(const QVector<QByteArray> &objects)
{
    QByteArray pdf = "%PDF-1.4\n", table;
    for (int i = 0; i < objects.size(); ++i) {
        table += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const QByteArray size = QByteArray::number(objects.size() + 1);
    return pdf + "xref\n0 " + size + "\n0000000000 65535 f \n" + table + "trailer\n<< /Size " + size
        + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(pdf.size()) + "\n%%EOF\n";
}

#endif
