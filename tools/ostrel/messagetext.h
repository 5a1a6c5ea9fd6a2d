#ifndef OSTREL_MESSAGETEXT_H
#define OSTREL_MESSAGETEXT_H

#include <cstddef>
#include <string>

// Texts taken from a rule file, as the engine's one-line messages show them:
// a find text may be thousands of characters long and hold any byte, but the
// line must stay short, readable and one line.
class MessageText
{
public:
    // How many characters of a text a message shows.
    static constexpr size_t kShownCharacters = 80;

    // `text` in double quotes: its first kShownCharacters characters, then
    // "..." when there were more; control characters and bytes that are not
    // UTF-8 (overlong forms and surrogates among them) written as \n, \r,
    // \t or \xNN.
    static std::string quoted(const std::string &text);

    // The bytes of the character that starts at `i` of `text`: those of its
    // UTF-8 sequence, or 1 for a byte that starts none. Characters are
    // counted this way wherever a text's length is limited.
    static size_t characterBytes(const std::string &text, size_t i);

    // Where the first byte of `text` that is part of no UTF-8 character
    // is, or std::string::npos when it is all UTF-8: the characters
    // quoted() shows as they are.
    static size_t notUtf8At(const std::string &text);
};

#endif
