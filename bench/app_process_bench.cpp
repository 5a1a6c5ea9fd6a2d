// Speed of the content run's own work: reading each page's text layer,
// matching every run against every content rule and writing the rule file.
// A document of 2,000 pages of 3,000 runs with 20 rules must take seconds.
#include "contentmatch.h"
#include "rulefile.h"
#include "textlayer.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace
{
// A page of `runs` words as the renderer writes them, twelve to a line.
QByteArray makePage(int runs)
{
    static const char *const words[] = {"Total", "Saint", "Paul", "1,234.50", "A&amp;B", "of", "the", "Says"};
    QByteArray page;
    page.reserve(runs * 70);
    for (int i = 0; i < runs; ++i) {
        const int line = i / 12;
        const int col = i % 12;
        page += "<span style=\"left:" + QByteArray::number(20 + col * 45) + ";top:"
                + QByteArray::number(30 + line * 3) + ";width:40;height:9;\">" + words[i % 8] + "</span>\n";
    }
    return page;
}

// Twenty rules: a few that hit often, joined ones, and many that hit nothing.
QVector<ContentMatch::Rule> makeRules()
{
    QVector<ContentMatch::Rule> rules;
    const char *const finds[] = {"Total", "Saint Paul", "A&B", "of the", "Says"};
    for (const char *f : finds)
        rules.append({QString::fromLatin1(f), QStringLiteral("X"), {}, {}, {}});
    for (int i = 0; rules.size() < 20; ++i)
        rules.append({QStringLiteral("Never%1 here").arg(i), QStringLiteral("Y"), {}, {}, {}});
    return rules;
}

void BM_ContentRun(benchmark::State &state)
{
    const int pages = int(state.range(0));
    const QByteArray page = makePage(3000);
    const QVector<ContentMatch::Rule> rules = makeRules();
    QTemporaryDir dir;
    const QString path = RuleFile::contentRulesPath(dir.path());
    for (auto _ : state) {
        QString lines;
        for (int p = 1; p <= pages; ++p)
            lines += ContentMatch::pageRuleLines(TextLayer::parsePage(page), p, rules, ContentMatch::TextRules);
        if (!RuleFile::write(path, lines).ok)
            state.SkipWithError("the rule file could not be written");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * pages * 3000);
}
BENCHMARK(BM_ContentRun)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);
}
