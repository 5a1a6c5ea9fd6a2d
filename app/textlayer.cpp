#include "textlayer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace
{
// Plain forward search: the needles are short keys, so checking the first
// character and then the rest beats the general search on typical lines.
qsizetype find(QStringView haystack, QStringView needle)
{
    const qsizetype n = needle.size();
    const qsizetype m = haystack.size();
    if (n == 0)
        return 0;
    const QChar *h = haystack.data();
    const QChar *k = needle.data();
    const QChar first = k[0];
    for (qsizetype i = 0; i + n <= m; ++i) {
        if (h[i] == first && std::equal(k + 1, k + n, h + i + 1))
            return i;
    }
    return -1;
}

// A position value counts only as a whole decimal 32-bit integer, optionally
// signed and surrounded by white space; anything else (units, decimals) is 0.
int parseValue(QStringView v)
{
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && v[b].isSpace())
        ++b;
    while (e > b && v[e - 1].isSpace())
        --e;
    if (b == e)
        return 0;
    bool negative = false;
    if (v[b] == QLatin1Char('+') || v[b] == QLatin1Char('-')) {
        negative = v[b] == QLatin1Char('-');
        ++b;
    }
    if (b == e)
        return 0;
    // Stop accumulating past the 32-bit range so long digit runs cannot overflow.
    const qint64 limit = qint64(std::numeric_limits<int>::max()) + 1;
    qint64 value = 0;
    for (qsizetype k = b; k < e; ++k) {
        const char16_t c = v[k].unicode();
        if (c < u'0' || c > u'9')
            return 0;
        if (value <= limit)
            value = value * 10 + (c - u'0');
    }
    if (negative || value > std::numeric_limits<int>::max() || value < 1)
        return 0;
    return int(value);
}
}

namespace TextLayer
{
int getpos(QStringView key, QStringView line)
{
    const qsizetype i = find(line, key);
    if (i < 0)
        return 0;
    // The one character after the key is a separator, whatever it is.
    const qsizetype start = i + key.size() + 1;
    if (start >= line.size())
        return 0;
    qsizetype end = start;
    while (end < line.size() && line[end] != QLatin1Char(';') && line[end] != QLatin1Char('"'))
        ++end;
    return parseValue(line.mid(start, end - start));
}

QString gettext(QStringView line)
{
    const qsizetype e = find(line, QStringView(u"</span>"));
    if (e < 0)
        return QString();
    // The first character of a line never belongs to the text.
    qsizetype s = 0;
    for (qsizetype k = e - 1; k >= 1; --k) {
        if (line[k] == QLatin1Char('>')) {
            s = k;
            break;
        }
    }
    if (s + 1 >= e)
        return QString();
    return line.mid(s + 1, e - s - 1).toString();
}

Subtext getSubtextInfo(QStringView line)
{
    Subtext run;
    run.x = getpos(QStringView(u"left"), line);
    run.y = getpos(QStringView(u"top"), line);
    run.width = getpos(QStringView(u"width"), line);
    run.height = getpos(QStringView(u"height"), line);
    run.text = gettext(line);
    return run;
}

QString decodePage(const QByteArray &fileBytes)
{
    const char *data = fileBytes.constData();
    const void *nul = std::memchr(data, 0, size_t(fileBytes.size()));
    const int length = nul ? int(static_cast<const char *>(nul) - data) : fileBytes.size();
    if (length <= 0)
        return QString();
    return QString::fromUtf8(data, length);
}

QStringList splitLines(const QString &pageText)
{
    return pageText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

Alltext parseText(QStringView pageText)
{
    Alltext page;
    const qsizetype n = pageText.size();
    // Count the non-empty lines first so the runs are allocated once.
    int lines = 0;
    for (qsizetype k = 0; k < n; ++k) {
        if (pageText[k] != QLatin1Char('\n') && (k + 1 == n || pageText[k + 1] == QLatin1Char('\n')))
            ++lines;
    }
    page.subtext.reserve(lines);

    qsizetype begin = 0;
    while (begin < n) {
        qsizetype end = pageText.indexOf(QLatin1Char('\n'), begin);
        if (end < 0)
            end = n;
        if (end > begin)
            page.subtext.append(getSubtextInfo(pageText.mid(begin, end - begin)));
        begin = end + 1;
    }
    page.count = page.subtext.size();
    return page;
}

Alltext parsePage(const QByteArray &fileBytes)
{
    return parseText(decodePage(fileBytes));
}
}
