#ifndef GRIDMOLT_BIFF_SHRFMLA_H
#define GRIDMOLT_BIFF_SHRFMLA_H

#include "biff/rangeformula.h"

namespace Biff {
namespace Sheet {

// SHRFMLA (0x00BC): a formula shared by a range of FORMULA cells.
class ShrFmla : public RangeFormula {
public:
    static const unsigned short Code = 0x00BC;
    static const unsigned int HeaderSize = 8;

    unsigned short reserved;

    ShrFmla();
    ShrFmla(const ShrFmla&) = default;
    ShrFmla& operator=(const ShrFmla&) = default;
    ~ShrFmla() override;

protected:
    // The same record under another identifier.
    explicit ShrFmla(unsigned short code);

    void ReadFields() override;
    void WriteFields() override;
};

} // namespace Sheet
} // namespace Biff

#endif
