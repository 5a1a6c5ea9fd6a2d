#ifndef BIFF_RECORD_H
#define BIFF_RECORD_H

#include <vector>

namespace Biff {

// Base of every BIFF8 record. A record is a 4-byte header (identifier, piece
// length) followed by at most 8224 data bytes; longer data continues in
// CONTINUE (0x003C) pieces.
//
// Failure reporting of the whole record layer: readers take a bounded range
// (start and number of bytes available) and return the bytes they consumed;
// 0 means the bytes did not hold a valid record (truncated header or piece, a
// count larger than its data, ...). No valid record consumes 0 bytes, so 0 is
// never ambiguous. After a failed Read the object is valid but its contents
// are unspecified. Write returns the bytes written, 0 when the record cannot
// be written (for instance planned CONTINUE offsets out of order or out of
// range); the caller's buffer must hold RecordSize() bytes.
class Record {
public:
    // Most data bytes one stream piece carries.
    static const unsigned int MaxPieceData = 8224;
    static const unsigned short ContinueCode = 0x003C;

    unsigned short code;
    std::vector<char> data;     // all pieces joined, no headers
    unsigned int dataSize;
    unsigned int recordSize;    // bytes on the stream, every piece header included
    std::vector<unsigned int> continueOffsets; // where each CONTINUE piece starts in data

    Record();
    Record(const Record&) = default;
    Record& operator=(const Record&) = default;
    virtual ~Record();

    // Reads one record and every CONTINUE record directly after it from the
    // `size` bytes at `data`. Returns the bytes consumed on the stream or 0.
    // recordSize is then the size Write emits: the same as the bytes consumed,
    // except for a record with a piece over 8224 bytes, which keeps no plan
    // and is written back in fixed pieces.
    virtual unsigned int Read(const char* data, unsigned int size);
    // Writes all pieces: planned ones when continueOffsets is set, otherwise
    // fixed pieces of 8224 bytes. Returns the bytes written or 0.
    virtual unsigned int Write(char* data);
    virtual unsigned int DataSize();
    virtual unsigned int RecordSize();

    // Bytes on the stream of `dataSize` data bytes cut into fixed 8224-byte
    // pieces: one 4-byte header per piece, so data of exactly k * 8224 bytes
    // has k headers (an empty record still has one).
    static unsigned int StreamSize(unsigned int dataSize);

protected:
    // For records whose data has a fixed size: reads the stream record and
    // refuses one shorter than `fixedSize`. On success the derived reader
    // decodes its fields from `data` (which holds at least `fixedSize` bytes)
    // and the sizes are the fixed ones again (no CONTINUE plan), so a later
    // Write emits RecordSize() bytes whatever length the stream record had.
    // Returns the bytes consumed on the stream or 0.
    unsigned int ReadFixed(const char* data, unsigned int size, unsigned int fixedSize);
    // Sets the fixed sizes (dataSize, recordSize = dataSize + 4) once.
    void SetFixedSize(unsigned int fixedSize);
    // Sizes `data` to dataSize with zero bytes before the fields are stored.
    void PrepareFixedWrite();
    // The same for a record of one piece written straight into `out`: its
    // header and dataSize zero bytes, so a cell written costs no copy of its
    // bytes on the heap. Returns where the fields go, null for no buffer.
    char* BeginFixedWrite(char* out);
    // For a record whose data size follows from its fields and which is
    // written in fixed pieces: recordSize from DataSize(), saturated when
    // that is. Returns recordSize.
    unsigned int RecordSizeFromData();
};

} // namespace Biff

#endif
