#ifndef WORDBREAK_H
#define WORDBREAK_H

// Where one word ends and the next begins, as both the converter (which
// writes the words of the text layer) and the replacement engine (which
// must find each of them again) decide it: one rule, so every word of the
// layer begins and ends at a break the engine sees.

// One glyph's box on the page as shown, seen along its writing direction:
// `along` grows the way the text is written, `across` over the line.
struct GlyphPlace
{
    // The writing direction as shown: right, down, left or up.
    enum Turn { Right, Down, Left, Up };

    Turn turn = Right;
    double along0 = 0, along1 = 0;     // where the glyph itself starts and ends, spacing not included
    double across0 = 0, across1 = 0;   // its extent over the line, from the font's ascent and descent
    const void *font = nullptr;         // the same for glyphs of one font; null when the reader does not tell

    // From a box (x0 <= x1, y0 <= y1, y downwards) written in `turn`.
    static GlyphPlace of(double x0, double y0, double x1, double y1, Turn turn);
    // The turn nearest to a step of (dx, dy) along the writing, y downwards.
    static Turn turnOf(double dx, double dy);
};

// Whether a word break lies between glyph `a` and glyph `b` shown right
// after it, when no space glyph does: another direction, size, line or
// (where both fonts are known) font, or a gap along the line (or a step
// back) beyond what spacing inside a word gives.
bool wordBreakBetween(const GlyphPlace &a, const GlyphPlace &b);

#endif
