#ifndef BIFF_EOFRECORD_H
#define BIFF_EOFRECORD_H

#include "biff/record.h"

namespace Biff {

// EOF (0x000A): closes every substream; no data, written as 0A 00 00 00.
class EOFRecord : public Record {
public:
    static const unsigned short Code = 0x000A;

    EOFRecord();
    EOFRecord(const EOFRecord&) = default;
    EOFRecord& operator=(const EOFRecord&) = default;
    ~EOFRecord() override;
};

} // namespace Biff

#endif
