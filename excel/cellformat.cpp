#include "cellformat.h"

#include "cellfont.h"
#include "formatmanager.h"

namespace XlsFormat {

CellFormat::CellFormat(FormatManager& mgr)
    : manager(mgr), fontIndex(0), formatIndex(0), alignment(0x20), rotation(0), textProperties(0),
      borderLines(0), colour1(0), colour2(0x20C0)
{
}

CellFormat::CellFormat(FormatManager& mgr, const CellFont& font) : CellFormat(mgr)
{
    set_font(font);
}

bool CellFormat::matches(const Biff::Workbook::XF& xf) const
{
    return fontIndex == xf.fontIndex && formatIndex == xf.formatIndex && alignment == xf.alignment &&
           rotation == xf.rotation && textProperties == xf.textProperties &&
           borderLines == xf.borderLines && colour1 == xf.colour1 && colour2 == xf.colour2;
}

void CellFormat::get_xf(Biff::Workbook::XF& xf) const
{
    xf.fontIndex = static_cast<unsigned short>(fontIndex);
    xf.formatIndex = static_cast<unsigned short>(formatIndex);
    xf.alignment = alignment;
    xf.rotation = rotation;
    xf.textProperties = textProperties;
    xf.borderLines = borderLines;
    xf.colour1 = colour1;
    xf.colour2 = colour2;
}

bool CellFormat::set_font(const CellFont& font)
{
    const int idx = manager.get_font_idx(font);
    if (idx < 0)
        return false;
    fontIndex = idx;
    return true;
}

bool CellFormat::set_format_string(const std::wstring& text)
{
    const int idx = manager.get_format_idx(text);
    if (idx < 0)
        return false;
    formatIndex = idx;
    return true;
}

} // namespace XlsFormat
