#ifndef GRIDMOLT_BIFF_FORMULAARRAY_H
#define GRIDMOLT_BIFF_FORMULAARRAY_H

#include "biff/rangeformula.h"

namespace Biff {
namespace Sheet {

// ARRAY (0x0221): the array formula that follows the FORMULA of its first cell.
class FormulaArray : public RangeFormula {
public:
    static const unsigned short Code = 0x0221;
    static const unsigned int HeaderSize = 12;

    unsigned short options;
    unsigned int reserved;

    FormulaArray();
    FormulaArray(const FormulaArray&) = default;
    FormulaArray& operator=(const FormulaArray&) = default;
    ~FormulaArray() override;

protected:
    void ReadFields() override;
    void WriteFields() override;
};

} // namespace Sheet
} // namespace Biff

#endif
