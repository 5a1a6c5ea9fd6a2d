#ifndef GRIDMOLT_CELLFONT_H
#define GRIDMOLT_CELLFONT_H

#include <string>

#include "biff/workbook.h"

namespace XlsFormat {

// A wanted font, compared with and copied into the workbook's FONT records.
class CellFont {
public:
    // The workbook's default font: "Arial", 10 point, normal weight.
    CellFont();
    CellFont(const std::wstring& fontName, unsigned short fontHeight, unsigned short fontWeight);

    bool matches(const Biff::Workbook::Font& font) const;
    // Copies every field into a FONT record; false (record untouched) for a
    // name the record cannot hold.
    bool get_font(Biff::Workbook::Font& font) const;

    std::wstring name;
    unsigned short height;       // 1/20 point
    unsigned short weight;       // 400 normal, 700 bold
    unsigned short options;
    unsigned short colourIndex;
    unsigned short escapement;
    unsigned char underline;
    unsigned char family;
    unsigned char characterSet;
};

} // namespace XlsFormat

#endif
