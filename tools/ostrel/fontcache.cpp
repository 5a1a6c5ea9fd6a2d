#include "fontcache.h"

#include <cstring>

namespace
{
bool nameHolds(const char *name, const char *const *words)
{
    for (; *words; ++words) {
        if (name && std::strstr(name, *words))
            return true;
    }
    return false;
}
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
        weight = pdf_dict_get_int(ctx, descriptor, pdf_new_name(ctx, "FontWeight"));
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
    if (desc->ascent > 0 && desc->ascent < 3000)
        font.ascent = desc->ascent / 1000;
    if (desc->descent < 0 && desc->descent > -3000)
        font.descent = desc->descent / 1000;
    font.bold = (desc->flags & PDF_FD_FORCE_BOLD) || weight >= 600 || nameHolds(name, boldWords) || fontBold;
    font.italic = (desc->flags & PDF_FD_ITALIC) || nameHolds(name, italicWords) || fontItalic;
    return &font;
}
