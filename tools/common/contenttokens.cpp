#include "contenttokens.h"


namespace
{
// What each byte is, looked up once per byte rather than compared.
enum ByteClass : unsigned char { Regular, Space, Delimiter };

struct ByteClasses
{
    ByteClass of[256] = {};
    bool numeric[256] = {};   // a byte numbers are written with
};

constexpr ByteClasses byteClasses()
{
    ByteClasses classes;
    for (const unsigned char c : {' ', '\t', '\r', '\n', '\f', '\0'})
        classes.of[c] = Space;
    for (const unsigned char c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'})
        classes.of[c] = Delimiter;
    for (const unsigned char c : {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '+', '-', '.'})
        classes.numeric[c] = true;
    return classes;
}

constexpr ByteClasses kByteClasses = byteClasses();

bool isSpace(unsigned char c)
{
    return kByteClasses.of[c] == Space;
}

bool isDelimiter(unsigned char c)
{
    return kByteClasses.of[c] == Delimiter;
}

bool isRegular(unsigned char c)
{
    return kByteClasses.of[c] == Regular;
}

int hexValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A number as content streams write them: sign, digits, one point.
bool readNumber(const char *word, size_t size, double *value)
{
    size_t i = 0;
    const bool negative = size > 0 && word[0] == '-';
    if (size > 0 && (word[0] == '+' || word[0] == '-'))
        ++i;
    bool digits = false, point = false;
    double v = 0, scale = 1;
    for (; i < size; ++i) {
        const char c = word[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            if (point) {
                scale /= 10;
                v += (c - '0') * scale;
            } else {
                v = v * 10 + (c - '0');
            }
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digits)
        return false;
    *value = negative ? -v : v;
    return true;
}
}

void ContentTokens::skipSpace()
{
    while (pos_ < bytes_.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes_[pos_]);
        if (c == '%') {
            while (pos_ < bytes_.size() && bytes_[pos_] != '\r' && bytes_[pos_] != '\n')
                ++pos_;
        } else if (isSpace(c)) {
            ++pos_;
        } else {
            return;
        }
    }
}

void ContentTokens::readString(std::string *text)
{
    int depth = 1;
    ++pos_;
    while (pos_ < bytes_.size()) {
        // A run of plain bytes, taken at once.
        const size_t run = pos_;
        while (pos_ < bytes_.size() && bytes_[pos_] != '(' && bytes_[pos_] != ')' && bytes_[pos_] != '\\')
            ++pos_;
        if (text)
            text->append(bytes_, run, pos_ - run);
        if (pos_ >= bytes_.size())
            return;
        const char c = bytes_[pos_++];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0)
                return;
        } else if (pos_ < bytes_.size()) {
            readEscape(text);
            continue;
        }
        if (text)
            *text += c;
    }
}

void ContentTokens::readEscape(std::string *text)
{
    const char e = bytes_[pos_++];
    char decoded = e;
    switch (e) {
    case 'n': decoded = '\n'; break;
    case 'r': decoded = '\r'; break;
    case 't': decoded = '\t'; break;
    case 'b': decoded = '\b'; break;
    case 'f': decoded = '\f'; break;
    case '\r':
        if (pos_ < bytes_.size() && bytes_[pos_] == '\n')
            ++pos_;
        return;
    case '\n':
        return;
    default:
        if (e >= '0' && e <= '7') {
            int v = e - '0';
            for (int n = 0; n < 2 && pos_ < bytes_.size() && bytes_[pos_] >= '0' && bytes_[pos_] <= '7'; ++n)
                v = v * 8 + (bytes_[pos_++] - '0');
            decoded = char(v & 0xFF);
        }
        break;
    }
    if (text)
        *text += decoded;
}

void ContentTokens::readHexString(std::string *text)
{
    ++pos_;
    int high = -1;
    while (pos_ < bytes_.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes_[pos_++]);
        if (c == '>')
            break;
        const int v = hexValue(c);
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            if (text)
                *text += char(high * 16 + v);
            high = -1;
        }
    }
    if (high >= 0 && text)
        *text += char(high * 16);
}

ContentTokens::Token ContentTokens::next(bool decode)
{
    // Most tokens follow blanks only: taken here, comments there.
    const unsigned char *const data = reinterpret_cast<const unsigned char *>(bytes_.data());
    const size_t size = bytes_.size();
    while (pos_ < size && isSpace(data[pos_]))
        ++pos_;
    if (pos_ < size && data[pos_] == '%')
        skipSpace();
    Token t;
    t.start = pos_;
    if (pos_ >= bytes_.size()) {
        t.end = pos_;
        return t;
    }
    const unsigned char c = static_cast<unsigned char>(bytes_[pos_]);
    if (c == '(') {
        t.kind = Kind::String;
        readString(decode ? &t.text : nullptr);
    } else if (c == '<' && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == '<') {
        t.kind = Kind::OpenDict;
        pos_ += 2;
    } else if (c == '<') {
        t.kind = Kind::String;
        readHexString(decode ? &t.text : nullptr);
    } else if (c == '>' && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == '>') {
        t.kind = Kind::CloseDict;
        pos_ += 2;
    } else if (c == '[' || c == ']') {
        t.kind = c == '[' ? Kind::OpenArray : Kind::CloseArray;
        ++pos_;
    } else if (c == '/') {
        t.kind = Kind::Name;
        ++pos_;
        while (pos_ < bytes_.size() && isRegular(static_cast<unsigned char>(bytes_[pos_]))) {
            const char n = bytes_[pos_++];
            if (!decode)
                continue;
            const int h1 = pos_ + 1 < bytes_.size() ? hexValue(static_cast<unsigned char>(bytes_[pos_])) : -1;
            const int h2 = h1 >= 0 ? hexValue(static_cast<unsigned char>(bytes_[pos_ + 1])) : -1;
            if (n == '#' && h2 >= 0) {
                t.text += char(h1 * 16 + h2);
                pos_ += 2;
            } else {
                t.text += n;
            }
        }
    } else if (isDelimiter(c)) {
        // A stray ")", ">", "{" or "}": one byte, of no use to a page.
        t.kind = Kind::Other;
        ++pos_;
    } else {
        bool numeric = true;   // of the bytes numbers are written with only
        for (; pos_ < size && isRegular(data[pos_]); ++pos_)
            numeric = numeric && kByteClasses.numeric[data[pos_]];
        // A number's value is all its readers use.
        if (!decode) {
            t.kind = numeric ? Kind::Number : Kind::Keyword;
        } else if (numeric && readNumber(bytes_.data() + t.start, pos_ - t.start, &t.number)) {
            t.kind = Kind::Number;
        } else {
            t.kind = Kind::Keyword;
            t.text.assign(bytes_, t.start, pos_ - t.start);
        }
    }
    t.end = pos_;
    return t;
}

bool ContentTokens::skipInlineImage(size_t length)
{
    // One white-space byte ends "ID"; the data follow.
    if (pos_ < bytes_.size() && isSpace(static_cast<unsigned char>(bytes_[pos_])))
        ++pos_;
    if (length > 0 && length <= bytes_.size() - pos_)
        pos_ += length;
    const size_t from = pos_;
    // "EI" between white space (or at the end); a known length only says
    // where to start looking.
    for (size_t i = from; i + 1 < bytes_.size(); ++i) {
        if (bytes_[i] != 'E' || bytes_[i + 1] != 'I')
            continue;
        const bool before = i == from || isSpace(static_cast<unsigned char>(bytes_[i - 1]));
        const bool after = i + 2 >= bytes_.size() || isSpace(static_cast<unsigned char>(bytes_[i + 2]));
        if (before && after) {
            pos_ = i + 2;
            return true;
        }
    }
    pos_ = bytes_.size();
    return false;
}
