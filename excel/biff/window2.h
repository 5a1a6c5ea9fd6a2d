#ifndef GRIDMOLT_BIFF_WINDOW2_H
#define GRIDMOLT_BIFF_WINDOW2_H

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// WINDOW2 (0x023E): how the sheet is shown.
class Window2 : public Record {
public:
    static const unsigned short Code = 0x023E;
    static const unsigned int FixedDataSize = 18;

    unsigned short options; // 0x06B6: grid, headers, zeros, auto grid colour, outline, selected, shown
    unsigned short firstVisibleRowIndex;
    unsigned short firstVisibleColIndex;
    unsigned short gridLineColourIndex;
    unsigned short reserved1;
    unsigned short pageBreakPreviewZoom; // 0: default magnification
    unsigned short normalViewZoom;
    unsigned int reserved2;

    Window2();
    Window2(const Window2&) = default;
    Window2& operator=(const Window2&) = default;
    ~Window2() override;

    // Bytes consumed on the stream, 0 for a record that is cut off or shorter
    // than FixedDataSize.
    unsigned int Read(const char* data, unsigned int size) override;
    unsigned int Write(char* data) override;
};

} // namespace Sheet
} // namespace Biff

#endif
