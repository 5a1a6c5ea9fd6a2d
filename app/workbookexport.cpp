#include "workbookexport.h"

#include "xlsformatcellfont.h"
#include "xlsformatmanager.h"
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

    for (int r = 0; r < lines.size(); ++r) {
        const QStringList &fields = lines.at(r);
        for (int c = 0; c < columns; ++c) {
            std::wstring units;
            if (c < fields.size()) {
                units = toUnits(fields.at(c));
                qDebug().noquote() << QStringLiteral("\"buffer\" \"%1\" ").arg(fields.at(c));
            }
            Biff::XlsCell *cell = sheet->Cell(r, c);
            if (!cell) {
                result.truncated = true;
                continue;
            }
            cell->SetWString(units.c_str());
        }
    }

    const QByteArray target = path.toUtf8();
    if (!workbook.SaveAs(target.constData())) {
        result.save.reason = QStringLiteral("the file could not be written");
        return result;
    }
    result.save.ok = true;
    return result;
}
