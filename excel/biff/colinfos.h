#ifndef GRIDMOLT_BIFF_COLINFOS_H
#define GRIDMOLT_BIFF_COLINFOS_H

#include <vector>

#include "biff/colinfo.h"
#include "biff/record.h"

namespace Biff {
namespace Sheet {

// The sheet's COLINFO records. It has the record interface but no header of
// its own: it writes its entries one after another.
class ColInfos : public Record {
public:
    using ColInfo = Sheet::ColInfo;

    std::vector<ColInfo> colInfos;

    ColInfos();
    ColInfos(const ColInfos&) = default;
    ColInfos& operator=(const ColInfos&) = default;
    ~ColInfos() override;

    // Reads one COLINFO record and appends it; returns what it consumed, 0
    // (nothing appended) when it does not read.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
    // 16 bytes per entry.
    unsigned int RecordSize() override;
};

} // namespace Sheet
} // namespace Biff

#endif
