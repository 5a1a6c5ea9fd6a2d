#ifndef GRIDMOLT_BIFF_FORMULABYTES_H
#define GRIDMOLT_BIFF_FORMULABYTES_H

#include <vector>

namespace Biff {
namespace Sheet {

// Parsed-formula bytes start with their token length (u16). True when the
// `count` bytes from `from` in `data` either are empty or hold a length field
// whose tokens fit behind it; a length claiming more bytes than there are is
// refused rather than carried into a cell.
bool FormulaBytesFit(const std::vector<char>& data, unsigned int from, unsigned int count);

} // namespace Sheet
} // namespace Biff

#endif
