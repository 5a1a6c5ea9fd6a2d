#include "unfollowedtext.h"

#include "mupdfguard.h"
#include "shownpage.h"

#include <cmath>
#include <new>
#include <set>
#include <utility>

namespace
{
// Resource dictionaries looked at for Type3 fonts; a page nesting more
// forms and patterns than this is taken to use one.
const size_t kResourcesLimit = 1000;
// Type3 glyphs drawing Type3 glyphs: deeper than this is not followed (a
// glyph may draw itself), and the reading counts as incomplete.
const int kType3Depth = 4;
// Glyphs looked at, Type3 procedures included, before the reading stops.
const size_t kGlyphLimit = 1000000;

using Glyph = PageGlyphs::Glyph;

// A device that takes in the glyphs of text: all of it while annotations
// are run, only what Type3 procedures draw while the content is. Called
// from the library, so it throws only the library's way.
struct Collector
{
    fz_device super;
    std::vector<Glyph> *out;
    fz_cookie *cookie;
    std::set<std::pair<const fz_font *, int>> *bare;   // Type3 glyphs whose procedure draws no text
    size_t seen;
    size_t texts;         // text objects met
    int depth;            // Type3 procedures being run
    bool inAnnotations;
    bool complete;
};

// Adds one glyph; false when memory runs out.
bool add(std::vector<Glyph> *out, int ucs, const fz_matrix &m, float advance, bool vertical, fz_font *font) noexcept
{
    try {
        out->emplace_back();
        Glyph &g = out->back();
        if (ucs > 0 && ucs <= 0x10FFFF)
            g.text = char32_t(ucs);
        const fz_rect box = vertical ? fz_make_rect(-0.5f, -advance, 0.5f, 0) : fz_make_rect(0, -0.2f, advance, 0.8f);
        g.box = fz_transform_rect(box, m);
        g.origin = fz_transform_point(fz_make_point(0, 0), m);
        g.direction = fz_normalize_vector(fz_transform_vector(vertical ? fz_make_point(0, -1) : fz_make_point(1, 0), m));
        g.size = std::sqrt(m.c * m.c + m.d * m.d);
        g.advance = g.extent = advance * g.size;
        g.removable = true;   // as the finder asks of a word's glyphs; nothing is removed here
        g.space = ucs > 0 && PageGlyphs::isWhiteSpace(char32_t(ucs));
        g.font = font;
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// A glyph mapped to several characters adds the rest to the glyph before.
bool extend(std::vector<Glyph> *out, int ucs) noexcept
{
    try {
        if (!out->empty() && ucs > 0 && ucs <= 0x10FFFF)
            out->back().text += char32_t(ucs);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void stop(Collector *c)
{
    c->complete = false;
    c->cookie->abort = 1;
}

void markBare(Collector *c, const fz_font *font, int gid) noexcept
{
    try {
        c->bare->emplace(font, gid);
    } catch (const std::bad_alloc &) {
        // only run again the next time it is drawn
    }
}

// What a Type3 glyph's procedure draws, taken in as text drawn there. A
// procedure found to draw no text (most draw shapes or pictures only) is
// not run again.
void runType3(fz_context *ctx, Collector *c, fz_font *font, int gid, const fz_matrix &m)
{
    if (c->bare->count(std::make_pair(static_cast<const fz_font *>(font), gid)))
        return;
    const size_t before = c->texts;
    ++c->depth;
    fz_try(ctx) {
        fz_run_t3_glyph(ctx, font, gid, m, &c->super);
        if (c->texts == before)
            markBare(c, font, gid);
    }
    fz_always(ctx)
        --c->depth;
    fz_catch(ctx)
        fz_rethrow(ctx);
}

void collect(fz_context *ctx, fz_device *dev, const fz_text *text, fz_matrix ctm)
{
    Collector *c = reinterpret_cast<Collector *>(dev);
    ++c->texts;
    const bool wanted = c->inAnnotations || c->depth > 0;
    for (const fz_text_span *span = text->head; span && c->complete; span = span->next) {
        const bool type3 = span->font && span->font->t3procs;
        bool added = false;
        for (int i = 0; i < span->len && c->complete; ++i) {
            const fz_text_item &item = span->items[i];
            if (++c->seen > kGlyphLimit) {
                stop(c);
                return;
            }
            fz_matrix trm = span->trm;
            trm.e = item.x;
            trm.f = item.y;
            const fz_matrix m = fz_concat(trm, ctm);
            if (wanted) {
                if (item.gid < 0 && added) {
                    if (!extend(c->out, item.ucs))
                        stop(c);
                } else {
                    const float advance = item.gid >= 0 ? fz_advance_glyph(ctx, span->font, item.gid, span->wmode) : 0;
                    added = add(c->out, item.ucs, m, advance, span->wmode, span->font);
                    if (!added)
                        stop(c);
                }
            }
            if (!type3 || item.gid < 0 || item.gid > 255 || !span->font->t3lists || !span->font->t3lists[item.gid])
                continue;
            if (c->depth >= kType3Depth) {
                stop(c);
                return;
            }
            runType3(ctx, c, span->font, item.gid, m);
        }
    }
}

void fillText(fz_context *ctx, fz_device *dev, const fz_text *text, fz_matrix ctm, fz_colorspace *, const float *, float,
              fz_color_params)
{
    collect(ctx, dev, text, ctm);
}

void strokeText(fz_context *ctx, fz_device *dev, const fz_text *text, const fz_stroke_state *, fz_matrix ctm,
                fz_colorspace *, const float *, float, fz_color_params)
{
    collect(ctx, dev, text, ctm);
}

void clipText(fz_context *ctx, fz_device *dev, const fz_text *text, fz_matrix ctm, fz_rect)
{
    collect(ctx, dev, text, ctm);
}

void clipStrokeText(fz_context *ctx, fz_device *dev, const fz_text *text, const fz_stroke_state *, fz_matrix ctm, fz_rect)
{
    collect(ctx, dev, text, ctm);
}

void ignoreText(fz_context *ctx, fz_device *dev, const fz_text *text, fz_matrix ctm)
{
    collect(ctx, dev, text, ctm);
}

// The list of `dict`'s entry `key` (a resources' Font, XObject or
// Pattern), resolved; null when there is none.
pdf_obj *listOf(fz_context *ctx, pdf_obj *dict, pdf_obj *key)
{
    pdf_obj *list = nullptr;
    guarded(ctx, [&] {
        list = pdf_resolve_indirect(ctx, pdf_dict_get(ctx, dict, key));
        if (!pdf_is_dict(ctx, list))
            list = nullptr;
    });
    return list;
}

// The dictionaries `list` names, each resolved.
std::vector<pdf_obj *> entries(fz_context *ctx, pdf_obj *list)
{
    int n = 0;
    guarded(ctx, [&] { n = pdf_dict_len(ctx, list); });
    std::vector<pdf_obj *> found;
    for (int i = 0; i < n; ++i) {
        pdf_obj *value = nullptr;
        guarded(ctx, [&] {
            value = pdf_resolve_indirect(ctx, pdf_dict_get_val(ctx, list, i));
            if (!pdf_is_dict(ctx, value))
                value = nullptr;
        });
        if (value)
            found.push_back(value);
    }
    return found;
}
}

UnfollowedText::Paths UnfollowedText::of(pdf_page *page)
{
    fz_context *ctx = ctx_;
    Paths paths;
    pdf_obj *annotations = nullptr, *resources = nullptr;
    int count = 0;
    guarded(ctx, [&] {
        annotations = pdf_dict_get(ctx, page->obj, PDF_NAME(Annots));
        count = pdf_array_len(ctx, annotations);
        resources = pdf_resolve_indirect(ctx, pdf_page_resources(ctx, page));
        if (!pdf_is_dict(ctx, resources))
            resources = nullptr;
    });
    // Links and pop-ups draw no text; any other annotation may.
    for (int i = 0; i < count && !paths.annotations; ++i) {
        guarded(ctx, [&] {
            pdf_obj *a = pdf_array_get(ctx, annotations, i);
            pdf_obj *subtype = pdf_dict_get(ctx, a, PDF_NAME(Subtype));
            paths.annotations = pdf_is_dict(ctx, a)
                && (pdf_dict_get(ctx, a, PDF_NAME(AP)) || !(pdf_name_eq(ctx, subtype, PDF_NAME(Link))
                                                            || pdf_name_eq(ctx, subtype, PDF_NAME(Popup))));
        });
    }
    // The page's resources, and those of the forms and tiling patterns they
    // name, each once; what an earlier page found clean is not walked again.
    std::vector<pdf_obj *> todo, walked;
    std::set<pdf_obj *> seen;
    if (resources)
        todo.push_back(resources);
    const auto fresh = [&](pdf_obj *o) { return o && !clean_.count(o) && seen.insert(o).second; };
    while (!todo.empty()) {
        pdf_obj *r = todo.back();
        todo.pop_back();
        if (!fresh(r))
            continue;
        walked.push_back(r);
        if (walked.size() > kResourcesLimit) {
            paths.type3 = true;
            return paths;
        }
        pdf_obj *fonts = listOf(ctx, r, PDF_NAME(Font));
        if (fresh(fonts)) {
            walked.push_back(fonts);
            for (pdf_obj *font : entries(ctx, fonts)) {
                guarded(ctx, [&] { paths.type3 = pdf_name_eq(ctx, pdf_dict_get(ctx, font, PDF_NAME(Subtype)), PDF_NAME(Type3)); });
                if (paths.type3)
                    return paths;
            }
        }
        for (pdf_obj *key : {PDF_NAME(XObject), PDF_NAME(Pattern)}) {
            pdf_obj *list = listOf(ctx, r, key);
            if (!fresh(list))
                continue;
            walked.push_back(list);
            for (pdf_obj *holder : entries(ctx, list)) {
                pdf_obj *inner = listOf(ctx, holder, PDF_NAME(Resources));
                if (inner)
                    todo.push_back(inner);
            }
        }
    }
    clean_.insert(walked.begin(), walked.end());
    return paths;
}

std::vector<PageGlyphs::Glyph> UnfollowedText::glyphs(pdf_page *page, const Paths &paths, bool *complete) const
{
    fz_context *ctx = ctx_;
    std::vector<Glyph> out;
    std::set<std::pair<const fz_font *, int>> bare;
    fz_cookie cookie = {};
    bool whole = true;
    guarded(ctx, [&] {
        fz_device *dev = nullptr;
        fz_var(dev);
        fz_try(ctx) {
            Collector *c = fz_new_derived_device(ctx, Collector);
            dev = &c->super;
            c->super.fill_text = fillText;
            c->super.stroke_text = strokeText;
            c->super.clip_text = clipText;
            c->super.clip_stroke_text = clipStrokeText;
            c->super.ignore_text = ignoreText;
            c->out = &out;
            c->bare = &bare;
            c->cookie = &cookie;
            c->complete = true;
            // In points, as the rules name places, whatever the page's unit.
            const fz_matrix shown = ShownPage::unitUndone(ctx, page);
            // The content only for what its Type3 glyphs draw.
            if (paths.type3)
                pdf_run_page_contents(ctx, page, dev, shown, &cookie);
            c->inAnnotations = true;
            if (paths.annotations && c->complete) {
                pdf_run_page_annots(ctx, page, dev, shown, &cookie);
                pdf_run_page_widgets(ctx, page, dev, shown, &cookie);
            }
            fz_close_device(ctx, dev);
            whole = c->complete;
        }
        fz_always(ctx)
            fz_drop_device(ctx, dev);
        fz_catch(ctx)
            fz_rethrow(ctx);
    });
    *complete = whole;
    return out;
}
