#include "contentmatch.h"

#include "rulefile.h"

namespace
{
// The text a reference between "&" and ";" stands for; null when it is
// none we know.
QString referenceValue(QStringView name)
{
    if (name == u"amp")
        return QStringLiteral("&");
    if (name == u"lt")
        return QStringLiteral("<");
    if (name == u"gt")
        return QStringLiteral(">");
    if (name == u"quot")
        return QStringLiteral("\"");
    if (name == u"apos")
        return QStringLiteral("'");
    if (name.size() < 2 || name.at(0) != QLatin1Char('#'))
        return QString();
    bool ok = false;
    const uint code = name.at(1) == QLatin1Char('x') || name.at(1) == QLatin1Char('X')
                          ? name.mid(2).toUInt(&ok, 16)
                          : name.mid(1).toUInt(&ok, 10);
    if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return QString();
    const char32_t c = code;
    return QString::fromUcs4(&c, 1);
}

// Where the run sequence starting at `first` matching `find` ends (one past
// the last run), or -1 when it does not match.
int matchAt(const QVector<Subtext> &runs, const QVector<QString> &texts, int first,
            const QString &find)
{
    int pos = 0;
    // Each pass ends the match or has a next run to go on with.
    for (int j = first;; ++j) {
        const QString &t = texts.at(j);
        if (t.isEmpty() || t.size() > find.size() - pos
            || QStringView(find).mid(pos, t.size()) != QStringView(t))
            return -1;
        pos += t.size();
        if (pos == find.size())
            return j + 1;
        if (find.at(pos) != QLatin1Char(' ') || j + 1 >= texts.size()
            || !ContentMatch::continuesLine(runs.at(j), runs.at(j + 1)))
            return -1;
        ++pos;
    }
}
}

namespace ContentMatch
{
QString decodeText(const QString &layerText)
{
    if (!layerText.contains(QLatin1Char('&')))
        return layerText;
    QString out;
    out.reserve(layerText.size());
    const int n = layerText.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = layerText.at(i);
        if (c == QLatin1Char('&')) {
            // References are short; a far ";" belongs to other text.
            const int semi = layerText.indexOf(QLatin1Char(';'), i + 1);
            if (semi > i && semi - i <= 10) {
                const QString value = referenceValue(QStringView(layerText).mid(i + 1, semi - i - 1));
                if (!value.isNull()) {
                    out += value;
                    i = semi;
                    continue;
                }
            }
        }
        out += c;
    }
    return out;
}

bool continuesLine(const Subtext &a, const Subtext &b)
{
    // Centres within half the taller height of each other: one line band.
    const qint64 ca = 2 * qint64(a.y) + a.height;
    const qint64 cb = 2 * qint64(b.y) + b.height;
    const qint64 tall = qMax(a.height, b.height);
    if (qAbs(ca - cb) > tall)
        return false;
    const qint64 gap = qint64(b.x) - (qint64(a.x) + a.width);
    return b.x >= a.x && gap <= tall;
}

QString pageRuleLines(const Alltext &page, int pageNumber, const QVector<Rule> &rules, Kind kind,
                      QVector<int> *ruleRows)
{
    const QVector<Subtext> &runs = page.subtext;
    QVector<QString> texts;
    texts.reserve(runs.size());
    for (const Subtext &r : runs)
        texts.append(decodeText(r.text));

    const QString pageText = QString::number(pageNumber);
    QString out;
    for (int i = 0; i < runs.size(); ++i) {
        const QString &first = texts.at(i);
        if (first.isEmpty())
            continue;
        for (int n = 0; n < rules.size(); ++n) {
            const Rule &rule = rules.at(n);
            // Cheap test first: most rules differ in their first character.
            if (rule.find.isEmpty() || rule.find.at(0) != first.at(0))
                continue;
            const int end = matchAt(runs, texts, i, rule.find);
            if (end < 0)
                continue;
            // 64-bit: a box edge of a hostile layer may pass the int range.
            qint64 left = runs.at(i).x, top = runs.at(i).y;
            qint64 right = left + runs.at(i).width, bottom = top + runs.at(i).height;
            // Each later run starts at or right of the one before it.
            for (int j = i + 1; j < end; ++j) {
                const Subtext &r = runs.at(j);
                top = qMin<qint64>(top, r.y);
                right = qMax<qint64>(right, qint64(r.x) + r.width);
                bottom = qMax<qint64>(bottom, qint64(r.y) + r.height);
            }
            RuleFile::PositionKey key;
            key.page = pageText;
            key.left = QString::number(left);
            key.top = QString::number(top);
            key.width = QString::number(right - left);
            key.height = QString::number(bottom - top);
            if (kind == TextRules)
                out += RuleFile::textRuleLine(key, rule.find, rule.replace);
            else
                out += RuleFile::imageRuleLine(key, rule.image, RuleFile::pictureSize(rule.width, key.width),
                                               RuleFile::pictureSize(rule.height, key.height));
            if (ruleRows)
                ruleRows->append(n);
        }
    }
    return out;
}
}
