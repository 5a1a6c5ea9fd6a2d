#include "cellfont.h"

#include "biff/smallstring.h"
#include "biff/textconversion.h"

namespace XlsFormat {

CellFont::CellFont() : CellFont(L"Arial", 200, 400) {}

CellFont::CellFont(const std::wstring& fontName, unsigned short fontHeight, unsigned short fontWeight)
    : name(fontName), height(fontHeight), weight(fontWeight), options(0), colourIndex(0x7FFF),
      escapement(0), underline(0), family(0), characterSet(0)
{
}

bool CellFont::matches(const Biff::Workbook::Font& font) const
{
    return height == font.height && weight == font.weight && options == font.options &&
           colourIndex == font.colourIndex && escapement == font.escapement &&
           underline == font.underline && family == font.family &&
           characterSet == font.characterSet && name == Biff::wstringFromSmallString(font.name);
}

bool CellFont::get_font(Biff::Workbook::Font& font) const
{
    Biff::SmallString fontName;
    if (!fontName.Assign(name.c_str()))
        return false;
    font.height = height;
    font.options = options;
    font.colourIndex = colourIndex;
    font.weight = weight;
    font.escapement = escapement;
    font.underline = underline;
    font.family = family;
    font.characterSet = characterSet;
    font.name = fontName;
    return true;
}

} // namespace XlsFormat
