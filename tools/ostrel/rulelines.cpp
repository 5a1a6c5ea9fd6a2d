#include "rulelines.h"

#include "messagetext.h"

#include <algorithm>

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
    size_t start = 0;
    // A byte-order mark is not written by the window, but editors add one.
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start = 3;
    int number = 0;
    size_t rules = 0, readingBytes = 0;
    while (start < bytes.size()) {
        // "\r\n", "\n" and a lone "\r" each end a line.
        size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = bytes.size();
        const std::string line = bytes.substr(start, end - start);
        start = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
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
                file.text_.push_back(std::move(rule));
            }
        } else {
            ImageRule rule;
            rule.line = number;
            good = parseImageLine(line, &rule, &reason);
            if (good)
                file.image_.push_back(std::move(rule));
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
            file.error_ = "line " + std::to_string(number) + ": " + reason;
            file.text_.clear();
            file.image_.clear();
            return file;
        }
    }
    return file;
}
