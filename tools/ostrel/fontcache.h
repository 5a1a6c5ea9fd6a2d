#ifndef OSTREL_FONTCACHE_H
#define OSTREL_FONTCACHE_H

#include <mupdf/pdf.h>

#include <map>

// The fonts of one document as the glyph scan needs them, each loaded once
// however many pages and forms use it.
class FontCache
{
public:
    struct Font
    {
        pdf_font_desc *desc = nullptr;
        float ascent = 0.8f, descent = -0.2f;   // of the glyph boxes, in text space units
        bool bold = false, italic = false;
    };

    FontCache(fz_context *ctx, pdf_document *doc) : ctx_(ctx), doc_(doc) {}
    ~FontCache();
    FontCache(const FontCache &) = delete;
    FontCache &operator=(const FontCache &) = delete;

    // The font `dict` names; null when the library cannot load it (its text
    // is then drawn by nobody and found by no rule).
    const Font *get(pdf_obj *resources, pdf_obj *dict);

private:
    fz_context *ctx_;
    pdf_document *doc_;
    std::map<pdf_obj *, Font> fonts_;   // by the resolved font dictionary
};

#endif
