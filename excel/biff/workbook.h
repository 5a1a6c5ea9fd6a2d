#ifndef BIFF_WORKBOOK_H
#define BIFF_WORKBOOK_H

#include <cstddef>
#include <vector>

#include "biff/bof.h"
#include "biff/eofrecord.h"
#include "biff/largestring.h"
#include "biff/record.h"
#include "biff/smallstring.h"

namespace Biff {

// The workbook globals substream: BOF, WINDOW1, fonts, formats, XFs, styles,
// one BOUNDSHEET per sheet, the shared string table and EOF. Its records are
// nested here because they exist only as part of it.
//
// Readers follow the record layer's rule (see Record): Read(data, size)
// returns the bytes consumed, 0 on failure.
class Workbook {
public:
    class Window1 : public Record {
    public:
        static const unsigned short Code = 0x003D;
        static const unsigned int FixedDataSize = 18;

        unsigned short horizontalPosition;
        unsigned short verticalPosition;
        unsigned short width;
        unsigned short height;
        unsigned short options;
        unsigned short activeSheet;
        unsigned short firstVisibleTab;
        unsigned short selectedSheets;
        unsigned short tabBarWidth;

        Window1();
        Window1(const Window1&) = default;
        Window1& operator=(const Window1&) = default;
        ~Window1() override;

        unsigned int Read(const char* data, unsigned int size) override;
        unsigned int Write(char* data) override;
    };

    class Font : public Record {
    public:
        static const unsigned short Code = 0x0031;

        unsigned short height;      // 1/20 point
        unsigned short options;
        unsigned short colourIndex;
        unsigned short weight;
        unsigned short escapement;
        unsigned char underline;
        unsigned char family;
        unsigned char characterSet;
        unsigned char reserved;
        SmallString name;

        Font();
        Font(const Font&) = default;
        Font& operator=(const Font&) = default;
        ~Font() override;

        unsigned int Read(const char* data, unsigned int size) override;
        unsigned int Write(char* data) override;
        unsigned int DataSize() override;
        unsigned int RecordSize() override;
    };

    class XF : public Record {
    public:
        static const unsigned short Code = 0x00E0;
        static const unsigned int FixedDataSize = 20;

        unsigned short fontIndex;
        unsigned short formatIndex;
        unsigned short protectionType; // bit 0 locked, 1 hidden, 2 style XF, 4-15 parent
        unsigned char alignment;
        unsigned char rotation;
        unsigned char textProperties;
        unsigned char usedAttributes;
        unsigned int borderLines;
        unsigned int colour1;
        unsigned short colour2;

        XF();
        XF(const XF&) = default;
        XF& operator=(const XF&) = default;
        ~XF() override;

        unsigned int Read(const char* data, unsigned int size) override;
        unsigned int Write(char* data) override;
    };

    class Style : public Record {
    public:
        static const unsigned short Code = 0x0293;

        unsigned short xfIndex;           // bit 15 set: built-in style
        unsigned char builtinIdentifier;  // built-in styles only
        unsigned char outlineLevel;       // built-in styles only
        LargeString name;                 // user styles only

        Style();
        Style(const Style&) = default;
        Style& operator=(const Style&) = default;
        ~Style() override;

        bool IsBuiltin() const { return (xfIndex & 0x8000) != 0; }

        unsigned int Read(const char* data, unsigned int size) override;
        // Returns 0 when a user style name does not fit into one record piece.
        unsigned int Write(char* data) override;
        unsigned int DataSize() override;
        unsigned int RecordSize() override;
    };

    class Format : public Record {
    public:
        static const unsigned short Code = 0x041E;

        unsigned short index;
        LargeString formatString;

        Format();
        Format(const Format&) = default;
        Format& operator=(const Format&) = default;
        ~Format() override;

        unsigned int Read(const char* data, unsigned int size) override;
        // Returns 0 when the format text does not fit into one record piece
        // (more than 8222 character bytes).
        unsigned int Write(char* data) override;
        unsigned int DataSize() override;
        unsigned int RecordSize() override;
    };

    class BoundSheet : public Record {
    public:
        static const unsigned short Code = 0x0085;

        unsigned int bofPosition; // stream offset of the sheet's BOF record
        unsigned char visibility;
        unsigned char sheetType;
        SmallString name;

        BoundSheet();
        BoundSheet(const BoundSheet&) = default;
        BoundSheet& operator=(const BoundSheet&) = default;
        ~BoundSheet() override;

        unsigned int Read(const char* data, unsigned int size) override;
        unsigned int Write(char* data) override;
        unsigned int DataSize() override;
        unsigned int RecordSize() override;
    };

    // SST: the distinct strings of all text cells, written as one record whose
    // CONTINUE split points are planned so that no string header is cut, no
    // 16-bit character or surrogate pair is cut, and a piece that resumes a
    // string starts with its option byte.
    class SharedStringTable : public Record {
    public:
        static const unsigned short Code = 0x00FC;

        unsigned int totalStrings;  // text cells referring to the table
        unsigned int uniqueStrings; // kept equal to strings.size() when planned
        std::vector<LargeString> strings;

        SharedStringTable();
        SharedStringTable(const SharedStringTable&) = default;
        SharedStringTable& operator=(const SharedStringTable&) = default;
        ~SharedStringTable() override;

        // Reads the SST and its CONTINUE pieces. Fails (0) when the unique
        // count promises more strings than the data holds or a string runs
        // past the data.
        unsigned int Read(const char* data, unsigned int size) override;
        unsigned int Write(char* data) override;
        // Plans the split points into continueOffsets and returns the data size.
        unsigned int DataSize() override;
        unsigned int RecordSize() override;

        // Plans as DataSize does and gives the data offset at which each
        // string's header starts (for bucket positions of EXTSST).
        std::vector<unsigned int> StringOffsets();

    private:
        // Plans the split points and hands the bytes, in data order, to the
        // sink: the writer plans and writes in the same single pass.
        template <typename Sink>
        unsigned long long Plan(Sink& sink, std::vector<unsigned int>* stringOffsets);
        // Stores the planned data size and the record size with its headers.
        void SetSizes(unsigned long long planned);
    };

    // EXTSST: bucket positions into the SST. Never written by the workbook.
    class ExtSST : public Record {
    public:
        static const unsigned short Code = 0x00FF;

        unsigned short stringsPerBucket;
        std::vector<unsigned int> streamPositions;
        std::vector<unsigned short> recordOffsets;
        std::vector<unsigned short> reservedWords;

        ExtSST();
        ExtSST(const ExtSST&) = default;
        ExtSST& operator=(const ExtSST&) = default;
        ~ExtSST() override;

        // The bucket count is streamPositions.size(); missing entries of the
        // other two vectors are written as 0.
        unsigned int Read(const char* data, unsigned int size) override;
        unsigned int Write(char* data) override;
        unsigned int DataSize() override;
        unsigned int RecordSize() override;
    };

    // Where a kept record goes back: after the records of which group it
    // followed when read, in the order the groups are written.
    enum Group : unsigned char {
        AfterBOF, AfterWindow1, AfterFonts, AfterFormats, AfterXFs, AfterStyles, AfterBoundSheets, AfterSST
    };

    // A globals record the model holds in no field of its own (the 1904 date
    // flag, the sheet links cross-sheet formulas refer through, defined
    // names, the code page, ...): kept as read and written back where it was,
    // after the `position`-th record of `group` (or after the group's last
    // record when the group has shrunk since).
    class KeptRecord {
    public:
        Record record;
        Group group;
        std::size_t position;
    };

    BOF bof;
    Window1 window1;
    std::vector<Font> fonts;
    std::vector<XF> XFs;
    std::vector<Style> styles;
    std::vector<Format> formats;
    std::vector<BoundSheet> boundSheets;
    SharedStringTable sharedStringTable;
    ExtSST extSST;
    EOFRecord eof;
    // In the order read; empty for a workbook built from scratch.
    std::vector<KeptRecord> keptRecords;

    Workbook();

    // Bytes Write emits: BOF, WINDOW1, fonts, formats above 163, XFs,
    // styles, boundsheets, SST, EOF, each kept record where it belongs.
    unsigned int DataSize();
    unsigned int RecordSize();
    // Offset of the SST record in what Write emits.
    unsigned long long SSTPosition();
    // Writes the substream; returns the bytes written (RecordSize()) or 0
    // when a record cannot be written.
    unsigned int Write(char* data);
    // Reads a globals substream up to and including its EOF from the `size`
    // bytes at `data`. Returns the bytes consumed, 0 when a record is
    // malformed or the EOF is missing. Expects a freshly constructed object
    // (lists are appended to). Records of other identifiers are kept, except
    // EXTSST, whose positions no longer hold once the SST is rebuilt. An
    // encrypted workbook (FILEPASS) is refused: what follows is unreadable.
    unsigned int Read(const char* data, unsigned int size);

    static const unsigned short FilePassCode = 0x002F;

private:
    // Hands every record Write emits, in order, to `visit` (which returns
    // false to stop); returns false when it was stopped.
    template <typename Visit>
    bool ForEachWritten(Visit visit);
};

} // namespace Biff

#endif
