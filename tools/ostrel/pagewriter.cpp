#include "pagewriter.h"

#include "mupdfguard.h"
#include "replacementfonts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
std::string number(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", std::fabs(v) < 1e-9 ? 0.0 : v);
    // Trailing zeros only lengthen the content stream.
    std::string s(buf);
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s;
}

std::string matrix(const fz_matrix &m)
{
    return number(m.a) + ' ' + number(m.b) + ' ' + number(m.c) + ' ' + number(m.d) + ' ' + number(m.e) + ' '
        + number(m.f);
}
}

PageWriter::PageWriter(fz_context *ctx, pdf_document *doc, ReplacementFonts *fonts)
    : ctx_(ctx), doc_(doc), fonts_(fonts)
{
}

PageWriter::~PageWriter()
{
    for (const auto &entry : imageObjects_)
        pdf_drop_obj(ctx_, entry.second);
}

void PageWriter::draw(pdf_page *page, const fz_matrix &toShown, const std::vector<Text> &texts,
                      const std::vector<Picture> &pictures)
{
    const fz_matrix toPage = fz_invert_matrix(toShown);
    std::string content;
    for (const Text &t : texts)
        content += textOperators(page, t, toPage);
    for (const Picture &p : pictures)
        content += pictureOperators(page, p, toPage);
    if (!content.empty())
        appendContent(page, content);
}

// A name not yet used in the page's resources of `kind`, bound to `value`.
std::string PageWriter::bind(pdf_page *page, pdf_obj *kind, const char *prefix, pdf_obj *value)
{
    char name[64];
    pdf_document *doc = doc_;
    guarded(ctx_, [&] {
        pdf_obj *resources = pdf_dict_get(ctx_, page->obj, PDF_NAME(Resources));
        if (!resources) {
            pdf_obj *inherited = pdf_dict_get_inheritable(ctx_, page->obj, PDF_NAME(Resources));
            resources = inherited ? pdf_copy_dict(ctx_, inherited) : pdf_new_dict(ctx_, doc, 2);
            pdf_dict_put_drop(ctx_, page->obj, PDF_NAME(Resources), resources);
        }
        pdf_obj *dict = pdf_dict_get(ctx_, resources, kind);
        if (!pdf_is_dict(ctx_, dict))
            dict = pdf_dict_put_dict(ctx_, resources, kind, 2);
        for (int n = 1;; ++n) {
            std::snprintf(name, sizeof name, "%s%d", prefix, n);
            if (!pdf_dict_gets(ctx_, dict, name))
                break;
        }
        pdf_dict_puts(ctx_, dict, name, value);
    });
    return name;
}

std::string PageWriter::textOperators(pdf_page *page, const Text &t, const fz_matrix &toPage)
{
    const std::vector<ReplacementFonts::Run> runs = fonts_->encode(t.replacement);
    if (runs.empty())
        return std::string();
    std::string names[2];
    for (const ReplacementFonts::Run &run : runs) {
        if (names[run.font].empty())
            names[run.font] = bind(page, PDF_NAME(Font), "OstrelF", fonts_->fontObject(doc_, run.font));
    }
    // Glyph space to the page as shown (y down): along the old text's
    // direction, upright on its baseline; then into page space.
    const float s = std::max(t.at.size, 1.0f);
    const fz_point d = t.at.direction;
    const fz_matrix shown = fz_make_matrix(s * d.x, s * d.y, s * d.y, -s * d.x, t.at.origin.x, t.at.origin.y);
    const int c = t.at.color;
    std::string ops = "q BT 0 Tr 0 Tc 0 Tw 100 Tz 0 Ts " + number(((c >> 16) & 0xFF) / 255.0) + ' '
        + number(((c >> 8) & 0xFF) / 255.0) + ' ' + number((c & 0xFF) / 255.0) + " rg "
        + matrix(fz_concat(shown, toPage)) + " Tm\n";
    for (const ReplacementFonts::Run &run : runs)
        ops += '/' + names[run.font] + " 1 Tf <" + run.glyphs + "> Tj\n";
    return ops + "ET Q\n";
}

std::string PageWriter::pictureOperators(pdf_page *page, const Picture &p, const fz_matrix &toPage)
{
    pdf_obj *&object = imageObjects_[p.image];
    if (!object) {
        fz_image *image = p.image;
        guarded(ctx_, [&] { object = pdf_add_image(ctx_, doc_, image); });
    }
    const std::string name = bind(page, PDF_NAME(XObject), "OstrelI", object);
    // The unit square of image space, upright, onto the box as shown.
    const fz_rect &b = p.box;
    const fz_matrix shown = fz_make_matrix(b.x1 - b.x0, 0, 0, -(b.y1 - b.y0), b.x0, b.y1);
    return "q " + matrix(fz_concat(shown, toPage)) + " cm /" + name + " Do Q\n";
}

// The drawing goes last, in a stream of its own: the filtered content
// before it leaves the graphics state as it found it.
void PageWriter::appendContent(pdf_page *page, const std::string &content)
{
    pdf_document *doc = doc_;
    guarded(ctx_, [&] {
        fz_buffer *buffer = fz_new_buffer_from_copied_data(
            ctx_, reinterpret_cast<const unsigned char *>(content.data()), content.size());
        pdf_obj *stream = nullptr;
        fz_var(stream);
        fz_try(ctx_) {
            stream = pdf_add_stream(ctx_, doc, buffer, nullptr, 0);
            pdf_obj *old = pdf_dict_get(ctx_, page->obj, PDF_NAME(Contents));
            if (pdf_is_array(ctx_, old)) {
                pdf_array_push(ctx_, old, stream);
            } else {
                pdf_obj *list = pdf_new_array(ctx_, doc, 2);
                if (old)
                    pdf_array_push(ctx_, list, old);
                pdf_array_push(ctx_, list, stream);
                pdf_dict_put_drop(ctx_, page->obj, PDF_NAME(Contents), list);
            }
        }
        fz_always(ctx_) {
            pdf_drop_obj(ctx_, stream);
            fz_drop_buffer(ctx_, buffer);
        }
        fz_catch(ctx_)
            fz_rethrow(ctx_);
    });
}
