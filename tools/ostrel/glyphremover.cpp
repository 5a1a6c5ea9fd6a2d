#include "glyphremover.h"

#include "mupdfguard.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace
{
struct Glyph
{
    int ucs[8];
    int count;
    fz_point origin, direction;
    float size;
    int color;
};

// What one pass over a page's content needs and finds.
struct Pass
{
    fz_matrix toShown;
    const std::vector<fz_rect> *boxes;
    std::vector<std::vector<Glyph>> found;   // per box, in content order
    int color = 0;                           // fill colour of the text being shown
    bool libraryFilters = false;             // the library's own pass over a cleaned form
};

int channel(float v)
{
    return int(std::lround(std::min(1.0f, std::max(0.0f, v)) * 255));
}

int rgb(float r, float g, float b)
{
    return (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

int fromComponents(int n, const float *c)
{
    switch (n) {
    case 1: return rgb(c[0], c[0], c[0]);
    case 3: return rgb(c[0], c[1], c[2]);
    case 4: return rgb((1 - c[0]) * (1 - c[3]), (1 - c[1]) * (1 - c[3]), (1 - c[2]) * (1 - c[3]));
    default: return 0;
    }
}

// Asked by the library's content filter about every glyph shown; answering
// 1 drops the glyph. `ctm` is the content's transformation to page space.
int removesGlyph(fz_context *, void *opaque, int *ucs, int ucsCount, fz_matrix trm, fz_matrix ctm, fz_rect bbox)
{
    Pass *pass = static_cast<Pass *>(opaque);
    if (pass->libraryFilters)
        return 0;
    const fz_matrix shown = fz_concat(fz_concat(trm, ctm), pass->toShown);
    const fz_rect r = fz_transform_rect(bbox, shown);
    const fz_point c = fz_make_point((r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2);
    for (size_t i = 0; i < pass->boxes->size(); ++i) {
        const fz_rect &box = (*pass->boxes)[i];
        if (c.x < box.x0 || c.x > box.x1 || c.y < box.y0 || c.y > box.y1)
            continue;
        Glyph g;
        g.count = std::min(std::max(ucsCount, 0), 8);
        std::copy(ucs, ucs + g.count, g.ucs);
        g.origin = fz_make_point(shown.e, shown.f);
        g.direction = fz_normalize_vector(fz_make_point(shown.a, shown.b));
        g.size = fz_matrix_expansion(shown);
        g.color = pass->color;
        pass->found[i].push_back(g);
        return 1;
    }
    return 0;
}

// A few of the library filter's operators are wrapped, for three reasons.
// The filter sets the text matrices only when it writes the first kept glyph
// of a text object, so after an object whose glyphs were all removed it
// carries that object's position into the next one, whose relative moves
// then land elsewhere: our BT also sets the text matrix (which BT implies
// anyway). The form objects it filters on its own get neither that nor a
// usable transformation, so our Do filters a form first, with a filter of
// ours, and hands the library the cleaned copy, which it filters again
// keeping every glyph. And it tells nothing about colour, so the fill colour
// operators are followed.
struct FilterOperators
{
    void (*BT)(fz_context *, pdf_processor *);
    void (*q)(fz_context *, pdf_processor *);
    void (*Q)(fz_context *, pdf_processor *);
    void (*cm)(fz_context *, pdf_processor *, float, float, float, float, float, float);
    void (*g)(fz_context *, pdf_processor *, float);
    void (*rg)(fz_context *, pdf_processor *, float, float, float);
    void (*k)(fz_context *, pdf_processor *, float, float, float, float);
    void (*cs)(fz_context *, pdf_processor *, const char *, fz_colorspace *);
    void (*sc)(fz_context *, pdf_processor *, int, float *);
    void (*Do)(fz_context *, pdf_processor *, const char *, pdf_obj *, pdf_obj *);
};

// The state our operators follow in one filter, besides the library's own.
struct Followed
{
    struct Frame
    {
        fz_matrix ctm;
        int color;
        int components;   // of the fill colour space; 0 when we cannot read its colours
    };
    Pass *pass;
    pdf_filter_options *options;
    int depth;                   // of form objects, the page's content being 0
    std::vector<Frame> frames;   // one per saved graphics state
};

// Forms drawn by forms deeper than this keep their text: real documents nest
// a few levels, and each level is filtered once more by the library.
const int kFormDepthLimit = 8;

// Saved graphics states cost the library's filter some kilobytes each; real
// pages nest a few dozen. Content that saves more without restoring them is
// refused before it takes gigabytes.
const size_t kSavedStatesLimit = 4096;

// The library's own operators, the same for every filter, and the filters
// under way (a page's and those of the forms it draws, nested).
FilterOperators &library()
{
    static FilterOperators ops;
    return ops;
}

std::map<pdf_processor *, Followed> &followed()
{
    static std::map<pdf_processor *, Followed> filters;
    return filters;
}

Followed::Frame &frame(pdf_processor *p)
{
    return followed()[p].frames.back();
}

void setFill(pdf_processor *p, int color)
{
    frame(p).color = color;
    followed()[p].pass->color = color;
}

pdf_obj *filteredForm(fz_context *ctx, pdf_obj *form, pdf_obj *pageResources, const Followed &outer);

void wrappedBT(fz_context *ctx, pdf_processor *p)
{
    library().BT(ctx, p);
    p->op_Tm(ctx, p, 1, 0, 0, 1, 0, 0);
    // Text shown from here has the colour of this filter's state.
    followed()[p].pass->color = frame(p).color;
}

void wrappedq(fz_context *ctx, pdf_processor *p)
{
    std::vector<Followed::Frame> &frames = followed()[p].frames;
    if (frames.size() > kSavedStatesLimit)
        fz_throw(ctx, FZ_ERROR_GENERIC, "the content saves more than %zu graphics states", kSavedStatesLimit);
    library().q(ctx, p);
    frames.push_back(frames.back());
}

void wrappedQ(fz_context *ctx, pdf_processor *p)
{
    library().Q(ctx, p);
    std::vector<Followed::Frame> &frames = followed()[p].frames;
    if (frames.size() > 1)
        frames.pop_back();
}

void wrappedcm(fz_context *ctx, pdf_processor *p, float a, float b, float c, float d, float e, float f)
{
    library().cm(ctx, p, a, b, c, d, e, f);
    fz_matrix &ctm = frame(p).ctm;
    ctm = fz_concat(fz_make_matrix(a, b, c, d, e, f), ctm);
}

void wrappedg(fz_context *ctx, pdf_processor *p, float g)
{
    library().g(ctx, p, g);
    frame(p).components = 1;
    setFill(p, rgb(g, g, g));
}

void wrappedrg(fz_context *ctx, pdf_processor *p, float r, float g, float b)
{
    library().rg(ctx, p, r, g, b);
    frame(p).components = 3;
    setFill(p, rgb(r, g, b));
}

void wrappedk(fz_context *ctx, pdf_processor *p, float c, float m, float y, float k)
{
    library().k(ctx, p, c, m, y, k);
    const float cmyk[4] = {c, m, y, k};
    frame(p).components = 4;
    setFill(p, fromComponents(4, cmyk));
}

void wrappedcs(fz_context *ctx, pdf_processor *p, const char *name, fz_colorspace *cs)
{
    library().cs(ctx, p, name, cs);
    // Only grey, RGB and CMYK spaces (ICC-based ones too) have colours we
    // can take over; in others (separations, indexed, patterns) the
    // replacement is black.
    const enum fz_colorspace_type type = cs ? fz_colorspace_type(ctx, cs) : FZ_COLORSPACE_NONE;
    const bool plain = type == FZ_COLORSPACE_GRAY || type == FZ_COLORSPACE_RGB || type == FZ_COLORSPACE_CMYK;
    frame(p).components = plain ? fz_colorspace_n(ctx, cs) : 0;
    setFill(p, 0);   // a new colour space starts at black
}

void wrappedsc(fz_context *ctx, pdf_processor *p, int n, float *color)
{
    library().sc(ctx, p, n, color);
    if (n > 0 && n == frame(p).components)
        setFill(p, fromComponents(n, color));
}

void wrappedDo(fz_context *ctx, pdf_processor *p, const char *name, pdf_obj *form, pdf_obj *pageResources)
{
    Pass *pass = followed()[p].pass;
    pdf_obj *clean = filteredForm(ctx, form, pageResources, followed()[p]);
    pass->libraryFilters = true;
    fz_try(ctx)
        library().Do(ctx, p, name, clean, pageResources);
    fz_always(ctx) {
        pass->libraryFilters = false;
        pdf_drop_obj(ctx, clean);
    }
    fz_catch(ctx)
        fz_rethrow(ctx);
}

// A filter of ours over `contents` into `buffer`, whose resources end up in
// `newResources`; `start.ctm` maps the contents' space to page space.
void filterContents(fz_context *ctx, pdf_document *doc, pdf_obj *contents, pdf_obj *resources,
                    pdf_obj *newResources, int structParents, const Followed::Frame &start, int depth, Pass *pass,
                    pdf_filter_options *options, fz_buffer *buffer)
{
    pdf_processor *writer = nullptr, *filter = nullptr;
    fz_var(writer);
    fz_var(filter);
    fz_try(ctx) {
        writer = pdf_new_buffer_processor(ctx, buffer, 0);
        filter = pdf_new_filter_processor(ctx, doc, writer, resources, newResources, structParents, start.ctm,
                                          options);
        FilterOperators &ops = library();
        ops = {filter->op_BT, filter->op_q, filter->op_Q, filter->op_cm, filter->op_g, filter->op_rg,
               filter->op_k, filter->op_cs, filter->op_sc_color, filter->op_Do_form};
        filter->op_BT = wrappedBT;
        filter->op_q = wrappedq;
        filter->op_Q = wrappedQ;
        filter->op_cm = wrappedcm;
        filter->op_g = wrappedg;
        filter->op_rg = wrappedrg;
        filter->op_k = wrappedk;
        filter->op_cs = wrappedcs;
        filter->op_sc_color = wrappedsc;
        filter->op_Do_form = wrappedDo;
        Followed &f = followed()[filter];
        f.pass = pass;
        f.options = options;
        f.depth = depth;
        f.frames.push_back(start);
        pdf_process_contents(ctx, filter, doc, resources, contents, nullptr);
        pdf_close_processor(ctx, filter);
        pdf_close_processor(ctx, writer);
    }
    fz_always(ctx) {
        followed().erase(filter);
        pdf_drop_processor(ctx, filter);
        pdf_drop_processor(ctx, writer);
    }
    fz_catch(ctx)
        fz_rethrow(ctx);
}

// A copy of `form` without the glyphs in the boxes.
pdf_obj *filteredForm(fz_context *ctx, pdf_obj *form, pdf_obj *pageResources, const Followed &outer)
{
    if (outer.depth >= kFormDepthLimit)
        return pdf_keep_obj(ctx, form);
    pdf_document *doc = pdf_get_bound_document(ctx, form);
    pdf_obj *resources = pdf_xobject_resources(ctx, form);
    if (!resources)
        resources = pageResources;   // old files let forms use the page's
    Followed::Frame start = outer.frames.back();   // a form starts in the state of its Do
    start.ctm = fz_concat(pdf_xobject_matrix(ctx, form), start.ctm);
    fz_buffer *buffer = nullptr;
    pdf_obj *dict = nullptr, *newResources = nullptr, *copy = nullptr;
    fz_var(buffer);
    fz_var(dict);
    fz_var(newResources);
    fz_try(ctx) {
        buffer = fz_new_buffer(ctx, 1024);
        newResources = pdf_new_dict(ctx, doc, 4);
        filterContents(ctx, doc, form, resources, newResources, -1, start, outer.depth + 1, outer.pass, outer.options,
                       buffer);
        dict = pdf_copy_dict(ctx, form);
        pdf_dict_del(ctx, dict, PDF_NAME(Filter));
        pdf_dict_del(ctx, dict, PDF_NAME(DecodeParms));
        pdf_dict_put(ctx, dict, PDF_NAME(Resources), newResources);
        copy = pdf_add_stream(ctx, doc, buffer, dict, 0);
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, dict);
        pdf_drop_obj(ctx, newResources);
        fz_drop_buffer(ctx, buffer);
    }
    fz_catch(ctx)
        fz_rethrow(ctx);
    return copy;
}

void appendUtf8(std::string *out, int c)
{
    char bytes[8];
    out->append(bytes, size_t(fz_runetochar(bytes, c)));
}

GlyphRemover::Removed describe(const std::vector<Glyph> &glyphs)
{
    GlyphRemover::Removed removed;
    const Glyph *first = nullptr;
    bool space = false;
    for (const Glyph &g : glyphs) {
        for (int i = 0; i < g.count; ++i) {
            const int c = g.ucs[i];
            if (c == ' ' || c == '\t' || c == 0xA0 || c == '\r' || c == '\n') {
                space = true;
                continue;
            }
            if (space && !removed.text.empty())
                removed.text += ' ';
            space = false;
            appendUtf8(&removed.text, c);
            if (!first)
                first = &g;
        }
    }
    if (!first)
        return removed;
    // The start of the first glyph's line: the glyph on that baseline that
    // comes first in the writing direction.
    const fz_point d = first->direction;
    const auto along = [d](const Glyph &g) { return g.origin.x * d.x + g.origin.y * d.y; };
    const auto across = [d](const Glyph &g) { return g.origin.y * d.x - g.origin.x * d.y; };
    const Glyph *start = first;
    for (const Glyph &g : glyphs) {
        if (std::fabs(across(g) - across(*first)) < first->size / 2 && along(g) < along(*start))
            start = &g;
    }
    removed.origin = start->origin;
    removed.direction = d;
    removed.size = start->size;
    removed.color = start->color;
    return removed;
}

}

std::vector<GlyphRemover::Removed> GlyphRemover::remove(fz_context *ctx, pdf_document *doc, pdf_page *page,
                                                        const fz_matrix &toShown, const std::vector<fz_rect> &boxes)
{
    Pass pass;
    pass.toShown = toShown;
    pass.boxes = &boxes;
    pass.found.resize(boxes.size());
    pdf_filter_options options;
    std::memset(&options, 0, sizeof options);
    options.opaque = &pass;
    options.text_filter = removesGlyph;
    // The library also filters the form copies we give it (see wrappedDo);
    // without that it would keep the original forms.
    options.recurse = 1;
    options.instance_forms = 1;
    options.sanitize = 1;
    guarded(ctx, [&] {
        fz_buffer *buffer = nullptr;
        pdf_obj *resources = nullptr, *stream = nullptr, *dict = nullptr;
        fz_var(buffer);
        fz_var(resources);
        fz_var(stream);
        fz_var(dict);
        fz_try(ctx) {
            buffer = fz_new_buffer(ctx, 4096);
            resources = pdf_new_dict(ctx, doc, 4);
            pdf_obj *structParents = pdf_dict_get(ctx, page->obj, PDF_NAME(StructParents));
            filterContents(ctx, doc, pdf_page_contents(ctx, page), pdf_page_resources(ctx, page), resources,
                           structParents ? pdf_to_int(ctx, structParents) : -1, {fz_identity, 0, 1}, 0, &pass,
                           &options, buffer);
            // Compressed here, fast: the document is written without
            // recompressing streams, so the others keep their bytes.
            size_t length = 0;
            unsigned char *data = fz_new_deflated_data_from_buffer(ctx, &length, buffer, FZ_DEFLATE_BEST_SPEED);
            fz_drop_buffer(ctx, buffer);
            buffer = nullptr;
            buffer = fz_new_buffer_from_data(ctx, data, length);
            dict = pdf_new_dict(ctx, doc, 1);
            pdf_dict_put(ctx, dict, PDF_NAME(Filter), PDF_NAME(FlateDecode));
            stream = pdf_add_stream(ctx, doc, buffer, dict, 1);
            pdf_dict_put(ctx, page->obj, PDF_NAME(Contents), stream);
            pdf_dict_put(ctx, page->obj, PDF_NAME(Resources), resources);
        }
        fz_always(ctx) {
            pdf_drop_obj(ctx, stream);
            pdf_drop_obj(ctx, dict);
            pdf_drop_obj(ctx, resources);
            fz_drop_buffer(ctx, buffer);
        }
        fz_catch(ctx)
            fz_rethrow(ctx);
    });
    std::vector<Removed> removed;
    for (const std::vector<Glyph> &glyphs : pass.found)
        removed.push_back(describe(glyphs));
    return removed;
}
