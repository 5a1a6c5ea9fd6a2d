#include "pageruns.h"

#include "wordbreak.h"

#include <poppler-qt5.h>

#include <QHash>

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

namespace
{
// Which way a word of two glyphs or more is written as shown: from its first
// glyph to its last.
GlyphPlace::Turn turnOf(const Poppler::TextBox &box, int n)
{
    const QPointF from = box.charBoundingBox(0).center(), to = box.charBoundingBox(n - 1).center();
    return GlyphPlace::turnOf(to.x() - from.x(), to.y() - from.y());
}

// A word of one glyph is written the way of the next word on its line when
// that word's own glyphs show it. Else its box (taller than wide unless the
// glyph is turned) tells the axis, where it is clearly longer one way, and
// the step to its neighbour the way along it; a box about square leaves the
// axis to the step. The neighbour of a glyph of a tilted line may stand as
// far down as along: its box tells the axis better. `guessed` is then set,
// and the way along the axis is Right or Down.
GlyphPlace::Turn turnOfOneGlyph(const Poppler::TextBox &box, const GlyphPlace::Turn *nextTurn, bool *guessed)
{
    const QRectF r = box.boundingBox();
    const bool tall = r.height() > 1.2 * r.width(), wide = r.width() > 1.2 * r.height();
    GlyphPlace::Turn turn = r.width() > r.height() ? GlyphPlace::Down : GlyphPlace::Right;
    if (box.nextWord()) {
        const QPointF step = box.nextWord()->boundingBox().center() - r.center();
        turn = tall   ? (step.x() < 0 ? GlyphPlace::Left : GlyphPlace::Right)
            : wide ? (step.y() < 0 ? GlyphPlace::Up : GlyphPlace::Down)
                   : GlyphPlace::turnOf(step.x(), step.y());
    }
    *guessed = !nextTurn || *nextTurn != turn;
    if (*guessed && turn == GlyphPlace::Left)
        return GlyphPlace::Right;
    if (*guessed && turn == GlyphPlace::Up)
        return GlyphPlace::Down;
    return turn;
}

// A lone glyph runs the way most words of its axis on the page run that
// show it (a turned page's all run up, or all down): the fragments of a tilted
// line, each a lone glyph, then join in their order.
void settleGuessedTurns(const std::vector<bool> &guessed, std::vector<GlyphPlace::Turn> *turns)
{
    int votes[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < turns->size(); ++i)
        if (!guessed[i])
            ++votes[(*turns)[i]];
    for (size_t i = 0; i < turns->size(); ++i) {
        if (!guessed[i])
            continue;
        const GlyphPlace::Turn other = (*turns)[i] == GlyphPlace::Right ? GlyphPlace::Left : GlyphPlace::Up;
        if (votes[other] > votes[(*turns)[i]])
            (*turns)[i] = other;
    }
}

GlyphPlace placeOf(const QRectF &r, GlyphPlace::Turn turn)
{
    const QRectF n = r.normalized();
    return GlyphPlace::of(n.left(), n.top(), n.right(), n.bottom(), turn);
}

// The box on the page as shown of `along0`..`along1` by `across0`..`across1`
// seen along `turn` (GlyphPlace's frame).
QRectF shownBox(GlyphPlace::Turn turn, double along0, double along1, double across0, double across1)
{
    switch (turn) {
    case GlyphPlace::Right: return QRectF(QPointF(along0, across0), QPointF(along1, across1));
    case GlyphPlace::Left: return QRectF(QPointF(-along1, across0), QPointF(-along0, across1));
    case GlyphPlace::Down: return QRectF(QPointF(across0, along0), QPointF(across1, along1));
    case GlyphPlace::Up: return QRectF(QPointF(across0, -along1), QPointF(across1, -along0));
    }
    return QRectF();
}

// The side of the glyphs' tops in GlyphPlace's frame: -1 towards smaller
// `across`, +1 towards larger.
double upSide(GlyphPlace::Turn turn)
{
    return turn == GlyphPlace::Right || turn == GlyphPlace::Up ? -1 : 1;
}

// A combining mark: a shadda, a vowel sign, an accent drawn over a letter.
bool isMark(uint c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
        || category == QChar::Mark_Enclosing;
}

// Whether a mark over `letter` comes before it in the order the page draws
// them: so over a letter written right to left (the order a shaped line is
// drawn in, left to right as shown), after it over any other.
bool markGoesBefore(uint letter)
{
    const QChar::Direction direction = QChar::direction(letter);
    return direction == QChar::DirR || direction == QChar::DirAL;
}

// A word of the library seen along its writing: its box, where its last
// glyph starts, how many glyphs it has, and its first and last glyph that is
// a letter, not a combining mark (-1 for none). A fragment of marks alone is
// a mark the page draws apart from its letter.
struct Fragment
{
    GlyphPlace place;
    double lastStart = 0;
    int glyphs = 0;
    int firstLetter = -1, lastLetter = -1;
    bool mark = false;
    bool markFirst = false, markLast = false;   // it has letters, and its first or last glyph is a mark
};

// The library gives a tilted line as fragments, each holding the level boxes
// of (most of) its glyphs, every one as tall as the font at its own baseline
// and as wide as its advance reaches along the page's axis, so the glyphs,
// turned, stand out of it. The height of one such glyph box when the
// baseline moves `slope` across per unit along: at least `low`, at most the
// fragment's.
double glyphThickness(const Fragment &p, double slope, bool low)
{
    const double height = p.place.across1 - p.place.across0;
    return low ? height - std::fabs(slope) * (p.lastStart - p.place.along0) : height;
}

// The box as shown of the turned glyphs of `p` on a line of `slope`. Where
// the baseline lies in a glyph's box depends on the font; the box holds the
// glyphs for an ascent of 60 to 90 percent of the height, which every
// common font has.
QRectF tiltedBox(const Fragment &p, double slope)
{
    const GlyphPlace &place = p.place;
    const double up = upSide(place.turn);
    const double norm = std::sqrt(1 + slope * slope);
    const double upAlong = -up * slope / norm, upAcross = up / norm;   // unit vector to the glyphs' tops
    double along0 = place.along0, along1 = place.along1, across0 = place.across0, across1 = place.across1;
    for (const bool low : {true, false}) {
        const double height = std::max(0.0, glyphThickness(p, slope, low));
        // The first glyph's box: on a line going to smaller `across`, the
        // lowest.
        const double first0 = slope < 0 ? place.across1 - height : place.across0;
        for (const double share : {0.6, 0.9}) {
            const double ascent = share * height, descent = height - ascent;
            const double base = (up < 0 ? first0 : first0 + height) - up * ascent;
            for (const double along : {place.along0, place.along1}) {
                const double across = base + (along - place.along0) * slope;
                for (const double reach : {ascent, -descent}) {
                    along0 = std::min(along0, along + reach * upAlong);
                    along1 = std::max(along1, along + reach * upAlong);
                    across0 = std::min(across0, across + reach * upAcross);
                    across1 = std::max(across1, across + reach * upAcross);
                }
            }
        }
    }
    return shownBox(place.turn, along0, along1, across0, across1);
}

// Along a tilted line, fragments of one word touch (within this share of their
// height, as the word-break rule's gap), and the next word starts within a
// space of at most this share. A fragment continues a line when its glyphs
// stand on the line's baseline within this share of their height, measured
// square to the line: the next line of a turned box lies a height or more
// away.
const double kTouch = 0.08;
const double kSpace = 0.6;
const double kOffBaseline = 0.15;

// The slope of a tilted line (across per unit along), from two of its
// fragments one after the other along one baseline, the same size, the
// second starting where the first ends or (with `space`) up to a space
// later; 0 when they stand level or are no such pair. Their first glyphs'
// baselines step across as far as their starts step along, times the slope:
// the first glyph is the fragment's lowest (the edge at larger `across`) on
// a line going to smaller `across`, else its highest. Each fragment's box
// rises by the slope over its glyphs above one glyph's height; the height so
// left of the two must agree, or the second stands off the first's baseline
// (on the line below, however near along). Where both hold several glyphs,
// that height must also be one a single glyph of the page shows (`heights`,
// sorted; when the page has any): two fragments of about one length agree on
// any slope. The glyph of `a` and of `b` nearest each other stand less than
// a glyph's height apart across (words of table rows one under another are
// no line).
double tiltBetween(const Fragment &a, const Fragment &b, bool space, const std::vector<double> &heights)
{
    const double step = b.place.along0 - a.place.along0, gap = b.place.along0 - a.place.along1;
    // A mark raised over its letter is no step of a line.
    if (a.place.turn != b.place.turn || !(step > 0) || a.mark || b.mark)
        return 0;
    const double fromLow = (b.place.across1 - a.place.across1) / step, fromHigh = (b.place.across0 - a.place.across0) / step;
    for (const double slope : {fromLow < 0 ? fromLow : 0, fromHigh > 0 ? fromHigh : 0}) {
        // Below about 6 degrees: level text, or a raised letter of the same
        // size; past about 50 the library reads it as running down or up.
        if (!(std::fabs(slope) >= 0.1 && std::fabs(slope) <= 1.2))
            continue;
        const double glyphA = glyphThickness(a, slope, true), glyphB = glyphThickness(b, slope, true);
        const double off = std::fabs(glyphA - glyphB) / std::sqrt(1 + slope * slope);
        const auto shown = std::lower_bound(heights.begin(), heights.end(), 0.98 * glyphA);
        const bool several = a.lastStart > a.place.along0 && b.lastStart > b.place.along0;
        if (several && !heights.empty() && (shown == heights.end() || *shown > 1.02 * glyphA))
            continue;
        if (glyphA > 0 && glyphB > 0 && off <= kOffBaseline * glyphA
            && std::fabs(slope * (b.place.along0 - a.lastStart)) <= 0.75 * glyphA && gap >= -kTouch * glyphA
            && gap <= (space ? kSpace : kTouch) * glyphA)
            return slope;
    }
    return 0;
}

// `slope` where a pair of fragments shows it by itself: one of a single glyph,
// the other of several whose box rises by that slope over its glyphs to just
// the first one's height; else 0.
double slopeShown(const Fragment &a, const Fragment &b, double slope)
{
    for (const auto &pair : {std::make_pair(&a, &b), std::make_pair(&b, &a)}) {
        const Fragment &one = *pair.first, &several = *pair.second;
        const double height = glyphThickness(one, slope, false), low = glyphThickness(several, slope, true);
        if (one.lastStart == one.place.along0 && several.lastStart > several.place.along0
            && glyphThickness(several, slope, false) - low >= 0.1 * height && std::fabs(low - height) <= 0.02 * height)
            return slope;
    }
    return 0;
}

// Two fragments one after the other along a tilted line of `slope`.
struct TiltPair
{
    int from, to;
    double slope;
};

// Fragments by where they start along their writing, so the ones after a
// fragment are found in logarithmic time.
using ByStart = std::vector<std::pair<std::pair<int, double>, int>>;

// Every pair of fragments one after the other along a tilted line: touching,
// or (with `space`) a space apart.
std::vector<TiltPair> tiltPairs(const std::vector<Fragment> &fragments, const ByStart &byStart,
                                const std::vector<double> &heights, bool space)
{
    // Fragments starting at one spot are few; a page of many is not searched
    // past this many.
    const int kCandidates = 8;
    std::vector<TiltPair> pairs;
    for (int i = 0; i < int(fragments.size()); ++i) {
        const GlyphPlace &a = fragments[size_t(i)].place;
        const double height = a.across1 - a.across0;
        auto it = std::lower_bound(byStart.begin(), byStart.end(),
                                   std::make_pair(std::make_pair(int(a.turn), a.along1 - kTouch * height), -1));
        for (int k = 0; k < kCandidates && it != byStart.end() && it->first.first == int(a.turn)
                        && it->first.second <= a.along1 + (space ? kSpace : kTouch) * height;
             ++k, ++it) {
            const double slope = tiltBetween(fragments[size_t(i)], fragments[size_t(it->second)], space, heights);
            if (slope != 0)
                pairs.push_back({i, it->second, slope});
        }
    }
    return pairs;
}

bool sameSlope(double a, double b)
{
    return std::fabs(a - b) <= 0.15 * std::fabs(a);
}

// Links the touching pairs into words. Two fragments alone may fit a line of
// another slope than theirs (one a line below, rising where theirs falls),
// but the fragments of one turned box share one slope: the pairs whose slope
// most pairs of the page share are linked first, and a word keeps one slope.
void linkTouching(const std::vector<TiltPair> &pairs, std::vector<int> *next, std::vector<double> *slopes)
{
    std::vector<double> sorted;
    sorted.reserve(pairs.size());
    for (const TiltPair &p : pairs)
        sorted.push_back(p.slope);
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::pair<long, size_t>> bySupport;
    bySupport.reserve(pairs.size());
    for (size_t k = 0; k < pairs.size(); ++k) {
        const double s = pairs[k].slope, reach = 0.15 * std::fabs(s);
        const auto from = std::lower_bound(sorted.begin(), sorted.end(), s - reach);
        const auto to = std::upper_bound(sorted.begin(), sorted.end(), s + reach);
        bySupport.emplace_back(-long(to - from), k);
    }
    std::sort(bySupport.begin(), bySupport.end());
    std::vector<double> in(slopes->size(), 0), out(slopes->size(), 0);
    for (const auto &entry : bySupport) {
        const TiltPair &p = pairs[entry.second];
        if ((*next)[size_t(p.from)] >= 0 || in[size_t(p.to)] != 0 || (in[size_t(p.from)] != 0 && !sameSlope(in[size_t(p.from)], p.slope))
            || (out[size_t(p.to)] != 0 && !sameSlope(out[size_t(p.to)], p.slope)))
            continue;
        (*next)[size_t(p.from)] = p.to;
        out[size_t(p.from)] = in[size_t(p.to)] = p.slope;
        for (const int f : {p.from, p.to})
            (*slopes)[size_t(f)] = (*slopes)[size_t(f)] != 0 ? (*slopes)[size_t(f)] : p.slope;
    }
}

// For each fragment, the tilted fragment that continues its word, or -1; and
// the slope of each fragment's line (0 when level). Touching fragments along
// one baseline are one word; a fragment a space from one of them joins no
// word but takes its slope where the two agree.
void linkTiltedFragments(const std::vector<Fragment> &fragments, std::vector<int> *next, std::vector<double> *slopes)
{
    ByStart byStart;
    byStart.reserve(fragments.size());
    std::vector<double> heights;   // of the single glyphs, level or tilted alike
    for (int i = 0; i < int(fragments.size()); ++i) {
        const Fragment &f = fragments[size_t(i)];
        byStart.push_back({{int(f.place.turn), f.place.along0}, i});
        if (f.glyphs == 1 && !f.mark)
            heights.push_back(f.place.across1 - f.place.across0);
    }
    std::sort(byStart.begin(), byStart.end());
    std::sort(heights.begin(), heights.end());
    linkTouching(tiltPairs(fragments, byStart, heights, false), next, slopes);
    // Slopes spread a word a round over spaces; a tilted line of more words
    // than this is rare.
    const int kSpaceRounds = 6;
    const std::vector<TiltPair> spaced = tiltPairs(fragments, byStart, heights, true);
    bool changed = true;
    for (int round = 0; round < kSpaceRounds && changed; ++round) {
        std::vector<double> found = *slopes;
        for (const TiltPair &p : spaced) {
            const double known = (*slopes)[size_t(p.from)] != 0 ? (*slopes)[size_t(p.from)]
                : (*slopes)[size_t(p.to)] != 0                 ? (*slopes)[size_t(p.to)]
                                                               : slopeShown(fragments[size_t(p.from)], fragments[size_t(p.to)], p.slope);
            if (known != 0 && sameSlope(known, p.slope)) {
                found[size_t(p.from)] = found[size_t(p.from)] != 0 ? found[size_t(p.from)] : known;
                found[size_t(p.to)] = found[size_t(p.to)] != 0 ? found[size_t(p.to)] : known;
            }
        }
        changed = found != *slopes;
        *slopes = std::move(found);
    }
}

using Boxes = QList<Poppler::TextBox *>;
using IndexOf = QHash<const Poppler::TextBox *, int>;

// The library's words of a page, each deleted however the reading of the
// page ends (a failed allocation included). Taking the list moves it, which
// cannot fail, so no word is ever without an owner.
struct OwnedBoxes
{
    explicit OwnedBoxes(Boxes taken) noexcept : boxes(std::move(taken)) {}
    ~OwnedBoxes() { qDeleteAll(boxes); }
    OwnedBoxes(const OwnedBoxes &) = delete;
    OwnedBoxes &operator=(const OwnedBoxes &) = delete;

    const Boxes boxes;
};

// The library's words seen along their writing.
std::vector<Fragment> fragmentsOf(const Boxes &boxes, const IndexOf &indexOf)
{
    const int n = boxes.size();
    const size_t count = size_t(n);
    std::vector<Fragment> fragments(count);
    std::vector<GlyphPlace::Turn> turns(count, GlyphPlace::Right);
    std::vector<bool> guessed(count, false);
    for (int i = 0; i < n; ++i) {
        Fragment &p = fragments[size_t(i)];
        const QVector<uint> text = boxes[i]->text().toUcs4();
        p.glyphs = text.size();
        for (int k = 0; k < p.glyphs; ++k) {
            const bool mark = isMark(text[k]);
            p.mark = p.mark || mark;
            if (!mark && !QChar::isSpace(text[k])) {
                p.firstLetter = p.firstLetter < 0 ? k : p.firstLetter;
                p.lastLetter = k;
            }
        }
        p.markFirst = p.firstLetter >= 0 && isMark(text.front());
        p.markLast = p.firstLetter >= 0 && isMark(text.back());
        p.mark = p.mark && p.firstLetter < 0;
        if (p.glyphs >= 2)
            turns[size_t(i)] = turnOf(*boxes[i], p.glyphs);
    }
    for (int i = 0; i < n; ++i) {
        if (fragments[size_t(i)].glyphs >= 2)
            continue;
        const int j = indexOf.value(boxes[i]->nextWord(), -1);
        bool guess = false;
        turns[size_t(i)] = turnOfOneGlyph(*boxes[i], j >= 0 && fragments[size_t(j)].glyphs >= 2 ? &turns[size_t(j)] : nullptr, &guess);
        guessed[size_t(i)] = guess;
    }
    settleGuessedTurns(guessed, &turns);
    for (int i = 0; i < n; ++i) {
        Fragment &p = fragments[size_t(i)];
        p.place = placeOf(boxes[i]->boundingBox(), turns[size_t(i)]);
        p.lastStart = p.glyphs > 1 ? placeOf(boxes[i]->charBoundingBox(p.glyphs - 1), p.place.turn).along0 : p.place.along0;
    }
    return fragments;
}

// The text without blanks and combining marks: a mark the page draws apart
// from its letter may stand anywhere in the page's text as drawn.
QString lettersOf(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (!c.isSpace() && !isMark(c.unicode()))
            out += c;
    return out;
}

// Which of `keys` `text` holds. One pass over the text for each length of
// key, with a rolling hash, for at most this many lengths (a page's joined
// word pairs have a few dozen); keys of further lengths count as not held.
const size_t kKeyLengths = 64;

std::vector<bool> heldIn(const QString &text, const std::vector<QString> &keys)
{
    std::vector<bool> held(keys.size(), false);
    const quint64 base = 1000003;
    const auto hashOf = [&](const QString &s) {
        quint64 h = 0;
        for (const QChar c : s)
            h = h * base + c.unicode();
        return h;
    };
    std::map<int, std::unordered_map<quint64, std::vector<size_t>>> byLength;
    for (size_t k = 0; k < keys.size(); ++k)
        if (!keys[k].isEmpty() && keys[k].size() <= text.size())
            byLength[keys[k].size()][hashOf(keys[k])].push_back(k);
    size_t lengths = 0;
    for (const auto &entry : byLength) {
        if (++lengths > kKeyLengths)
            break;
        const int m = entry.first;
        quint64 power = 1;
        for (int i = 0; i < m; ++i)
            power *= base;
        quint64 h = 0;
        for (int i = 0; i < text.size(); ++i) {
            h = h * base + text[i].unicode() - (i >= m ? power * text[i - m].unicode() : 0);
            const auto found = i >= m - 1 ? entry.second.find(h) : entry.second.end();
            if (found == entry.second.end())
                continue;
            for (const size_t k : found->second)
                held[k] = held[k] || QStringRef(&text, i - m + 1, m) == keys[k];
        }
    }
    return held;
}

// The next fragment of letters after `i` on its line in the library's order,
// past the marks it gives there; -1 for none.
int nextLetters(const Boxes &boxes, const IndexOf &indexOf, const std::vector<Fragment> &fragments, int i)
{
    // Marks the library gives between two words of a line, at most.
    const int kMarksBetween = 8;
    const Poppler::TextBox *box = boxes[i]->nextWord();
    for (int k = 0; k <= kMarksBetween && box; ++k, box = box->nextWord()) {
        const int j = indexOf.value(box, -1);
        if (j < 0 || !fragments[size_t(j)].mark)
            return j;
    }
    return -1;
}

// The letter a fragment of marks alone stands over: a glyph of another
// fragment. `fragment` is -1 for none.
struct MarkBase
{
    int fragment = -1, glyph = -1;
};

// The glyph of `box` whose box holds `middle`, or else the one whose middle
// is nearest (a mark may hang a little past its letter's advance); -1 for a
// word longer than any a mark stands in, which is not searched.
int glyphUnder(const Poppler::TextBox &box, int glyphs, const QPointF &middle)
{
    const int kGlyphsLooked = 256;
    if (glyphs > kGlyphsLooked)
        return -1;
    int nearest = 0;
    double distance = 0;
    for (int k = 0; k < glyphs; ++k) {
        const QRectF r = box.charBoundingBox(k).normalized();
        if (r.contains(middle))
            return k;
        const QPointF d = r.center() - middle;
        if (k == 0 || std::hypot(d.x(), d.y()) < distance) {
            nearest = k;
            distance = std::hypot(d.x(), d.y());
        }
    }
    return nearest;
}

// For each fragment of marks alone, the letter it stands over: a glyph of
// the level fragment of letters whose box holds the middle of the mark's
// own on the page as shown (of several, the one whose middle is nearest).
// The letters are found through a grid of cells; a box of more cells than a
// word has is in none, so a page stays linear.
std::vector<MarkBase> markBases(const Boxes &boxes, const std::vector<Fragment> &fragments, const std::vector<double> &slopes)
{
    const int n = boxes.size();
    std::vector<MarkBase> bases(fragments.size());
    if (std::none_of(fragments.begin(), fragments.end(), [](const Fragment &f) { return f.mark; }))
        return bases;
    const double kCell = 16;
    const long long kCellsPerBox = 256, kReach = 1000000;
    const auto cell = [&](double v) { return (long long)std::max(-double(kReach), std::min(double(kReach), std::floor(v / kCell))); };
    const auto key = [&](long long x, long long y) { return (x + kReach) * (2 * kReach + 1) + (y + kReach); };
    std::vector<std::pair<long long, int>> cells;
    for (int i = 0; i < n; ++i) {
        const QRectF r = boxes[i]->boundingBox().normalized();
        if (fragments[size_t(i)].firstLetter < 0 || slopes[size_t(i)] != 0 || !std::isfinite(r.left())
            || !std::isfinite(r.right()) || !std::isfinite(r.top()) || !std::isfinite(r.bottom()))
            continue;
        const long long x0 = cell(r.left()), x1 = cell(r.right()), y0 = cell(r.top()), y1 = cell(r.bottom());
        if ((x1 - x0 + 1) * (y1 - y0 + 1) > kCellsPerBox)
            continue;
        for (long long x = x0; x <= x1; ++x)
            for (long long y = y0; y <= y1; ++y)
                cells.emplace_back(key(x, y), i);
    }
    std::sort(cells.begin(), cells.end());
    for (int i = 0; i < n; ++i) {
        const QPointF middle = boxes[i]->boundingBox().normalized().center();
        if (!fragments[size_t(i)].mark || !std::isfinite(middle.x()) || !std::isfinite(middle.y()))
            continue;
        double nearest = 0;
        const long long at = key(cell(middle.x()), cell(middle.y()));
        // Boxes piled on one spot are few on a real page; a hostile one is
        // not searched past this many.
        const int kCandidates = 16;
        auto it = std::lower_bound(cells.begin(), cells.end(), std::make_pair(at, -1));
        for (int k = 0; k < kCandidates && it != cells.end() && it->first == at; ++k, ++it) {
            // A box that holds the middle goes before one that holds it
            // only with the slack a mark may hang past its letter by.
            const QRectF r = boxes[it->second]->boundingBox().normalized();
            const double slack = 0.1 * r.height();
            const QPointF d = r.center() - middle;
            const double distance = std::hypot(d.x(), d.y()) + (r.contains(middle) ? 0 : 1e6);
            if (r.adjusted(-slack, 0, slack, 0).contains(middle) && (bases[size_t(i)].fragment < 0 || distance < nearest)) {
                bases[size_t(i)].fragment = it->second;
                nearest = distance;
            }
        }
        const int b = bases[size_t(i)].fragment;
        bases[size_t(i)].glyph = b < 0 ? -1 : glyphUnder(*boxes[b], fragments[size_t(b)].glyphs, middle);
        bases[size_t(i)].fragment = bases[size_t(i)].glyph < 0 ? -1 : b;
    }
    return bases;
}

// For each fragment, the next fragment of its word, or -1; each fragment
// follows at most one. The library parts words where it sees a break; where the
// shared rule sees none between a word and the next on its line, they are one
// word, so the replacement engine finds every word of the layer. The engine
// reads glyphs in the order the page draws them, so two words drawn apart (the
// second first, or others between) stay two: the page's text in that order,
// read only for a page with such a pair, must hold the two together (marks
// left out); or a mark drawn between them, over a letter at their seam, on a
// line drawn as shown, parted them. The links of the fragments of tilted
// words come in `next`, and stand. Fragments of marks alone follow none and
// are followed by none.
std::vector<int> wordLinks(const Poppler::Page &page, const Boxes &boxes, const IndexOf &indexOf,
                           const std::vector<Fragment> &fragments, const std::vector<MarkBase> &bases,
                           std::vector<int> next)
{
    const int n = boxes.size();
    std::vector<int> previous(size_t(n), -1);
    // Fragments with a mark drawn right before their first letter or right
    // after their last: one the library gives in them (a step ahead of the
    // letter it stands over), or a fragment of marks over that letter. A
    // fragment of two glyphs or more shows that its line is drawn in the
    // order it is shown (the library joins no glyphs drawn the other way).
    std::vector<bool> markedStart(size_t(n), false), markedEnd(size_t(n), false);
    for (int i = 0; i < n; ++i) {
        markedStart[size_t(i)] = fragments[size_t(i)].markFirst;
        markedEnd[size_t(i)] = fragments[size_t(i)].markLast;
    }
    for (const MarkBase &b : bases) {
        if (b.fragment < 0)
            continue;
        const Fragment &f = fragments[size_t(b.fragment)];
        const bool before = markGoesBefore(boxes[b.fragment]->text().toUcs4().value(b.glyph));
        markedStart[size_t(b.fragment)] = markedStart[size_t(b.fragment)] || (before && b.glyph == f.firstLetter);
        markedEnd[size_t(b.fragment)] = markedEnd[size_t(b.fragment)] || (!before && b.glyph == f.lastLetter);
    }
    std::vector<std::pair<int, int>> pairs;
    std::vector<QString> keys;
    for (int i = 0; i < n; ++i) {
        const Fragment &a = fragments[size_t(i)];
        const int j = a.lastLetter < 0 || next[size_t(i)] >= 0 ? -1 : nextLetters(boxes, indexOf, fragments, i);
        if (j <= i || fragments[size_t(j)].firstLetter < 0 || fragments[size_t(j)].place.turn != a.place.turn
            || wordBreakBetween(placeOf(boxes[i]->charBoundingBox(a.lastLetter), a.place.turn),
                                placeOf(boxes[j]->charBoundingBox(fragments[size_t(j)].firstLetter), a.place.turn)))
            continue;
        if ((markedEnd[size_t(i)] || markedStart[size_t(j)]) && (a.glyphs > 1 || fragments[size_t(j)].glyphs > 1)) {
            next[size_t(i)] = j;
            continue;
        }
        pairs.emplace_back(i, j);
        keys.push_back(lettersOf(boxes[i]->text() + boxes[j]->text()));
    }
    if (!pairs.empty()) {
        const std::vector<bool> held = heldIn(lettersOf(page.text(QRectF(), Poppler::Page::RawOrderLayout)), keys);
        for (size_t k = 0; k < pairs.size(); ++k)
            if (held[k])
                next[size_t(pairs[k].first)] = pairs[k].second;
    }
    for (int i = 0; i < n; ++i) {
        const int j = next[size_t(i)];
        if (j >= 0 && previous[size_t(j)] < 0)
            previous[size_t(j)] = i;
        else
            next[size_t(i)] = -1;
    }
    return next;
}

// The text of a word of `chain` with the marks standing over its letters,
// each where the page draws it (see markGoesBefore).
QString textWithMarks(const Boxes &boxes, const std::vector<int> &chain, const std::vector<int> &marks,
                      const std::vector<MarkBase> &bases)
{
    // The marks by their letter (fragment, glyph), each looked up once.
    std::vector<std::pair<std::pair<int, int>, int>> byLetter;
    byLetter.reserve(marks.size());
    for (const int m : marks)
        byLetter.push_back({{bases[size_t(m)].fragment, bases[size_t(m)].glyph}, m});
    std::sort(byLetter.begin(), byLetter.end());
    QString text;
    for (const int i : chain) {
        const QVector<uint> glyphs = boxes[i]->text().toUcs4();
        for (int k = 0; k < glyphs.size(); ++k) {
            QString over;
            for (auto it = std::lower_bound(byLetter.begin(), byLetter.end(), std::make_pair(std::make_pair(i, k), -1));
                 it != byLetter.end() && it->first == std::make_pair(i, k); ++it)
                over += boxes[it->second]->text();
            const QString glyph = QString::fromUcs4(&glyphs[k], 1);
            text += markGoesBefore(glyphs[k]) ? over + glyph : glyph + over;
        }
    }
    return text;
}

// The trailing spaces by the cell of the glyph before them, so a word's last
// glyph finds its space among a few.
using SpaceCells = std::vector<std::pair<std::pair<long long, long long>, size_t>>;
const double kSpaceCell = 8;

std::pair<long long, long long> spaceCell(const QPointF &p)
{
    // Far off the page a point shares its cell with others there: the
    // candidates looked at are bounded all the same.
    const double reach = 1e9;
    const auto cell = [&](double v) { return (long long)std::floor(std::max(-reach, std::min(reach, v)) / kSpaceCell); };
    return {cell(p.x()), cell(p.y())};
}

SpaceCells spaceCells(const std::vector<TrailingSpace> &spaces)
{
    SpaceCells cells;
    cells.reserve(spaces.size());
    for (size_t k = 0; k < spaces.size(); ++k) {
        const QPointF &g = spaces[k].glyph, &e = spaces[k].end;
        if (std::isfinite(g.x()) && std::isfinite(g.y()) && std::isfinite(e.x()) && std::isfinite(e.y()))
            cells.emplace_back(spaceCell(g), k);
    }
    std::sort(cells.begin(), cells.end());
    return cells;
}

// `box`, a level word's written along `turn`, grown along its line to the
// end of the space drawn invisibly after its last glyph (`last`, that
// glyph's box) in the same show, when there is one: a scan's word spans
// its space, the library's word does not. A space ends within two of the
// line's heights; one ending further, or off the line, is no such space.
// A word written left or up as shown keeps its box: growing it would move
// its run's left or top, the place a picture rule names it by, which the
// replacement engine reads from the library's words alone.
QRectF withTrailingSpace(const QRectF &box, const QRectF &last, GlyphPlace::Turn turn,
                         const std::vector<TrailingSpace> &spaces, const SpaceCells &cells)
{
    // A glyph's box spans a few cells; spaces found in one cell are few.
    const long long kCells = 16;
    const int kCandidates = 16;
    if (turn != GlyphPlace::Right && turn != GlyphPlace::Down)
        return box;
    const QRectF near = last.normalized().adjusted(-1, -1, 1, 1);
    GlyphPlace place = placeOf(box, turn);
    const double along1 = place.along1;
    const double height = place.across1 - place.across0, reach = place.along1 + 2 * height;
    const std::pair<long long, long long> from = spaceCell(near.topLeft()), to = spaceCell(near.bottomRight());
    if ((to.first - from.first + 1) * (to.second - from.second + 1) > kCells)
        return box;
    for (long long x = from.first; x <= to.first; ++x) {
        for (long long y = from.second; y <= to.second; ++y) {
            auto it = std::lower_bound(cells.begin(), cells.end(), std::make_pair(std::make_pair(x, y), size_t(0)));
            for (int k = 0; k < kCandidates && it != cells.end() && it->first == std::make_pair(x, y); ++k, ++it) {
                const TrailingSpace &s = spaces[it->second];
                const GlyphPlace end = placeOf(QRectF(s.end, s.end), turn);
                if (near.contains(s.glyph) && end.across0 >= place.across0 - 1 && end.across0 <= place.across1 + 1
                    && end.along0 > place.along1 && end.along0 <= reach)
                    place.along1 = end.along0;
            }
        }
    }
    return place.along1 == along1 ? box : shownBox(turn, place.along0, place.along1, place.across0, place.across1);
}

// How far below its box the descenders of a scan's word written right reach,
// as a share of the box's height: the library's box for a recognised text's
// font is shallow, the scan's ink below the baseline is not.
const double kDescent = 0.3;
// Words found in the band below a word at most: a page packing more there
// leaves the word's box as it is.
const int kBelowCandidates = 64;

// The words written right and drawn invisibly (`invisible`) grown below to
// their scan's descenders, but never into the top of another word written
// right below them whose span along the line meets theirs: the next line
// stays its own. Their left and top, and every other word, stay as they are.
void withDescents(const std::vector<bool> &invisible, const std::vector<bool> &right, QVector<WordBox> *words)
{
    std::vector<std::pair<double, int>> byTop;
    // A box off every scale sorts nowhere and is grown by none.
    const auto usable = [](const WordBox &w) {
        return std::isfinite(w.top) && std::isfinite(w.left) && std::isfinite(w.width) && std::isfinite(w.height);
    };
    for (int i = 0; i < words->size(); ++i)
        if (right[size_t(i)] && usable((*words)[i]))
            byTop.emplace_back((*words)[i].top, i);
    std::sort(byTop.begin(), byTop.end());
    for (int i = 0; i < words->size(); ++i) {
        WordBox &w = (*words)[i];
        if (!invisible[size_t(i)] || !right[size_t(i)] || !usable(w))
            continue;
        const double bottom = w.top + w.height;
        double reach = bottom + kDescent * w.height;
        auto it = std::lower_bound(byTop.begin(), byTop.end(), std::make_pair(w.top + w.height / 2, -1));
        int seen = 0;
        for (; it != byTop.end() && it->first < reach && seen < kBelowCandidates; ++it, ++seen) {
            const WordBox &o = (*words)[it->second];
            if (it->second != i && o.left < w.left + w.width && w.left < o.left + o.width)
                reach = std::max(bottom, std::min(reach, o.top));
        }
        if (seen < kBelowCandidates)
            w.height = reach - w.top;
    }
}

// Each word from its first fragment on, in the library's order of first
// fragments; a ring of links (which the library's order cannot make, but
// costs nothing to survive) starts where it was first met. A fragment of
// marks alone is part of the word of the letter it stands over.
QVector<WordBox> wordsOf(const Boxes &boxes, const std::vector<Fragment> &fragments, const std::vector<int> &next,
                         const std::vector<double> &slopes, const std::vector<MarkBase> &bases,
                         const std::vector<TrailingSpace> &spaces)
{
    const SpaceCells cells = spaceCells(spaces);
    const int n = boxes.size();
    std::vector<bool> first(size_t(n), true), done(size_t(n), false);
    std::vector<std::vector<int>> marksOver(fragments.size());
    for (int i = 0; i < n; ++i) {
        if (next[size_t(i)] >= 0)
            first[size_t(next[size_t(i)])] = false;
        if (bases[size_t(i)].fragment >= 0) {
            done[size_t(i)] = true;
            marksOver[size_t(bases[size_t(i)].fragment)].push_back(i);
        }
    }
    QVector<WordBox> words;
    words.reserve(n);
    // Which words a space drawn invisibly grew (a scan's), and which are
    // written right, level.
    std::vector<bool> invisible, right;
    for (const bool heads : {true, false}) {
        for (int start = 0; start < n; ++start) {
            if (done[size_t(start)] || (heads && !first[size_t(start)]))
                continue;
            WordBox w;
            QRectF box;
            std::vector<int> chain, marks;
            for (int i = start; i >= 0 && !done[size_t(i)]; i = next[size_t(i)]) {
                done[size_t(i)] = true;
                chain.push_back(i);
                const double slope = slopes[size_t(i)];
                const QRectF r = slope != 0 ? tiltedBox(fragments[size_t(i)], slope) : boxes[i]->boundingBox();
                box = i == start ? r : box.united(r);
                w.text += boxes[i]->text();
                w.tilted = w.tilted || slope != 0;
                marks.insert(marks.end(), marksOver[size_t(i)].begin(), marksOver[size_t(i)].end());
            }
            for (const int m : marks)
                box = box.united(boxes[m]->boundingBox());
            if (!marks.empty())
                w.text = textWithMarks(boxes, chain, marks, bases);
            const Fragment &end = fragments[size_t(chain.back())];
            const GlyphPlace::Turn turn = fragments[size_t(start)].place.turn;
            const QRectF own = box;
            if (!cells.empty() && !w.tilted && end.glyphs > 0)
                box = withTrailingSpace(box, boxes[chain.back()]->charBoundingBox(end.glyphs - 1), turn, spaces, cells);
            invisible.push_back(box != own);
            right.push_back(turn == GlyphPlace::Right && !w.tilted);
            w.left = box.left();
            w.top = box.top();
            w.width = box.width();
            w.height = box.height();
            w.vertical = turn == GlyphPlace::Down || turn == GlyphPlace::Up;
            words.append(w);
        }
    }
    withDescents(invisible, right, &words);
    return words;
}
}

QVector<WordBox> pageWords(const Poppler::Page &page, bool (*stop)(const QVariant &), const QVariant &closure,
                           const std::vector<TrailingSpace> &spaces)
{
    const OwnedBoxes owned(page.textList(Poppler::Page::Rotate0, stop, closure));
    const Boxes &boxes = owned.boxes;
    IndexOf indexOf;
    for (int i = 0; i < boxes.size(); ++i)
        indexOf.insert(boxes[i], i);
    const std::vector<Fragment> fragments = fragmentsOf(boxes, indexOf);
    // The fragments of a tilted word touch one another along it: one word.
    std::vector<double> slopes(fragments.size(), 0);
    std::vector<int> tilted(fragments.size(), -1);
    linkTiltedFragments(fragments, &tilted, &slopes);
    const std::vector<MarkBase> bases = markBases(boxes, fragments, slopes);
    const std::vector<int> next = wordLinks(page, boxes, indexOf, fragments, bases, std::move(tilted));
    return wordsOf(boxes, fragments, next, slopes, bases, spaces);
}

QVector<PlacedWord> pageRuns(const Poppler::Page &page, bool (*stop)(const QVariant &), const QVariant &closure,
                             const std::vector<TrailingSpace> &spaces)
{
    return groupLines(pageWords(page, stop, closure, spaces));
}
