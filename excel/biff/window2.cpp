#include "biff/window2.h"

#include "compound/littleendian.h"

namespace Biff {
namespace Sheet {

using CompoundDoc::LittleEndian;

Window2::Window2()
    : options(0x06B6), firstVisibleRowIndex(0), firstVisibleColIndex(0), gridLineColourIndex(64),
      reserved1(0), pageBreakPreviewZoom(0), normalViewZoom(0), reserved2(0)
{
    code = Code;
    SetFixedSize(FixedDataSize);
}

Window2::~Window2() = default;

unsigned int Window2::Read(const char* in, unsigned int size)
{
    const unsigned int consumed = ReadFixed(in, size, FixedDataSize);
    if (consumed == 0)
        return 0;
    LittleEndian::Read(data, options, 0);
    LittleEndian::Read(data, firstVisibleRowIndex, 2);
    LittleEndian::Read(data, firstVisibleColIndex, 4);
    LittleEndian::Read(data, gridLineColourIndex, 6);
    LittleEndian::Read(data, reserved1, 8);
    LittleEndian::Read(data, pageBreakPreviewZoom, 10);
    LittleEndian::Read(data, normalViewZoom, 12);
    LittleEndian::Read(data, reserved2, 14);
    return consumed;
}

unsigned int Window2::Write(char* out)
{
    SetFixedSize(FixedDataSize);
    PrepareFixedWrite();
    LittleEndian::Write(data, options, 0);
    LittleEndian::Write(data, firstVisibleRowIndex, 2);
    LittleEndian::Write(data, firstVisibleColIndex, 4);
    LittleEndian::Write(data, gridLineColourIndex, 6);
    LittleEndian::Write(data, reserved1, 8);
    LittleEndian::Write(data, pageBreakPreviewZoom, 10);
    LittleEndian::Write(data, normalViewZoom, 12);
    LittleEndian::Write(data, reserved2, 14);
    return Record::Write(out);
}

} // namespace Sheet
} // namespace Biff
