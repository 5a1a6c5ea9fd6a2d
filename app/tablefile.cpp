#include "tablefile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <limits>

namespace {

// Writes UTF-16 code units low byte first.
class UnitWriter
{
public:
    explicit UnitWriter(char *at) : out(at) {}
    void unit(char16_t u)
    {
        *out++ = char(u & 0xFF);
        *out++ = char(u >> 8);
    }
    // The text inside a quoted field: each quote doubled, as readers of
    // quoted fields expect.
    void quotedUnits(const QString &s)
    {
        const ushort *u = s.utf16();
        for (int i = 0, n = s.size(); i < n; ++i) {
            if (u[i] == u'"')
                unit(u'"');
            unit(char16_t(u[i]));
        }
    }

private:
    char *out;
};

QString reasonOf(const QFileDevice &file)
{
    if (file.error() == QFileDevice::NoError || file.errorString().isEmpty())
        return QStringLiteral("The file could not be written completely");
    return file.errorString();
}

} // namespace

QString TableFile::SaveResult::message() const
{
    return QStringLiteral("Could not save \"%1\": %2")
        .arg(QDir::toNativeSeparators(fileName), reason);
}

TableFile::Target TableFile::saveTarget(const QString &chosenPath, const QString &selectedFilter)
{
    const QString csv = QStringLiteral("csv");
    Target target;
    target.path = chosenPath;
    const QString suffix = QFileInfo(chosenPath).suffix();
    if (!suffix.isEmpty()) {
        target.textFile = suffix.compare(csv, Qt::CaseInsensitive) == 0;
        return target;
    }
    // The filter's own suffix: "Name (*.ext)" or "Name (*.ext *.other)".
    static const QRegularExpression firstPattern(QStringLiteral("\\(\\*\\.([^ *)]+)"));
    const QRegularExpressionMatch m = firstPattern.match(selectedFilter);
    if (!m.hasMatch())
        return target;
    const QString filterSuffix = m.captured(1);
    if (!chosenPath.endsWith(QLatin1Char('.')))
        target.path += QLatin1Char('.');
    target.path += filterSuffix;
    target.textFile = filterSuffix.compare(csv, Qt::CaseInsensitive) == 0;
    return target;
}

QString TableFile::savedCell(const QString &cell)
{
    return cell.endsWith(QLatin1Char(' ')) ? cell.chopped(1) : cell;
}

QByteArray TableFile::encode(const QVector<PageRows> &pages)
{
    // The exact size first, so the bytes are written once into place.
    qint64 units = 0;
    for (int p = 0; p < pages.size(); ++p) {
        if (p > 0)
            units += 1;
        for (const QStringList &row : pages.at(p)) {
            for (const QString &cell : row)   // quotes and a tab (or the line feed)
                units += savedCell(cell).size() + cell.count(QLatin1Char('"')) + 3;
            if (row.isEmpty())
                units += 1;
        }
    }
    const qint64 bytes = 2 + 2 * units;
    if (bytes > qint64(std::numeric_limits<int>::max() - 64))
        return QByteArray();   // beyond what one byte array holds
    QByteArray out(int(bytes), Qt::Uninitialized);
    UnitWriter w(out.data());
    w.unit(0xFEFF);
    for (int p = 0; p < pages.size(); ++p) {
        if (p > 0)
            w.unit(u'\n');
        for (const QStringList &row : pages.at(p)) {
            for (int c = 0; c < row.size(); ++c) {
                if (c > 0)
                    w.unit(u'\t');
                w.unit(u'"');
                w.quotedUnits(savedCell(row.at(c)));
                w.unit(u'"');
            }
            w.unit(u'\n');
        }
    }
    return out;
}

TableFile::SaveResult TableFile::save(const QString &path, const QVector<PageRows> &pages)
{
    SaveResult result;
    result.fileName = path;
    if (path.isEmpty()) {
        result.reason = QStringLiteral("No file name given");
        return result;
    }
    const QByteArray bytes = encode(pages);
    if (bytes.isEmpty()) {
        result.reason = QStringLiteral("The tables are too large for one file");
        return result;
    }

    // The temporary file beside the target replaces it only at commit, so a
    // full disk or a failed write never costs the earlier file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.reason = reasonOf(file);
        return result;
    }
    // A short write is no error to the device (a size limit or a full disk
    // shows as one), so write the rest until every byte is taken or a write
    // fails; the failure then carries its reason.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            result.reason = reasonOf(file);
            file.cancelWriting();
            return result;
        }
        done += n;
    }
    if (!file.commit()) {
        result.reason = reasonOf(file);
        return result;
    }
    result.ok = true;
    return result;
}

QVector<QStringList> TableFile::sheetLines(const QVector<PageRows> &pages)
{
    QVector<QStringList> lines;
    int count = 0;
    for (const PageRows &page : pages)
        count += page.size() + 1;
    lines.reserve(count);
    for (const PageRows &page : pages) {
        for (const QStringList &row : page) {
            QStringList cells;
            cells.reserve(row.size());
            for (const QString &cell : row)
                cells.append(savedCell(cell));
            lines.append(cells);
        }
        lines.append(QStringList());
    }
    // No page at all: the joined text is empty, still one (empty) line.
    if (lines.isEmpty())
        lines.append(QStringList());
    return lines;
}
