// Feeds arbitrary bytes to the replacement engine's rule-line reader, as text
// rules and as image rules. Whatever it accepts must hold together: numbers
// in range, the find and replacement parts rebuilding the rule's text for any
// text found on the page, a usable picture path and a positive picture size;
// whatever it refuses must say why and keep no rule.
#include <cstddef>
#include <cstdint>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // Some of the input also stands for the text found in a rule's box.
    const std::string found = bytes.substr(0, bytes.size() % 16);
    for (const RuleLines::Kind kind : {RuleLines::Kind::Text, RuleLines::Kind::Image}) {
        const RuleLines rules = RuleLines::parse(bytes, kind);
        if (!rules.ok()) {
            check(rules.textRules().empty() && rules.imageRules().empty());
            check(rules.error().rfind("line ", 0) == 0);
            continue;
        }
        for (const TextRule& r : rules.textRules()) {
            check(inRange(r.page) && inRange(r.left) && inRange(r.top) && inRange(r.width) && inRange(r.height));
            check(r.text.find('\n') == std::string::npos);
            const TextRule::Reading reading = r.reading(found);
            check(reading.find + ":" + reading.replace == r.text);
        }
        for (const ImageRule& r : rules.imageRules()) {
            check(inRange(r.page) && inRange(r.left) && inRange(r.top));
            check(r.width >= 1 && r.height >= 1 && inRange(r.width) && inRange(r.height));
            check(!r.path.empty() && r.path.find('\0') == std::string::npos && r.path.find('\n') == std::string::npos);
        }
    }
    return 0;
}
