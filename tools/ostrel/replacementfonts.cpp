#include "replacementfonts.h"

#include "mupdfguard.h"

#include <fribidi.h>
#include <hb-ot.h>
#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <new>
#include <set>
#include <stdexcept>
#include <tuple>

const char *const ReplacementFonts::kDejaVuFiles[4] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Oblique.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-BoldOblique.ttf",
};
const char *const ReplacementFonts::kCjkFile = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

namespace
{
// A ToUnicode entry longer than this would break the map's string limit;
// no cluster of typed text comes near it.
constexpr size_t kMaxClusterText = 64;
// Codes are two bytes and 0 is the missing glyph.
constexpr size_t kMaxCodes = 0xFFFF;

struct HbDeleter
{
    void operator()(hb_blob_t *b) const { hb_blob_destroy(b); }
    void operator()(hb_face_t *f) const { hb_face_destroy(f); }
    void operator()(hb_font_t *f) const { hb_font_destroy(f); }
    void operator()(hb_buffer_t *b) const { hb_buffer_destroy(b); }
    void operator()(hb_subset_input_t *i) const { hb_subset_input_destroy(i); }
    void operator()(hb_subset_plan_t *p) const { hb_subset_plan_destroy(p); }
};
template <typename T>
using HbPtr = std::unique_ptr<T, HbDeleter>;

// The code points of UTF-8 `text` that are drawn: a tab is a space, other
// control characters go, invalid bytes and lone surrogates come out as
// U+FFFD.
std::u32string drawnCodePoints(const std::string &text)
{
    std::u32string out;
    size_t i = 0;
    while (i < text.size()) {
        int c = 0;
        i += size_t(fz_chartorune(&c, text.c_str() + i));
        if (c == '\t')
            c = ' ';
        if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            continue;
        if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF)
            c = 0xFFFD;
        out.push_back(char32_t(c));
    }
    return out;
}

hb_unicode_general_category_t category(char32_t c)
{
    return hb_unicode_general_category(hb_unicode_funcs_get_default(), c);
}

// Characters that only steer shaping or ordering; no font needs a glyph
// for them.
bool ignorable(char32_t c)
{
    return category(c) == HB_UNICODE_GENERAL_CATEGORY_FORMAT || (c >= 0xFE00 && c <= 0xFE0F)
        || (c >= 0xE0100 && c <= 0xE01EF) || (c >= 0x180B && c <= 0x180D) || c == 0x034F;
}

bool isMark(char32_t c)
{
    const hb_unicode_general_category_t g = category(c);
    return g == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK || g == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK
        || g == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK;
}

// Direction marks and embeddings have done their work once the text is
// ordered; a reader of the text does not want them back.
bool bidiControl(char32_t c)
{
    return c == 0x200E || c == 0x200F || c == 0x061C || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

uint32_t fnv(const void *data, size_t size, uint32_t h = 2166136261u)
{
    const unsigned char *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < size; ++i)
        h = (h ^ p[i]) * 16777619u;
    return h;
}

void hex4(std::string *out, unsigned v)
{
    static const char digits[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4)
        *out += digits[(v >> shift) & 0xF];
}

// `text` as UTF-16BE hex, a surrogate pair for a character past the BMP.
std::string utf16Hex(const std::u32string &text)
{
    std::string out;
    for (const char32_t c : text) {
        if (c >= 0x10000) {
            hex4(&out, 0xD800 + ((c - 0x10000) >> 10));
            hex4(&out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            hex4(&out, c);
        }
    }
    return out;
}

std::string toUnicodeMap(const std::vector<std::u32string> &texts)
{
    std::vector<std::pair<unsigned, std::string>> entries;
    for (size_t code = 1; code < texts.size(); ++code) {
        if (!texts[code].empty())
            entries.push_back({unsigned(code), utf16Hex(texts[code])});
    }
    std::string map = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    // At most 100 entries a block.
    for (size_t first = 0; first < entries.size(); first += 100) {
        const size_t last = std::min(entries.size(), first + 100);
        map += std::to_string(last - first) + " beginbfchar\n";
        for (size_t i = first; i < last; ++i) {
            map += '<';
            hex4(&map, entries[i].first);
            map += "> <" + entries[i].second + ">\n";
        }
        map += "endbfchar\n";
    }
    return map + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

// A PDF name made of the letters, digits and hyphens of `name`.
std::string plainName(const char *name)
{
    std::string out;
    for (const char *p = name; *p && out.size() < 100; ++p) {
        const char c = *p;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')
            out += c;
    }
    return out.empty() ? std::string("Font") : out;
}

fz_buffer *newBuffer(fz_context *ctx, const std::string &bytes)
{
    return fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

// Adds (or, for an existing `*ref`, replaces) a stream holding `bytes`.
// Call inside guarded().
void putStream(fz_context *ctx, pdf_document *doc, pdf_obj **ref, const std::string &bytes)
{
    fz_buffer *buffer = newBuffer(ctx, bytes);
    fz_try(ctx) {
        if (*ref)
            pdf_update_stream(ctx, doc, *ref, buffer, 0);
        else
            *ref = pdf_add_stream(ctx, doc, buffer, nullptr, 0);
    }
    fz_always(ctx)
        fz_drop_buffer(ctx, buffer);
    fz_catch(ctx)
        fz_rethrow(ctx);
}
}

// One font file (one face of it) and what is drawn with it: the codes
// handed out, each a glyph and the text it stands for.
class ReplacementFonts::Source
{
public:
    Source(const std::string &path, int index, Face faceItHas)
        : has_(faceItHas), blob_(hb_blob_create_from_file_or_fail(path.c_str()))
    {
        if (!blob_)
            throw std::runtime_error("cannot read the font \"" + path + "\"");
        face_.reset(hb_face_create(blob_.get(), unsigned(index)));
        font_.reset(hb_font_create(face_.get()));
        // Harfbuzz gives its empty objects when memory runs out.
        if (face_.get() == hb_face_get_empty() || font_.get() == hb_font_get_empty())
            throw std::bad_alloc();
        upem_ = std::max(1u, hb_face_get_upem(face_.get()));
        // Only TrueType outlines are embedded; bitmap-only faces (colour
        // emoji) would draw nothing.
        HbPtr<hb_blob_t> glyf(hb_face_reference_table(face_.get(), HB_TAG('g', 'l', 'y', 'f')));
        outlines_ = hb_blob_get_length(glyf.get()) > 0;
        codes_.resize(1);   // code 0: the missing glyph, never drawn
    }

    bool has(char32_t c) const
    {
        hb_codepoint_t glyph = 0;
        return outlines_ && hb_font_get_nominal_glyph(font_.get(), c, &glyph) && glyph != 0;
    }
    Face face() const { return has_; }
    hb_font_t *font() const { return font_.get(); }
    double em(hb_position_t v) const { return double(v) / upem_; }
    // The width of `glyph` as the font object's W array gives it.
    double width(unsigned glyph) const
    {
        return std::round(em(hb_font_get_glyph_h_advance(font_.get(), glyph)) * 1000) / 1000;
    }

    size_t codeCount() const { return codes_.size(); }
    bool knows(unsigned glyph, const std::u32string &text) const { return index_.count({glyph, text}) != 0; }
    unsigned code(unsigned glyph, const std::u32string &text)
    {
        auto it = index_.find({glyph, text});
        if (it == index_.end()) {
            it = index_.insert({{glyph, text}, unsigned(codes_.size())}).first;
            codes_.push_back({glyph, text});
        }
        return it->second;
    }

    pdf_obj *object(fz_context *ctx, pdf_document *doc);
    void embed(fz_context *ctx, pdf_document *doc);
    void drop(fz_context *ctx)
    {
        for (pdf_obj *o : {type0_, cidFont_, descriptor_, file_, toUnicode_, cidToGid_})
            pdf_drop_obj(ctx, o);
    }

private:
    struct Code
    {
        unsigned glyph;
        std::u32string text;
    };
    std::string subset(const std::set<unsigned> &glyphs, std::map<unsigned, unsigned> *newIds);

    Face has_;
    HbPtr<hb_blob_t> blob_;
    HbPtr<hb_face_t> face_;
    HbPtr<hb_font_t> font_;
    HbPtr<hb_face_t> ready_;   // for subsetting, made on first use
    unsigned upem_ = 1000;
    bool outlines_ = false;
    std::vector<Code> codes_;
    std::map<std::pair<unsigned, std::u32string>, unsigned> index_;
    size_t embedded_ = 0;   // codes in the objects as last written
    pdf_obj *type0_ = nullptr, *cidFont_ = nullptr, *descriptor_ = nullptr;
    pdf_obj *file_ = nullptr, *toUnicode_ = nullptr, *cidToGid_ = nullptr;
};

// A TrueType font holding the outlines of `glyphs` only (and the parts of
// composite ones), and where each glyph went in it. Layout tables go: they
// would pull in glyphs of other letters, and PDF readers do not use them.
std::string ReplacementFonts::Source::subset(const std::set<unsigned> &glyphs, std::map<unsigned, unsigned> *newIds)
{
    // Harfbuzz allocates past the new-handler that tells of memory running
    // out: its failures are thrown as the handler would.
    HbPtr<hb_subset_input_t> input(hb_subset_input_create_or_fail());
    if (!input)
        throw std::bad_alloc();
    hb_set_t *keep = hb_subset_input_glyph_set(input.get());
    for (const unsigned g : glyphs)
        hb_set_add(keep, g);
    hb_set_t *drop = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (const char *tag : {"GSUB", "GPOS", "GDEF", "BASE", "JSTF", "MATH", "kern", "morx", "mort", "kerx", "COLR",
                            "CPAL", "SVG ", "CBDT", "CBLC", "sbix", "EBDT", "EBLC", "EBSC", "vhea", "vmtx", "VORG"})
        hb_set_add(drop, HB_TAG(tag[0], tag[1], tag[2], tag[3]));
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_NO_HINTING);
    // A face made ready for cutting once: cutting again on every page that
    // adds glyphs then costs little, even for the large CJK font.
    if (!ready_) {
        // Short of memory, harfbuzz 6 hands back the face it was given, and
        // without a reference of its own (kept as it is, the face would be
        // released twice). That face is cut all the same, only slower.
        hb_face_t *ready = hb_subset_preprocess(face_.get());
        ready_.reset(ready && ready != face_.get() ? ready : hb_face_reference(face_.get()));
    }
    HbPtr<hb_subset_plan_t> plan(hb_subset_plan_create_or_fail(ready_.get(), input.get()));
    HbPtr<hb_face_t> cut(plan ? hb_subset_plan_execute_or_fail(plan.get()) : nullptr);
    if (!cut)
        throw std::runtime_error("cannot cut down a font for the replacement text");
    const hb_map_t *moved = hb_subset_plan_old_to_new_glyph_mapping(plan.get());
    for (const unsigned g : glyphs)
        (*newIds)[g] = hb_map_get(moved, g);
    HbPtr<hb_blob_t> bytes(hb_face_reference_blob(cut.get()));
    unsigned int length = 0;
    const char *data = hb_blob_get_data(bytes.get(), &length);
    return std::string(data, length);
}

// The Type0 font, its descendant and descriptor, with what does not depend
// on the glyphs drawn; embed() fills in the rest.
pdf_obj *ReplacementFonts::Source::object(fz_context *ctx, pdf_document *doc)
{
    if (type0_)
        return type0_;
    hb_font_extents_t extents{};
    hb_font_get_h_extents(font_.get(), &extents);
    hb_position_t capHeight = 0;
    if (!hb_ot_metrics_get_position(font_.get(), HB_OT_METRICS_TAG_CAP_HEIGHT, &capHeight))
        capHeight = extents.ascender;
    const float slant = hb_style_get_value(font_.get(), HB_STYLE_TAG_SLANT_ANGLE);
    // The font's box, from its head table (xMin, yMin, xMax, yMax at 36).
    HbPtr<hb_blob_t> head(hb_face_reference_table(face_.get(), HB_TAG('h', 'e', 'a', 'd')));
    unsigned length = 0;
    const unsigned char *h = reinterpret_cast<const unsigned char *>(hb_blob_get_data(head.get(), &length));
    int box[4] = {0, int(extents.descender), int(upem_), int(extents.ascender)};
    if (length >= 44) {
        for (int i = 0; i < 4; ++i)
            box[i] = int16_t(uint16_t(h[36 + 2 * i] << 8 | h[37 + 2 * i]));
    }
    const auto thousandths = [this](double v) { return int64_t(std::lround(v * 1000 / upem_)); };
    guarded(ctx, [&] {
        descriptor_ = pdf_add_new_dict(ctx, doc, 10);
        pdf_dict_put(ctx, descriptor_, PDF_NAME(Type), PDF_NAME(FontDescriptor));
        pdf_dict_put_int(ctx, descriptor_, PDF_NAME(Flags), 4 | (has_.italic ? 64 : 0));   // symbolic, italic
        pdf_obj *bbox = pdf_dict_put_array(ctx, descriptor_, PDF_NAME(FontBBox), 4);
        for (const int v : box)
            pdf_array_push_int(ctx, bbox, thousandths(v));
        pdf_dict_put_real(ctx, descriptor_, PDF_NAME(ItalicAngle), slant);
        pdf_dict_put_int(ctx, descriptor_, PDF_NAME(Ascent), thousandths(extents.ascender));
        pdf_dict_put_int(ctx, descriptor_, PDF_NAME(Descent), thousandths(extents.descender));
        pdf_dict_put_int(ctx, descriptor_, PDF_NAME(CapHeight), thousandths(capHeight));
        pdf_dict_put_int(ctx, descriptor_, PDF_NAME(StemV), has_.bold ? 140 : 80);

        cidFont_ = pdf_add_new_dict(ctx, doc, 8);
        pdf_dict_put(ctx, cidFont_, PDF_NAME(Type), PDF_NAME(Font));
        pdf_dict_put(ctx, cidFont_, PDF_NAME(Subtype), PDF_NAME(CIDFontType2));
        pdf_obj *info = pdf_dict_put_dict(ctx, cidFont_, PDF_NAME(CIDSystemInfo), 3);
        pdf_dict_put_text_string(ctx, info, PDF_NAME(Registry), "Adobe");
        pdf_dict_put_text_string(ctx, info, PDF_NAME(Ordering), "Identity");
        pdf_dict_put_int(ctx, info, PDF_NAME(Supplement), 0);
        pdf_dict_put(ctx, cidFont_, PDF_NAME(FontDescriptor), descriptor_);

        type0_ = pdf_add_new_dict(ctx, doc, 5);
        pdf_dict_put(ctx, type0_, PDF_NAME(Type), PDF_NAME(Font));
        pdf_dict_put(ctx, type0_, PDF_NAME(Subtype), PDF_NAME(Type0));
        pdf_dict_put(ctx, type0_, PDF_NAME(Encoding), PDF_NAME(Identity_H));
        pdf_obj *descendants = pdf_dict_put_array(ctx, type0_, PDF_NAME(DescendantFonts), 1);
        pdf_array_push(ctx, descendants, cidFont_);
    });
    return type0_;
}

void ReplacementFonts::Source::embed(fz_context *ctx, pdf_document *doc)
{
    if (!type0_ || embedded_ == codes_.size())
        return;
    std::set<unsigned> glyphs = {0};
    std::vector<std::u32string> texts;
    for (const Code &c : codes_) {
        glyphs.insert(c.glyph);
        texts.push_back(c.text);
    }
    // Codes stay; the glyphs they show are numbered anew in each subset.
    std::map<unsigned, unsigned> newIds;
    const std::string file = subset(glyphs, &newIds);
    std::string cidToGid;
    for (const Code &c : codes_) {
        cidToGid += char(newIds[c.glyph] >> 8);
        cidToGid += char(newIds[c.glyph] & 0xFF);
    }
    const std::string toUnicode = toUnicodeMap(texts);
    // Subset fonts are named with a tag of six capitals that differs when
    // the glyphs differ.
    std::vector<unsigned> list(glyphs.begin(), glyphs.end());
    uint32_t hash = fnv(list.data(), list.size() * sizeof(unsigned));
    std::string name;
    for (int i = 0; i < 6; ++i, hash /= 26)
        name += char('A' + hash % 26);
    char postscript[128] = "";
    unsigned size = sizeof postscript;
    hb_ot_name_get_utf8(face_.get(), HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &size, postscript);
    name += '+' + plainName(postscript);
    std::vector<int64_t> widths;
    for (const Code &c : codes_)
        widths.push_back(std::lround(width(c.glyph) * 1000));

    guarded(ctx, [&] {
        putStream(ctx, doc, &file_, file);
        pdf_dict_put_int(ctx, file_, PDF_NAME(Length1), int64_t(file.size()));
        putStream(ctx, doc, &toUnicode_, toUnicode);
        putStream(ctx, doc, &cidToGid_, cidToGid);
        pdf_dict_put(ctx, descriptor_, PDF_NAME(FontFile2), file_);
        pdf_dict_put_name(ctx, descriptor_, PDF_NAME(FontName), name.c_str());
        pdf_dict_put_name(ctx, cidFont_, PDF_NAME(BaseFont), name.c_str());
        pdf_dict_put(ctx, cidFont_, PDF_NAME(CIDToGIDMap), cidToGid_);
        pdf_dict_put_int(ctx, cidFont_, PDF_NAME(DW), 0);
        pdf_obj *w = pdf_dict_put_array(ctx, cidFont_, PDF_NAME(W), 2);
        pdf_array_push_int(ctx, w, 1);
        pdf_obj *run = pdf_array_push_array(ctx, w, int(widths.size()));
        for (size_t i = 1; i < widths.size(); ++i)
            pdf_array_push_int(ctx, run, widths[i]);
        pdf_dict_put_name(ctx, type0_, PDF_NAME(BaseFont), name.c_str());
        pdf_dict_put(ctx, type0_, PDF_NAME(ToUnicode), toUnicode_);
    });
    embedded_ = codes_.size();
}

ReplacementFonts::ReplacementFonts(fz_context *ctx)
    : ctx_(ctx)
{
}

ReplacementFonts::~ReplacementFonts()
{
    for (const auto &source : sources_)
        source->drop(ctx_);
}

void ReplacementFonts::prepare(const std::vector<std::string> &texts)
{
    if (openFile(kDejaVuFiles[0], 0, Face()) < 0)
        throw std::runtime_error(std::string("cannot read the font \"") + kDejaVuFiles[0] + "\"");
    for (const std::string &t : texts) {
        for (const char32_t c : drawnCodePoints(t)) {
            if (!ignorable(c))
                choose(int(c), Face());
        }
    }
}

long ReplacementFonts::openFile(const std::string &path, int index, Face faceItHas)
{
    const auto key = std::make_pair(path, index);
    const auto it = opened_.find(key);
    if (it != opened_.end())
        return it->second;
    // A font that cannot be read is passed over like one without the
    // character (a missing bold face gives a made-up bold).
    try {
        sources_.emplace_back(new Source(path, index, faceItHas));
    } catch (const std::runtime_error &) {
        return opened_[key] = -1;
    }
    return opened_[key] = long(sources_.size() - 1);
}

ReplacementFonts::Choice ReplacementFonts::choose(int codePoint, Face face)
{
    const auto key = std::make_pair(codePoint, int(face.bold) + 2 * int(face.italic));
    const auto known = choices_.find(key);
    if (known != choices_.end())
        return known->second;
    Choice choice;
    const auto take = [&](long font) {
        if (font < 0 || !sources_[size_t(font)]->has(char32_t(codePoint)))
            return false;
        const Face has = sources_[size_t(font)]->face();
        choice = Choice{font, face.bold && !has.bold, face.italic && !has.italic};
        return true;
    };
    take(openFile(kDejaVuFiles[key.second], 0, face)) || take(openFile(kDejaVuFiles[0], 0, Face()))
        || take(openFile(kCjkFile, 0, Face())) || take(fallbackFor(codePoint, face));
    return choices_[key] = choice;
}

// The installed scalable fonts, listed once, in the order of their files.
void ReplacementFonts::listInstalled()
{
    listed_ = true;
    FcConfig *config = FcInitLoadConfigAndFonts();
    if (!config)
        return;
    FcPattern *pattern = FcPatternCreate();
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcObjectSet *fields = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_CHARSET, FC_WEIGHT, FC_SLANT, nullptr);
    FcFontSet *fonts = pattern && fields ? FcFontList(config, pattern, fields) : nullptr;
    for (int i = 0; fonts && i < fonts->nfont; ++i) {
        FcPattern *font = fonts->fonts[i];
        FcChar8 *file = nullptr;
        FcCharSet *charset = nullptr;
        int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch
            || FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch)
            continue;
        FcPatternGetInteger(font, FC_INDEX, 0, &index);
        FcPatternGetInteger(font, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(font, FC_SLANT, 0, &slant);
        Face face;
        face.bold = weight >= FC_WEIGHT_BOLD;
        face.italic = slant != FC_SLANT_ROMAN;
        installed_.push_back({reinterpret_cast<const char *>(file), index, face,
                              std::shared_ptr<FcCharSet>(FcCharSetCopy(charset), FcCharSetDestroy)});
    }
    std::sort(installed_.begin(), installed_.end(), [](const Installed &a, const Installed &b) {
        return std::tie(a.file, a.index) < std::tie(b.file, b.index);
    });
    if (fonts)
        FcFontSetDestroy(fonts);
    if (fields)
        FcObjectSetDestroy(fields);
    if (pattern)
        FcPatternDestroy(pattern);
    FcConfigDestroy(config);
}

// An installed font with a glyph for `codePoint`, the one closest to the
// face asked for; -1 when none has it.
long ReplacementFonts::fallbackFor(int codePoint, Face face)
{
    if (!listed_)
        listInstalled();
    long found = -1;
    int best = -1;
    for (const Installed &font : installed_) {
        const int score = int(font.face.bold == face.bold) + int(font.face.italic == face.italic);
        if (score <= best || !FcCharSetHasChar(font.charset.get(), FcChar32(codePoint)))
            continue;
        const long source = openFile(font.file, font.index, font.face);
        if (source >= 0 && sources_[size_t(source)]->has(char32_t(codePoint))) {
            found = source;
            best = score;
        }
    }
    return found;
}

bool ReplacementFonts::covers(const std::string &text)
{
    for (const char32_t c : drawnCodePoints(text)) {
        if (!ignorable(c) && choose(int(c), Face()).font < 0)
            return false;
    }
    return true;
}

// What shaping needs of each character of a text: its font, whether it
// shows, its embedding level and its script.
struct ReplacementFonts::Characters
{
    std::u32string cps;
    std::vector<Choice> choice;
    std::vector<bool> shown;
    std::vector<FriBidiLevel> levels;
    std::vector<hb_script_t> scripts;
};

namespace
{
// Embedding levels (FriBidi), with trailing white space at the paragraph's
// level.
std::vector<FriBidiLevel> bidiLevels(const std::u32string &cps)
{
    const size_t n = cps.size();
    const FriBidiStrIndex length = FriBidiStrIndex(n);
    std::vector<FriBidiCharType> types(n);
    std::vector<FriBidiBracketType> brackets(n);
    std::vector<FriBidiLevel> levels(n);
    const FriBidiChar *chars = reinterpret_cast<const FriBidiChar *>(cps.data());
    fribidi_get_bidi_types(chars, length, types.data());
    fribidi_get_bracket_types(chars, length, types.data(), brackets.data());
    FriBidiParType base = FRIBIDI_PAR_ON;
    if (!fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), length, &base, levels.data())
        || !fribidi_reorder_line(0, types.data(), length, 0, base, levels.data(), nullptr, nullptr))
        throw std::bad_alloc();
    return levels;
}

// Scripts, with common characters (spaces, digits, punctuation) taking the
// script around them.
std::vector<hb_script_t> scriptsOf(const std::u32string &cps)
{
    const size_t n = cps.size();
    hb_unicode_funcs_t *unicode = hb_unicode_funcs_get_default();
    std::vector<hb_script_t> scripts(n, HB_SCRIPT_COMMON);
    hb_script_t last = HB_SCRIPT_INVALID;
    for (size_t i = 0; i < n; ++i) {
        const hb_script_t s = hb_unicode_script(unicode, cps[i]);
        if (s != HB_SCRIPT_COMMON && s != HB_SCRIPT_INHERITED && s != HB_SCRIPT_UNKNOWN)
            last = s;
        scripts[i] = last;
    }
    for (size_t i = n; i-- > 0;) {
        if (scripts[i] == HB_SCRIPT_INVALID)
            scripts[i] = i + 1 < n && scripts[i + 1] != HB_SCRIPT_INVALID ? scripts[i + 1] : HB_SCRIPT_COMMON;
    }
    return scripts;
}

// Display order of the items (rule L2): from the highest level down to the
// lowest odd one, every run of items at that level or above turns round.
template <class Item>
void toDisplayOrder(std::vector<Item> *items, const std::vector<FriBidiLevel> &levels)
{
    FriBidiLevel highest = 0, lowestOdd = 255;
    for (const Item &item : *items) {
        highest = std::max(highest, levels[item.start]);
        if (levels[item.start] % 2)
            lowestOdd = std::min(lowestOdd, levels[item.start]);
    }
    for (int level = highest; level >= int(lowestOdd) && level > 0; --level) {
        for (size_t i = 0; i < items->size();) {
            if (levels[(*items)[i].start] < level) {
                ++i;
                continue;
            }
            size_t j = i;
            while (j < items->size() && levels[(*items)[j].start] >= level)
                ++j;
            std::reverse(items->begin() + long(i), items->begin() + long(j));
            i = j;
        }
    }
}
}

bool ReplacementFonts::chooseFonts(Face face, Characters *chars)
{
    // The font of each character; a mark stays in its base's font when
    // that has it, an ignorable character goes with its neighbours.
    const std::u32string &cps = chars->cps;
    const size_t n = cps.size();
    std::vector<Choice> &choice = chars->choice;
    std::vector<bool> &shown = chars->shown;
    choice.assign(n, Choice());
    shown.assign(n, false);
    long previous = -1;
    for (size_t i = 0; i < n; ++i) {
        shown[i] = !ignorable(cps[i]);
        if (!shown[i])
            continue;
        if (previous >= 0 && isMark(cps[i]) && sources_[size_t(choice[size_t(previous)].font)]->has(cps[i]))
            choice[i] = choice[size_t(previous)];
        else
            choice[i] = choose(int(cps[i]), face);
        if (choice[i].font < 0)
            return false;
        previous = long(i);
    }
    return true;
}

std::vector<ReplacementFonts::Item> ReplacementFonts::itemsOf(Characters *chars)
{
    const size_t n = chars->cps.size();
    std::vector<Choice> &choice = chars->choice;
    std::vector<FriBidiLevel> &levels = chars->levels;
    std::vector<hb_script_t> &scripts = chars->scripts;
    // Ignorable characters share the item of the shown one before them
    // (after them at the start).
    size_t firstShown = 0;
    while (!chars->shown[firstShown])
        ++firstShown;
    for (size_t i = 0; i < n; ++i) {
        if (!chars->shown[i]) {
            const size_t from = i < firstShown ? firstShown : i - 1;
            choice[i] = choice[from];
            levels[i] = levels[from];
            scripts[i] = scripts[from];
        }
    }
    // Items: ranges of one font, level and script, shaped each on its own
    // with the whole text as context.
    std::vector<Item> items;
    for (size_t i = 0; i < n; ++i) {
        const bool same = !items.empty() && choice[i].font == choice[i - 1].font
            && choice[i].fakeBold == choice[i - 1].fakeBold && choice[i].fakeItalic == choice[i - 1].fakeItalic
            && levels[i] == levels[i - 1] && scripts[i] == scripts[i - 1];
        if (same)
            items.back().end = i + 1;
        else
            items.push_back({i, i + 1});
    }
    toDisplayOrder(&items, levels);
    return items;
}

void ReplacementFonts::shapeItem(const Characters &chars, const Item &item, hb_buffer_t *b, std::vector<Pending> *pending)
{
    const std::u32string &cps = chars.cps;
    const Choice &c = chars.choice[item.start];
    const bool rightToLeft = chars.levels[item.start] % 2;
    Source &source = *sources_[size_t(c.font)];
    hb_buffer_clear_contents(b);
    hb_buffer_add_utf32(b, reinterpret_cast<const uint32_t *>(cps.data()), int(cps.size()), unsigned(item.start),
                        int(item.end - item.start));
    hb_buffer_set_direction(b, rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_buffer_set_script(b, chars.scripts[item.start]);
    hb_buffer_set_language(b, hb_language_get_default());
    // Marks keep clusters of their own, so each glyph gives back its own
    // character where the font draws it apart.
    hb_buffer_set_cluster_level(b, HB_BUFFER_CLUSTER_LEVEL_MONOTONE_CHARACTERS);
    hb_shape(source.font(), b, nullptr, 0);
    if (!hb_buffer_allocation_successful(b))
        throw std::bad_alloc();
    unsigned count = 0;
    const hb_glyph_info_t *info = hb_buffer_get_glyph_infos(b, &count);
    const hb_glyph_position_t *pos = hb_buffer_get_glyph_positions(b, &count);
    // A cluster's characters run to the next cluster's start.
    std::vector<unsigned> starts;
    for (unsigned g = 0; g < count; ++g)
        starts.push_back(info[g].cluster);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    std::set<unsigned> given;   // clusters whose text a glyph carries already
    for (unsigned g = 0; g < count; ++g) {
        const unsigned cluster = info[g].cluster;
        const auto next = std::upper_bound(starts.begin(), starts.end(), cluster);
        const size_t end = next == starts.end() ? item.end : *next;
        std::u32string text;
        bool showsSomething = false;
        for (size_t k = cluster; k < end; ++k) {
            showsSomething = showsSomething || chars.shown[k];
            if (!bidiControl(cps[k]) && text.size() < kMaxClusterText)
                text.push_back(cps[k]);
        }
        if (!showsSomething)
            continue;   // hidden joiners and marks of direction
        if (!given.insert(cluster).second)
            text.clear();
        // Readers spread a glyph's characters over its width from left to
        // right and read right-to-left words from the right: a
        // right-to-left ligature (lam-alef) lists its characters in
        // display order to be read as typed.
        if (rightToLeft)
            std::reverse(text.begin(), text.end());
        const Glyph glyph{size_t(c.font), 0, source.width(info[g].codepoint), source.em(pos[g].x_advance),
                          source.em(pos[g].x_offset), source.em(pos[g].y_offset), c.fakeBold, c.fakeItalic};
        pending->push_back({glyph, info[g].codepoint, text});
    }
}

bool ReplacementFonts::handOutCodes(const std::vector<Pending> &pending, std::vector<Glyph> *glyphs)
{
    // Codes are handed out only when every font has room for them.
    std::map<size_t, std::set<std::pair<unsigned, std::u32string>>> added;
    for (const Pending &p : pending) {
        if (!sources_[p.glyph.font]->knows(p.id, p.text))
            added[p.glyph.font].insert({p.id, p.text});
    }
    for (const auto &entry : added) {
        if (sources_[entry.first]->codeCount() + entry.second.size() > kMaxCodes)
            return false;
    }
    for (const Pending &p : pending) {
        Glyph glyph = p.glyph;
        glyph.code = sources_[p.glyph.font]->code(p.id, p.text);
        glyphs->push_back(glyph);
    }
    return true;
}

bool ReplacementFonts::shape(const std::string &text, Face face, std::vector<Glyph> *glyphs)
{
    glyphs->clear();
    Characters chars;
    chars.cps = drawnCodePoints(text);
    if (chars.cps.empty())
        return true;
    if (!chooseFonts(face, &chars))
        return false;
    if (std::find(chars.shown.begin(), chars.shown.end(), true) == chars.shown.end())
        return true;   // nothing that shows
    chars.levels = bidiLevels(chars.cps);
    chars.scripts = scriptsOf(chars.cps);
    std::vector<Pending> pending;
    HbPtr<hb_buffer_t> buffer(hb_buffer_create());
    for (const Item &item : itemsOf(&chars))
        shapeItem(chars, item, buffer.get(), &pending);
    return handOutCodes(pending, glyphs);
}

pdf_obj *ReplacementFonts::fontObject(pdf_document *doc, size_t index)
{
    return sources_.at(index)->object(ctx_, doc);
}

void ReplacementFonts::embed(pdf_document *doc)
{
    for (const auto &source : sources_)
        source->embed(ctx_, doc);
}
