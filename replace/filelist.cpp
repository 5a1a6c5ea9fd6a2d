#include "filelist.h"

#include <QFileInfo>

#include <limits>

namespace FileList
{
QString sizeText(qint64 bytes)
{
    if (bytes <= 0)
        return QString();
    if (bytes > 1048576)
        return QString::asprintf("%14.3f MB", double(bytes) / 1000000.0);
    return QString::asprintf("%14.3f KB", double(bytes) / 1000.0);
}

QString pageCountText(const QByteArray &infoFile)
{
    static const QByteArray key("NumberOfPages: ");
    const int at = infoFile.indexOf(key);
    if (at < 0)
        return QString();
    int end = at + key.size();
    while (end < infoFile.size() && infoFile.at(end) >= '0' && infoFile.at(end) <= '9')
        ++end;
    return QString::fromLatin1(infoFile.constData() + at + key.size(), end - at - key.size());
}

int pageCount(const QString &cellText)
{
    bool ok = false;
    const int n = cellText.toInt(&ok, 10);
    return ok && n > 0 ? n : 0;
}

QString outputPath(const QString &folder, const QString &input)
{
    const QString base = folder + QLatin1Char('/') + QFileInfo(input).baseName();
    QString path = base + QStringLiteral(".pdf");
    for (int n = 0; QFileInfo::exists(path); ++n)
        path = base + QLatin1Char('-') + QString::number(n) + QStringLiteral(".pdf");
    return path;
}

int timeLimitMs(int pages, int baseMs, int perPageMs)
{
    const qint64 ms = qint64(baseMs) + qint64(qMax(pages, 0)) * perPageMs;
    return int(qMin<qint64>(ms, std::numeric_limits<int>::max()));
}
}
