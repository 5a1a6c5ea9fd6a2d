#include "glyphremover.h"

#include "backdrop.h"
#include "glyphfinder.h"
#include "markedtexts.h"
#include "mupdfguard.h"
#include "pageglyphs.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

namespace
{
using Glyph = PageGlyphs::Glyph;
using Show = PageGlyphs::Show;

// How far the cover of words drawn invisibly may reach past the rule's box:
// the box is written in whole units.
constexpr float kCoverBeyondBox = 1;

// A TJ adjustment as the shortest decimal that reads back as the same
// double, without an exponent (PDF numbers have none): a kept glyph after
// removed ones then stands where it stood. Written without the C library's
// formatting, which a page of many edits would spend most of its time in;
// what no number can be, and what moves by less than a billionth of a
// unit, is written as 0.
std::string number(double v)
{
    char buf[400];   // the largest double, in full
    const double written = std::isfinite(v) && std::fabs(v) >= 1e-9 ? v : 0.0;
    const auto end = std::to_chars(buf, buf + sizeof buf, written, std::chars_format::fixed);
    return std::string(buf, end.ptr);
}

std::string hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out = "<";
    for (const char c : bytes) {
        out += digits[(static_cast<unsigned char>(c) >> 4) & 0xF];
        out += digits[static_cast<unsigned char>(c) & 0xF];
    }
    return out + ">";
}

void appendUtf8(std::string *out, char32_t c)
{
    char bytes[FZ_UTFMAX];
    out->append(bytes, size_t(fz_runetochar(bytes, int(c))));
}

size_t firstGlyph(const Show &show)
{
    for (const Show::Item &item : show.items)
        if (item.isString)
            return item.first;
    return 0;
}

// The operator `show` (its stream's bytes `bytes`) without the glyphs
// flagged in `removed` (indexed from the show's first glyph): a TJ in which
// each removed glyph becomes a number moving exactly as far as it did (one
// a glyph, so a reader adds the same steps as for the glyphs, and a kept
// glyph after them lands on the very same fraction of a pixel), the kept
// glyphs between stay together in one string, and the other numbers keep
// the bytes the file wrote, so every kept glyph stays where it was.
std::string rewritten(const Show &show, const std::string &bytes, const std::vector<Glyph> &glyphs,
                      const std::vector<bool> &removed)
{
    const size_t base = firstGlyph(show);
    std::string array, kept;
    const auto flush = [&]() {
        if (!kept.empty())
            array += hex(kept);
        kept.clear();
    };
    const auto copied = [&bytes](size_t from, size_t to) {
        return to > from && to <= bytes.size() ? bytes.substr(from, to - from) : std::string("0");
    };
    for (const Show::Item &item : show.items) {
        if (!item.isString) {
            flush();
            array += ' ' + copied(item.start, item.end) + ' ';
            continue;
        }
        for (size_t g = item.first; g < item.first + item.count; ++g) {
            if (removed[g - base]) {
                flush();
                array += ' ' + number(glyphs[g].adjust) + ' ';
            } else {
                kept += glyphs[g].code;
            }
        }
        flush();
    }
    std::string prefix;
    if (show.kind == Show::Quote)
        prefix = "T* ";
    else if (show.kind == Show::DoubleQuote)
        prefix = copied(show.wordSpaceStart, show.wordSpaceEnd) + " Tw " + copied(show.charSpaceStart, show.charSpaceEnd)
            + " Tc T* ";
    return ' ' + prefix + '[' + array + "] TJ";
}

// What a request's words were: their text, and where and how they stood.
GlyphRemover::Removed describe(const std::vector<Glyph> &glyphs, const std::vector<size_t> &match)
{
    GlyphRemover::Removed removed;
    const Glyph *first = nullptr;
    bool blank = false;
    for (const size_t i : match) {
        const Glyph &g = glyphs[i];
        if (g.space || g.text.empty()) {
            blank = blank || g.space;
            continue;
        }
        if (blank && !removed.text.empty())
            removed.text += ' ';
        blank = false;
        for (const char32_t c : g.text)
            appendUtf8(&removed.text, c);
        if (!first)
            first = &g;
    }
    if (!first)
        return removed;
    // The start of the first glyph's line: the glyph on that baseline that
    // comes first in the writing direction.
    const fz_point d = first->direction;
    const auto along = [d](const fz_point &p) { return p.x * d.x + p.y * d.y; };
    const auto across = [d](const fz_point &p) { return p.y * d.x - p.x * d.y; };
    const Glyph *start = first;
    float end = along(first->origin) + first->extent;
    for (const size_t i : match) {
        const Glyph &g = glyphs[i];
        if (g.space || (g.text.empty() && !g.continues))
            continue;
        end = std::max(end, along(g.origin) + g.extent);
        if (std::fabs(across(g.origin) - across(first->origin)) < first->size / 2 && along(g.origin) < along(start->origin))
            start = &g;
    }
    removed.origin = start->origin;
    removed.direction = d;
    removed.size = start->size;
    removed.color = start->color;
    removed.width = std::max(0.0f, end - along(start->origin));
    removed.charSpace = start->charSpace;
    removed.bold = start->bold;
    removed.italic = start->italic;
    return removed;
}

bool hasDanglingEnd(const PageGlyphs::Stream &s)
{
    // The content syntax's white space, NUL (the literal's end) among it.
    static const char kWhite[] = " \t\r\n\f";
    return s.bytes.find_first_not_of(kWhite, s.cleanEnd, sizeof kWhite) != std::string::npos;
}

// A character and the cell of a few units where a glyph showing it starts:
// a word drawn again over itself starts its first letter in the same cell,
// give or take the slight offset of a bolder look (a cell's neighbours are
// not looked at: such an offset rarely crosses a cell's edge).
unsigned long long startKey(char32_t c, const fz_point &origin)
{
    const auto cell = [](float v) { return (unsigned long long)(long long)std::floor(std::max(-1e6f, std::min(1e6f, v)) / 4) & 0xFFFFF; };
    return ((unsigned long long)c << 40) | (cell(origin.x) << 20) | cell(origin.y);
}

// The box of a match's glyphs but its blanks (glyphs of an /ActualText span
// all count: they show its text).
fz_rect inkOf(const std::vector<Glyph> &glyphs, const std::vector<size_t> &match)
{
    fz_rect ink = fz_empty_rect;
    for (const size_t i : match)
        if (!glyphs[i].space && (!glyphs[i].text.empty() || glyphs[i].continues))
            ink = fz_union_rect(ink, glyphs[i].box);
    return ink;
}

// Whether two drawings of a text stand at one place: the most of either
// lies in the other.
bool sameShowing(const fz_rect &a, const fz_rect &b)
{
    const fz_rect both = fz_intersect_rect(a, b);
    const auto area = [](const fz_rect &r) { return fz_is_empty_rect(r) ? 0.0 : double(r.x1 - r.x0) * double(r.y1 - r.y0); };
    return area(both) > 0.5 * std::max(area(a), area(b));
}

// A new stream object holding `bytes`, compressed; its dictionary copies
// `like` (a form's) when given.
pdf_obj *addStream(fz_context *ctx, pdf_document *doc, const std::string &bytes, pdf_obj *like, bool compress)
{
    pdf_obj *stream = nullptr;
    guarded(ctx, [&] {
        fz_buffer *buffer = nullptr;
        pdf_obj *dict = nullptr;
        fz_var(buffer);
        fz_var(dict);
        fz_try(ctx) {
            buffer = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char *>(bytes.data()),
                                                    bytes.size());
            dict = like ? pdf_copy_dict(ctx, like) : pdf_new_dict(ctx, doc, 1);
            pdf_dict_del(ctx, dict, PDF_NAME(Filter));
            pdf_dict_del(ctx, dict, PDF_NAME(DecodeParms));
            pdf_dict_del(ctx, dict, PDF_NAME(Length));
            pdf_dict_del(ctx, dict, PDF_NAME(DL));
            if (compress) {
                size_t length = 0;
                unsigned char *data = fz_new_deflated_data_from_buffer(ctx, &length, buffer, FZ_DEFLATE_BEST_SPEED);
                fz_drop_buffer(ctx, buffer);
                buffer = nullptr;
                buffer = fz_new_buffer_from_data(ctx, data, length);
                pdf_dict_put(ctx, dict, PDF_NAME(Filter), PDF_NAME(FlateDecode));
            }
            stream = pdf_add_stream(ctx, doc, buffer, dict, compress ? 1 : 0);
        }
        fz_always(ctx) {
            pdf_drop_obj(ctx, dict);
            fz_drop_buffer(ctx, buffer);
        }
        fz_catch(ctx)
            fz_rethrow(ctx);
    });
    return stream;
}

// A copy of `resources` whose XObject names in `forms` point at new objects.
pdf_obj *withForms(fz_context *ctx, pdf_document *doc, pdf_obj *resources, const std::map<std::string, pdf_obj *> &forms)
{
    pdf_obj *copy = nullptr;
    guarded(ctx, [&] {
        copy = resources ? pdf_copy_dict(ctx, resources) : pdf_new_dict(ctx, doc, 1);
        pdf_obj *old = pdf_dict_get(ctx, copy, PDF_NAME(XObject));
        pdf_obj *xobjects = pdf_is_dict(ctx, old) ? pdf_copy_dict(ctx, old) : pdf_new_dict(ctx, doc, 2);
        pdf_dict_put_drop(ctx, copy, PDF_NAME(XObject), xobjects);
    });
    for (const auto &entry : forms) {
        const char *name = entry.first.c_str();
        pdf_obj *form = entry.second;
        guarded(ctx, [&] { pdf_dict_puts(ctx, pdf_dict_get(ctx, copy, PDF_NAME(XObject)), name, form); });
    }
    return copy;
}

// Owns the objects made while a page is rewritten.
class Made
{
public:
    explicit Made(fz_context *ctx) : ctx_(ctx) {}
    ~Made()
    {
        for (pdf_obj *o : objects_)
            pdf_drop_obj(ctx_, o);
    }
    Made(const Made &) = delete;
    Made &operator=(const Made &) = delete;
    pdf_obj *keep(pdf_obj *o)
    {
        objects_.push_back(o);
        return o;
    }

private:
    fz_context *ctx_;
    std::vector<pdf_obj *> objects_;
};

// Writes the page's changed streams back: new stream objects for changed
// content, copies of the forms that hold changed content (and of the forms
// and resources leading to them), and the page's content list, wrapped so
// whatever is drawn after it starts in the page's first graphics state.
void writeBack(fz_context *ctx, pdf_document *doc, pdf_page *page, const PageGlyphs &scan,
               const std::map<int, std::string> &newBytes)
{
    const std::deque<PageGlyphs::Stream> &streams = scan.streams();
    Made made(ctx);
    std::vector<pdf_obj *> replacement(streams.size(), nullptr);
    std::vector<std::map<std::string, pdf_obj *>> children(streams.size());
    std::map<std::string, pdf_obj *> pageChildren;
    pdf_obj *pageResources = nullptr;
    for (size_t i = streams.size(); i-- > 0;) {
        const PageGlyphs::Stream &s = streams[i];
        const auto changed = newBytes.find(int(i));
        if (s.parent < 0) {
            pageResources = s.resources;
            if (changed != newBytes.end())
                replacement[i] = made.keep(addStream(ctx, doc, changed->second, nullptr, true));
            continue;
        }
        if (changed == newBytes.end() && children[i].empty())
            continue;
        pdf_obj *form = made.keep(addStream(ctx, doc, changed != newBytes.end() ? changed->second : s.bytes,
                                            s.object, true));
        if (!children[i].empty()) {
            pdf_obj *resources = made.keep(withForms(ctx, doc, s.resources, children[i]));
            guarded(ctx, [&] { pdf_dict_put(ctx, form, PDF_NAME(Resources), resources); });
        }
        std::map<std::string, pdf_obj *> &siblings =
            streams[size_t(s.parent)].parent < 0 ? pageChildren : children[size_t(s.parent)];
        siblings[s.name] = form;
    }
    // What restores the state the page started in. Content that restores
    // more states than it saved cannot be wrapped without changing how it
    // draws; there only the states it leaves saved are restored.
    const bool wrap = !scan.restoredTooMany();
    pdf_obj *opening = wrap ? made.keep(addStream(ctx, doc, "q\n", nullptr, false)) : nullptr;
    std::string closingBytes = "\n";
    for (int i = 0; i < scan.openStates() + (wrap ? 1 : 0); ++i)
        closingBytes += "Q\n";
    pdf_obj *closing = made.keep(addStream(ctx, doc, closingBytes, nullptr, false));
    pdf_obj *resources = pageChildren.empty() ? nullptr : made.keep(withForms(ctx, doc, pageResources, pageChildren));
    guarded(ctx, [&] {
        pdf_obj *contents = pdf_new_array(ctx, doc, int(streams.size()) + 2);
        fz_try(ctx) {
            if (opening)
                pdf_array_push(ctx, contents, opening);
            for (size_t i = 0; i < streams.size(); ++i) {
                if (streams[i].parent >= 0)
                    continue;
                if (replacement[i])
                    pdf_array_push(ctx, contents, replacement[i]);
                else
                    for (pdf_obj *part : streams[i].parts)
                        pdf_array_push(ctx, contents, part);
            }
            pdf_array_push(ctx, contents, closing);
            pdf_dict_put(ctx, page->obj, PDF_NAME(Contents), contents);
            if (resources)
                pdf_dict_put(ctx, page->obj, PDF_NAME(Resources), resources);
        }
        fz_always(ctx)
            pdf_drop_obj(ctx, contents);
        fz_catch(ctx)
            fz_rethrow(ctx);
    });
}

// Places where two glyphs of one character start: only there can words be
// drawn again over themselves, so only there are they looked for again.
// Kept as bits by a hash of the place, which may now and then send a word
// through one more search, but takes a pass over the glyphs.
class RepeatedStarts
{
public:
    explicit RepeatedStarts(const std::vector<Glyph> &glyphs)
    {
        while (bits_ < glyphs.size() * 32)
            bits_ *= 2;
        std::vector<bool> once(bits_, false);
        twice_.assign(bits_, false);
        for (const Glyph &g : glyphs) {
            if (g.text.empty() || g.space)
                continue;
            const size_t at = slot(startKey(g.text[0], g.origin));
            if (once[at])
                twice_[at] = true;
            once[at] = true;
        }
    }
    bool at(const Glyph &g) const { return !g.text.empty() && twice_[slot(startKey(g.text[0], g.origin))]; }

private:
    size_t slot(unsigned long long key) const { return size_t((key * 0x9E3779B97F4A7C15ull) >> 20) & (bits_ - 1); }
    size_t bits_ = 1024;
    std::vector<bool> twice_;
};

// Takes the glyphs of `best` (lying at `ink`), and the same words drawn
// again over them (a bolder look, a shadow, a form repeating the page): a
// reader would still read them there.
void takeWithRepeats(GlyphFinder *finder, const RepeatedStarts &repeated, const std::vector<Glyph> &glyphs,
                     const GlyphFinder::Match &best, const fz_rect &ink, const GlyphRemover::Request &request,
                     const std::string &find, std::vector<bool> *removed)
{
    finder->take(best);
    for (const size_t g : best.glyphs)
        (*removed)[g] = true;
    size_t lead = 0;
    while (lead + 1 < best.glyphs.size() && (glyphs[best.glyphs[lead]].space || glyphs[best.glyphs[lead]].text.empty()))
        ++lead;
    for (bool again = repeated.at(glyphs[best.glyphs[lead]]); again;) {
        const GlyphFinder::Match other = finder->find(find, request.box, false);
        again = !other.glyphs.empty() && sameShowing(ink, inkOf(glyphs, other.glyphs));
        if (!again)
            break;
        finder->take(other);
        for (const size_t g : other.glyphs)
            (*removed)[g] = true;
    }
}

// Whether any glyph of the words shows nothing: what the user sees of them
// is then something else, a scan most often.
bool drawnInvisibly(const std::vector<Glyph> &glyphs, const std::vector<size_t> &match)
{
    return std::any_of(match.begin(), match.end(), [&glyphs](size_t i) { return glyphs[i].invisible; });
}

// Where the words drawn invisibly at `ink` (glyphs `match`) are to be
// covered, noted in `removed`; false, naming why in `why`, where they
// cannot be. A recognised text's blanks after its words belong to them: the
// scan's word may reach over them.
bool covered(Backdrop *backdrop, const std::vector<Glyph> &glyphs, const std::vector<size_t> &match, const fz_rect &ink,
             const fz_rect &box, GlyphRemover::Removed *removed, std::string *why)
{
    fz_rect room = ink;
    for (size_t g = match.back() + 1; g < glyphs.size() && glyphs[g].space && glyphs[g].invisible; ++g)
        room = fz_union_rect(room, glyphs[g].box);
    Backdrop::Cover cover;
    if (!backdrop->cover({room, removed->origin, removed->direction, removed->width, removed->size}, &cover, why))
        return false;
    // The cover changes the page only in the rule's box, give or take the
    // rounding of the box's edges to whole units.
    const float past = std::max({box.x0 - cover.box.x0, cover.box.x1 - box.x1, box.y0 - cover.box.y0, cover.box.y1 - box.y1});
    if (past > kCoverBeyondBox) {
        char amount[32];
        std::snprintf(amount, sizeof amount, "%.1f", double(past));
        *why = std::string("its words are drawn invisibly over a picture that shows them up to ") + amount
            + " units past its box; covering them would change the page outside it (a box taking them in whole is "
              "applied)";
        return false;
    }
    removed->cover = fz_intersect_rect(fz_expand_rect(cover.box, cover.edge), fz_expand_rect(box, kCoverBeyondBox));
    removed->ground = cover.ground;
    if (cover.ink >= 0)
        removed->color = cover.ink;
    return true;
}

// New bytes for parts of streams: (stream, first byte) to (end, bytes).
using Edits = std::map<std::pair<int, size_t>, std::pair<size_t, std::string>>;

// The operators showing removed glyphs rewritten, once per place in a
// stream: a form drawn twice on the page shows its operators twice, and
// loses the glyphs either drawing lost.
Edits showEdits(const PageGlyphs &scan, const std::vector<bool> &removed)
{
    struct Edit
    {
        size_t show;
        std::vector<bool> removed;
    };
    std::map<std::pair<int, size_t>, Edit> edits;
    const std::vector<Show> &shows = scan.shows();
    for (size_t s = 0; s < shows.size(); ++s) {
        const size_t base = firstGlyph(shows[s]);
        size_t count = 0;
        for (const Show::Item &item : shows[s].items)
            count += item.count;
        bool touched = false;
        for (size_t g = base; g < base + count; ++g)
            touched = touched || removed[g];
        if (!touched)
            continue;
        Edit &edit = edits.emplace(std::make_pair(shows[s].stream, shows[s].start), Edit{s, std::vector<bool>(count, false)})
                         .first->second;
        if (edit.removed.size() != count)
            continue;   // the same bytes read another way; the first reading stands
        for (size_t g = 0; g < count; ++g)
            edit.removed[g] = edit.removed[g] || removed[base + g];
    }
    Edits out;
    for (const auto &entry : edits) {
        const Show &show = shows[entry.second.show];
        out[entry.first] = {show.end, rewritten(show, scan.streams()[size_t(show.stream)].bytes, scan.glyphs(),
                                                entry.second.removed)};
    }
    return out;
}

// The texts of the marked content holding removed glyphs changed: property
// lists written in the content as edits, those the resources name and the
// structure elements in place.
void changeMarkedTexts(fz_context *ctx, pdf_document *doc, pdf_page *page, const PageGlyphs &scan,
                       const std::vector<bool> &removed, const std::vector<MarkedTexts::Change> &changes, Edits *edits)
{
    if (scan.marked().empty())
        return;
    // Removed glyphs before each glyph, so a span of any length is asked at once.
    std::vector<size_t> before(removed.size() + 1, 0);
    for (size_t g = 0; g < removed.size(); ++g)
        before[g + 1] = before[g] + (removed[g] ? 1 : 0);
    std::set<int> mcids;
    std::set<pdf_obj *> named;
    for (const PageGlyphs::Marked &m : scan.marked()) {
        if (before[m.end] == before[m.first])
            continue;
        if (m.stop > m.start) {
            const std::string &bytes = scan.streams()[size_t(m.stream)].bytes;
            const std::string was = bytes.substr(m.start, m.stop - m.start);
            std::string now = MarkedTexts::changedProperties(ctx, was, changes);
            if (now != was)
                edits->emplace(std::make_pair(m.stream, m.start), std::make_pair(m.stop, std::move(now)));
        } else if (m.properties && named.insert(m.properties).second) {
            MarkedTexts::changeDictionary(ctx, m.properties, changes);
        }
        // Structure refers to the page's own content by MCID alone.
        if (m.mcid >= 0 && scan.streams()[size_t(m.stream)].parent < 0)
            mcids.insert(m.mcid);
    }
    if (!mcids.empty())
        MarkedTexts::changeStructure(ctx, doc, page->obj, mcids, changes);
}

// The new bytes of each stream that changes: `edits` applied, and the
// page's content ended at its last whole operator.
std::map<int, std::string> newStreamBytes(const PageGlyphs &scan, const Edits &edits)
{
    std::map<int, std::string> newBytes;
    std::map<int, size_t> copiedUpTo;
    for (const auto &entry : edits) {
        const int stream = entry.first.first;
        const std::string &old = scan.streams()[size_t(stream)].bytes;
        std::string &bytes = newBytes[stream];
        size_t &from = copiedUpTo[stream];
        if (entry.first.second < from)
            continue;   // within an edit before it
        bytes.append(old, from, entry.first.second - from);
        bytes += entry.second.second;
        from = entry.second.first;
    }
    // The page's content is followed by what this program draws: what it
    // leaves open (an array, a string, an inline image without its end)
    // would take that in, so it ends at its last whole operator. Readers
    // drop such a dangling end anyway.
    const std::deque<PageGlyphs::Stream> &streams = scan.streams();
    std::map<int, size_t> ends;
    for (size_t i = 0; i < streams.size(); ++i) {
        if (streams[i].parent < 0 && hasDanglingEnd(streams[i])) {
            ends[int(i)] = streams[i].cleanEnd;
            newBytes.emplace(int(i), std::string());
        }
    }
    for (auto &entry : newBytes) {
        const std::string &old = streams[size_t(entry.first)].bytes;
        const auto end = ends.find(entry.first);
        const size_t from = copiedUpTo[entry.first];
        entry.second.append(old, from, end == ends.end() ? std::string::npos : end->second - std::min(from, end->second));
        if (end != ends.end())
            entry.second += '\n';
    }
    return newBytes;
}

// What replaces each request's words, for the texts that name them.
std::vector<MarkedTexts::Change> changesOf(const std::vector<GlyphRemover::Request> &requests,
                                           const std::vector<GlyphRemover::Removed> &results)
{
    std::vector<MarkedTexts::Change> changes;
    for (size_t r = 0; r < requests.size(); ++r) {
        const int found = results[r].found;
        if (found < 0)
            continue;
        const std::string replacement = size_t(found) < requests[r].replaces.size() ? requests[r].replaces[size_t(found)]
                                                                                     : std::string();
        changes.push_back({results[r].text, replacement});
        if (requests[r].finds[size_t(found)] != results[r].text)
            changes.push_back({requests[r].finds[size_t(found)], replacement});
    }
    return changes;
}
}

std::vector<GlyphRemover::Removed> GlyphRemover::remove(fz_context *ctx, pdf_document *doc, pdf_page *page,
                                                        const fz_matrix &toShown, FontCache *fonts,
                                                        const std::vector<Request> &requests)
{
    const PageGlyphs scan(ctx, page, toShown, fonts);
    const std::vector<Glyph> &glyphs = scan.glyphs();
    size_t queries = 0;
    for (const Request &r : requests)
        queries += r.finds.size();
    GlyphFinder finder(glyphs, queries);
    const RepeatedStarts repeated(glyphs);
    Backdrop backdrop(ctx, page);
    std::vector<Removed> results(requests.size());
    std::vector<bool> removed(glyphs.size(), false);
    bool any = false;
    for (size_t r = 0; r < requests.size(); ++r) {
        GlyphFinder::Match best;
        int found = -1;
        for (size_t f = 0; f < requests[r].finds.size(); ++f) {
            GlyphFinder::Match m = finder.find(requests[r].finds[f], requests[r].box);
            if (!m.glyphs.empty() && (best.glyphs.empty() || m.score > best.score + 1e-9)) {
                best = std::move(m);
                found = int(f);
            }
        }
        if (found < 0)
            continue;
        const fz_rect ink = inkOf(glyphs, best.glyphs);
        if (std::any_of(scan.unread().begin(), scan.unread().end(),
                        [&ink](const fz_rect &r) { return !fz_is_empty_rect(fz_intersect_rect(r, ink)); })) {
            results[r].hiddenShowing = true;
            continue;
        }
        Removed described = describe(glyphs, best.glyphs);
        if (!requests[r].picture && drawnInvisibly(glyphs, best.glyphs)
            && !covered(&backdrop, glyphs, best.glyphs, ink, requests[r].box, &described, &results[r].refusal))
            continue;
        results[r] = std::move(described);
        results[r].found = found;
        results[r].ink = ink;
        any = true;
        takeWithRepeats(&finder, repeated, glyphs, best, ink, requests[r], requests[r].finds[size_t(found)], &removed);
    }
    if (!any)
        return results;
    Edits edits = showEdits(scan, removed);
    changeMarkedTexts(ctx, doc, page, scan, removed, changesOf(requests, results), &edits);
    writeBack(ctx, doc, page, scan, newStreamBytes(scan, edits));
    return results;
}
