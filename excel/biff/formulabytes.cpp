#include "biff/formulabytes.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

bool FormulaBytesFit(const std::vector<char>& data, unsigned int from, unsigned int count)
{
    if (count == 0)
        return true;
    if (count < 2 || static_cast<unsigned long long>(from) + count > data.size())
        return false;
    unsigned short tokens = 0;
    CompoundDoc::LittleEndian::Read(data, tokens, from);
    return tokens <= count - 2;
}

} // namespace Sheet
} // namespace Biff
