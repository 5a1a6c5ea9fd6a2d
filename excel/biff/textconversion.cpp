#include "biff/textconversion.h"

#include "biff/largestring.h"
#include "biff/smallstring.h"

std::wstring widen_string(const std::string& text)
{
    std::wstring out(text.size(), L'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    return out;
}

std::string narrow_string(const std::wstring& text)
{
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned long c = static_cast<unsigned long>(text[i]);
        out[i] = c <= 0xFFu ? static_cast<char>(static_cast<unsigned char>(c)) : '?';
    }
    return out;
}

namespace Biff {

std::wstring widen_string(const std::vector<char>& text)
{
    std::wstring out(text.size(), L'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    return out;
}

std::wstring wstringFromSmallString(const SmallString& text)
{
    if (text.options & 0x01)
        return text.wideText ? std::wstring(text.wideText) : std::wstring();
    return text.narrowText ? ::widen_string(std::string(text.narrowText)) : std::wstring();
}

std::wstring wstringFromLargeString(const LargeString& text)
{
    if (text.options & 0x01)
        return std::wstring(text.wideText.begin(), text.wideText.end());
    return widen_string(text.narrowText);
}

} // namespace Biff
