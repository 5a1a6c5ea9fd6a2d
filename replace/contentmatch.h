#ifndef CONTENTMATCH_H
#define CONTENTMATCH_H

#include "subtext.h"

#include <QString>
#include <QVector>

// Which runs of a page the rules by content name, and the rule lines by
// position that replace them. QtCore only, so tests and benchmarks call it
// without a display.
namespace ContentMatch
{
// One row of a content table. Text rules use `replace`; image rules use
// `image`, `width` and `height`, written as typed.
struct Rule
{
    QString find;
    QString replace;
    QString image;
    QString width;
    QString height;
};

enum Kind { TextRules = 1, ImageRules = 2 };

// The run's text as printed: the text layer writes "&", "<", ">" (and may
// write other characters) as references; named ones for &amp; &lt; &gt;
// &quot; &apos; and numeric ones are decoded, anything else stays as it is.
QString decodeText(const QString &layerText);

// Whether run `b` continues the printed line of run `a` right after it: the
// same line band and a word gap to its right of at most one line height.
bool continuesLine(const Subtext &a, const Subtext &b);

// The rule lines of one page, in the order of the runs and, for one run, of
// the rules. A rule matches a run whose decoded text equals its find text,
// and a sequence of neighbouring runs of one printed line whose decoded texts
// joined by single blanks equal it; the line then carries the box holding
// them all. A rule with an empty find text matches nothing. A picture size
// that is no number above 0 becomes the matched box's own. When `ruleRows` is
// given, the index in `rules` of each line's rule is appended to it. Work is
// linear in runs x rules.
QString pageRuleLines(const Alltext &page, int pageNumber, const QVector<Rule> &rules, Kind kind,
                      QVector<int> *ruleRows = nullptr);
}

#endif
