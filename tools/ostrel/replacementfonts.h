#ifndef OSTREL_REPLACEMENTFONTS_H
#define OSTREL_REPLACEMENTFONTS_H

#include <mupdf/pdf.h>

#include <string>
#include <vector>

// The fonts replacement text is drawn in, embedded into the output so no
// reader needs them: DejaVu Sans for Latin, Greek, Cyrillic and common
// symbols, WenQuanYi Micro Hei for what DejaVu lacks (Chinese and the other
// CJK scripts). Both come from Debian font packages. Each is cut down to the
// characters the rule texts hold before it is embedded: the CJK font alone is
// several megabytes, and its file is a collection no PDF may embed as is.
class ReplacementFonts
{
public:
    // Where the Debian packages install the fonts, in the order they are
    // tried for a character.
    static const char *const kFontFiles[2];

    explicit ReplacementFonts(fz_context *ctx);
    ~ReplacementFonts();
    ReplacementFonts(const ReplacementFonts &) = delete;
    ReplacementFonts &operator=(const ReplacementFonts &) = delete;

    // Makes fonts that hold every character of `texts` (UTF-8). Throws
    // MupdfError when a font file is missing or unreadable.
    void prepare(const std::vector<std::string> &texts);

    // `text` as runs of glyphs of one font each: the font's index and its
    // glyph ids as 4-digit hex, ready for a "<...> Tj" operator. Control
    // characters are dropped; a tab is a space.
    struct Run
    {
        size_t font;
        std::string glyphs;
    };
    std::vector<Run> encode(const std::string &text) const;

    // The font object of font `index` in `doc`, added on first use.
    pdf_obj *fontObject(pdf_document *doc, size_t index);

private:
    size_t fontIndexFor(int codePoint) const;

    fz_context *ctx_;
    std::vector<std::vector<int>> covered_;   // sorted code points per font
    fz_font *fonts_[2] = {nullptr, nullptr};
    pdf_obj *objects_[2] = {nullptr, nullptr};
};

#endif
