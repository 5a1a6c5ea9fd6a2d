#include "pagewriter.h"

#include "mupdfguard.h"
#include "replacementfonts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace
{
// Replacement text is condensed down to this share of its width, no further.
constexpr double kNarrowest = 0.5;
// A face that lacks bold is stroked with lines this share of the size wide,
// one that lacks a slant is sheared by this much.
constexpr double kFakeBoldStroke = 0.03;
constexpr float kFakeSlant = 0.2f;
// Character spacing up to this share of the em spaces the letters of a word.
constexpr double kWidestLetterSpacing = 0.2;

// Written without the C library's formatting, which a page of many new
// texts would spend much of its time in; what no number can be is written as 0.
std::string number(double v)
{
    char buf[400];   // the largest double, in full, with its decimals
    const auto written = std::to_chars(buf, buf + sizeof buf, std::isfinite(v) && std::fabs(v) >= 1e-9 ? v : 0.0,
                                       std::chars_format::fixed, 4);
    // Trailing zeros only lengthen the content stream.
    std::string s(buf, written.ptr);
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s;
}

// `text` in quotes for a message, cut after a few words (at a character's
// start) when it is long.
std::string quotedStart(const std::string &text)
{
    size_t end = std::min(text.size(), size_t(60));
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return '"' + text.substr(0, end) + (end < text.size() ? "...\"" : "\"");
}

std::string colourOf(int c)
{
    return number(((c >> 16) & 0xFF) / 255.0) + ' ' + number(((c >> 8) & 0xFF) / 255.0) + ' '
        + number((c & 0xFF) / 255.0);
}

// What covers words drawn invisibly over a scan: their box filled in the
// colour of the ground about them.
std::string coverOperators(const GlyphRemover::Removed &at, const fz_matrix &toPage)
{
    if (fz_is_empty_rect(at.cover))
        return std::string();
    const fz_rect &b = at.cover;
    const fz_point corners[4] = {{b.x0, b.y0}, {b.x1, b.y0}, {b.x1, b.y1}, {b.x0, b.y1}};
    std::string ops = "q " + colourOf(at.ground) + " rg";
    for (size_t i = 0; i < 4; ++i) {
        const fz_point p = fz_transform_point(corners[i], toPage);
        ops += ' ' + number(p.x) + ' ' + number(p.y) + (i == 0 ? " m" : " l");
    }
    return ops + " h f Q\n";
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

bool PageWriter::canDraw(const std::string &replacement)
{
    return fonts_->covers(replacement);
}

void PageWriter::draw(pdf_page *page, const fz_matrix &toShown, const std::vector<Text> &texts,
                      const std::vector<Picture> &pictures)
{
    // Refused before any text takes codes in the fonts, so a refusal adds
    // no glyph to the output.
    for (const Text &t : texts) {
        if (!canDraw(t.replacement))
            throw MupdfError("no installed font can draw the replacement " + quotedStart(t.replacement));
    }
    const fz_matrix toPage = fz_invert_matrix(toShown);
    std::string content;
    std::map<size_t, std::string> fontNames;   // this page's names of the fonts
    // Covers go first, so none hides a replacement drawn next to it.
    for (const Text &t : texts)
        content += coverOperators(t.at, toPage);
    for (const Text &t : texts)
        content += textOperators(page, t, toPage, &fontNames);
    for (const Picture &p : pictures)
        content += pictureOperators(page, p, toPage);
    if (!content.empty())
        appendContent(page, content);
    fonts_->embed(doc_);
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

std::string PageWriter::textOperators(pdf_page *page, const Text &t, const fz_matrix &toPage,
                                      std::map<size_t, std::string> *fontNames)
{
    std::vector<ReplacementFonts::Glyph> glyphs;
    if (!fonts_->shape(t.replacement, ReplacementFonts::Face{t.at.bold, t.at.italic}, &glyphs))
        throw MupdfError("the replacement " + quotedStart(t.replacement) + " needs more glyphs than a font can carry");
    if (glyphs.empty())
        return std::string();
    // Condensed to the old words' width, not below half; past that, smaller.
    // The old words' character spacing, in ems of their size, where it
    // spaces letters: readers read a line's letters as words only when
    // they are spaced alike, and a line of tight letters among them reads
    // as single letters. Wider spacing already sets letters apart as words;
    // there the new words are set tight, to read as typed.
    double spacing = double(t.at.charSpace) / std::max(t.at.size, 1.0f);
    if (!(spacing > 0 && spacing < kWidestLetterSpacing))
        spacing = 0;
    // The spacing after the last glyph shows nothing, as after the old words.
    double natural = spacing * double(glyphs.size() - 1);
    for (const ReplacementFonts::Glyph &g : glyphs)
        natural += g.advance;
    double size = std::max(t.at.size, 1.0f), squeeze = 1;
    if (t.at.width > 0 && natural * size > t.at.width) {
        squeeze = t.at.width / (natural * size);
        if (squeeze < kNarrowest) {
            size *= squeeze / kNarrowest;
            squeeze = kNarrowest;
        }
    }
    // Glyph space to the page as shown (y down): along the old text's
    // direction, upright on its baseline; then into page space.
    const fz_point d = t.at.direction;
    const fz_matrix shown = fz_concat(fz_make_matrix(float(size * d.x), float(size * d.y), float(size * d.y),
                                                     float(-size * d.x), t.at.origin.x, t.at.origin.y),
                                      toPage);
    const std::string colour = colourOf(t.at.color);
    // A face without the weight asked for is stroked as well as filled.
    std::string ops = "q BT " + number(spacing) + " Tc 0 Tw " + number(squeeze * 100) + " Tz " + colour + " rg " + colour + " RG "
        + number(size * kFakeBoldStroke) + " w\n";
    double pen = 0;   // along the baseline, in ems as drawn
    for (size_t i = 0; i < glyphs.size();) {
        // A segment: glyphs of one font, one made-up weight and slant, one rise.
        const ReplacementFonts::Glyph &first = glyphs[i];
        size_t j = i;
        while (j < glyphs.size() && glyphs[j].font == first.font && glyphs[j].fakeBold == first.fakeBold
               && glyphs[j].fakeItalic == first.fakeItalic && glyphs[j].yOffset == first.yOffset)
            ++j;
        std::string &name = (*fontNames)[first.font];
        if (name.empty())
            name = bind(page, PDF_NAME(Font), "OstrelF", fonts_->fontObject(doc_, first.font));
        const fz_matrix slant = first.fakeItalic ? fz_make_matrix(1, 0, kFakeSlant, 1, 0, 0) : fz_identity;
        const fz_matrix start = fz_concat(fz_concat(slant, fz_translate(float(pen), 0)), shown);
        ops += matrix(start) + " Tm /" + name + " 1 Tf " + (first.fakeBold ? "2" : "0") + " Tr "
            + number(first.yOffset) + " Ts [";
        // Each glyph placed where shaping put it: a shift before and after
        // it for its offset, and the difference between its advance and its
        // width in the font (kerning, joined forms).
        double adjust = 0;
        const auto flush = [&] {
            if (std::fabs(adjust) > 0.05)
                ops += number(adjust);
            adjust = 0;
        };
        for (; i < j; ++i) {
            const ReplacementFonts::Glyph &g = glyphs[i];
            adjust -= g.xOffset * 1000;
            flush();
            ops += '<';
            static const char hex[] = "0123456789ABCDEF";
            for (int shift = 12; shift >= 0; shift -= 4)
                ops += hex[(g.code >> shift) & 0xF];
            ops += '>';
            adjust = (g.width - g.advance + g.xOffset) * 1000;
            pen += (g.advance + spacing) * squeeze;
        }
        flush();
        ops += "] TJ\n";
    }
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
