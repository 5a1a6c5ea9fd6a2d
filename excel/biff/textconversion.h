#ifndef BIFF_TEXTCONVERSION_H
#define BIFF_TEXTCONVERSION_H

#include <string>
#include <vector>

// Narrow <-> wide text for the workbook engine. 8-bit text in BIFF files is
// Latin-1, so these conversions never depend on the process locale: a byte
// widens to the code point of the same value, and a wide character narrows to
// its byte when it is at most U+00FF, otherwise to '?'. Both keep the length.
std::wstring widen_string(const std::string& text);
std::string narrow_string(const std::wstring& text);

namespace Biff {

class SmallString;
class LargeString;

using ::narrow_string;
using ::widen_string;

std::wstring widen_string(const std::vector<char>& text);
std::wstring wstringFromSmallString(const SmallString& text);
std::wstring wstringFromLargeString(const LargeString& text);

} // namespace Biff

#endif
