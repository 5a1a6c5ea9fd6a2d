#ifndef GRIDMOLT_FORMATMANAGER_H
#define GRIDMOLT_FORMATMANAGER_H

#include <map>
#include <string>

#include "biff/workbook.h"
#include "cellfont.h"
#include "cellformat.h"

namespace Biff {
class XlsWorkbook;
}

namespace XlsFormat {

// Finds or appends fonts, number formats and cell formats (XFs) in one
// workbook's globals and returns the indices cells and XFs refer to them by.
class FormatManager {
public:
    explicit FormatManager(Biff::XlsWorkbook& excel);
    ~FormatManager();

    FormatManager(const FormatManager&) = delete;
    FormatManager& operator=(const FormatManager&) = delete;

    // BIFF8 font index (4 is never given); -1 for a font name over 255 characters.
    int get_font_idx(const CellFont& font);
    const Biff::Workbook::Font& get_font(const CellFormat& fmt) const;
    // Number-format index; -1 for a text over 255 characters.
    int get_format_idx(const std::wstring& text);
    std::wstring get_format_string(const CellFormat& fmt) const;
    // XF index (list position).
    int get_xf_idx(const CellFormat& fmt);

    // Indices given to number formats the workbook defines start here.
    static const int kFirstUserFormat = 164;
    static const unsigned int kMaxFormatLength = 255;

private:
    Biff::XlsWorkbook& workbook;
    int nextFormatIndex;
    std::map<int, std::wstring> formatStrings;
    std::map<std::wstring, int> formatIndices;
    // Returned by get_font while the workbook has no FONT record at all.
    Biff::Workbook::Font fallbackFont;
};

} // namespace XlsFormat

#endif
