#ifndef GRIDMOLT_BIFF_FORMULA_H
#define GRIDMOLT_BIFF_FORMULA_H

#include <vector>

#include "biff/formulaarray.h"
#include "biff/formulastring.h"
#include "biff/formulatable.h"
#include "biff/record.h"
#include "biff/shrfmla.h"
#include "biff/shrfmla1.h"

namespace Biff {
namespace Sheet {

// FORMULA (0x0006) together with the records that follow it on the stream:
// at most one companion (ARRAY, SHRFMLA, TABLE, or the shared formula under
// 0x04BC), named by companionType, and a STRING when the result is text.
// Read, Write and RecordSize cover the whole group.
class Formula : public Record {
public:
    using Array = FormulaArray;
    using ShrFmla = Sheet::ShrFmla;
    using ShrFmla1 = Sheet::ShrFmla1;
    using Table = FormulaTable;
    using String = FormulaString;

    static const unsigned short Code = 0x0006;
    static const unsigned int HeaderSize = 20;
    static const unsigned short NoCompanion = 0xFFFF;

    unsigned short rowIndex;
    unsigned short colIndex;
    unsigned short xfIndex;
    char result[8];         // cached result, raw (an IEEE double when numeric)
    unsigned short options;
    unsigned int reserved;  // written as 0
    std::vector<char> formula; // token length (u16) and tokens, raw
    unsigned short companionType;
    Array array;
    ShrFmla shrfmla;
    ShrFmla1 shrfmla1;
    Table table;
    String string;

    Formula();
    Formula(const Formula&) = default;
    Formula& operator=(const Formula&) = default;
    ~Formula() override;

    // Reads the FORMULA, a companion directly behind it and a STRING behind
    // those. Returns the bytes consumed by the group, 0 when any of them is
    // cut off or malformed (a token length beyond the data included).
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
    // Data of the FORMULA record alone.
    unsigned int DataSize() override;
    // The whole group as Write emits it.
    unsigned int RecordSize() override;

    // The companion named by companionType, null for none.
    Record* Companion();
};

} // namespace Sheet
} // namespace Biff

#endif
