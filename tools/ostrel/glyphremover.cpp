#include "glyphremover.h"

#include "mupdfguard.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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
    std::vector<int> colors{0};              // fill colour, one per saved graphics state
    int components = 1;                      // of the fill colour space
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

// Asked by the library's content filter about every glyph shown, inside
// form objects too; answering 1 drops the glyph.
int removesGlyph(fz_context *, void *opaque, int *ucs, int ucsCount, fz_matrix trm, fz_matrix ctm, fz_rect bbox)
{
    Pass *pass = static_cast<Pass *>(opaque);
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
        g.color = pass->colors.back();
        pass->found[i].push_back(g);
        return 1;
    }
    return 0;
}

// The filter tells nothing about colour, and it sets the text matrices only
// when it writes the first kept glyph of a text object: after an object
// whose glyphs were all removed it carries that object's position into the
// next one, whose relative moves then land elsewhere. So a few of the
// filter's operators are wrapped: BT also sets the text matrix (which BT
// implies anyway), and the fill colour operators are followed.
struct FilterOperators
{
    void (*BT)(fz_context *, pdf_processor *);
    void (*q)(fz_context *, pdf_processor *);
    void (*Q)(fz_context *, pdf_processor *);
    void (*g)(fz_context *, pdf_processor *, float);
    void (*rg)(fz_context *, pdf_processor *, float, float, float);
    void (*k)(fz_context *, pdf_processor *, float, float, float, float);
    void (*cs)(fz_context *, pdf_processor *, const char *, fz_colorspace *);
    void (*sc)(fz_context *, pdf_processor *, int, float *);
};

// The library's own operators (the same for every filter) and the pass under
// way; one page is filtered at a time.
FilterOperators &library()
{
    static FilterOperators ops;
    return ops;
}

Pass *&activePass()
{
    static Pass *pass = nullptr;
    return pass;
}

void setFill(int color)
{
    activePass()->colors.back() = color;
}

void wrappedBT(fz_context *ctx, pdf_processor *p)
{
    library().BT(ctx, p);
    p->op_Tm(ctx, p, 1, 0, 0, 1, 0, 0);
}

void wrappedq(fz_context *ctx, pdf_processor *p)
{
    library().q(ctx, p);
    std::vector<int> &colors = activePass()->colors;
    colors.push_back(colors.back());
}

void wrappedQ(fz_context *ctx, pdf_processor *p)
{
    library().Q(ctx, p);
    std::vector<int> &colors = activePass()->colors;
    if (colors.size() > 1)
        colors.pop_back();
}

void wrappedg(fz_context *ctx, pdf_processor *p, float g)
{
    library().g(ctx, p, g);
    setFill(rgb(g, g, g));
}

void wrappedrg(fz_context *ctx, pdf_processor *p, float r, float g, float b)
{
    library().rg(ctx, p, r, g, b);
    setFill(rgb(r, g, b));
}

void wrappedk(fz_context *ctx, pdf_processor *p, float c, float m, float y, float k)
{
    library().k(ctx, p, c, m, y, k);
    const float cmyk[4] = {c, m, y, k};
    setFill(fromComponents(4, cmyk));
}

void wrappedcs(fz_context *ctx, pdf_processor *p, const char *name, fz_colorspace *cs)
{
    library().cs(ctx, p, name, cs);
    activePass()->components = cs ? fz_colorspace_n(ctx, cs) : 0;
    setFill(0);   // a new colour space starts at black
}

void wrappedsc(fz_context *ctx, pdf_processor *p, int n, float *color)
{
    library().sc(ctx, p, n, color);
    if (n == activePass()->components)
        setFill(fromComponents(n, color));
}

void wrap(pdf_processor *filter)
{
    FilterOperators &ops = library();
    ops = {filter->op_BT, filter->op_q, filter->op_Q, filter->op_g, filter->op_rg, filter->op_k, filter->op_cs,
           filter->op_sc_color};
    filter->op_BT = wrappedBT;
    filter->op_q = wrappedq;
    filter->op_Q = wrappedQ;
    filter->op_g = wrappedg;
    filter->op_rg = wrappedrg;
    filter->op_k = wrappedk;
    filter->op_cs = wrappedcs;
    filter->op_sc_color = wrappedsc;
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

// Clears the pass pointer however the filtering ends.
struct ActivePass
{
    explicit ActivePass(Pass *p) { activePass() = p; }
    ~ActivePass() { activePass() = nullptr; }
};
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
    options.recurse = 1;
    options.instance_forms = 1;
    options.sanitize = 1;
    const ActivePass active(&pass);
    guarded(ctx, [&] {
        fz_buffer *buffer = nullptr;
        pdf_processor *writer = nullptr, *filter = nullptr;
        pdf_obj *resources = nullptr, *stream = nullptr, *dict = nullptr;
        fz_var(buffer);
        fz_var(dict);
        fz_var(writer);
        fz_var(filter);
        fz_var(resources);
        fz_var(stream);
        fz_try(ctx) {
            buffer = fz_new_buffer(ctx, 4096);
            writer = pdf_new_buffer_processor(ctx, buffer, 0);
            resources = pdf_new_dict(ctx, doc, 4);
            pdf_obj *structParents = pdf_dict_get(ctx, page->obj, PDF_NAME(StructParents));
            filter = pdf_new_filter_processor(ctx, doc, writer, pdf_page_resources(ctx, page), resources,
                                              structParents ? pdf_to_int(ctx, structParents) : -1, fz_identity,
                                              &options);
            wrap(filter);
            pdf_process_contents(ctx, filter, doc, pdf_page_resources(ctx, page), pdf_page_contents(ctx, page),
                                 nullptr);
            pdf_close_processor(ctx, filter);
            pdf_close_processor(ctx, writer);
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
            pdf_drop_processor(ctx, filter);
            pdf_drop_processor(ctx, writer);
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
