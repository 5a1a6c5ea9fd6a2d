#include "contenttokens.h"


namespace
{
// What each byte is, looked up once per byte rather than compared.
// Numeric: a regular byte numbers are written with.
enum ByteClass : unsigned char { Regular, Numeric, Space, Delimiter };

struct ByteClasses
{
    ByteClass of[256] = {};
};

constexpr ByteClasses byteClasses()
{
    ByteClasses classes;
    for (const unsigned char c : {' ', '\t', '\r', '\n', '\f', '\0'})
        classes.of[c] = Space;
    for (const unsigned char c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'})
        classes.of[c] = Delimiter;
    for (const unsigned char c : {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '+', '-', '.'})
        classes.of[c] = Numeric;
    return classes;
}

constexpr ByteClasses kByteClasses = byteClasses();

bool isSpace(unsigned char c)
{
    return kByteClasses.of[c] == Space;
}

bool isRegular(unsigned char c)
{
    return kByteClasses.of[c] == Regular || kByteClasses.of[c] == Numeric;
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

void ContentTokens::scan(Place *place, Token *decoded)
{
    // Most tokens follow blanks only: taken here, comments there. The place
    // is kept in a local while bytes are read, as a store to the member
    // could change the bytes for all the compiler knows.
    const unsigned char *const data = reinterpret_cast<const unsigned char *>(bytes_.data());
    const size_t size = bytes_.size();
    size_t pos = pos_;
    while (pos < size && isSpace(data[pos]))
        ++pos;
    pos_ = pos;
    if (pos < size && data[pos] == '%')
        skipSpace();
    place->start = pos_;
    if (pos_ >= size)
        place->kind = Kind::End;
    else if (!isRegular(data[pos_]))
        scanDelimited(place, decoded);
    else
        scanWord(pos_, place, decoded);
    place->end = pos_;
}

// Numbers and operators, most of a page's tokens: read without a call.
inline void ContentTokens::scanWord(size_t pos, Place *place, Token *decoded)
{
    const unsigned char *const data = reinterpret_cast<const unsigned char *>(bytes_.data());
    const size_t size = bytes_.size();
    bool numeric = true;   // of the bytes numbers are written with only
    for (; pos < size; ++pos) {
        const ByteClass c = kByteClasses.of[data[pos]];
        if (c != Regular && c != Numeric)
            break;
        numeric = numeric && c == Numeric;
    }
    pos_ = pos;
    // A number's value is all its readers use.
    if (!decoded) {
        place->kind = numeric ? Kind::Number : Kind::Keyword;
    } else if (numeric && readNumber(bytes_.data() + place->start, pos - place->start, &decoded->number)) {
        place->kind = Kind::Number;
    } else {
        place->kind = Kind::Keyword;
        // Into the empty text: appended, cheaper than an assignment.
        decoded->text.append(bytes_.data() + place->start, pos - place->start);
    }
}

void ContentTokens::scanDelimited(Place *place, Token *decoded)
{
    std::string *const text = decoded ? &decoded->text : nullptr;
    const unsigned char c = static_cast<unsigned char>(bytes_[pos_]);
    if (c == '(') {
        place->kind = Kind::String;
        readString(text);
    } else if (c == '<' && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == '<') {
        place->kind = Kind::OpenDict;
        pos_ += 2;
    } else if (c == '<') {
        place->kind = Kind::String;
        readHexString(text);
    } else if (c == '>' && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == '>') {
        place->kind = Kind::CloseDict;
        pos_ += 2;
    } else if (c == '[' || c == ']') {
        place->kind = c == '[' ? Kind::OpenArray : Kind::CloseArray;
        ++pos_;
    } else if (c == '/') {
        place->kind = Kind::Name;
        ++pos_;
        readName(text);
    } else {
        // A stray ")", ">", "{" or "}": one byte, of no use to a page.
        place->kind = Kind::Other;
        ++pos_;
    }
}

void ContentTokens::readName(std::string *text)
{
    while (pos_ < bytes_.size() && isRegular(static_cast<unsigned char>(bytes_[pos_]))) {
        // A run without "#", taken at once.
        const size_t run = pos_;
        while (pos_ < bytes_.size() && bytes_[pos_] != '#' && isRegular(static_cast<unsigned char>(bytes_[pos_])))
            ++pos_;
        if (text)
            text->append(bytes_.data() + run, pos_ - run);
        if (pos_ >= bytes_.size() || bytes_[pos_] != '#')
            return;
        ++pos_;
        const int h1 = pos_ + 1 < bytes_.size() ? hexValue(static_cast<unsigned char>(bytes_[pos_])) : -1;
        const int h2 = h1 >= 0 ? hexValue(static_cast<unsigned char>(bytes_[pos_ + 1])) : -1;
        if (h2 < 0) {
            if (text)
                *text += '#';
            continue;
        }
        if (text)
            *text += char(h1 * 16 + h2);
        pos_ += 2;
    }
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
