#ifndef GRIDMOLT_CELLFORMAT_H
#define GRIDMOLT_CELLFORMAT_H

#include <string>

#include "biff/workbook.h"

namespace XlsFormat {

class CellFont;
class FormatManager;

// A wanted cell format (the XF fields a cell's look depends on), tied to the
// format manager that turns its font and number format into indices.
class CellFormat {
public:
    // The look of the workbook's default XF: font 0, "General", bottom aligned.
    explicit CellFormat(FormatManager& mgr);
    CellFormat(FormatManager& mgr, const CellFont& font);
    CellFormat(const CellFormat&) = default;

    bool matches(const Biff::Workbook::XF& xf) const;
    // Copies the compared fields into an XF record.
    void get_xf(Biff::Workbook::XF& xf) const;

    int get_font_idx() const { return fontIndex; }
    int get_fmt_idx() const { return formatIndex; }

    // Finds or adds the font or number format; false when the manager refuses it.
    bool set_font(const CellFont& font);
    bool set_format_string(const std::wstring& text);

    FormatManager& manager;
    int fontIndex;
    int formatIndex;
    unsigned char alignment;
    unsigned char rotation;
    unsigned char textProperties;
    unsigned int borderLines;
    unsigned int colour1;
    unsigned short colour2;
};

} // namespace XlsFormat

#endif
