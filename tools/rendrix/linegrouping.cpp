#include "linegrouping.h"

#include <QPoint>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <queue>
#include <set>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

namespace
{
struct Word
{
    double left, top, width, height, centre;
    int index;   // position in the input
};

// Lower median of a running set of heights, in logarithmic time per insert,
// so a page with thousands of words on one line stays cheap.
class RunningMedian
{
public:
    void add(double v)
    {
        if (lower_.empty() || v <= lower_.top())
            lower_.push(v);
        else
            upper_.push(v);
        if (lower_.size() > upper_.size() + 1) {
            upper_.push(lower_.top());
            lower_.pop();
        } else if (upper_.size() > lower_.size()) {
            lower_.push(upper_.top());
            upper_.pop();
        }
    }
    double value() const { return lower_.top(); }

private:
    std::priority_queue<double> lower_;
    std::priority_queue<double, std::vector<double>, std::greater<double>> upper_;
};

double median(std::vector<double> &v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Line
{
    std::vector<int> members;   // indices into the sorted word list, by centre
    int top = 1;
    int bottom = 2;
    double centre = 0;
    double left = 0, right = 0;   // the horizontal extent of its words
    int target = -1;            // line this one was attached to, or -1
};

// The edges (tops or bottoms) of a line's words, as the few values they
// gather at: a printed line has a baseline or two (another size, a raised
// mark), so the first few kept answer for the rest.
class Edges
{
public:
    void add(double v, double within)
    {
        if (values_.size() < kKept && !near(v, within))
            values_.push_back(v);
    }
    bool near(double v, double within) const
    {
        return std::any_of(values_.begin(), values_.end(), [&](double e) { return std::fabs(e - v) <= within; });
    }

private:
    static const size_t kKept = 8;
    std::vector<double> values_;
};

// A line the sweep may still add words to: what deciding a join needs,
// each in at most logarithmic time.
struct OpenLine
{
    int line = 0;
    RunningMedian heights;
    Edges tops, bottoms;
    std::set<std::pair<double, int>> byLeft;   // (left, sorted index) of its words
};

// Lines looked at each way for one a tall word would reach over, at most.
const size_t kReachLooks = 16;

// Lines open at once, at most: a page has a few columns side by side; past
// this the oldest line is closed, so a hostile page stays linear.
const size_t kOpenLines = 32;

int roundEdge(double v)
{
    // Boxes far outside any page are nonsense; keep the arithmetic in range.
    const double limit = 1e9;
    return int(std::lround(std::max(-limit, std::min(limit, v))));
}

// Blanks and control characters alone make no word: the text layer would
// show it as an empty run.
bool hasVisibleText(const QString &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return !c.isSpace() && c.category() != QChar::Other_Control; });
}

// Half a line height: the smaller of the two heights decides, so a tall glyph
// box cannot reach into the lines next to it. A floor of one point keeps
// boxes that are a point apart together even when a height is tiny.
double tolerance(double lineHeight, double wordHeight)
{
    return std::max(0.5 * std::min(lineHeight, wordHeight), 1.0);
}

// Edges this close (a share of the smaller height) stand on one baseline or
// under one top: other fonts and sizes of a printed line differ by less,
// neighbouring columns of other line spacing mostly by more.
double edgeTolerance(double lineHeight, double wordHeight)
{
    return std::max(0.15 * std::min(lineHeight, wordHeight), 0.5);
}

// Whether `w` stands beside a word of the line along it (a raised mark, a
// word of another size in the same sentence) or over it: a gap of at most
// half the smaller height.
bool besideWord(const OpenLine &open, const std::vector<Word> &words, const Word &w, int index)
{
    const auto beside = [&w](const Word &m) {
        return std::max(w.left - (m.left + m.width), m.left - (w.left + w.width)) <= 0.5 * std::min(w.height, m.height);
    };
    const auto after = open.byLeft.lower_bound({w.left, index});
    if (after != open.byLeft.end() && beside(words[size_t(after->second)]))
        return true;
    return after != open.byLeft.begin() && beside(words[size_t(std::prev(after)->second)]);
}

// Words join a line while their centre lies within half a line height of the
// line's median centre (the middle member, as members come by centre), and
// they share its baseline or top with one of its words or stand beside one:
// lines of neighbouring columns with other line spacing stay apart.
std::vector<Line> formLines(const std::vector<Word> &words)
{
    std::vector<Line> lines;
    std::vector<OpenLine> open;
    for (int i = 0; i < int(words.size()); ++i) {
        const Word &w = words[size_t(i)];
        // Lines this word and every later one lie too far below are done.
        open.erase(std::remove_if(open.begin(), open.end(),
                                  [&](const OpenLine &o) {
                                      const Line &line = lines[size_t(o.line)];
                                      const Word &mid = words[size_t(line.members[(line.members.size() - 1) / 2])];
                                      return w.centre - mid.centre > std::max(0.5 * o.heights.value(), 1.0);
                                  }),
                   open.end());
        OpenLine *best = nullptr;
        double bestDistance = 0;
        for (OpenLine &o : open) {
            const Line &line = lines[size_t(o.line)];
            const Word &mid = words[size_t(line.members[(line.members.size() - 1) / 2])];
            const double lineHeight = o.heights.value();
            const double distance = w.centre - mid.centre;
            if (distance > tolerance(lineHeight, w.height) || (best && distance >= bestDistance))
                continue;
            const double within = edgeTolerance(lineHeight, w.height);
            if (o.bottoms.near(w.top + w.height, within) || o.tops.near(w.top, within) || besideWord(o, words, w, i)) {
                best = &o;
                bestDistance = distance;
            }
        }
        if (!best) {
            if (open.size() >= kOpenLines)
                open.erase(open.begin());
            lines.emplace_back();
            open.emplace_back();
            best = &open.back();
            best->line = int(lines.size()) - 1;
        }
        lines[size_t(best->line)].members.push_back(i);
        best->heights.add(w.height);
        // Edges a tenth of the tolerance apart count as one.
        const double same = 0.1 * edgeTolerance(best->heights.value(), w.height);
        best->tops.add(w.top, same);
        best->bottoms.add(w.top + w.height, same);
        best->byLeft.emplace(w.left, i);
    }
    return lines;
}

// The shared box of a line: it holds its typical words, those whose height
// is near the line's median height; `pageTypical` decides between the two
// middle heights of a line with an even number of words.
void setBands(const std::vector<Word> &words, double pageTypical, std::vector<Line> *lines)
{
    std::vector<double> hs;
    for (Line &line : *lines) {
        hs.clear();
        for (int m : line.members)
            hs.push_back(words[size_t(m)].height);
        std::sort(hs.begin(), hs.end());
        const size_t n = hs.size();
        double typical = hs[n / 2];
        if (n % 2 == 0 && std::fabs(hs[n / 2 - 1] - pageTypical) <= std::fabs(hs[n / 2] - pageTypical))
            typical = hs[n / 2 - 1];
        double lineTop = 0, lineBottom = 0;
        bool first = true;
        for (int m : line.members) {
            const Word &w = words[size_t(m)];
            line.left = m == line.members.front() ? w.left : std::min(line.left, w.left);
            line.right = m == line.members.front() ? w.left + w.width : std::max(line.right, w.left + w.width);
            if (w.height <= typical * 1.5 && w.height * 1.5 >= typical) {
                lineTop = first ? w.top : std::min(lineTop, w.top);
                lineBottom = first ? w.top + w.height : std::max(lineBottom, w.top + w.height);
                first = false;
            }
        }
        const int top = roundEdge(lineTop);
        const int bottom = roundEdge(lineBottom);
        line.top = std::max(1, top);
        line.bottom = std::max(line.top + 1, bottom);
        line.centre = (line.top + line.bottom) / 2.0;
    }
}

// A line whose box holds a line beside it entirely, at least twice as tall (a
// lone bullet or initial several lines tall), would swallow that line's row;
// attach its words to the nearest such line instead. A line of another
// column, farther than the tall line's height, is no line it stands beside;
// a word of another size keeps its own line. Returns each line's
// owner: itself, or the line it was attached to.
std::vector<int> attachTallLines(const std::vector<std::pair<double, int>> &byCentre, std::vector<Line> *lines)
{
    for (int l = 0; l < int(lines->size()); ++l) {
        Line &big = (*lines)[size_t(l)];
        int best = -1;
        double bestDistance = 0;
        auto it = std::lower_bound(byCentre.begin(), byCentre.end(), std::make_pair(double(big.top), -1));
        for (; it != byCentre.end() && it->first <= big.bottom; ++it) {
            const Line &small = (*lines)[size_t(it->second)];
            if (it->second == l || small.top < big.top || small.bottom > big.bottom
                || 2 * (small.bottom - small.top) > big.bottom - big.top
                || std::max(small.left - big.right, big.left - small.right) > big.bottom - big.top)
                continue;
            const double d = std::fabs(small.centre - big.centre);
            if (best < 0 || d < bestDistance) {
                best = it->second;
                bestDistance = d;
            }
        }
        big.target = best;
    }
    // Targets are strictly shorter, so following them always ends.
    std::vector<int> owner(lines->size());
    for (int l = 0; l < int(lines->size()); ++l) {
        int t = l;
        while ((*lines)[size_t(t)].target >= 0)
            t = (*lines)[size_t(t)].target;
        owner[size_t(l)] = t;
    }
    return owner;
}

// Groups the words of one writing axis into lines and appends their runs to
// `out`. Words running down or up the page come transposed (x and y swapped),
// so their "lines" are columns; they are swapped back on the way out.
void appendLines(const QVector<WordBox> &input, std::vector<Word> words, bool transposed, QVector<PlacedWord> *out)
{
    // A total order on content alone (the input position only separates
    // identical words), so the output never depends on the input order.
    std::sort(words.begin(), words.end(), [&input](const Word &a, const Word &b) {
        if (a.centre != b.centre)
            return a.centre < b.centre;
        if (a.left != b.left)
            return a.left < b.left;
        if (a.top != b.top)
            return a.top < b.top;
        if (a.width != b.width)
            return a.width < b.width;
        const int byText = input[a.index].text.compare(input[b.index].text);
        if (byText != 0)
            return byText < 0;
        return a.index < b.index;
    });

    std::vector<double> pageHeights;
    pageHeights.reserve(words.size());
    for (const Word &w : words)
        pageHeights.push_back(w.height);
    const double pageTypical = pageHeights.empty() ? 0 : median(pageHeights);

    std::vector<Line> lines = formLines(words);
    setBands(words, pageTypical, &lines);
    std::vector<std::pair<double, int>> byCentre;
    byCentre.reserve(lines.size());
    for (int l = 0; l < int(lines.size()); ++l)
        byCentre.emplace_back(lines[size_t(l)].centre, l);
    std::sort(byCentre.begin(), byCentre.end());
    const std::vector<int> owner = attachTallLines(byCentre, &lines);

    struct Placed
    {
        int line;
        double left;
        int index;
        int sortedPos;
        int lineOfWord;   // its own line, before any attachment
    };
    std::vector<Placed> order;
    order.reserve(words.size());
    for (int l = 0; l < int(lines.size()); ++l)
        for (int m : lines[size_t(l)].members)
            order.push_back({owner[size_t(l)], words[size_t(m)].left, words[size_t(m)].index, m, l});
    std::sort(order.begin(), order.end(), [&](const Placed &a, const Placed &b) {
        return std::tie(lines[size_t(a.line)].top, a.line, a.left, a.sortedPos)
            < std::tie(lines[size_t(b.line)].top, b.line, b.left, b.sortedPos);
    });

    // Whether top to bottom reaches over the middle of another line that
    // overlaps `left`..`right` along: such an extent would join that line's
    // row to its own. Lines of other columns do not count. Its own middle
    // lies inside, so lines by centre are looked at outwards from it, a few
    // each way at most (more count as reached).
    std::vector<size_t> rank(lines.size());
    for (size_t k = 0; k < byCentre.size(); ++k)
        rank[size_t(byCentre[k].second)] = k;
    const auto reachesOtherLine = [&](int top, int bottom, int own, double left, double right) {
        const auto beside = [&](size_t r) {
            const Line &other = lines[size_t(byCentre[r].second)];
            return other.left < right && left < other.right;
        };
        const size_t k = rank[size_t(own)];
        size_t looked = 0;
        for (size_t r = k; r > 0 && byCentre[r - 1].first >= top; --r)
            if (++looked > kReachLooks || beside(r - 1))
                return true;
        looked = 0;
        for (size_t r = k + 1; r < byCentre.size() && byCentre[r].first <= bottom; ++r)
            if (++looked > kReachLooks || beside(r))
                return true;
        return false;
    };
    for (const Placed &p : order) {
        const Word &w = words[size_t(p.sortedPos)];
        const Line &line = lines[size_t(p.line)];
        const int left = std::max(1, roundEdge(w.left));
        const int width = std::max(1, roundEdge(w.left + w.width) - left);
        // A word taller than its line's band (another size, a larger font's
        // ascent) keeps its own edges too, so its run holds all its glyphs,
        // unless they reach over the next line; one attached to a line it
        // would swallow keeps that line's band.
        int top = line.top, bottom = line.bottom;
        if (owner[size_t(p.lineOfWord)] == p.lineOfWord) {
            const int ownTop = std::max(1, std::min(top, roundEdge(w.top)));
            const int ownBottom = std::max(ownTop + 1, std::max(bottom, roundEdge(w.top + w.height)));
            if ((ownTop < top || ownBottom > bottom) && !reachesOtherLine(ownTop, ownBottom, p.line, w.left, w.left + w.width)) {
                top = ownTop;
                bottom = ownBottom;
            }
        }
        PlacedWord pw;
        pw.left = transposed ? top : left;
        pw.top = transposed ? left : top;
        pw.width = transposed ? bottom - top : width;
        pw.height = transposed ? width : bottom - top;
        pw.text = input[p.index].text;
        out->append(pw);
    }
}

// Words that form no line, each with its own box, from the top and the left.
void appendAlone(const QVector<WordBox> &input, std::vector<Word> words, QVector<PlacedWord> *out)
{
    std::sort(words.begin(), words.end(), [&input](const Word &a, const Word &b) {
        if (std::tie(a.top, a.left, a.width, a.height) != std::tie(b.top, b.left, b.width, b.height))
            return std::tie(a.top, a.left, a.width, a.height) < std::tie(b.top, b.left, b.width, b.height);
        const int byText = input[a.index].text.compare(input[b.index].text);
        return byText != 0 ? byText < 0 : a.index < b.index;
    });
    for (const Word &w : words) {
        PlacedWord pw;
        pw.left = std::max(1, roundEdge(w.left));
        pw.top = std::max(1, roundEdge(w.top));
        pw.width = std::max(1, roundEdge(w.left + w.width) - pw.left);
        pw.height = std::max(1, roundEdge(w.top + w.height) - pw.top);
        pw.text = input[w.index].text;
        out->append(pw);
    }
}

// A picture rule names its run by page, left and top, so no two runs of a
// page may share them. A run whose corner an earlier run has moves it a unit
// right or down, its far edges kept, so it still holds its word within a
// unit; one that finds no free corner so (words piled on one spot) is left
// out, as no rule could name it.
void giveEachRunItsOwnCorner(QVector<PlacedWord> *runs)
{
    std::unordered_set<long long> taken;
    taken.reserve(size_t(runs->size()));
    const auto key = [](int left, int top) { return (long long)left << 32 | (unsigned)top; };
    int kept = 0;
    for (int i = 0; i < runs->size(); ++i) {
        PlacedWord run = (*runs)[i];
        for (const QPoint step : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)}) {
            if ((step.x() && run.width < 2) || (step.y() && run.height < 2)
                || taken.count(key(run.left + step.x(), run.top + step.y())))
                continue;
            run.left += step.x();
            run.width -= step.x();
            run.top += step.y();
            run.height -= step.y();
            taken.insert(key(run.left, run.top));
            (*runs)[kept++] = run;
            break;
        }
    }
    runs->resize(kept);
}
}

QVector<PlacedWord> groupLines(const QVector<WordBox> &input)
{
    // Horizontal words, and those running down or up the page with x and y
    // swapped, so each axis is grouped by the same rule; tilted words alone.
    std::vector<Word> axes[3];
    for (int i = 0; i < input.size(); ++i) {
        const WordBox &w = input[i];
        if (!std::isfinite(w.left) || !std::isfinite(w.top) || !std::isfinite(w.width)
            || !std::isfinite(w.height) || !hasVisibleText(w.text))
            continue;
        Word k;
        const double left = w.width < 0 ? w.left + w.width : w.left;
        const double top = w.height < 0 ? w.top + w.height : w.top;
        const bool swap = w.vertical && !w.tilted;
        k.left = swap ? top : left;
        k.top = swap ? left : top;
        k.width = std::fabs(swap ? w.height : w.width);
        k.height = std::fabs(swap ? w.width : w.height);
        k.centre = k.top + k.height / 2;
        k.index = i;
        axes[w.tilted ? 2 : w.vertical ? 1 : 0].push_back(k);
    }
    QVector<PlacedWord> out;
    out.reserve(input.size());
    appendLines(input, std::move(axes[0]), false, &out);
    appendLines(input, std::move(axes[1]), true, &out);
    appendAlone(input, std::move(axes[2]), &out);
    giveEachRunItsOwnCorner(&out);
    return out;
}
