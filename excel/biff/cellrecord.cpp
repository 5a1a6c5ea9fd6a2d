#include "biff/cellrecord.h"

namespace Biff {
namespace Sheet {

CellRecord::CellRecord(unsigned short recordCode, unsigned int fixedSize)
    : rowIndex(0), colIndex(0), xfIndex(0)
{
    code = recordCode;
    SetFixedSize(fixedSize);
}

CellRecord::~CellRecord() = default;

} // namespace Sheet
} // namespace Biff
