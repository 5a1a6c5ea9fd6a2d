// Feeds arbitrary bytes to the replacement engine's rule-line reader, as text
// rules and as image rules. Whatever it accepts must hold together: at least
// one rule, numbers in range, no line end inside a rule, every reading of a
// text rule a non-empty find part and a replacement rebuilding the rule's
// text (one reading per ":" after the first character), a usable picture path and a positive picture size; whatever it
// refuses must say why and keep no rule.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
    for (const RuleLines::Kind kind : {RuleLines::Kind::Text, RuleLines::Kind::Image}) {
        const RuleLines rules = RuleLines::parse(bytes, kind);
        if (!rules.ok()) {
            check(rules.textRules().empty() && rules.imageRules().empty());
            check(rules.error().rfind("line ", 0) == 0 || rules.error() == "no rule in the file");
            continue;
        }
        check(!rules.textRules().empty() || !rules.imageRules().empty());
        for (const TextRule& r : rules.textRules()) {
            check(inRange(r.page) && inRange(r.left) && inRange(r.top) && inRange(r.width) && inRange(r.height));
            check(r.text.find_first_of("\r\n") == std::string::npos);
            const std::vector<TextRule::Reading> readings = r.readings();
            // Only a rule whose one ":" starts the text has no reading (and finds nothing).
            check(readings.empty() == (r.text.find(':', 1) == std::string::npos));
            for (const TextRule::Reading& reading : readings)
                check(!reading.find.empty() && reading.find + ":" + reading.replace == r.text);
        }
        for (const ImageRule& r : rules.imageRules()) {
            check(inRange(r.page) && inRange(r.left) && inRange(r.top));
            check(r.width >= 1 && r.height >= 1 && inRange(r.width) && inRange(r.height));
            check(!r.path.empty() && r.path.find('\0') == std::string::npos && r.path.find_first_of("\r\n") == std::string::npos);
        }
    }
    return 0;
}
