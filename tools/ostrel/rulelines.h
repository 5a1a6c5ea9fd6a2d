#ifndef OSTREL_RULELINES_H
#define OSTREL_RULELINES_H

// The rule files the replacement window writes, read without the PDF library
// (and without Qt), so tests and the fuzzer call the same parser.
//
// Text rule line:  page-left-top-width-height:find:replace
// Image rule line: page:left:top:(path):width:height
//
// Lines end with "\r\n", "\n" or a lone "\r"; empty lines carry no rule. Numbers are
// unsigned decimal integers (leading zeros allowed). Nothing is escaped, so
// a ":" in the find or replacement text, or "):" in a picture path, is read
// as documented at TextRule::readings and RuleLines::parse.

#include <cstdint>
#include <string>
#include <vector>

// Numbers larger than this are kept at this value: no page, position or
// picture size can be that large, so the rule is reported or refused later
// instead of overflowing here.
constexpr int64_t kRuleNumberCeiling = 1000000000;

struct TextRule
{
    int line = 0;   // 1-based line of the rule file, for messages
    int64_t page = 0, left = 0, top = 0, width = 0, height = 0;
    std::string text;   // "find:replace", every ":" kept

    struct Reading
    {
        std::string find;
        std::string replace;
    };
    // The ways `text` splits into find and replacement text, one per ":"
    // with text before it, the first ":" first: nothing is escaped, so which
    // one the rule meant is decided by which find text the page holds in
    // the rule's box.
    std::vector<Reading> readings() const;
};

struct ImageRule
{
    int line = 0;
    int64_t page = 0, left = 0, top = 0;
    std::string path;
    int64_t width = 0, height = 0;
};

class RuleLines
{
public:
    enum class Kind { Text, Image };

    // Reads every line as `kind`. A malformed line (a field that is not an
    // unsigned integer, too few fields, a picture size that is not positive)
    // makes the whole file invalid: error() names the line and the reason.
    // So does a file without any rule: running it would change nothing.
    //
    // An image path runs from "(" to the last "):" of the line, because the
    // width and height after it are plain numbers and cannot hold "):".
    static RuleLines parse(const std::string &bytes, Kind kind);

    bool ok() const { return error_.empty(); }
    const std::string &error() const { return error_; }
    const std::vector<TextRule> &textRules() const { return text_; }
    const std::vector<ImageRule> &imageRules() const { return image_; }

private:
    std::string error_;
    std::vector<TextRule> text_;
    std::vector<ImageRule> image_;
};

#endif
