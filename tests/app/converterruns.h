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
    explicit LimitedProcess(rlim_t limit = 0) : limit_(limit) {}

protected:
    void setupChildProcess() override
    {
        std::signal(SIGXFSZ, SIG_DFL);
        struct rlimit r;
        if (limit_ > 0 && ::getrlimit(RLIMIT_FSIZE, &r) == 0) {
            r.rlim_cur = limit_;
            ::setrlimit(RLIMIT_FSIZE, &r);
        }
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
    if (!process.waitForFinished(120000))
        return result;
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.err = process.readAllStandardError();
    return result;
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
    QByteArray pdf = "%PDF-1.4\n";
    QVector<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const int xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (int offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

#endif
