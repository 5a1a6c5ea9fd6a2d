#include "fontcache.h"

#include "mupdfguard.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace
{
// The library keeps a real as a float: the shortest decimal that is that
// float is what the file wrote, for the few digits widths are written with.
double asWritten(float v)
{
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, v);
    double read = v;
    std::from_chars(buf, end.ptr, read);
    return read;
}

bool nameHolds(const char *name, const char *const *words)
{
    for (; *words; ++words) {
        if (name && std::strstr(name, *words))
            return true;
    }
    return false;
}
}

double FontCache::Font::width(fz_context *ctx, int cid) const
{
    const auto after = std::upper_bound(widths.begin(), widths.end(), cid,
                                        [](int c, const Widths &w) { return c < w.first; });
    if (after != widths.begin() && std::prev(after)->last >= cid)
        return std::prev(after)->width;
    return pdf_lookup_hmtx(ctx, desc, cid).w;
}

std::vector<FontCache::Font::Widths> FontCache::writtenWidths(fz_context *ctx, pdf_obj *dict)
{
    // Read an entry at a time, so no C++ object lives where the library
    // may jump from.
    bool cid = false;
    pdf_obj *w = nullptr;
    int n = 0;
    int64_t firstChar = 0;
    bool type3 = false;
    double scale = 1;
    guarded(ctx, [&] {
        pdf_obj *subtype = pdf_dict_get(ctx, dict, PDF_NAME(Subtype));
        cid = pdf_name_eq(ctx, subtype, PDF_NAME(Type0));
        if (cid) {
            w = pdf_dict_get(ctx, pdf_array_get(ctx, pdf_dict_get(ctx, dict, PDF_NAME(DescendantFonts)), 0),
                             PDF_NAME(W));
        } else {
            w = pdf_dict_get(ctx, dict, PDF_NAME(Widths));
            firstChar = pdf_dict_get_int(ctx, dict, PDF_NAME(FirstChar));
            // A Type 3 font's widths are in its glyph space, which its
            // matrix scales.
            type3 = pdf_name_eq(ctx, subtype, PDF_NAME(Type3));
            if (type3)
                scale = pdf_array_get_real(ctx, pdf_dict_get(ctx, dict, PDF_NAME(FontMatrix)), 0);
        }
        n = pdf_array_len(ctx, w);
    });
    if (type3)
        scale = asWritten(float(scale)) * 1000;
    std::vector<Font::Widths> widths;
    bool fractional = false;
    const auto add = [&](int64_t first, int64_t last, double width) {
        if (first < 0 || last < first || last > 0xFFFFFF || !std::isfinite(width))
            return;
        fractional = fractional || width != std::floor(width);
        widths.push_back({int(first), int(last), width});
    };
    if (!cid) {
        for (int k = 0; k < std::min(n, 256); ++k) {
            double width = 0;
            guarded(ctx, [&] { width = pdf_array_get_real(ctx, w, k); });
            width = asWritten(float(width)) * scale;
            add(firstChar + k, firstChar + k, width);
        }
    }
    // A CID font's: "c [w w ...]" or "c_first c_last w".
    for (int i = 0; cid && i + 1 < n;) {
        int64_t first = 0, last = 0;
        int m = -1;
        double width = 0;
        guarded(ctx, [&] {
            first = pdf_array_get_int(ctx, w, i);
            pdf_obj *next = pdf_array_get(ctx, w, i + 1);
            if (pdf_is_array(ctx, next)) {
                m = pdf_array_len(ctx, next);
            } else {
                last = pdf_to_int(ctx, next);
                width = pdf_array_get_real(ctx, w, i + 2);
            }
        });
        for (int k = 0; k < m; ++k) {
            guarded(ctx, [&] { width = pdf_array_get_real(ctx, pdf_array_get(ctx, w, i + 1), k); });
            add(first + k, first + k, asWritten(float(width)));
        }
        if (m < 0)
            add(first, last, asWritten(float(width)));
        i += m < 0 ? 3 : 2;
    }
    if (!fractional)
        return {};
    // Of ranges written twice, the first stands.
    std::stable_sort(widths.begin(), widths.end(),
                     [](const Font::Widths &a, const Font::Widths &b) { return a.first < b.first; });
    std::vector<Font::Widths> kept;
    for (const Font::Widths &width : widths)
        if (kept.empty() || width.first > kept.back().last)
            kept.push_back(width);
    return kept;
}

FontCache::~FontCache()
{
    for (auto &entry : fonts_)
        pdf_drop_font(ctx_, entry.second.desc);
}

const FontCache::Font *FontCache::get(pdf_obj *resources, pdf_obj *dict)
{
    fz_context *ctx = ctx_;
    pdf_obj *key = nullptr;
    fz_var(key);
    fz_try(ctx)
        key = pdf_resolve_indirect(ctx, dict);
    fz_catch(ctx)
        return nullptr;
    if (!pdf_is_dict(ctx, key))
        return nullptr;
    const auto known = fonts_.find(key);
    if (known != fonts_.end())
        return known->second.desc ? &known->second : nullptr;
    // The face, as the descriptor or the font's name tells it.
    static const char *const boldWords[] = {"Bold", "Black", "Heavy", "Semibold", "Demi", nullptr};
    static const char *const italicWords[] = {"Italic", "Oblique", nullptr};
    pdf_font_desc *desc = nullptr;
    const char *name = nullptr;
    int weight = 0, fontBold = 0, fontItalic = 0;
    fz_var(desc);
    fz_var(name);
    fz_var(weight);
    fz_var(fontBold);
    fz_var(fontItalic);
    fz_try(ctx) {
        desc = pdf_load_font(ctx, doc_, resources, key);
        name = pdf_to_name(ctx, pdf_dict_get(ctx, key, PDF_NAME(BaseFont)));
        pdf_obj *descriptor = pdf_dict_get(ctx, key, PDF_NAME(FontDescriptor));
        if (!descriptor) {   // a composite font keeps it in its descendant
            pdf_obj *descendant = pdf_array_get(ctx, pdf_dict_get(ctx, key, PDF_NAME(DescendantFonts)), 0);
            descriptor = pdf_dict_get(ctx, descendant, PDF_NAME(FontDescriptor));
        }
        weight = pdf_to_int(ctx, pdf_dict_gets(ctx, descriptor, "FontWeight"));
        fontBold = desc->font ? fz_font_is_bold(ctx, desc->font) : 0;
        fontItalic = desc->font ? fz_font_is_italic(ctx, desc->font) : 0;
    }
    fz_catch(ctx) {
        pdf_drop_font(ctx, desc);
        desc = nullptr;
    }
    Font &font = fonts_[key];
    if (!desc)
        return nullptr;
    font.desc = desc;
    try {
        font.widths = writtenWidths(ctx, key);
    } catch (const MupdfError &) {
        font.widths.clear();   // the library's whole widths, as for any other font
    }
    if (desc->ascent > 0 && desc->ascent < 3000)
        font.ascent = desc->ascent / 1000;
    if (desc->descent < 0 && desc->descent > -3000)
        font.descent = desc->descent / 1000;
    font.bold = (desc->flags & PDF_FD_FORCE_BOLD) || weight >= 600 || nameHolds(name, boldWords) || fontBold;
    font.italic = (desc->flags & PDF_FD_ITALIC) || nameHolds(name, italicWords) || fontItalic;
    return &font;
}
