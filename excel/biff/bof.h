#ifndef BIFF_BOF_H
#define BIFF_BOF_H

#include "biff/record.h"

namespace Biff {

// BOF (0x0809): opens every substream. The owner fills the fields.
class BOF : public Record {
public:
    static const unsigned short Code = 0x0809;
    static const unsigned int FixedDataSize = 16;

    unsigned short version;
    unsigned short type;            // 0x0005 workbook globals, 0x0010 worksheet
    unsigned short buildIdentifier;
    unsigned short buildYear;
    unsigned int fileHistoryFlags;
    unsigned int lowestVersion;

    BOF();
    BOF(const BOF&) = default;
    BOF& operator=(const BOF&) = default;
    ~BOF() override;

    // Returns the bytes consumed on the stream, 0 for a record that is not
    // whole or shorter than 16 data bytes.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
};

} // namespace Biff

#endif
