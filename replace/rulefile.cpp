#include "rulefile.h"

#include <QDir>
#include <QSaveFile>

namespace
{
// Copies key[i..] up to (not including) `stop` or the end into `field`;
// returns the index where it stopped.
int cutField(const QString &key, int i, QChar stop, QString &field)
{
    const int n = key.size();
    const int from = qMin(i, n);
    int end = from;
    while (end < n && key.at(end) != stop)
        ++end;
    field = key.mid(from, end - from);
    return end;
}
}

namespace RuleFile
{
PositionKey cutPositionKey(const QString &key)
{
    const QChar blank(QLatin1Char(' '));
    PositionKey k;
    int i = cutField(key, 1, blank, k.page);
    i = cutField(key, i + 2, blank, k.left);
    i = cutField(key, i + 1, blank, k.top);
    i = cutField(key, i + 1, blank, k.width);
    cutField(key, i + 1, QLatin1Char(')'), k.height);
    return k;
}

QString textRuleLine(const PositionKey &key, const QString &find, const QString &replace)
{
    const QChar dash(QLatin1Char('-'));
    return key.page + dash + key.left + dash + key.top + dash + key.width + dash + key.height
           + QLatin1Char(':') + find + QLatin1Char(':') + replace + QStringLiteral("\r\n");
}

QString imageRuleLine(const PositionKey &key, const QString &image, const QString &width,
                      const QString &height)
{
    const QChar colon(QLatin1Char(':'));
    return key.page + colon + key.left + colon + key.top + QStringLiteral(":(") + image
           + QStringLiteral("):") + width + colon + height + QStringLiteral("\r\n");
}

QString WriteResult::message() const
{
    return QStringLiteral("Could not write the rule file \"%1\": %2")
        .arg(QDir::toNativeSeparators(fileName), reason);
}

WriteResult write(const QString &path, const QString &lines)
{
    WriteResult r;
    r.fileName = path;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        r.reason = file.errorString();
        return r;
    }
    const QByteArray bytes = lines.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        r.reason = file.errorString().isEmpty() ? QStringLiteral("The file could not be written completely")
                                                : file.errorString();
        return r;
    }
    r.ok = true;
    return r;
}

QString textRulesPath(const QString &folder)
{
    return folder + QStringLiteral("/rules.txt");
}

QString imageRulesPath(const QString &folder)
{
    return folder + QStringLiteral("/imagerule.txt");
}

QString contentRulesPath(const QString &folder)
{
    return folder + QStringLiteral("/textall.txt");
}
}
