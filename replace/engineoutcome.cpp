#include "engineoutcome.h"

#include <QRegularExpression>

namespace EngineOutcome
{
QString exitReason(const ToolRun::Result &result, const QString &program)
{
    if (!result.errorLines.isEmpty())
        return result.errorLines.last();
    if (result.crashed)
        return QStringLiteral("%1 ended abnormally.").arg(program);
    return QStringLiteral("%1 failed (exit code %2).").arg(program).arg(result.exitCode);
}

int ruleLine(const QString &engineLine)
{
    static const QRegularExpression line(QStringLiteral("\\bline (\\d{1,9})\\b"));
    const QRegularExpressionMatch m = line.match(engineLine);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

Report judge(const ToolRun::Result &result, const QString &program, const QString &input, const QString &output,
             bool outputWritten, const std::function<QString(int line)> &ruleName)
{
    Report report;
    if (!result.crashed && result.exitCode == AllApplied) {
        if (!outputWritten) {
            report.failure = QStringLiteral("%1 wrote no output for %2.").arg(program, input);
            report.lines << report.failure;
        }
        return report;
    }
    if (result.crashed || result.exitCode != SomeSkipped) {
        report.failure = QStringLiteral("%1 was not replaced: %2").arg(input, exitReason(result, program));
        report.lines << report.failure;
        return report;
    }
    report.failure = QStringLiteral("Not every rule could be applied to %1:").arg(input);
    report.lines << report.failure;
    const QStringList &skipped = result.errorLines;
    for (int i = 0; i < skipped.size() && i < maxShownLines; ++i) {
        const QString name = ruleName(ruleLine(skipped.at(i)));
        report.lines << QStringLiteral("    ") + skipped.at(i)
                            + (name.isEmpty() ? QString() : QStringLiteral(" (") + name + QLatin1Char(')'));
    }
    if (skipped.size() > maxShownLines)
        report.lines << QStringLiteral("    ... and %1 more.").arg(skipped.size() - maxShownLines);
    report.lines << (outputWritten ? QStringLiteral("The output %1 holds the rules that were applied.").arg(output)
                                   : QStringLiteral("No output was written."));
    return report;
}
}
