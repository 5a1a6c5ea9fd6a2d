// Feeds arbitrary bytes to the replacement window's readers of outside text:
// the information tool's page-count file, position keys, and a page's text
// layer matched against content rules. None may crash or read out of bounds,
// and each result must keep its invariants.
#include "contentmatch.h"
#include "filelist.h"
#include "rulefile.h"
#include "textlayer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));

    const QString count = FileList::pageCountText(bytes);
    for (const QChar c : count) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            std::abort();
    }
    if (count.size() > bytes.size())
        std::abort();

    const QString text = QString::fromUtf8(bytes);
    const RuleFile::PositionKey key = RuleFile::cutPositionKey(text);
    if (key.page.size() + key.left.size() + key.top.size() + key.width.size() + key.height.size() > text.size())
        std::abort();
    if (RuleFile::textRuleLine(key, QString(), QString()).count(QStringLiteral("\r\n")) < 1)
        std::abort();

    if (ContentMatch::decodeText(text).size() > text.size())
        std::abort();

    // The first line gives the rules' find texts, the rest is the page.
    const int cut = bytes.indexOf('\n');
    const QStringList finds = QString::fromUtf8(bytes.left(qMax(cut, 0))).split(QLatin1Char('|'));
    QVector<ContentMatch::Rule> rules;
    for (const QString &f : finds)
        rules.append({f, QStringLiteral("R"), {}, {}, {}});
    const Alltext page = TextLayer::parsePage(bytes.mid(cut + 1));
    const QString lines = ContentMatch::pageRuleLines(page, 1, rules, ContentMatch::TextRules);
    // At most one line per run, rule and length of a joined match.
    if (lines.count(QStringLiteral("\r\n")) > page.count * rules.size())
        std::abort();
    return 0;
}
