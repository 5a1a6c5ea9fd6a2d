#ifndef OSTREL_PAGEGLYPHS_H
#define OSTREL_PAGEGLYPHS_H

#include "contenttokens.h"

#include <mupdf/pdf.h>

#include <cstdint>

#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

class FontCache;

// Every glyph a page's content shows, with the operator and bytes that show
// it, found by reading the content streams (and the forms they draw) the
// way a viewer does: graphics and text state, fonts' codes, widths and
// Unicode. The streams are kept as decoded bytes, so a glyph can later be
// taken out by replacing only the bytes of its operator.
class PageGlyphs
{
public:
    // A content stream: the page's own, or a form's. The page's streams are
    // read as readers read them, one after the other as one (an operator's
    // operands may stand in the stream before it), so the page has one. A
    // form is reached from its parent stream through a name of that
    // stream's resources; a form drawn several times is one stream.
    struct Stream
    {
        pdf_obj *object = nullptr;      // borrowed from the document; for the page, its first stream
        std::vector<pdf_obj *> parts;   // the page's: all its streams, in order (borrowed)
        pdf_obj *resources = nullptr;   // borrowed
        std::string bytes;              // decoded
        int parent = -1;                // -1 for the page's own streams
        std::string name;               // the form's name in the parent's XObject resources
        // Where its last whole operator ends. What follows, when more than
        // white space, is left open or dangling (an unclosed array, string
        // or inline image, operands without an operator) and would take in
        // whatever a reader reads after it.
        size_t cleanEnd = 0;
    };

    // One text-showing operator (Tj, TJ, ' or ") as drawn once.
    struct Show
    {
        enum Kind { Tj, TJ, Quote, DoubleQuote };
        Kind kind = Tj;
        int stream = 0;
        size_t start = 0, end = 0;     // its bytes in the stream, operands included
        // The operands of " (word and character spacing): their bytes in
        // the stream; none when they are no numbers.
        size_t wordSpaceStart = 0, wordSpaceEnd = 0, charSpaceStart = 0, charSpaceEnd = 0;
        // The operands in order: numbers of a TJ (their value and bytes in
        // the stream), and strings as runs of glyphs (first, count).
        struct Item
        {
            bool isString = false;
            double number = 0;
            size_t start = 0, end = 0;
            size_t first = 0, count = 0;
        };
        std::vector<Item> items;
    };

    struct Glyph
    {
        std::string code;              // its bytes in the string
        std::u32string text;           // Unicode, empty when the font tells none
        fz_rect box = fz_empty_rect;   // on the page as shown
        fz_point origin = {0, 0};      // baseline start, as shown
        fz_point direction = {1, 0};   // of writing, as shown, unit length
        float size = 0;                // the em as shown
        float advance = 0;             // along `direction`, as shown, spacing included
        float extent = 0;              // of the glyph itself along `direction`, as shown
        float charSpace = 0;           // what the character spacing adds to `advance`
        double adjust = 0;             // a TJ number moving as far as the glyph does
        bool removable = false;        // false when no TJ number can stand for it
        bool space = false;            // white space only
        // Shows part of the text of the glyph before it: glyphs a marked
        // span gives an /ActualText for have that text on the first of them.
        bool continues = false;
        int color = 0;                 // fill colour, 0xRRGGBB
        bool invisible = false;        // drawn in a mode that shows nothing (a scan's recognised text)
        bool bold = false, italic = false;
        const void *font = nullptr;    // the same for glyphs of one font
    };

    // Whether `c` shows as white space: a glyph of only these is a space.
    static bool isWhiteSpace(char32_t c);

    // Reads the content of `page`. `toShown` maps page space to the page as
    // shown. With `lastStreamOnly`, only the last of the page's streams is
    // read, from the state a page starts in (what is drawn after content
    // wrapped to restore that state). Throws MupdfError for content the
    // limits refuse.
    PageGlyphs(fz_context *ctx, pdf_page *page, const fz_matrix &toShown, FontCache *fonts,
               bool lastStreamOnly = false);

    const std::deque<Stream> &streams() const { return streams_; }
    const std::vector<Show> &shows() const { return shows_; }
    const std::vector<Glyph> &glyphs() const { return glyphs_; }

    // A marked-content sequence with properties, as drawn once.
    struct Marked
    {
        int stream = 0;
        size_t start = 0, stop = 0;       // its property list's bytes in the stream, when written there
        pdf_obj *properties = nullptr;    // the property list the resources name (borrowed), or none
        int mcid = -1;                    // its place in the document's structure; -1 for none
        size_t first = 0, end = 0;        // the glyphs it holds
    };
    const std::vector<Marked> &marked() const { return marked_; }

    // Graphics states the page's content leaves saved at its end, and
    // whether it restored more than it saved on the way: what must follow
    // it to get back to the state it started in.
    int openStates() const { return openStates_; }

    // Where forms the limits left unread would draw, as shown: text there
    // may be drawn again unseen.
    const std::vector<fz_rect> &unread() const { return unread_; }
    bool restoredTooMany() const { return restoredTooMany_; }

private:
    struct State;
    struct Operand;
    struct Space
    {
        int components = 0;
        bool plain = false;   // grey, RGB or CMYK: colours we can take over
    };

    struct Reading;

    void run(int stream, State *state, std::vector<State> *saved, int depth);
    ContentTokens::Token nextToken(ContentTokens *tokens);
    static void fill(Operand *o, ContentTokens::Token *t);
    Operand readArray(ContentTokens *tokens, size_t start);
    Operand readDictionary(ContentTokens *tokens, size_t start);
    // A new operand at the end of the operator's; the oldest goes past the limit.
    static Operand *newOperand(Reading *r);
    void closeSpans(const Reading &r);
    // Applies operator `op`, whose operands start at `start` and which
    // ends at `end`; false where the rest of the stream cannot be read.
    bool operate(Reading *r, uint32_t op, size_t start, size_t end);
    bool textOperator(Reading *r, uint32_t op, size_t start, size_t end);
    bool colourOperator(Reading *r, uint32_t op);
    bool markedOperator(Reading *r, uint32_t op);
    void beginMarked(Reading *r, const Operand &properties);
    void show(const std::vector<Operand> &operands, Show::Kind kind, State *state, int stream, size_t start,
              size_t end);
    void showString(const std::string &bytes, const State &state);
    void drawForm(const std::string &name, int stream, const State &state, int depth);
    bool skipInlineImage(ContentTokens *tokens, int stream);
    void endActualText();
    int addStream(pdf_obj *object, pdf_obj *resources, int parent, const std::string &name);
    Space colorSpace(pdf_obj *resources, const Operand &space) const;

    fz_context *ctx_;
    fz_matrix toShown_;
    FontCache *fonts_;
    std::deque<Stream> streams_;   // a deque: the scan reads a stream while adding forms
    std::map<std::pair<int, std::string>, int> formStreams_;
    std::vector<Show> shows_;
    std::vector<Glyph> glyphs_;
    std::vector<Marked> marked_;
    std::vector<fz_rect> unread_;
    int openStates_ = 0;
    bool restoredTooMany_ = false;
    fz_matrix tm_ = fz_identity, tlm_ = fz_identity;   // text and line matrices
    size_t formsDrawn_ = 0;
    size_t tokens_ = 0;
    size_t bytesRead_ = 0;
    // The /ActualText span open, and its first glyph.
    bool inActualText_ = false;
    std::u32string actualText_;
    size_t actualTextFirst_ = 0;
};

#endif
