#include "replacementfonts.h"

#include "mupdfguard.h"

#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <memory>
#include <set>

const char *const ReplacementFonts::kFontFiles[2] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
};

namespace
{
struct HbDeleter
{
    void operator()(hb_blob_t *b) const { hb_blob_destroy(b); }
    void operator()(hb_face_t *f) const { hb_face_destroy(f); }
    void operator()(hb_font_t *f) const { hb_font_destroy(f); }
    void operator()(hb_subset_input_t *i) const { hb_subset_input_destroy(i); }
};
template <typename T>
using HbPtr = std::unique_ptr<T, HbDeleter>;

// The code points of UTF-8 `text` that are drawn; invalid bytes come out as
// U+FFFD.
std::vector<int> drawnCodePoints(const std::string &text)
{
    std::vector<int> out;
    size_t i = 0;
    while (i < text.size()) {
        int c = 0;
        i += size_t(fz_chartorune(&c, text.c_str() + i));
        if (c == '\t')
            c = ' ';
        if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            continue;
        out.push_back(c);
    }
    return out;
}

class FontFile
{
public:
    explicit FontFile(const char *path)
        : blob_(hb_blob_create_from_file_or_fail(path))
    {
        if (!blob_)
            throw std::runtime_error(std::string("cannot read the font \"") + path + "\"");
        face_.reset(hb_face_create(blob_.get(), 0));
        font_.reset(hb_font_create(face_.get()));
    }
    bool has(int codePoint) const
    {
        hb_codepoint_t glyph = 0;
        return hb_font_get_nominal_glyph(font_.get(), hb_codepoint_t(codePoint), &glyph);
    }
    // A standalone TrueType font holding `codePoints` only.
    std::string subset(const std::vector<int> &codePoints) const
    {
        HbPtr<hb_subset_input_t> input(hb_subset_input_create_or_fail());
        if (!input)
            throw std::runtime_error("out of memory");
        hb_set_t *unicodes = hb_subset_input_unicode_set(input.get());
        for (const int c : codePoints)
            hb_set_add(unicodes, hb_codepoint_t(c));
        HbPtr<hb_face_t> cut(hb_subset_or_fail(face_.get(), input.get()));
        if (!cut)
            throw std::runtime_error("cannot cut down a font for the replacement text");
        HbPtr<hb_blob_t> bytes(hb_face_reference_blob(cut.get()));
        unsigned int length = 0;
        const char *data = hb_blob_get_data(bytes.get(), &length);
        return std::string(data, length);
    }

private:
    HbPtr<hb_blob_t> blob_;
    HbPtr<hb_face_t> face_;
    HbPtr<hb_font_t> font_;
};
}

ReplacementFonts::ReplacementFonts(fz_context *ctx)
    : ctx_(ctx), covered_(2)
{
}

ReplacementFonts::~ReplacementFonts()
{
    for (size_t i = 0; i < 2; ++i) {
        pdf_drop_obj(ctx_, objects_[i]);
        fz_drop_font(ctx_, fonts_[i]);
    }
}

void ReplacementFonts::prepare(const std::vector<std::string> &texts)
{
    std::set<int> wanted;
    for (const std::string &t : texts) {
        for (const int c : drawnCodePoints(t))
            wanted.insert(c);
    }
    if (wanted.empty())
        return;
    // The CJK font is opened only when the first font lacks a character.
    std::unique_ptr<FontFile> files[2];
    files[0].reset(new FontFile(kFontFiles[0]));
    for (const int c : wanted) {
        size_t chosen = 0;
        if (!files[0]->has(c)) {
            if (!files[1])
                files[1].reset(new FontFile(kFontFiles[1]));
            if (files[1]->has(c))
                chosen = 1;
        }
        covered_[chosen].push_back(c);   // ascending: `wanted` is ordered
    }
    for (size_t i = 0; i < 2; ++i) {
        if (covered_[i].empty())
            continue;
        const std::string bytes = files[i]->subset(covered_[i]);
        const char *name = i == 0 ? "DejaVuSans" : "WenQuanYiMicroHei";
        fz_font **slot = &fonts_[i];
        fz_context *ctx = ctx_;
        guarded(ctx, [&] {
            fz_buffer *buffer = fz_new_buffer_from_copied_data(
                ctx, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
            fz_try(ctx)
                *slot = fz_new_font_from_buffer(ctx, name, buffer, 0, 0);
            fz_always(ctx)
                fz_drop_buffer(ctx, buffer);
            fz_catch(ctx)
                fz_rethrow(ctx);
        });
    }
}

size_t ReplacementFonts::fontIndexFor(int codePoint) const
{
    return std::binary_search(covered_[1].begin(), covered_[1].end(), codePoint) ? 1 : 0;
}

std::vector<ReplacementFonts::Run> ReplacementFonts::encode(const std::string &text) const
{
    static const char hex[] = "0123456789ABCDEF";
    std::vector<Run> runs;
    for (const int c : drawnCodePoints(text)) {
        const size_t index = fontIndexFor(c);
        if (!fonts_[index])
            continue;   // not prepared for this text: nothing to draw with
        const int glyph = fz_encode_character(ctx_, fonts_[index], c);
        if (runs.empty() || runs.back().font != index)
            runs.push_back(Run{index, std::string()});
        std::string &g = runs.back().glyphs;
        for (int shift = 12; shift >= 0; shift -= 4)
            g += hex[(glyph >> shift) & 0xF];
    }
    return runs;
}

pdf_obj *ReplacementFonts::fontObject(pdf_document *doc, size_t index)
{
    if (!objects_[index]) {
        pdf_obj **slot = &objects_[index];
        fz_font *font = fonts_[index];
        guarded(ctx_, [&] { *slot = pdf_add_cid_font(ctx_, doc, font); });
    }
    return objects_[index];
}
