#include "glyphfinder.h"

#include "wordbreak.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_set>

namespace
{
const size_t npos = std::numeric_limits<size_t>::max();

// Grid cells are a few letters wide; a glyph covering more cells than this
// (a huge or turned box) is checked against every rule instead.
const float kCell = 24;
const size_t kCellsPerGlyph = 64;
const size_t kScansBeforeIndex = 8;
// Glyphs looked at and characters compared for one page, at most: far
// more than 10,000 rules of real words on a page of 100,000 glyphs take.
const size_t kWorkLimit = size_t(1) << 30;
// Of the words found or of the rule's box (the smaller), this share at
// least must lie in the other.
const double kMinimumScore = 0.25;
// Glyphs about a box, at most, that are put in the order they are shown
// when the content's order spells no word there.
const size_t kLineLimit = 1024;

bool isBlank(char32_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xA0 || c == 0x3000 || (c >= 0x2000 && c <= 0x200B)
        || c < 0x20;
}

// The letters a ligature stands for; other characters as they are.
void appendFolded(std::u32string *out, char32_t c)
{
    switch (c) {
    case 0xFB00: *out += U"ff"; break;
    case 0xFB01: *out += U"fi"; break;
    case 0xFB02: *out += U"fl"; break;
    case 0xFB03: *out += U"ffi"; break;
    case 0xFB04: *out += U"ffl"; break;
    case 0xFB05:
    case 0xFB06: *out += U"st"; break;
    default: *out += c; break;
    }
}

std::u32string decodeUtf8(const std::string &s)
{
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + size_t(extra) >= s.size() + (extra == 0 ? 1 : 0)) {
            out += 0xFFFD;
            ++i;
            continue;
        }
        char32_t v = extra == 0 ? c : c & (0x3F >> extra);
        bool good = true;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char n = static_cast<unsigned char>(s[i + size_t(k)]);
            good = good && (n >> 6) == 2;
            v = (v << 6) | (n & 0x3F);
        }
        out += good ? v : char32_t(0xFFFD);
        i += good ? size_t(extra) + 1 : 1;
    }
    return out;
}

// A character of the find text against one of the page. Text extraction
// writes U+FFFD for a glyph whose font tells no character; the other
// reader may know one, or none: such a character stands for any. So does a
// glyph whose character this reader cannot tell (its font names it only by
// a glyph name the converter's library reads as a number, as fonts that
// ps2pdf re-encoded do).
bool sameCharacter(char32_t find, char32_t page)
{
    return find == page || find == 0xFFFD || page == 0xFFFD;
}

double area(const fz_rect &r)
{
    return r.x1 > r.x0 && r.y1 > r.y0 ? double(r.x1 - r.x0) * double(r.y1 - r.y0) : 0;
}

// The area of fz_intersect_rect(a, b), worked out here: it is asked for
// every glyph near every rule.
double sharedArea(fz_rect a, const fz_rect &b)
{
    if (fz_is_infinite_rect(b))
        return area(a);
    if (fz_is_infinite_rect(a))
        return area(b);
    if (a.x0 < b.x0)
        a.x0 = b.x0;
    if (a.y0 < b.y0)
        a.y0 = b.y0;
    if (a.x1 > b.x1)
        a.x1 = b.x1;
    if (a.y1 > b.y1)
        a.y1 = b.y1;
    return area(a);
}

// A glyph as the shared word-break rule sees it.
GlyphPlace placeOf(const PageGlyphs::Glyph &g)
{
    const GlyphPlace::Turn turn = GlyphPlace::turnOf(g.direction.x, g.direction.y);
    GlyphPlace p = GlyphPlace::of(g.box.x0, g.box.y0, g.box.x1, g.box.y1, turn);
    p.font = g.font;
    return p;
}
}

GlyphFinder::GlyphFinder(const std::vector<PageGlyphs::Glyph> &glyphs, size_t queries)
    : glyphs_(glyphs), glyphChar_(glyphs.size(), npos), taken_(glyphs.size(), false), visited_(glyphs.size(), 0)
{
    const bool indexed = queries > kScansBeforeIndex;
    size_t previous = npos;
    GlyphPlace previousPlace;
    bool blankSince = false;
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const PageGlyphs::Glyph &g = glyphs[i];
        if (g.continues) {
            // A word break after the span lies after its last glyph.
            if (previous != npos && !blankSince)
                previousPlace = placeOf(g);
            continue;
        }
        if (g.space) {
            blankSince = true;
            continue;
        }
        std::u32string folded;
        for (const char32_t c : g.text)
            if (!isBlank(c))
                appendFolded(&folded, c);
        if (folded.empty())
            continue;
        const GlyphPlace place = placeOf(g);
        const bool breaks = previous == npos || blankSince || wordBreakBetween(previousPlace, place);
        glyphChar_[i] = chars_.size();
        for (size_t k = 0; k < folded.size(); ++k) {
            chars_ += folded[k];
            charGlyph_.push_back(i);
            wordStart_.push_back(k == 0 && breaks);
        }
        previous = i;
        previousPlace = place;
        blankSince = false;

        const fz_rect &b = g.box;
        if (!indexed) {
            large_.push_back(i);
            continue;
        }
        if (!(std::isfinite(b.x0) && std::isfinite(b.y0) && std::isfinite(b.x1) && std::isfinite(b.y1)))
            continue;
        const double columns = std::floor(b.x1 / kCell) - std::floor(b.x0 / kCell) + 1;
        const double rows = std::floor(b.y1 / kCell) - std::floor(b.y0 / kCell) + 1;
        if (columns * rows > double(kCellsPerGlyph)) {
            large_.push_back(i);
            continue;
        }
        for (const long long cell : cellsOf(b))
            cells_.emplace_back(cell, i);
    }
    std::sort(cells_.begin(), cells_.end());
}

size_t GlyphFinder::lastGlyph(size_t character) const
{
    size_t g = charGlyph_[character];
    while (g + 1 < glyphs_.size() && glyphs_[g + 1].continues)
        ++g;
    return g;
}

std::vector<long long> GlyphFinder::cellsOf(const fz_rect &box) const
{
    const auto clamp = [](double v) { return (long long)std::max(-1e6, std::min(1e6, std::floor(v / kCell))); };
    std::vector<long long> cells;
    const long long x0 = clamp(box.x0), x1 = clamp(box.x1), y0 = clamp(box.y0), y1 = clamp(box.y1);
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > 1 << 20)
        return cells;   // a box that is most of an impossible page: nothing can lie in all of it
    for (long long x = x0; x <= x1; ++x)
        for (long long y = y0; y <= y1; ++y)
            cells.push_back(x * 4000000 + y);
    return cells;
}

bool GlyphFinder::matches(size_t start, const std::u32string &text, const std::vector<bool> &breakBefore) const
{
    const size_t n = text.size();
    if (start + n > chars_.size())
        return false;
    for (size_t j = 0; j < n; ++j)
        if (!sameCharacter(text[j], chars_[start + j]))
            return false;
    const size_t end = start + n;
    if (!wordStart_[start] || (end < chars_.size() && !wordStart_[end]))
        return false;
    if (glyphChar_[charGlyph_[start]] != start || (end < chars_.size() && glyphChar_[charGlyph_[end]] != end))
        return false;
    for (size_t j = 1; j < n; ++j)
        if (breakBefore[j] && !wordStart_[start + j])
            return false;
    for (size_t g = charGlyph_[start]; g <= lastGlyph(end - 1); ++g)
        if (taken_[g] || (!glyphs_[g].removable && (glyphChar_[g] != npos || glyphs_[g].space)))
            return false;
    return true;
}

std::vector<size_t> GlyphFinder::near(const fz_rect &box) const
{
    // In content order. The large glyphs are in order already, and lie in
    // no cell; a glyph of several cells is taken once, so only what the
    // cells hold is sorted.
    std::vector<size_t> near = large_;
    const std::vector<long long> cells = cells_.empty() ? std::vector<long long>() : cellsOf(box);
    work_ += cells.size();
    if (++visit_ == 0) {
        std::fill(visited_.begin(), visited_.end(), 0);
        visit_ = 1;
    }
    for (const long long cell : cells) {
        auto it = std::lower_bound(cells_.begin(), cells_.end(), std::make_pair(cell, size_t(0)));
        for (; it != cells_.end() && it->first == cell; ++it) {
            if (visited_[it->second] != visit_) {
                visited_[it->second] = visit_;
                near.push_back(it->second);
            }
        }
    }
    const auto fromCells = near.begin() + std::ptrdiff_t(large_.size());
    std::sort(fromCells, near.end());
    std::inplace_merge(near.begin(), fromCells, near.end());
    work_ += near.size();
    return near;
}

GlyphFinder::Match GlyphFinder::bestAt(const std::u32string &text, const std::vector<bool> &breakBefore,
                                       const fz_rect &box) const
{
    // Of equal matches the first found in content order stands.
    const std::vector<size_t> near = this->near(box);
    if (work_ > kWorkLimit)
        return Match();

    Match best;
    double bestDistance = 0;
    std::unordered_set<size_t> tried;
    for (const size_t g : near) {
        if (taken_[g] || sharedArea(glyphs_[g].box, box) <= 0)
            continue;
        const size_t first = glyphChar_[g];
        for (size_t o = first; o < chars_.size() && charGlyph_[o] == g; ++o) {
            for (size_t k = 0; k < text.size() && k <= o; ++k) {
                if (!sameCharacter(text[k], chars_[o]))
                    continue;
                const size_t start = o - k;
                if (!tried.insert(start).second)
                    continue;
                // Many rules over a page of the same letters could compare
                // without end; past the budget, rules find nothing.
                work_ += text.size();
                if (work_ > kWorkLimit)
                    return Match();
                if (!matches(start, text, breakBefore))
                    continue;
                Match m;
                for (size_t i = charGlyph_[start]; i <= lastGlyph(start + text.size() - 1); ++i)
                    m.glyphs.push_back(i);
                const double distance = scored(&m, box);
                if (m.score >= kMinimumScore
                    && (best.glyphs.empty() || m.score > best.score + 1e-9
                        || (m.score > best.score - 1e-9 && distance < bestDistance))) {
                    best = std::move(m);
                    bestDistance = distance;
                }
            }
        }
    }
    return best;
}

double GlyphFinder::scored(Match *m, const fz_rect &box) const
{
    fz_rect words = fz_empty_rect;
    for (const size_t i : m->glyphs)
        if (glyphChar_[i] != npos || glyphs_[i].continues)
            words = fz_union_rect(words, glyphs_[i].box);
    // The smaller of the two decides: a word box may be a line tall, and a
    // rule box only a line high over a word that runs down the page.
    const double smaller = std::min(area(words), area(box));
    m->score = smaller > 0 ? std::min(1.0, area(fz_intersect_rect(words, box)) / smaller) : 0;
    return std::hypot((words.x0 + words.x1) / 2 - (box.x0 + box.x1) / 2, (words.y0 + words.y1) / 2 - (box.y0 + box.y1) / 2);
}

GlyphFinder::Match GlyphFinder::byPlace(const std::u32string &text, const std::vector<bool> &breakBefore,
                                        const fz_rect &box) const
{
    // The glyphs about the box, a line's thickness around it, so the
    // neighbours that end a word are seen too.
    const float pad = std::max(box.x1 - box.x0, box.y1 - box.y0) / 2 + 12;
    const std::vector<size_t> around = near(fz_make_rect(box.x0 - pad, box.y0 - pad, box.x1 + pad, box.y1 + pad));
    if (work_ > kWorkLimit || around.size() > kLineLimit)
        return Match();
    Match best;
    double bestDistance = 0;
    for (const size_t s : around) {
        if (taken_[s] || glyphChar_[s] == npos || !sameCharacter(text[0], chars_[glyphChar_[s]])
            || sharedArea(glyphs_[s].box, box) <= 0)
            continue;
        // The glyphs of its line (their middles over its extent across the
        // line) in the order they are shown.
        const GlyphPlace first = placeOf(glyphs_[s]);
        std::vector<std::pair<double, size_t>> line;
        for (const size_t g : around) {
            const GlyphPlace p = placeOf(glyphs_[g]);
            const double middle = (p.across0 + p.across1) / 2;
            if (glyphChar_[g] != npos && p.turn == first.turn && middle >= first.across0
                && middle <= first.across1)
                line.emplace_back(p.along0, g);
        }
        work_ += line.size() * 2;
        if (work_ > kWorkLimit)
            return Match();
        std::stable_sort(line.begin(), line.end());
        // A glyph whose box is no number has no middle, and so no line.
        const auto start = std::find_if(line.begin(), line.end(),
                                        [s](const std::pair<double, size_t> &e) { return e.second == s; });
        if (start == line.end())
            continue;
        const size_t at = size_t(start - line.begin());
        Match m;
        if (spells(line, at, text, breakBefore, &m.glyphs)) {
            const double distance = scored(&m, box);
            if (m.score >= kMinimumScore
                && (best.glyphs.empty() || m.score > best.score + 1e-9 || (m.score > best.score - 1e-9 && distance < bestDistance))) {
                best = std::move(m);
                bestDistance = distance;
            }
        }
    }
    return best;
}

bool GlyphFinder::spells(const std::vector<std::pair<double, size_t>> &line, size_t at, const std::u32string &text,
                         const std::vector<bool> &breakBefore, std::vector<size_t> *glyphs) const
{
    // The blanks the content draws right between two glyphs; none when it
    // draws anything else there.
    const auto blanksBetween = [&](size_t a, size_t b) {
        std::vector<size_t> blanks;
        for (size_t g = a + 1; g < b; ++g) {
            if (glyphs_[g].space)
                blanks.push_back(g);
            else if (glyphChar_[g] != npos || glyphs_[g].continues)
                return std::vector<size_t>();
        }
        return blanks;
    };
    // A break between two glyphs of the line shown one after the other:
    // blanks between them, or the shared rule's.
    const auto breakAfter = [&](size_t k) {
        return k + 1 >= line.size() || !blanksBetween(line[k].second, line[k + 1].second).empty()
            || wordBreakBetween(placeOf(glyphs_[line[k].second]), placeOf(glyphs_[line[k + 1].second]));
    };
    const auto removable = [&](size_t g) { return !taken_[g] && glyphs_[g].removable; };
    if (at > 0 && !breakAfter(at - 1))
        return false;
    size_t c = 0;   // characters of `text` spelled so far
    for (size_t k = at; k < line.size(); ++k) {
        const size_t g = line[k].second;
        if (c > 0) {
            const std::vector<size_t> blanks = blanksBetween(line[k - 1].second, g);
            if (breakBefore[c] && blanks.empty() && !breakAfter(k - 1))
                return false;
            for (const size_t b : blanks) {
                if (!removable(b))
                    return false;
                glyphs->push_back(b);
            }
        }
        if (!removable(g))
            return false;
        glyphs->push_back(g);
        for (size_t o = glyphChar_[g]; o < chars_.size() && charGlyph_[o] == g; ++o, ++c)
            if (c >= text.size() || !sameCharacter(text[c], chars_[o]))
                return false;
        if (c == text.size())
            return breakAfter(k);
    }
    return false;
}

GlyphFinder::Match GlyphFinder::find(const std::string &find, const fz_rect &box, bool shownOrder) const
{
    std::u32string text;
    std::vector<bool> breakBefore;
    bool blank = false;
    for (const char32_t c : decodeUtf8(find)) {
        if (isBlank(c)) {
            blank = true;
            continue;
        }
        const size_t before = text.size();
        appendFolded(&text, c);
        breakBefore.resize(text.size(), false);
        breakBefore[before] = blank && before > 0;
        blank = false;
    }
    if (text.empty())
        return Match();
    Match m = bestAt(text, breakBefore, box);
    if (!m.glyphs.empty() || text.size() < 2)
        return m;
    // Right-to-left text is often drawn in the order it is shown.
    std::u32string reversed(text.rbegin(), text.rend());
    std::vector<bool> reversedBreaks(text.size(), false);
    for (size_t j = 1; j < text.size(); ++j)
        reversedBreaks[j] = breakBefore[text.size() - j];
    m = bestAt(reversed, reversedBreaks, box);
    // The converter's library reads a line in the order it is shown, so a
    // word of its layer may join glyphs the content draws apart (a comma
    // drawn after the next line).
    return m.glyphs.empty() && shownOrder ? byPlace(text, breakBefore, box) : m;
}

void GlyphFinder::take(const Match &match)
{
    for (const size_t g : match.glyphs)
        taken_[g] = true;
}
