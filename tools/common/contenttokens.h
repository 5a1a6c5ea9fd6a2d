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

    // What a token is and where, for a reader that needs no more.
    struct Place
    {
        Kind kind = Kind::End;
        size_t start = 0, end = 0;   // byte range in the stream
    };

    struct Token : Place
    {
        double number = 0;
        std::string text;            // a string's bytes (escapes decoded), a name without "/", a keyword
                                     // (a number has only its value)
    };

    explicit ContentTokens(const std::string &bytes) : bytes_(bytes) {}

    // The next token; Kind::End at the end of the bytes.
    Token next();

    // The same token told by kind and place only (no text, no number's
    // value, nothing built), for a reader that needs no more or reads the
    // bytes itself; a word of the bytes numbers are written with is then a
    // number however it is formed, as readers take it.
    Place nextPlace();

    // Where the next token would be looked for.
    size_t position() const { return pos_; }

    // Skips the data of an inline image, the bytes after its "ID", up to and
    // including its "EI". `length` is the data's length when known (0
    // otherwise). False when no "EI" follows.
    bool skipInlineImage(size_t length);

private:
    // Into `place`; its text and value into `decoded` too when given (then
    // the same token).
    void scan(Place *place, Token *decoded);
    void scanWord(size_t pos, Place *place, Token *decoded);
    void scanDelimited(Place *place, Token *decoded);
    void skipSpace();
    // Into `text`, when given.
    void readName(std::string *text);
    void readString(std::string *text);
    void readEscape(std::string *text);
    void readHexString(std::string *text);

    const std::string &bytes_;
    size_t pos_ = 0;
};

// Here, to be taken into their callers, who read many tokens each.
inline ContentTokens::Token ContentTokens::next()
{
    Token t;
    scan(&t, &t);
    return t;
}

inline ContentTokens::Place ContentTokens::nextPlace()
{
    Place p;
    scan(&p, nullptr);
    return p;
}

#endif
