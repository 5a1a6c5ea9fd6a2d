#include "tablefile.h"

#include <QDir>
#include <QSaveFile>

#include <algorithm>

namespace {

void appendUnits(QByteArray &out, const QString &s)
{
    const ushort *u = s.utf16();
    for (int i = 0; i < s.size(); ++i) {
        out.append(char(u[i] & 0xFF));
        out.append(char(u[i] >> 8));
    }
}

void appendUnit(QByteArray &out, char16_t unit)
{
    out.append(char(unit & 0xFF));
    out.append(char(unit >> 8));
}

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

QByteArray TableFile::encode(const QVector<PageRows> &pages)
{
    qsizetype units = 0;
    for (const PageRows &page : pages) {
        for (const QStringList &row : page) {
            for (const QString &cell : row)
                units += cell.size() + 3;
            units += 1;
        }
        units += 1;
    }
    QByteArray out;
    out.reserve(int(std::min<qsizetype>(units * 2 + 2, 0x7FFFFFF0)));
    out.append(char(0xFF));
    out.append(char(0xFE));
    for (int p = 0; p < pages.size(); ++p) {
        if (p > 0)
            appendUnit(out, u'\n');
        for (const QStringList &row : pages.at(p)) {
            for (int c = 0; c < row.size(); ++c) {
                if (c > 0)
                    appendUnit(out, u'\t');
                appendUnit(out, u'"');
                appendUnits(out, row.at(c));
                appendUnit(out, u'"');
            }
            appendUnit(out, u'\n');
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
        for (const QStringList &row : page)
            lines.append(row);
        lines.append(QStringList());
    }
    // No page at all: the joined text is empty, still one (empty) line.
    if (lines.isEmpty())
        lines.append(QStringList());
    return lines;
}
