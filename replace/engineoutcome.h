#ifndef ENGINEOUTCOME_H
#define ENGINEOUTCOME_H

#include "toolrun.h"

#include <QString>
#include <QStringList>

#include <functional>

// How the replacement window judges and reports one ended run of a program,
// without a display. The engine's exit codes: 0 every rule applied, 1 failed
// with no output, 2 the output written but the rules its standard error names
// (one line each, with the rule's line in the rule file) were skipped. A
// partial result is a failure: the user learns which rules are missing and
// where the rest went.
namespace EngineOutcome
{
enum Exit { AllApplied = 0, NotWritten = 1, SomeSkipped = 2 };

struct Report
{
    QString failure;     // why the file failed; empty when it did not
    QStringList lines;   // for the status area, in order
};

// The program's own last words, else a plain statement of how it ended.
QString exitReason(const ToolRun::Result &result, const QString &program);

// The rule-file line an engine line names ("line N"); 0 when none.
int ruleLine(const QString &engineLine);

// The report of an engine run that ended (not stopped, not timed out) on
// `input`, writing `output`. `ruleName` turns a rule-file line into the words
// that name its rule's row (empty when it cannot). At most maxShownLines of
// the engine's lines are listed.
constexpr int maxShownLines = 200;
Report judge(const ToolRun::Result &result, const QString &program, const QString &input, const QString &output,
             bool outputWritten, const std::function<QString(int line)> &ruleName);
}

#endif
