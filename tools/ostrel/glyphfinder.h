#ifndef OSTREL_GLYPHFINDER_H
#define OSTREL_GLYPHFINDER_H

#include "pageglyphs.h"

#include <string>
#include <utility>
#include <vector>

// Finds a rule's words among a page's glyphs: the glyph sequence that spells
// the find text and overlaps the rule's box. Glyphs are indexed by where
// they lie, so many rules on one page cost glyphs + rules, not their product.
//
// The text is compared without its blanks: a blank of the find text stands
// for any word break (a space glyph, a gap, a new line), whichever way the
// page separates its words, and the sequence must begin and end at a word
// break, so a rule never takes part of a longer word. Breaks follow the rule
// the converter parts its words by (wordbreak.h), so every word of its text
// layer is found; where the content's order spells no word in the box, the
// glyphs are taken in the order they are shown, as the converter's library
// reads them. Ligatures count as the letters they stand for; text drawn
// right to left may be found reversed; a U+FFFD of the find text (a glyph the
// extraction could not read), and a glyph whose character the page's fonts
// do not tell, stand for any character. Glyphs a marked span
// gives an /ActualText for are found by that text, as readers read them.
class GlyphFinder
{
public:
    // `queries`: how many finds will follow. A few are cheaper as scans of
    // the glyphs than the index is to build; more get the index.
    GlyphFinder(const std::vector<PageGlyphs::Glyph> &glyphs, size_t queries);

    struct Match
    {
        std::vector<size_t> glyphs;   // indices into the page's glyphs, spaces between words included
        double score = 0;             // how much of the words and the box overlap (0..1]
    };

    // The best match of `find` (UTF-8) in `box` (page as shown) among glyphs
    // no earlier match took; an empty match when there is none. The glyphs
    // of a match are taken. Without `shownOrder`, only the content's order
    // is looked at (for words drawn again where a match was found).
    Match find(const std::string &find, const fz_rect &box, bool shownOrder = true) const;
    void take(const Match &match);

private:
    Match bestAt(const std::u32string &text, const std::vector<bool> &breakBefore, const fz_rect &box) const;
    bool matches(size_t start, const std::u32string &text, const std::vector<bool> &breakBefore) const;
    Match byPlace(const std::u32string &text, const std::vector<bool> &breakBefore, const fz_rect &box) const;
    bool spells(const std::vector<std::pair<double, size_t>> &line, size_t at, const std::u32string &text,
                const std::vector<bool> &breakBefore, std::vector<size_t> *glyphs) const;
    // Sets the match's score against `box`; returns how far their middles are apart.
    double scored(Match *m, const fz_rect &box) const;
    std::vector<size_t> near(const fz_rect &box) const;
    std::vector<long long> cellsOf(const fz_rect &box) const;
    // The glyph of `character`, or the last of the glyphs that continue it.
    size_t lastGlyph(size_t character) const;

    const std::vector<PageGlyphs::Glyph> &glyphs_;
    std::u32string chars_;            // the page's non-blank text, in content order
    std::vector<size_t> charGlyph_;   // glyph of each character
    std::vector<size_t> glyphChar_;   // first character of each glyph (npos for blanks)
    std::vector<bool> wordStart_;     // per character: a word break lies before it
    std::vector<bool> taken_;         // per glyph
    std::vector<std::pair<long long, size_t>> cells_;   // (grid cell, glyph), sorted
    mutable size_t work_ = 0;         // glyphs looked at and characters compared so far
    mutable std::vector<unsigned> visited_;   // per glyph: the last search that took it from a cell
    mutable unsigned visit_ = 0;
    std::vector<size_t> large_;       // glyphs too large for the grid, or all of them without the grid
};

#endif
