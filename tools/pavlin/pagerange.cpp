#include "pagerange.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace
{
// Far beyond any real document, and far from overflow in the arithmetic.
const long kMaxPageNumber = 1000000000L;

class Reader
{
public:
    explicit Reader(const std::string &text) : text_(text) {}

    void skipBlanks()
    {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
    }
    bool atEnd()
    {
        skipBlanks();
        return pos_ >= text_.size();
    }
    bool take(char c)
    {
        skipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    // A page number; false with the reason when there is none, or it is 0
    // or beyond any document.
    bool number(long *value, std::string *error)
    {
        skipBlanks();
        const size_t start = pos_;
        long n = 0;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
            if (n <= kMaxPageNumber)
                n = n * 10 + (text_[pos_] - '0');
            ++pos_;
        }
        if (pos_ == start) {
            if (pos_ >= text_.size())
                *error = "a page number is missing at the end";
            else if (std::isgraph(static_cast<unsigned char>(text_[pos_])))
                *error = "\"" + std::string(1, text_[pos_]) + "\" stands where a page number belongs";
            else
                *error = "a character that is no digit stands where a page number belongs";
            return false;
        }
        if (n == 0) {
            *error = "pages are numbered from 1";
            return false;
        }
        if (n > kMaxPageNumber) {
            *error = "page " + text_.substr(start, pos_ - start) + " is beyond any document";
            return false;
        }
        *value = n;
        return true;
    }

private:
    const std::string &text_;
    size_t pos_ = 0;
};
}

bool PageRange::parse(const std::string &text, std::string *error)
{
    Reader reader(text);
    if (reader.atEnd()) {
        *error = "the page range is empty";
        return false;
    }
    std::vector<Span> spans;
    long highest = 0;
    do {
        Span span;
        if (!reader.number(&span.first, error))
            return false;
        span.last = span.first;
        if (reader.take('-') && !reader.number(&span.last, error))
            return false;
        spans.push_back(span);
        highest = std::max({highest, span.first, span.last});
    } while (reader.take(','));
    if (!reader.atEnd()) {
        *error = "items of the page range must be separated by commas";
        return false;
    }
    spans_ = std::move(spans);
    highest_ = highest;
    return true;
}

std::vector<long> PageRange::pages() const
{
    std::vector<long> result;
    for (const Span &span : spans_) {
        const long step = span.first <= span.last ? 1 : -1;
        for (long p = span.first;; p += step) {
            result.push_back(p);
            if (p == span.last)
                break;
        }
    }
    return result;
}
