#ifndef BIFF_SMALLSTRING_H
#define BIFF_SMALLSTRING_H

namespace Biff {

// BIFF8 short string: 8-bit character count, option byte, characters (1 byte
// each, or 2 bytes each when bit 0 of the option byte is set). Used for sheet
// names (BOUNDSHEET) and font names (FONT).
class SmallString {
public:
    // The count is one byte on the stream.
    static const unsigned int MaxLength = 255;

    wchar_t* wideText;   // owned, NUL-terminated, or null
    char* narrowText;    // owned, NUL-terminated, or null
    unsigned char options; // bit 0: held and written as 16-bit characters

    SmallString();
    SmallString(const SmallString& other);
    SmallString& operator=(const SmallString& other);
    // Assignment of a text longer than MaxLength keeps its first MaxLength
    // characters; use Assign to have such a text refused instead.
    SmallString& operator=(const wchar_t* text);
    SmallString& operator=(const char* text);
    ~SmallString();

    // Refuses (returns false, string unchanged) a text over MaxLength
    // characters, so a count is never written wrapped.
    bool Assign(const wchar_t* text);
    bool Assign(const char* text);

    void Reset();
    // Characters that are written: the text's length, at most MaxLength.
    unsigned int StringSize() const;
    unsigned int DataSize() const;
    unsigned int RecordSize() const;

    // Reads from the `size` bytes at `data`; returns the bytes consumed or 0
    // when the string runs past them.
    unsigned int Read(const char* data, unsigned int size);
    // Writes DataSize() bytes; returns that count.
    unsigned int Write(char* data) const;

private:
    void SetWide(const wchar_t* text, unsigned int length);
    void SetNarrow(const char* text, unsigned int length);
};

} // namespace Biff

#endif
