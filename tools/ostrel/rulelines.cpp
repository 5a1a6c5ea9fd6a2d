#include "rulelines.h"

#include "messagetext.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

namespace
{
// An unsigned decimal integer filling all of `field`.
bool parseNumber(const std::string &field, int64_t *value)
{
    if (field.empty())
        return false;
    int64_t v = 0;
    for (const char c : field) {
        if (c < '0' || c > '9')
            return false;
        v = std::min(v * 10 + (c - '0'), kRuleNumberCeiling);
    }
    *value = v;
    return true;
}

// Splits `s` at every `separator`.
std::vector<std::string> split(const std::string &s, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = s.find(separator, start);
        parts.push_back(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// The places of the ":" at which `text` splits into a find text and a
// replacement text of at most kMaxRuleTextCharacters each, the find text not
// empty; in one pass, however long the text.
std::vector<size_t> fittingColons(const std::string &text)
{
    size_t total = 0;
    for (size_t i = 0; i < text.size(); i += MessageText::characterBytes(text, i))
        ++total;
    std::vector<size_t> colons;
    size_t before = 0;   // characters before i
    for (size_t i = 0; i < text.size(); i += MessageText::characterBytes(text, i), ++before) {
        if (text[i] == ':' && i > 0 && before <= kMaxRuleTextCharacters && total - before - 1 <= kMaxRuleTextCharacters)
            colons.push_back(i);
    }
    return colons;
}

// Why no ":" of a text rule's `text` gives a reading.
std::string unreadable(const std::string &text)
{
    const std::string limit = std::to_string(kMaxRuleTextCharacters) + " characters";
    const size_t first = text.find(':', 1);
    if (first == std::string::npos)
        return "the find text is empty";
    size_t findCharacters = 0;
    for (size_t i = 0; i < first; i += MessageText::characterBytes(text, i))
        ++findCharacters;
    if (findCharacters > kMaxRuleTextCharacters)
        return "the find text is longer than " + limit;
    size_t replacementCharacters = 0;
    for (size_t i = text.rfind(':') + 1; i < text.size(); i += MessageText::characterBytes(text, i))
        ++replacementCharacters;
    if (replacementCharacters > kMaxRuleTextCharacters)
        return "the replacement text is longer than " + limit;
    return "the find or the replacement text is longer than " + limit + ", whichever \":\" parts them";
}

bool parseTextLine(const std::string &line, TextRule *rule, std::string *reason)
{
    const size_t colon = line.find(':');
    if (colon == std::string::npos) {
        *reason = "no \":\" after the position";
        return false;
    }
    const std::vector<std::string> fields = split(line.substr(0, colon), '-');
    if (fields.size() != 5) {
        *reason = "the position needs five numbers: page-left-top-width-height";
        return false;
    }
    int64_t *targets[] = {&rule->page, &rule->left, &rule->top, &rule->width, &rule->height};
    for (size_t i = 0; i < 5; ++i) {
        if (!parseNumber(fields[i], targets[i])) {
            *reason = MessageText::quoted(fields[i]) + " is not an unsigned integer";
            return false;
        }
    }
    rule->pageText = fields[0];
    rule->text = line.substr(colon + 1);
    if (rule->text.find(':') == std::string::npos) {
        *reason = "no \":\" between the find and the replacement text";
        return false;
    }
    if (fittingColons(rule->text).empty()) {
        *reason = unreadable(rule->text);
        return false;
    }
    return true;
}

bool parseImageLine(const std::string &line, ImageRule *rule, std::string *reason)
{
    const size_t open = line.find(":(");
    const size_t close = line.rfind("):");
    if (open == std::string::npos || close == std::string::npos || close < open + 2) {
        *reason = "expected page:left:top:(path):width:height";
        return false;
    }
    const std::vector<std::string> head = split(line.substr(0, open), ':');
    const std::vector<std::string> tail = split(line.substr(close + 2), ':');
    if (head.size() != 3 || tail.size() != 2) {
        *reason = "expected page:left:top:(path):width:height";
        return false;
    }
    int64_t *targets[] = {&rule->page, &rule->left, &rule->top, &rule->width, &rule->height};
    const std::string *fields[] = {&head[0], &head[1], &head[2], &tail[0], &tail[1]};
    for (size_t i = 0; i < 5; ++i) {
        if (!parseNumber(*fields[i], targets[i])) {
            *reason = MessageText::quoted(*fields[i]) + " is not an unsigned integer";
            return false;
        }
    }
    rule->pageText = head[0];
    if (rule->width < 1 || rule->height < 1) {
        *reason = "the picture's width and height must be positive";
        return false;
    }
    rule->path = line.substr(open + 2, close - open - 2);
    // A path cannot hold a zero byte; the file system would see a shorter one.
    if (rule->path.empty() || rule->path.find('\0') != std::string::npos) {
        *reason = "no usable picture path";
        return false;
    }
    if (rule->path.size() > kMaxPicturePathBytes) {
        *reason = "the picture path is longer than " + std::to_string(kMaxPicturePathBytes) + " bytes";
        return false;
    }
    return true;
}

// What a rule file's first bytes say it is written in.
enum class Encoding { Utf8, Utf16Little, Utf16Big, Utf32 };

// The encoding of `bytes` and the bytes of its mark. Without a mark, UTF-16
// is told by its first character: a rule line starts with a digit, a blank
// or a line end, which UTF-16 writes beside a zero byte, and a UTF-8 line
// starting so is no rule.
Encoding encodingOf(const std::string &bytes, size_t *mark)
{
    *mark = 0;
    if (bytes.compare(0, 4, std::string("\xFF\xFE\0\0", 4)) == 0 || bytes.compare(0, 4, std::string("\0\0\xFE\xFF", 4)) == 0)
        return Encoding::Utf32;
    const struct { const char *bytes; size_t size; Encoding encoding; } marks[] = {
        {"\xEF\xBB\xBF", 3, Encoding::Utf8}, {"\xFF\xFE", 2, Encoding::Utf16Little}, {"\xFE\xFF", 2, Encoding::Utf16Big}};
    for (const auto &m : marks) {
        if (bytes.compare(0, m.size, m.bytes) == 0) {
            *mark = m.size;
            return m.encoding;
        }
    }
    const auto ascii = [](char c) { return c > 0 && c < 0x7F; };
    if (bytes.size() >= 2 && ascii(bytes[0]) && bytes[1] == 0)
        return Encoding::Utf16Little;
    if (bytes.size() >= 2 && bytes[0] == 0 && ascii(bytes[1]))
        return Encoding::Utf16Big;
    return Encoding::Utf8;
}

void appendUtf8(unsigned code, std::string *text)
{
    if (code < 0x80) {
        *text += char(code);
        return;
    }
    const int continuations = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    const unsigned lead[] = {0, 0xC0, 0xE0, 0xF0};
    *text += char(lead[continuations] | code >> (6 * continuations));
    for (int k = continuations - 1; k >= 0; --k)
        *text += char(0x80 | ((code >> (6 * k)) & 0x3F));
}

const char kSaveAgain[] = "save the rule file as UTF-8 (or UTF-16) text and run again";

// `bytes` from `start` read as UTF-16 into UTF-8 `text`. False, with the
// reason naming the line (counted as RuleLines::parse counts them), at half
// of a surrogate pair alone or a byte left over.
bool fromUtf16(const std::string &bytes, size_t start, bool bigEndian, std::string *text, std::string *error)
{
    const auto unit = [&](size_t i) -> unsigned {
        if (i + 1 >= bytes.size())
            return 0;
        const unsigned first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? first << 8 | second : second << 8 | first;
    };
    int line = 1;
    size_t i = start;
    for (; i + 1 < bytes.size(); i += 2) {
        unsigned code = unit(i);
        if (code >= 0xD800 && code < 0xE000) {
            const unsigned low = unit(i + 2);
            if (code >= 0xDC00 || low < 0xDC00 || low >= 0xE000) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "%04X", code);
                *error = "line " + std::to_string(line) + ": it is not UTF-16 text (it holds U+" + hex
                    + ", half of a surrogate pair, alone); " + kSaveAgain;
                return false;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (code == '\n' || (code == '\r' && unit(i + 2) != '\n'))
            ++line;
        appendUtf8(code, text);
    }
    if (i < bytes.size()) {
        *error = "line " + std::to_string(line) + ": it is not UTF-16 text (the file ends in half a character); " + kSaveAgain;
        return false;
    }
    return true;
}

// Why `line`, read as a rule, is no UTF-8 text; empty when it is.
std::string notUtf8(const std::string &line)
{
    const size_t at = MessageText::notUtf8At(line);
    if (at == std::string::npos)
        return std::string();
    // A few characters from there are enough to find the place.
    size_t end = at;
    for (int shown = 0; end < line.size() && shown < 12; ++shown)
        end += MessageText::characterBytes(line, end);
    std::string excerpt = MessageText::quoted(line.substr(at, end - at));
    if (end < line.size())
        excerpt.insert(excerpt.size() - 1, "...");
    return "it is not UTF-8 text (from byte " + std::to_string(at + 1) + ": " + excerpt + "); " + kSaveAgain;
}

// The one line telling that the rule of line `line` repeats line `first`,
// as the engine tells the other rules it skipped.
std::string repeatNote(int line, const std::string &page, const std::string &what, int first)
{
    const size_t shown = MessageText::kShownCharacters;
    return "line " + std::to_string(line) + ", page " + (page.size() > shown ? page.substr(0, shown) + "..." : page)
        + ", " + what + ": it repeats line " + std::to_string(first) + "; rule skipped";
}

// What makes two rules the same rule, in an order: the page as a number.
auto sameness(const TextRule &r)
{
    return std::tie(r.page, r.left, r.top, r.width, r.height, r.text);
}

auto sameness(const ImageRule &r)
{
    return std::tie(r.page, r.left, r.top, r.path);
}

std::string shown(const TextRule &r)
{
    return MessageText::quoted(r.text);
}

std::string shown(const ImageRule &r)
{
    return "picture " + MessageText::quoted(r.path);
}

// Takes every rule that repeats an earlier one out of `rules`, each with a
// note in `repeats`, in the order of their lines. Sorted, not hashed: a
// file cannot make it slow however its texts collide.
template <typename Rule> void dropRepeats(std::vector<Rule> *rules, std::vector<std::string> *repeats)
{
    std::vector<size_t> order(rules->size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const std::vector<Rule> &all = *rules;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return sameness(all[a]) < sameness(all[b]); });
    std::vector<int> firstOf(all.size(), 0);   // the line a rule repeats; 0 for none
    for (size_t k = 1; k < order.size(); ++k) {
        const Rule &earlier = all[order[k - 1]];
        if (sameness(earlier) == sameness(all[order[k]]))
            firstOf[order[k]] = firstOf[order[k - 1]] ? firstOf[order[k - 1]] : earlier.line;
    }
    std::vector<Rule> kept;
    for (size_t i = 0; i < all.size(); ++i) {
        if (firstOf[i])
            repeats->push_back(repeatNote(all[i].line, all[i].pageText, shown(all[i]), firstOf[i]));
        else
            kept.push_back(std::move((*rules)[i]));
    }
    *rules = std::move(kept);
}
}

std::vector<TextRule::Reading> TextRule::readings() const
{
    std::vector<Reading> all;
    for (const size_t i : fittingColons(text))
        all.push_back(Reading{text.substr(0, i), text.substr(i + 1)});
    return all;
}

RuleLines RuleLines::parse(const std::string &bytes, Kind kind)
{
    RuleLines file;
    size_t mark = 0;
    std::string converted;
    const Encoding encoding = encodingOf(bytes, &mark);
    if (encoding == Encoding::Utf32) {
        file.error_ = "line 1: the file is UTF-32 text; " + std::string(kSaveAgain);
        return file;
    }
    if (encoding != Encoding::Utf8) {
        if (!fromUtf16(bytes, mark, encoding == Encoding::Utf16Big, &converted, &file.error_))
            return file;
        file.readLines(converted, 0, kind);
    } else {
        // A byte-order mark is not written by the window, but editors add one.
        file.readLines(bytes, mark, kind);
    }
    if (file.ok()) {
        dropRepeats(&file.text_, &file.repeats_);
        dropRepeats(&file.image_, &file.repeats_);
    }
    return file;
}

void RuleLines::readLines(const std::string &text, size_t start, Kind kind)
{
    int number = 0;
    size_t rules = 0, readingBytes = 0;
    while (start < text.size()) {
        // "\r\n", "\n" and a lone "\r" each end a line.
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++number;
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        std::string reason;
        bool good;
        if (kind == Kind::Text) {
            TextRule rule;
            rule.line = number;
            good = parseTextLine(line, &rule, &reason);
            if (good) {
                readingBytes += fittingColons(rule.text).size() * rule.text.size();
                text_.push_back(std::move(rule));
            }
        } else {
            ImageRule rule;
            rule.line = number;
            good = parseImageLine(line, &rule, &reason);
            if (good)
                image_.push_back(std::move(rule));
        }
        // What the line says is read first, so a field's own fault is named;
        // then whether it is text at all, so no unreadable byte is drawn.
        if (good) {
            reason = notUtf8(line);
            good = reason.empty();
        }
        if (good && ++rules > kMaxRules) {
            good = false;
            reason = "a rule file holds at most " + std::to_string(kMaxRules) + " rules";
        }
        if (good && readingBytes > kMaxReadingBytes) {
            good = false;
            reason = "the rules up to here hold more than " + std::to_string(kMaxReadingBytes >> 20)
                + " MB of find and replacement texts, a text counted once for every \":\" that may end its find text";
        }
        if (!good) {
            error_ = "line " + std::to_string(number) + ": " + reason;
            text_.clear();
            image_.clear();
            return;
        }
    }
}
