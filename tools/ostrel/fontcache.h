#ifndef OSTREL_FONTCACHE_H
#define OSTREL_FONTCACHE_H

#include <mupdf/pdf.h>

#include <map>
#include <vector>

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
        // Advance widths as the font's dictionary writes them (thousandths
        // of text space), for fonts that give any with a fraction: the
        // library's table keeps whole numbers only, and a removed glyph must
        // be made up for by exactly its own width.
        struct Widths
        {
            int first = 0, last = 0;   // CIDs (codes, for a simple font)
            double width = 0;
        };
        std::vector<Widths> widths;   // sorted by `first`, not overlapping

        // The advance of `cid` in thousandths: the written one, else the
        // library's.
        double width(fz_context *ctx, int cid) const;
    };

    FontCache(fz_context *ctx, pdf_document *doc) : ctx_(ctx), doc_(doc) {}
    ~FontCache();
    FontCache(const FontCache &) = delete;
    FontCache &operator=(const FontCache &) = delete;

    // The font `dict` names; null when the library cannot load it (its text
    // is then drawn by nobody and found by no rule).
    const Font *get(pdf_obj *resources, pdf_obj *dict);

private:
    static std::vector<Font::Widths> writtenWidths(fz_context *ctx, pdf_obj *dict);

    fz_context *ctx_;
    pdf_document *doc_;
    std::map<pdf_obj *, Font> fonts_;   // by the resolved font dictionary
};

#endif
