#include "workbookexport.h"

#include "cellfont.h"
#include "formatmanager.h"
#include "xlsworkbook.h"
#include "xlsworksheet.h"

#include <QDebug>
#include <QDir>

#include <string>

namespace {

// One wide character per UTF-16 code unit, as the engine stores it.
std::wstring toUnits(const QString &text)
{
    std::wstring out(size_t(text.size()), L'\0');
    for (int i = 0; i < text.size(); ++i)
        out[size_t(i)] = wchar_t(text.at(i).unicode());
    return out;
}

} // namespace

WorkbookExport::Result WorkbookExport::save(const QString &path,
                                            const QVector<TableFile::PageRows> &pages)
{
    Result result;
    result.save.fileName = path;

    const QVector<QStringList> lines = TableFile::sheetLines(pages);
    int columns = 1;
    for (const QStringList &line : lines)
        columns = qMax(columns, int(line.size()));

    Biff::XlsWorkbook workbook;
    workbook.New(1);
    Biff::XlsWorksheet *sheet = workbook.GetWorksheet(0);
    if (!sheet) {
        result.save.reason = QStringLiteral("the workbook could not be created");
        return result;
    }
    XlsFormat::FormatManager formats(workbook);
    // One bold font is registered with the workbook; no cell uses it.
    const XlsFormat::CellFont font(L"Arial", 200, 700);
    formats.get_font_idx(font);

    // What lies beyond the sheet is counted, not handed over.
    const int rows = qMin(int(lines.size()), maxRows);
    const int stored = qMin(columns, maxColumns);
    for (int r = 0; r < rows; ++r) {
        const QStringList &fields = lines.at(r);
        // An empty line is one empty field.
        const int fieldCount = qMax(1, int(fields.size()));
        for (int c = 0; c < stored; ++c) {
            std::wstring units;
            if (c < fieldCount) {
                const QString text = fields.value(c);
                units = toUnits(text);
                qDebug().noquote().nospace() << "buffer \"" << text << "\" ";
            }
            Biff::XlsCell *cell = sheet->Cell(r, c);
            if (!cell) {
                result.save.reason = QStringLiteral("the worksheet refused a cell");
                return result;
            }
            cell->SetWString(units.c_str());
        }
    }
    // Empty lines beyond the sheet lose nothing.
    for (int r = rows; r < lines.size(); ++r)
        result.rowsLeftOut += lines.at(r).isEmpty() ? 0 : 1;
    result.columnsLeftOut = qMax(0, columns - maxColumns);

    const QByteArray target = path.toUtf8();
    if (!workbook.SaveAs(target.constData())) {
        const std::string &why = workbook.GetLastError();
        result.save.reason = why.empty() ? QStringLiteral("the file could not be written")
                                         : QString::fromStdString(why);
        return result;
    }
    for (const Biff::XlsWorkbook::CellPosition &cut : workbook.GetCutCells())
        result.cutCells.append(QString::fromStdString(
            Biff::XlsWorkbook::CellName(size_t(cut.row), size_t(cut.column))));
    result.save.ok = true;
    return result;
}

QString WorkbookExport::Result::warning() const
{
    QStringList lines;
    if (rowsLeftOut > 0 || columnsLeftOut > 0)
        lines << QStringLiteral("A worksheet holds at most %1 rows and %2 columns; "
                                "%3 rows and %4 columns beyond them were left out.")
                     .arg(maxRows).arg(maxColumns).arg(rowsLeftOut).arg(columnsLeftOut);
    if (!cutCells.isEmpty()) {
        // A handful of names tells the user where to look; a list of
        // thousands would hide the rest of the message.
        const int named = 10;
        QString cells = QStringList(cutCells.mid(0, named)).join(QStringLiteral(", "));
        if (cutCells.size() > named)
            cells += QStringLiteral(" and %1 more").arg(cutCells.size() - named);
        lines << QStringLiteral("A cell holds at most %1 characters; the text of %2 was cut to that length.")
                     .arg(maxCellUnits).arg(cells);
    }
    if (lines.isEmpty())
        return QString();
    lines << QStringLiteral("The rest was saved in %1.").arg(QDir::toNativeSeparators(save.fileName));
    return lines.join(QLatin1Char('\n'));
}
