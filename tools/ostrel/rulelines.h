#ifndef OSTREL_RULELINES_H
#define OSTREL_RULELINES_H

// The rule files the replacement window writes, read without the PDF library
// (and without Qt), so tests and the fuzzer call the same parser.
//
// Text rule line:  page-left-top-width-height:find:replace
// Image rule line: page:left:top:(path):width:height
//
// The file is UTF-8 text, with or without a byte-order mark, or UTF-16
// text (with its mark, or starting with a character below U+007F); a line
// of other bytes is refused, never read as some other character.
//
// Lines end with "\r\n", "\n" or a lone "\r"; empty lines and lines of blanks
// carry no rule, and a file of none is no error. Numbers are
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

// The longest find text and the longest replacement text a rule may have,
// in characters: far beyond a word or a line of a page, and small enough
// that what is drawn and searched for stays small.
constexpr size_t kMaxRuleTextCharacters = 4000;

// The longest picture path, in bytes: no file system opens a longer one.
constexpr size_t kMaxPicturePathBytes = 4096;

// What one rule file may ask of the engine, which holds every rule and every
// reading of it at once: far beyond what the window writes for a document
// (a rule for each word of a thousand pages), and within a few hundred
// megabytes however the file is made.
constexpr size_t kMaxRules = 200000;
// The bytes of every reading of every text rule: a text with many ":" has
// as many readings.
constexpr size_t kMaxReadingBytes = size_t(16) << 20;

struct TextRule
{
    int line = 0;   // 1-based line of the rule file, for messages
    int64_t page = 0, left = 0, top = 0, width = 0, height = 0;
    std::string pageText;   // the page as written, for messages
    std::string text;   // "find:replace", every ":" kept

    struct Reading
    {
        std::string find;
        std::string replace;
    };
    // The ways `text` splits into find and replacement text, one per ":"
    // with text before it and neither part longer than
    // kMaxRuleTextCharacters, the first ":" first: nothing is escaped, so
    // which one the rule meant is decided by which find text the page holds
    // in the rule's box. A rule the parser accepted has at least one.
    std::vector<Reading> readings() const;
};

struct ImageRule
{
    int line = 0;
    int64_t page = 0, left = 0, top = 0;
    std::string pageText;   // the page as written, for messages
    std::string path;
    int64_t width = 0, height = 0;
};

class RuleLines
{
public:
    enum class Kind { Text, Image };

    // Reads every line as `kind`. A malformed line (a field that is not an
    // unsigned integer, too few fields, a picture size that is not positive,
    // an empty find text, a text or path beyond its limit, bytes that are
    // not UTF-8 or UTF-16 text, the rule beyond kMaxRules or
    // kMaxReadingBytes) makes the whole
    // file invalid: error() names the line and the reason, quoting at most
    // the start of what it read (MessageText).
    //
    // A rule that repeats an earlier line is left out, and told in
    // repeats(): a text rule of the same page, box and text; a picture rule
    // of the same page, place and picture path, whatever its size (the
    // earlier one takes the run).
    //
    // An image path runs from "(" to the last "):" of the line, because the
    // width and height after it are plain numbers and cannot hold "):".
    static RuleLines parse(const std::string &bytes, Kind kind);

    bool ok() const { return error_.empty(); }
    const std::string &error() const { return error_; }
    const std::vector<TextRule> &textRules() const { return text_; }
    const std::vector<ImageRule> &imageRules() const { return image_; }
    // One line for each rule left out as a repeat, in the order of the
    // file, worded as the engine's other skipped rules.
    const std::vector<std::string> &repeats() const { return repeats_; }

private:
    // Reads the lines of UTF-8 `text` from `start`.
    void readLines(const std::string &text, size_t start, Kind kind);

    std::string error_;
    std::vector<TextRule> text_;
    std::vector<ImageRule> image_;
    std::vector<std::string> repeats_;
};

#endif
