#ifndef OSTREL_REPLACEMENTFONTS_H
#define OSTREL_REPLACEMENTFONTS_H

#include <fontconfig/fontconfig.h>
#include <mupdf/pdf.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct hb_buffer_t;

// The fonts replacement text is drawn in, embedded into the output so no
// reader needs them. A character comes from the first of these that has it:
// DejaVu Sans in the face asked for (regular, bold, oblique, bold oblique),
// DejaVu Sans regular, WenQuanYi Micro Hei (Chinese and the other CJK
// scripts), then any other installed font (as fontconfig lists them) that
// has it, in the face closest to the one asked for. A face
// that lacks the weight or slant asked for is made bold or slanted when
// drawn (see Glyph::fakeBold and fakeItalic).
//
// Text is shaped (HarfBuzz) and put in display order (FriBidi), so joined
// scripts get their joined forms and right-to-left text reads from the right.
// Each font is embedded as a subset holding only the glyphs drawn, with a
// code of its own per glyph and text, so the ToUnicode map gives every glyph
// back the characters it stands for (a ligature all of them, an Arabic form
// its letter, an emoji its surrogate pair).
class ReplacementFonts
{
public:
    // Where the Debian packages install DejaVu Sans: regular, bold,
    // oblique, bold oblique (see Face).
    static const char *const kDejaVuFiles[4];
    static const char *const kCjkFile;

    explicit ReplacementFonts(fz_context *ctx);
    ~ReplacementFonts();
    ReplacementFonts(const ReplacementFonts &) = delete;
    ReplacementFonts &operator=(const ReplacementFonts &) = delete;

    // Opens the font files `texts` (UTF-8) may need, so a missing DejaVu
    // Sans stops the run before any page is changed. Nothing is embedded
    // yet: only what is drawn goes into the output. Throws
    // std::runtime_error.
    void prepare(const std::vector<std::string> &texts);

    // Whether every character of `text` that shows has a glyph in one of
    // the fonts. Control characters are dropped when drawn; format
    // characters (joiners, direction marks) need no glyph.
    bool covers(const std::string &text);

    struct Face
    {
        bool bold = false;
        bool italic = false;
    };
    // One glyph of shaped text, in display order. Lengths are in ems (of
    // the size the text is drawn at).
    struct Glyph
    {
        size_t font;
        unsigned code;   // two-byte character code in the font's object
        double width;    // the code's width in the font's object
        double advance, xOffset, yOffset;
        bool fakeBold, fakeItalic;
    };
    // `text` shaped in `face`, each glyph given its code (a new code grows
    // the font's subset at the next embed()). False, with nothing added,
    // when a character has no glyph in any font (see covers()) or a font
    // ran out of codes.
    bool shape(const std::string &text, Face face, std::vector<Glyph> *glyphs);

    // The font object of font `index` in `doc`, added on first use; its
    // subset is filled in by embed().
    pdf_obj *fontObject(pdf_document *doc, size_t index);
    // Brings the subset, widths and ToUnicode map of every font object
    // handed out up to date with the codes given so far. Throws MupdfError
    // or std::runtime_error.
    void embed(pdf_document *doc);

private:
    class Source;
    struct Choice
    {
        long font = -1;   // -1: no font has the character
        bool fakeBold = false, fakeItalic = false;
    };
    Choice choose(int codePoint, Face face);
    // The steps of shape(): each character's font (false when one has
    // none), the characters cut into items in display order, one item
    // shaped, and the codes of the glyphs shaped handed out (false when a
    // font has no room for them).
    struct Characters;
    struct Item
    {
        size_t start, end;
    };
    struct Pending
    {
        Glyph glyph;
        unsigned id;
        std::u32string text;
    };
    bool chooseFonts(Face face, Characters *chars);
    std::vector<Item> itemsOf(Characters *chars);
    void shapeItem(const Characters &chars, const Item &item, hb_buffer_t *buffer, std::vector<Pending> *pending);
    bool handOutCodes(const std::vector<Pending> &pending, std::vector<Glyph> *glyphs);
    long openFile(const std::string &path, int index, Face faceItHas);   // -1: unreadable
    long fallbackFor(int codePoint, Face face);
    void listInstalled();

    fz_context *ctx_;
    std::vector<std::unique_ptr<Source>> sources_;
    std::map<std::pair<std::string, int>, long> opened_;   // file and face index to source
    std::map<std::pair<int, int>, Choice> choices_;        // code point and face to its font
    struct Installed
    {
        std::string file;
        int index;
        Face face;
        std::shared_ptr<FcCharSet> charset;
    };
    bool listed_ = false;
    std::vector<Installed> installed_;   // for characters the usual fonts lack
};

#endif
