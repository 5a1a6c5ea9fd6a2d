// Feeds arbitrary bytes to the replacement engine's rule-line reader, as text
// rules and as image rules. Whatever it accepts must hold together: no more
// rules than the limit, numbers in range, the page as written, no line end
// inside a rule, at least one reading of every text rule, each a non-empty
// find part and a replacement within the length limit rebuilding the rule's
// text, a usable picture path within its limit and a positive picture size,
// all of it UTF-8 (whatever encoding the file was in), no rule twice and
// each one left out named on a line of its own; whatever it refuses must
// name the line, say why in one short line, and keep no rule.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "messagetext.h"
#include "rulelines.h"

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool inRange(int64_t v)
{
    return v >= 0 && v <= kRuleNumberCeiling;
}

bool isUtf8(const std::string& text)
{
    return MessageText::notUtf8At(text) == std::string::npos;
}

// No two of `keys` are alike.
template <typename Key> bool allDifferent(std::vector<Key> keys)
{
    std::sort(keys.begin(), keys.end());
    return std::adjacent_find(keys.begin(), keys.end()) == keys.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // A quoted text is short and holds no control character, whatever it quotes.
    const std::string shown = MessageText::quoted(bytes);
    check(shown.size() <= 2 + 4 * MessageText::kShownCharacters + 3);
    for (const char c : shown)
        check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    for (const RuleLines::Kind kind : {RuleLines::Kind::Text, RuleLines::Kind::Image}) {
        const RuleLines rules = RuleLines::parse(bytes, kind);
        if (!rules.ok()) {
            check(rules.textRules().empty() && rules.imageRules().empty() && rules.repeats().empty());
            // Quoted texts are cut, so a message stays short whatever the line held.
            check(rules.error().rfind("line ", 0) == 0 && rules.error().size() < 400
                  && rules.error().find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
            continue;
        }
        check(rules.textRules().size() + rules.imageRules().size() + rules.repeats().size() <= kMaxRules);
        for (const std::string& repeat : rules.repeats())
            check(repeat.rfind("line ", 0) == 0 && repeat.find(": it repeats line ") != std::string::npos
                  && repeat.find_first_of(std::string("\r\n\0", 3)) == std::string::npos && isUtf8(repeat));
        std::vector<std::tuple<int64_t, int64_t, int64_t, int64_t, int64_t, std::string>> textKeys;
        std::vector<std::tuple<int64_t, int64_t, int64_t, std::string>> imageKeys;
        const auto pageAsWritten = [](int64_t page, const std::string& text) {
            int64_t value = 0;
            for (const char c : text)
                value = std::min<int64_t>(value * 10 + (c - '0'), kRuleNumberCeiling);
            return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos && value == page;
        };
        for (const TextRule& r : rules.textRules()) {
            check(inRange(r.page) && inRange(r.left) && inRange(r.top) && inRange(r.width) && inRange(r.height));
            check(pageAsWritten(r.page, r.pageText));
            check(r.text.find_first_of("\r\n") == std::string::npos && isUtf8(r.text));
            textKeys.emplace_back(r.page, r.left, r.top, r.width, r.height, r.text);
            const std::vector<TextRule::Reading> readings = r.readings();
            check(!readings.empty() && readings.size() <= r.text.size());
            for (const TextRule::Reading& reading : readings) {
                check(!reading.find.empty() && reading.find + ":" + reading.replace == r.text);
                check(reading.find.size() <= 4 * kMaxRuleTextCharacters && reading.replace.size() <= 4 * kMaxRuleTextCharacters);
            }
        }
        for (const ImageRule& r : rules.imageRules()) {
            check(inRange(r.page) && inRange(r.left) && inRange(r.top));
            check(pageAsWritten(r.page, r.pageText) && r.path.size() <= kMaxPicturePathBytes);
            check(r.width >= 1 && r.height >= 1 && inRange(r.width) && inRange(r.height));
            check(!r.path.empty() && r.path.find('\0') == std::string::npos && r.path.find_first_of("\r\n") == std::string::npos);
            check(isUtf8(r.path));
            imageKeys.emplace_back(r.page, r.left, r.top, r.path);
        }
        check(allDifferent(textKeys) && allDifferent(imageKeys));
    }
    return 0;
}
