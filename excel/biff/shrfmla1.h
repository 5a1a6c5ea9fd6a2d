#ifndef GRIDMOLT_BIFF_SHRFMLA1_H
#define GRIDMOLT_BIFF_SHRFMLA1_H

#include "biff/rangeformula.h"

namespace Biff {
namespace Sheet {

// Shared formula under the identifier 0x04BC; same fields and layout as SHRFMLA.
class ShrFmla1 : public RangeFormula {
public:
    static const unsigned short Code = 0x04BC;
    static const unsigned int HeaderSize = 8;

    unsigned short reserved;

    ShrFmla1();
    ShrFmla1(const ShrFmla1&) = default;
    ShrFmla1& operator=(const ShrFmla1&) = default;
    ~ShrFmla1() override;

protected:
    void ReadFields() override;
    void WriteFields() override;
};

} // namespace Sheet
} // namespace Biff

#endif
