#ifndef GRIDMOLT_BIFF_SHRFMLA1_H
#define GRIDMOLT_BIFF_SHRFMLA1_H

#include "biff/shrfmla.h"

namespace Biff {
namespace Sheet {

// Shared formula under the identifier 0x04BC; same fields and layout as SHRFMLA.
class ShrFmla1 : public ShrFmla {
public:
    static const unsigned short Code = 0x04BC;

    ShrFmla1();
    ShrFmla1(const ShrFmla1&) = default;
    ShrFmla1& operator=(const ShrFmla1&) = default;
    ~ShrFmla1() override;
};

} // namespace Sheet
} // namespace Biff

#endif
