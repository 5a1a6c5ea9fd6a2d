#include "biff/workbook.h"

#include "biff/sizesum.h"
#include "compound/littleendian.h"

namespace Biff {

using CompoundDoc::LittleEndian;

namespace {

// Formats 0-163 are built in and never written.
bool isWorkbookFormat(const Workbook::Format& f)
{
    return f.index > 163;
}

template <typename R>
bool writeOne(R& record, char* out, unsigned long& p)
{
    const unsigned int n = record.Write(out + p);
    if (n == 0)
        return false;
    p += n;
    return true;
}

} // namespace

Workbook::Workbook()
{
    bof.version = 0x0600;
    bof.type = 0x0005;
    bof.buildIdentifier = 0x19A0;
    bof.buildYear = 0x07CD;
    bof.fileHistoryFlags = 0xC0C9;
    bof.lowestVersion = 0x0306;
}

unsigned int Workbook::RecordSize()
{
    unsigned long long total = bof.RecordSize() + window1.RecordSize();
    for (Font& f : fonts)
        total += f.RecordSize();
    for (Format& f : formats)
        if (isWorkbookFormat(f))
            total += f.RecordSize();
    for (XF& x : XFs)
        total += x.RecordSize();
    for (Style& s : styles)
        total += s.RecordSize();
    for (BoundSheet& b : boundSheets)
        total += b.RecordSize();
    total += sharedStringTable.RecordSize();
    total += eof.RecordSize();
    return ClampSize(total);
}

unsigned int Workbook::DataSize()
{
    return RecordSize();
}

unsigned int Workbook::Write(char* out)
{
    if (out == nullptr)
        return 0;
    unsigned long p = 0;
    if (!writeOne(bof, out, p) || !writeOne(window1, out, p))
        return 0;
    for (Font& f : fonts)
        if (!writeOne(f, out, p))
            return 0;
    for (Format& f : formats)
        if (isWorkbookFormat(f) && !writeOne(f, out, p))
            return 0;
    for (XF& x : XFs)
        if (!writeOne(x, out, p))
            return 0;
    for (Style& s : styles)
        if (!writeOne(s, out, p))
            return 0;
    for (BoundSheet& b : boundSheets)
        if (!writeOne(b, out, p))
            return 0;
    if (!writeOne(sharedStringTable, out, p) || !writeOne(eof, out, p))
        return 0;
    return static_cast<unsigned int>(p);
}

unsigned int Workbook::Read(const char* in, unsigned int size)
{
    if (in == nullptr)
        return 0;
    unsigned int offset = 0;
    // Every record consumes at least its 4-byte header, so this ends.
    while (offset <= size && size - offset >= 4) {
        const char* at = in + offset;
        const unsigned int left = size - offset;
        unsigned short id = 0;
        LittleEndian::Read(at, id, 0);
        unsigned int n = 0;
        switch (id) {
        case EOFRecord::Code:
            n = eof.Read(at, left);
            return n == 0 ? 0 : offset + n;
        case BOF::Code:
            n = bof.Read(at, left);
            break;
        case Window1::Code:
            n = window1.Read(at, left);
            break;
        case Font::Code:
            fonts.emplace_back();
            n = fonts.back().Read(at, left);
            break;
        case XF::Code:
            XFs.emplace_back();
            n = XFs.back().Read(at, left);
            break;
        case Style::Code:
            styles.emplace_back();
            n = styles.back().Read(at, left);
            break;
        case Format::Code:
            formats.emplace_back();
            n = formats.back().Read(at, left);
            break;
        case BoundSheet::Code:
            boundSheets.emplace_back();
            n = boundSheets.back().Read(at, left);
            break;
        case SharedStringTable::Code:
            n = sharedStringTable.Read(at, left);
            break;
        default: {
            // Unknown records (EXTSST included) are skipped whole, CONTINUE
            // pieces and all.
            Record skipped;
            n = skipped.Read(at, left);
            break;
        }
        }
        if (n == 0)
            return 0;
        offset += n;
    }
    return 0; // no EOF before the end of the data
}

} // namespace Biff
