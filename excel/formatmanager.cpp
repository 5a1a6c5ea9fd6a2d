#include "formatmanager.h"

#include "biff/largestring.h"
#include "biff/textconversion.h"
#include "xlsworkbook.h"

namespace XlsFormat {

namespace {

struct BuiltinFormat {
    int index;
    const wchar_t* text;
};

// The number formats every BIFF8 reader knows by index (23-36 are locale
// specific and left out).
const BuiltinFormat kBuiltinFormats[] = {
    {0, L"General"},
    {1, L"0"},
    {2, L"0.00"},
    {3, L"#,##0"},
    {4, L"#,##0.00"},
    {5, L"\"$\"#,##0_);(\"$\"#,##0)"},
    {6, L"\"$\"#,##0_);[Red](\"$\"#,##0)"},
    {7, L"\"$\"#,##0.00_);(\"$\"#,##0.00)"},
    {8, L"\"$\"#,##0.00_);[Red](\"$\"#,##0.00)"},
    {9, L"0%"},
    {10, L"0.00%"},
    {11, L"0.00E+00"},
    {12, L"# ?/?"},
    {13, L"# ?\?/??"},
    {14, L"M/D/YY"},
    {15, L"D-MMM-YY"},
    {16, L"D-MMM"},
    {17, L"MMM-YY"},
    {18, L"h:mm AM/PM"},
    {19, L"h:mm:ss AM/PM"},
    {20, L"h:mm"},
    {21, L"h:mm:ss"},
    {22, L"M/D/YY h:mm"},
    {37, L"_(#,##0_);(#,##0)"},
    {38, L"_(#,##0_);[Red](#,##0)"},
    {39, L"_(#,##0.00_);(#,##0.00)"},
    {40, L"_(#,##0.00_);[Red](#,##0.00)"},
    {41, L"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)"},
    {42, L"_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)"},
    {43, L"_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"?\?_);_(@_)"},
    {44, L"_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"?\?_);_(@_)"},
    {45, L"mm:ss"},
    {46, L"[h]:mm:ss"},
    {47, L"mm:ss.0"},
    {48, L"##0.0E+0"},
    {49, L"@"},
};

// BIFF8 font indices skip 4.
int FontIndexOfPosition(size_t position)
{
    return position < 4 ? static_cast<int>(position) : static_cast<int>(position) + 1;
}

} // namespace

FormatManager::FormatManager(Biff::XlsWorkbook& excel) : workbook(excel), nextFormatIndex(kFirstUserFormat)
{
    for (const BuiltinFormat& f : kBuiltinFormats)
        formatStrings[f.index] = f.text;
    for (const Biff::Workbook::Format& format : workbook.GetWorkbookRecords().formats) {
        const int index = format.index;
        formatStrings[index] = Biff::wstringFromLargeString(format.formatString);
        if (nextFormatIndex <= index)
            nextFormatIndex = index + 1;
    }
    // Ascending order, so where two indices share a text the higher one wins.
    for (const auto& entry : formatStrings)
        formatIndices[entry.second] = entry.first;
}

FormatManager::~FormatManager() = default;

int FormatManager::get_font_idx(const CellFont& font)
{
    std::vector<Biff::Workbook::Font>& fonts = workbook.GetWorkbookRecords().fonts;
    for (size_t p = 0; p < fonts.size(); ++p) {
        if (font.matches(fonts[p]))
            return FontIndexOfPosition(p);
    }
    // A FONT index is 16 bits on the stream.
    if (fonts.size() >= 0xFFFE)
        return -1;
    Biff::Workbook::Font added;
    if (!font.get_font(added))
        return -1;
    fonts.push_back(added);
    return FontIndexOfPosition(fonts.size() - 1);
}

const Biff::Workbook::Font& FormatManager::get_font(const CellFormat& fmt) const
{
    const std::vector<Biff::Workbook::Font>& fonts = workbook.GetWorkbookRecords().fonts;
    const unsigned int index = static_cast<unsigned int>(fmt.fontIndex);
    const unsigned int position = index > 4 ? index - 1 : index;
    if (fonts.empty())
        return fallbackFont;
    if (position >= fonts.size())
        return fonts[0];
    return fonts[position];
}

int FormatManager::get_format_idx(const std::wstring& text)
{
    auto found = formatIndices.find(text);
    if (found != formatIndices.end())
        return found->second;
    // A FORMAT record carries at most 255 characters; the index is 16 bits.
    if (text.size() > kMaxFormatLength || nextFormatIndex > 0xFFFF)
        return -1;
    if (text.find(L'\0') != std::wstring::npos)
        return -1;
    Biff::Workbook::Format format;
    if (!format.formatString.Assign(text.c_str()))
        return -1;
    const int idx = nextFormatIndex++;
    format.index = static_cast<unsigned short>(idx);
    formatStrings[idx] = text;
    formatIndices[text] = idx;
    workbook.GetWorkbookRecords().formats.push_back(format);
    return idx;
}

std::wstring FormatManager::get_format_string(const CellFormat& fmt) const
{
    auto found = formatStrings.find(fmt.formatIndex);
    if (found == formatStrings.end())
        return L"General";
    return found->second;
}

int FormatManager::get_xf_idx(const CellFormat& fmt)
{
    std::vector<Biff::Workbook::XF>& xfs = workbook.GetWorkbookRecords().XFs;
    for (size_t p = 0; p < xfs.size(); ++p) {
        if (fmt.matches(xfs[p]))
            return static_cast<int>(p);
    }
    // Cells carry the XF index in 16 bits.
    if (xfs.size() >= 0xFFFF)
        return -1;
    Biff::Workbook::XF added;
    fmt.get_xf(added);
    // A cell XF (not a style), neither locked nor hidden.
    added.protectionType = 0x0078;
    xfs.push_back(added);
    return static_cast<int>(xfs.size() - 1);
}

} // namespace XlsFormat
