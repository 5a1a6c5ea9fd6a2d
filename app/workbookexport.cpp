#include "workbookexport.h"

#include "cellfont.h"
#include "formatmanager.h"
#include "xlsworkbook.h"
#include "xlsworksheet.h"

#include <QDebug>

#include <string>

namespace {

// One wide character per UTF-16 code unit, as the engine stores it.
std::wstring toUnits(const QString &text)
{
    int n = qMin(int(text.size()), WorkbookExport::maxCellUnits);
    if (n > 0 && n < text.size() && text.at(n - 1).isHighSurrogate())
        --n;
    std::wstring out(size_t(n), L'\0');
    for (int i = 0; i < n; ++i)
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
    result.save.ok = true;
    return result;
}
