#ifndef BIFF_LARGESTRING_H
#define BIFF_LARGESTRING_H

#include <cstddef>
#include <vector>

namespace Biff {

// BIFF8 unicode string: 16-bit character count, option byte, optional
// rich-text run count and phonetic size, characters (1 or 2 bytes each by bit 0
// of the option byte), optional run and phonetic data. Used by the shared
// string table, FORMAT and STYLE. Only plain strings are written.
class LargeString {
public:
    // The count is 16 bits on the stream.
    static const unsigned int MaxLength = 65535;

    std::vector<wchar_t> wideText;  // one UTF-16 code unit per element
    std::vector<char> narrowText;   // Latin-1 bytes
    unsigned char options;          // 0xFF: not yet known (counts as 16-bit)
    unsigned short richRuns;
    unsigned int phoneticSize;

    LargeString();
    LargeString(const LargeString&) = default;
    LargeString& operator=(const LargeString&) = default;
    // Assignment of a text longer than MaxLength units keeps its first
    // MaxLength units (never half of a surrogate pair); use Assign to have such
    // a text refused instead.
    LargeString& operator=(const wchar_t* text);
    LargeString& operator=(const char* text);
    ~LargeString();

    // Refuse (return false, string unchanged) a text over MaxLength units.
    bool Assign(const wchar_t* text);
    bool Assign(const char* text);
    bool Assign(const wchar_t* text, std::size_t length);

    bool IsWide() const { return (options & 0x01) != 0; }
    // Characters written: at most MaxLength.
    unsigned int CharacterCount() const;
    // Character bytes written (header not included).
    unsigned int StringSize() const;
    // Bytes Write emits: StringSize() + 3. Rich-text runs and phonetic data
    // are never written, so they are not counted either.
    unsigned int DataSize() const;
    unsigned int RecordSize() const;

    // Reads a string lying wholly in the `size` bytes at `data`: flags from
    // the option bits, run and phonetic data skipped. Returns the bytes
    // consumed or 0 when the string (with its promised extra data) runs past
    // `size`. After reading the string is plain (option byte 0 or 1, both
    // counts 0), so DataSize() matches what Write emits.
    unsigned int Read(const char* data, unsigned int size);

    // Reads a string that starts at `position` in joined record data of `size`
    // bytes, whose CONTINUE pieces start at the ascending offsets
    // `boundaries`. Where a boundary falls inside the characters, the piece
    // starts with an option byte giving the width of the characters after it;
    // a string that starts 8-bit and continues 16-bit (or the reverse) ends
    // up 16-bit, its 8-bit characters taken as Latin-1. Run and phonetic data
    // are skipped once, after the last character. Returns the bytes consumed
    // from `position`, or 0 on failure. `nextBoundary` is a cursor into
    // `boundaries` the caller keeps between strings (start it at 0).
    unsigned int ReadPieces(const char* data, unsigned int size, unsigned int position,
                            const std::vector<unsigned int>& boundaries, std::size_t& nextBoundary);

    // Appends `count` characters of a piece that starts with an option byte
    // at `data` (`size` bytes available). Returns the bytes consumed (option
    // byte included) or 0 when they run past `size`.
    unsigned int ContinueRead(const char* data, unsigned int size, unsigned int count);

    // Writes DataSize() bytes as a plain string (option byte 0 or 1) and
    // returns that count.
    unsigned int Write(char* data);

private:
    void AppendCharacters(const char* data, unsigned int count, bool wide);
    void PromoteToWide();
};

} // namespace Biff

#endif
