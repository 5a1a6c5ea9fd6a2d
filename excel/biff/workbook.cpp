#include "biff/workbook.h"

#include <algorithm>

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

template <typename Visit>
bool Workbook::ForEachWritten(Visit visit)
{
    // Kept records by their place, file order among equals.
    std::vector<KeptRecord*> kept;
    kept.reserve(keptRecords.size());
    for (KeptRecord& k : keptRecords)
        kept.push_back(&k);
    std::stable_sort(kept.begin(), kept.end(), [](const KeptRecord* a, const KeptRecord* b) {
        return a->group != b->group ? a->group < b->group : a->position < b->position;
    });
    std::size_t next = 0;
    // The kept records of `group` that follow its `written`-th record; with
    // `last`, also those whose anchor lies beyond the group's end.
    auto keptAfter = [&](Group group, std::size_t written, bool last) {
        while (next < kept.size() && kept[next]->group == group && (last || kept[next]->position <= written)) {
            if (!visit(kept[next]->record))
                return false;
            ++next;
        }
        return true;
    };
    auto group = [&](Group g, auto& records, auto wanted) {
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (wanted(records[i]) && !visit(records[i]))
                return false;
            if (!keptAfter(g, i + 1, false))
                return false;
        }
        return keptAfter(g, records.size(), true);
    };
    auto all = [](const Record&) { return true; };
    return visit(bof) && keptAfter(AfterBOF, 1, true) && visit(window1) && keptAfter(AfterWindow1, 1, true) &&
           group(AfterFonts, fonts, all) && group(AfterFormats, formats, isWorkbookFormat) &&
           group(AfterXFs, XFs, all) && group(AfterStyles, styles, all) &&
           group(AfterBoundSheets, boundSheets, all) && visit(sharedStringTable) &&
           keptAfter(AfterSST, 1, true) && visit(eof);
}

unsigned int Workbook::RecordSize()
{
    unsigned long long total = 0;
    ForEachWritten([&](Record& r) {
        total += r.RecordSize();
        return true;
    });
    return ClampSize(total);
}

unsigned int Workbook::DataSize()
{
    return RecordSize();
}

unsigned long long Workbook::SSTPosition()
{
    unsigned long long total = 0;
    ForEachWritten([&](Record& r) {
        if (&r == &sharedStringTable)
            return false;
        total += r.RecordSize();
        return true;
    });
    return total;
}

unsigned int Workbook::Write(char* out)
{
    if (out == nullptr)
        return 0;
    unsigned long p = 0;
    if (!ForEachWritten([&](Record& r) { return writeOne(r, out, p); }))
        return 0;
    return static_cast<unsigned int>(p);
}

unsigned int Workbook::Read(const char* in, unsigned int size)
{
    if (in == nullptr)
        return 0;
    unsigned int offset = 0;
    // The group the latest record of the model belonged to, and how many of
    // its records had been read then: where a kept record goes back.
    Group after = AfterBOF;
    std::size_t position = 1;
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
            after = AfterWindow1;
            position = 1;
            break;
        case Font::Code:
            fonts.emplace_back();
            n = fonts.back().Read(at, left);
            after = AfterFonts;
            position = fonts.size();
            break;
        case XF::Code:
            XFs.emplace_back();
            n = XFs.back().Read(at, left);
            after = AfterXFs;
            position = XFs.size();
            break;
        case Style::Code:
            styles.emplace_back();
            n = styles.back().Read(at, left);
            after = AfterStyles;
            position = styles.size();
            break;
        case Format::Code:
            formats.emplace_back();
            n = formats.back().Read(at, left);
            after = AfterFormats;
            position = formats.size();
            break;
        case BoundSheet::Code:
            boundSheets.emplace_back();
            n = boundSheets.back().Read(at, left);
            after = AfterBoundSheets;
            position = boundSheets.size();
            break;
        case SharedStringTable::Code:
            n = sharedStringTable.Read(at, left);
            after = AfterSST;
            position = 1;
            break;
        case FilePassCode:
            return 0;
        case ExtSST::Code: {
            // Bucket positions into the SST as read; skipped whole.
            Record skipped;
            n = skipped.Read(at, left);
            break;
        }
        default:
            // Read whole, CONTINUE pieces and all.
            keptRecords.emplace_back();
            keptRecords.back().group = after;
            keptRecords.back().position = position;
            n = keptRecords.back().record.Read(at, left);
            break;
        }
        if (n == 0)
            return 0;
        offset += n;
    }
    return 0; // no EOF before the end of the data
}

} // namespace Biff
