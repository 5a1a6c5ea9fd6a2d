#ifndef GRIDMOLT_BIFF_FORMULASTRING_H
#define GRIDMOLT_BIFF_FORMULASTRING_H

#include <vector>

#include "biff/record.h"

namespace Biff {
namespace Sheet {

// STRING (0x0207): the text result of the FORMULA record before it.
// 8-bit characters are Latin-1 on the stream. A text with a character above
// U+00FF is written 16-bit whatever `flag` says, so no character is lost; a
// text too long for one piece continues in CONTINUE pieces, each starting
// with the option byte that gives the width of the characters in it.
class FormulaString : public Record {
public:
    static const unsigned short Code = 0x0207;
    // The character count is 16 bits on the stream.
    static const unsigned int MaxLength = 65535;

    unsigned char flag; // bit 0: 16-bit characters
    // Owned NUL-terminated text (allocated with new[]); null when the record
    // holds no text. Holders may put their own new[] array here.
    wchar_t* text;

    FormulaString();
    FormulaString(const FormulaString& other);
    FormulaString& operator=(const FormulaString& other);
    ~FormulaString() override;

    void Reset();
    bool empty() const { return text == nullptr; }
    // Copies `characters` (NUL-terminated; null clears). False, record
    // unchanged, for a text over MaxLength units.
    bool SetText(const wchar_t* characters);
    unsigned int Length() const;

    // Bytes consumed, 0 for a record whose count promises more characters
    // than it holds or whose pieces cut a character in two.
    unsigned int Read(const char* data, unsigned int size) override;
    // 0 (nothing written) for a text over MaxLength units.
    unsigned int Write(char* data) override;
    unsigned int DataSize() override;
    unsigned int RecordSize() override;

private:
    bool WritesWide() const;
    // Data size of the current text and, when `offsets` is given, where its
    // CONTINUE pieces start.
    unsigned int Plan(std::vector<unsigned int>* offsets) const;
};

} // namespace Sheet
} // namespace Biff

#endif
