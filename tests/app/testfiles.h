#ifndef GRIDMOLT_TESTFILES_H
#define GRIDMOLT_TESTFILES_H

// Whole-file reads and writes for the application tests.

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>

// The file's bytes; "<unreadable>" when it cannot be opened, so a missing
// file never passes for an expected content, an empty one included.
inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

// Replaces the file with the bytes; false when any of it was not written.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Whether process `pid` still runs (a zombie that nobody will run again
// counts as gone), read from /proc.
inline bool processRunning(qint64 pid)
{
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    return pid > 0 && stat != "<unreadable>" && !stat.contains(") Z ");
}

// Rows of cells from the JSON list of lists that the Python readers print.
inline QVector<QStringList> jsonRows(const QByteArray &json)
{
    QVector<QStringList> rows;
    for (const QJsonValue &row : QJsonDocument::fromJson(json).array()) {
        QStringList cells;
        for (const QJsonValue &cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

// The rows of a saved table as an independent reader sees them: python's csv
// module for "csv" (UTF-16, tab-delimited), else xlrd's first sheet (texts
// only); the reader's complaint, if any, in `error`.
inline QVector<QStringList> readBack(const QString &path, const char *kind, QString *error = nullptr)
{
    static const char *const reader = R"PY(
import csv, json, sys
path, kind = sys.argv[1], sys.argv[2]
if kind == 'csv':
    with open(path, encoding='utf-16', newline='') as f:
        rows = list(csv.reader(f, delimiter='\t'))
else:
    import xlrd
    sheet = xlrd.open_workbook(path).sheet_by_index(0)
    rows = [[c.value if c.ctype == xlrd.XL_CELL_TEXT else '' for c in sheet.row(r)]
            for r in range(sheet.nrows)]
json.dump(rows, sys.stdout)
)PY";
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QString::fromLatin1(reader), path, QString::fromLatin1(kind)});
    if ((!p.waitForFinished(120000) || p.exitCode() != 0) && error)
        *error = QString::fromUtf8(p.readAllStandardError());
    return jsonRows(p.readAllStandardOutput());
}

#endif
