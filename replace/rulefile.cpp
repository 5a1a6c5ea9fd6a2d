#include "rulefile.h"

#include <QDir>
#include <QSaveFile>
#include <QStringBuilder>

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
    // One allocation per line: content runs write a line per matched run.
    const QLatin1Char dash('-');
    return key.page % dash % key.left % dash % key.top % dash % key.width % dash % key.height
           % QLatin1Char(':') % find % QLatin1Char(':') % replace % QLatin1String("\r\n");
}

QString imageRuleLine(const PositionKey &key, const QString &image, const QString &width,
                      const QString &height)
{
    const QLatin1Char colon(':');
    return key.page % colon % key.left % colon % key.top % QLatin1String(":(") % image
           % QLatin1String("):") % width % colon % height % QLatin1String("\r\n");
}

QString pictureSize(const QString &typed, const QString &runSize)
{
    bool ok = false;
    const int value = typed.toInt(&ok, 10);
    return ok && value > 0 ? typed : runSize;
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
