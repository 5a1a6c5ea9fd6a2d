#ifndef COMMON_CONTENTTOKENS_H
#define COMMON_CONTENTTOKENS_H

#include <cstddef>
#include <string>

// Reads the tokens of a decoded content stream one by one, telling where
// each starts and ends, so a caller can replace the bytes of one operator
// and keep every other byte as it was. The one reading of content for every
// program: the engine's walk and rewrite of pages, and the counts of what a
// page draws. Plain C++: no PDF library, so any bytes are read in time
// linear in their length.
class ContentTokens
{
public:
    enum class Kind { End, Number, String, Name, Keyword, OpenArray, CloseArray, OpenDict, CloseDict, Other };

    struct Token
    {
        Kind kind = Kind::End;
        size_t start = 0, end = 0;   // byte range in the stream
        double number = 0;
        std::string text;            // a string's bytes (escapes decoded), a name without "/", a keyword
                                     // (a number has only its value)
    };

    explicit ContentTokens(const std::string &bytes) : bytes_(bytes) {}

    // The next token; Kind::End at the end of the bytes. Without `decode`,
    // only its kind and place are told (no text, no number's value), for a
    // reader that needs no more or reads the bytes itself; a word of the
    // bytes numbers are written with is then a number however it is formed,
    // as readers take it.
    Token next(bool decode = true);

    // Where the next token would be looked for.
    size_t position() const { return pos_; }

    // Skips the data of an inline image, the bytes after its "ID", up to and
    // including its "EI". `length` is the data's length when known (0
    // otherwise). False when no "EI" follows.
    bool skipInlineImage(size_t length);

private:
    void skipSpace();
    // Into `text`, when given.
    void readString(std::string *text);
    void readEscape(std::string *text);
    void readHexString(std::string *text);

    const std::string &bytes_;
    size_t pos_ = 0;
};

#endif
