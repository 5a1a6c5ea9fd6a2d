#include "pageglyphs.h"

#include "contenttokens.h"
#include "fontcache.h"
#include "mupdfguard.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace
{
// Limits of what one page may ask for. Real pages nest forms a few levels
// deep, save a few dozen graphics states and show some hundred thousand
// glyphs; content that asks for far more is refused (or, for forms, left
// unread) before it takes gigabytes or minutes.
const int kFormDepthLimit = 8;
const size_t kFormsDrawnLimit = 10000;
const size_t kSavedStatesLimit = 4096;
const size_t kTokenLimit = 50000000;
const size_t kGlyphLimit = 1000000;
const size_t kStreamBytesLimit = size_t(256) << 20;   // one stream, and all of a page's together
const size_t kOperandLimit = 64;

int channel(double v)
{
    return int(std::lround(std::min(1.0, std::max(0.0, v)) * 255));
}

int rgb(double r, double g, double b)
{
    return (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

// `n` is 1, 3 or 4: only plain spaces come here.
int fromComponents(size_t n, const double *c)
{
    switch (n) {
    case 3: return rgb(c[0], c[1], c[2]);
    case 4: return rgb((1 - c[0]) * (1 - c[3]), (1 - c[1]) * (1 - c[3]), (1 - c[2]) * (1 - c[3]));
    default: return rgb(c[0], c[0], c[0]);
    }
}

// An operator's name as a number, so telling operators apart costs one
// comparison each; names longer than three letters (none is used here) are 0.
constexpr uint32_t operatorCode(const char *name, size_t length)
{
    return length > 3 ? 0
        : length == 0 ? 0
        : uint32_t(static_cast<unsigned char>(name[0])) | (length > 1 ? uint32_t(static_cast<unsigned char>(name[1])) << 8 : 0)
            | (length > 2 ? uint32_t(static_cast<unsigned char>(name[2])) << 16 : 0);
}

template <size_t N>
constexpr uint32_t operatorCode(const char (&name)[N])
{
    return operatorCode(name, N - 1);
}

uint32_t operatorCode(const std::string &name)
{
    return operatorCode(name.data(), name.size());
}

// Up to `size` bytes of `stream`; 0 at its end, and where damaged data
// stop it (what it gave until there is what viewers show).
size_t readSome(fz_context *ctx, fz_stream *stream, unsigned char *buffer, size_t size)
{
    size_t n = 0;
    fz_var(n);
    fz_try(ctx)
        n = fz_read(ctx, stream, buffer, size);
    fz_catch(ctx)
        return 0;
    return n;
}

// A stream's decoded bytes, read in pieces so a stream that inflates
// without end stops at the limit.
std::string readStream(fz_context *ctx, pdf_obj *object)
{
    fz_stream *opened = nullptr;
    fz_var(opened);
    fz_try(ctx)
        opened = pdf_open_stream(ctx, object);
    fz_catch(ctx)
        return std::string();
    struct Closer
    {
        fz_context *ctx;
        fz_stream *stream;
        ~Closer() { fz_drop_stream(ctx, stream); }
    } closer{ctx, opened};
    std::string bytes;
    unsigned char chunk[65536];
    for (;;) {
        const size_t n = readSome(ctx, closer.stream, chunk, sizeof chunk);
        if (n == 0)
            return bytes;
        if (bytes.size() + n > kStreamBytesLimit)
            throw MupdfError("a content stream decodes to more than 256 MB");
        bytes.append(reinterpret_cast<const char *>(chunk), n);
    }
}

// A text string of the content (PDFDocEncoding or UTF-16) as characters.
std::u32string textOf(fz_context *ctx, const std::string &written)
{
    char *utf8 = nullptr;
    guarded(ctx, [&] { utf8 = pdf_new_utf8_from_pdf_string(ctx, written.data(), written.size()); });
    // Freed also when appending runs out of memory.
    struct Freer
    {
        fz_context *ctx;
        void operator()(char *p) const { fz_free(ctx, p); }
    };
    const std::unique_ptr<char, Freer> owned(utf8, Freer{ctx});
    std::u32string text;
    for (const char *p = utf8; p && *p;) {
        int c = 0;
        p += fz_chartorune(&c, p);
        if (c > 0)
            text += char32_t(c);
    }
    return text;
}
}

struct PageGlyphs::State
{
    fz_matrix ctm = fz_identity;
    const FontCache::Font *font = nullptr;
    double size = 0, charSpace = 0, wordSpace = 0, scale = 1, leading = 0, rise = 0;
    int render = 0;   // the text rendering mode
    int color = 0;
    Space fill = {1, true};
};

struct PageGlyphs::Operand
{
    ContentTokens::Kind kind = ContentTokens::Kind::Other;
    double number = 0;
    size_t start = 0, end = 0;   // its bytes in the stream
    bool actual = false;         // a dictionary with an /ActualText, which `text` then holds
    std::string text;
    std::vector<Operand> items;   // of an array
};

bool PageGlyphs::isWhiteSpace(char32_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xA0 || c == 0x3000 || (c >= 0x2000 && c <= 0x200B);
}

PageGlyphs::PageGlyphs(fz_context *ctx, pdf_page *page, const fz_matrix &toShown,
                       FontCache *fonts, bool lastStreamOnly)
    : ctx_(ctx), toShown_(toShown), fonts_(fonts)
{
    pdf_obj *contents = nullptr, *resources = nullptr;
    int count = 0;
    guarded(ctx, [&] {
        contents = pdf_page_contents(ctx, page);
        resources = pdf_page_resources(ctx, page);
        count = pdf_is_array(ctx, contents) ? pdf_array_len(ctx, contents) : 1;
    });
    Stream own;
    own.resources = resources;
    for (int i = lastStreamOnly ? std::max(count - 1, 0) : 0; i < count; ++i) {
        pdf_obj *object = nullptr;
        int isStream = 0;
        guarded(ctx, [&] {
            object = pdf_is_array(ctx, contents) ? pdf_array_get(ctx, contents, i) : contents;
            isStream = pdf_is_stream(ctx, object);
        });
        if (!object)
            continue;
        own.parts.push_back(object);
        if (isStream)
            own.bytes += readStream(ctx, object);
        // Readers part the streams by a white-space byte.
        own.bytes += '\n';
        if (own.bytes.size() > kStreamBytesLimit)
            throw MupdfError("the page's content decodes to more than 256 MB");
    }
    own.object = own.parts.empty() ? nullptr : own.parts.front();
    bytesRead_ = own.bytes.size();
    streams_.push_back(std::move(own));
    State state;
    std::vector<State> saved;
    run(0, &state, &saved, 0);
    openStates_ = int(saved.size());
}

int PageGlyphs::addStream(pdf_obj *object, pdf_obj *resources, int parent, const std::string &name)
{
    Stream s;
    s.object = object;
    s.resources = resources;
    s.parent = parent;
    s.name = name;
    int isStream = 0;
    guarded(ctx_, [&] { isStream = pdf_is_stream(ctx_, object); });
    if (isStream)
        s.bytes = readStream(ctx_, object);
    bytesRead_ += s.bytes.size();
    if (bytesRead_ > kStreamBytesLimit)
        throw MupdfError("the page's content decodes to more than 256 MB");
    streams_.push_back(std::move(s));
    return int(streams_.size() - 1);
}

PageGlyphs::Space PageGlyphs::colorSpace(pdf_obj *resources, const Operand &space) const
{
    const std::string &name = space.text;
    if (name == "DeviceGray" || name == "G" || name == "CalGray")
        return {1, true};
    if (name == "DeviceRGB" || name == "RGB" || name == "CalRGB")
        return {3, true};
    if (name == "DeviceCMYK" || name == "CMYK")
        return {4, true};
    if (name == "Indexed" || name == "I" || (!space.items.empty() && (space.items[0].text == "I"
                                                                       || space.items[0].text == "Indexed")))
        return {1, false};
    if (name == "Pattern")
        return {0, false};
    Space found;
    fz_context *ctx = ctx_;
    fz_try(ctx) {
        pdf_obj *cs = pdf_dict_gets(ctx, pdf_dict_get(ctx, resources, PDF_NAME(ColorSpace)), name.c_str());
        if (pdf_is_name(ctx, cs)) {
            const char *n = pdf_to_name(ctx, cs);
            found.components = !strcmp(n, "DeviceGray") ? 1 : !strcmp(n, "DeviceRGB") ? 3 : !strcmp(n, "DeviceCMYK") ? 4 : 0;
            found.plain = found.components > 0;
        } else if (pdf_is_array(ctx, cs)) {
            pdf_obj *family = pdf_array_get(ctx, cs, 0);
            if (pdf_name_eq(ctx, family, PDF_NAME(ICCBased))) {
                found.components = pdf_dict_get_int(ctx, pdf_array_get(ctx, cs, 1), PDF_NAME(N));
                found.plain = found.components == 1 || found.components == 3 || found.components == 4;
            } else if (pdf_name_eq(ctx, family, PDF_NAME(CalRGB)) || pdf_name_eq(ctx, family, PDF_NAME(Lab))) {
                found.components = 3;
                found.plain = pdf_name_eq(ctx, family, PDF_NAME(CalRGB));
            } else if (pdf_name_eq(ctx, family, PDF_NAME(CalGray))) {
                found = {1, true};
            } else if (pdf_name_eq(ctx, family, PDF_NAME(DeviceN))) {
                found.components = pdf_array_len(ctx, pdf_array_get(ctx, cs, 1));
            } else if (pdf_name_eq(ctx, family, PDF_NAME(Indexed)) || pdf_name_eq(ctx, family, PDF_NAME(Separation))) {
                found.components = 1;
            }
        }
    }
    fz_catch(ctx)
        found = Space();
    return found;
}

void PageGlyphs::run(int streamIndex, State *statePointer, std::vector<State> *saved, int depth)
{
    State &state = *statePointer;
    const std::string &bytes = streams_[size_t(streamIndex)].bytes;
    pdf_obj *resources = streams_[size_t(streamIndex)].resources;
    ContentTokens tokens(bytes);
    std::vector<Operand> operands;
    std::vector<bool> marks;   // per open marked-content sequence: whether it gave an /ActualText
    size_t regionStart = 0;
    const auto number = [&operands](size_t i) {
        return i < operands.size() && operands[i].kind == ContentTokens::Kind::Number ? operands[i].number : 0.0;
    };
    const auto numbers = [&operands](size_t n) {
        if (operands.size() < n)
            return false;
        for (size_t i = operands.size() - n; i < operands.size(); ++i)
            if (operands[i].kind != ContentTokens::Kind::Number)
                return false;
        return true;
    };
    const auto lastMatrix = [&]() {
        const size_t b = operands.size() - 6;
        return fz_make_matrix(float(number(b)), float(number(b + 1)), float(number(b + 2)), float(number(b + 3)),
                              float(number(b + 4)), float(number(b + 5)));
    };
    const auto moveLine = [&](double tx, double ty) {
        tlm_ = fz_pre_translate(tlm_, float(tx), float(ty));
        tm_ = tlm_;
    };
    for (;;) {
        ContentTokens::Token t = tokens.next();
        if (++tokens_ > kTokenLimit)
            throw MupdfError("the page's content is too long to read");
        switch (t.kind) {
        case ContentTokens::Kind::End:
            return;
        case ContentTokens::Kind::Number:
        case ContentTokens::Kind::String:
        case ContentTokens::Kind::Name: {
            if (operands.size() >= kOperandLimit)
                operands.erase(operands.begin());
            operands.emplace_back();
            Operand &o = operands.back();
            o.kind = t.kind;
            o.number = t.number;
            o.start = t.start;
            o.end = t.end;
            o.text = std::move(t.text);
            continue;
        }
        case ContentTokens::Kind::OpenArray: {
            Operand array;
            array.kind = ContentTokens::Kind::OpenArray;
            int nesting = 1;
            while (nesting > 0) {
                ContentTokens::Token item = tokens.next();
                if (++tokens_ > kTokenLimit)
                    throw MupdfError("the page's content is too long to read");
                if (item.kind == ContentTokens::Kind::End)
                    break;
                if (item.kind == ContentTokens::Kind::OpenArray)
                    ++nesting;
                else if (item.kind == ContentTokens::Kind::CloseArray)
                    --nesting;
                else if (nesting == 1 && (item.kind == ContentTokens::Kind::Number
                                          || item.kind == ContentTokens::Kind::String
                                          || item.kind == ContentTokens::Kind::Name)) {
                    array.items.emplace_back();
                    Operand &o = array.items.back();
                    o.kind = item.kind;
                    o.number = item.number;
                    o.start = item.start;
                    o.end = item.end;
                    o.text = std::move(item.text);
                }
            }
            if (operands.size() >= kOperandLimit)
                operands.erase(operands.begin());
            operands.push_back(std::move(array));
            continue;
        }
        case ContentTokens::Kind::OpenDict: {
            // Marked-content properties: of them only the text the marked
            // glyphs stand for, /ActualText, makes a difference to glyphs.
            Operand o;
            o.kind = ContentTokens::Kind::OpenDict;
            int nesting = 1;
            bool actualNext = false;
            while (nesting > 0) {
                ContentTokens::Token item = tokens.next();
                if (++tokens_ > kTokenLimit)
                    throw MupdfError("the page's content is too long to read");
                if (item.kind == ContentTokens::Kind::End)
                    break;
                nesting += item.kind == ContentTokens::Kind::OpenDict ? 1
                    : item.kind == ContentTokens::Kind::CloseDict   ? -1
                                                                    : 0;
                if (nesting == 1 && actualNext && item.kind == ContentTokens::Kind::String) {
                    o.actual = true;
                    o.text = std::move(item.text);
                }
                actualNext = nesting == 1 && item.kind == ContentTokens::Kind::Name && item.text == "ActualText";
            }
            if (operands.size() >= kOperandLimit)
                operands.erase(operands.begin());
            operands.push_back(std::move(o));
            continue;
        }
        case ContentTokens::Kind::Keyword:
            break;
        default:
            continue;
        }

        const uint32_t op = operatorCode(t.text);
        if (op == operatorCode("q")) {
            if (saved->size() >= kSavedStatesLimit)
                throw MupdfError("the content saves more than 4096 graphics states");
            saved->push_back(state);
        } else if (op == operatorCode("Q")) {
            if (!saved->empty()) {
                state = saved->back();
                saved->pop_back();
            } else if (depth == 0) {
                restoredTooMany_ = true;
            }
        } else if (op == operatorCode("cm") && numbers(6)) {
            state.ctm = fz_concat(lastMatrix(), state.ctm);
        } else if (op == operatorCode("BT")) {
            tm_ = tlm_ = fz_identity;
        } else if (op == operatorCode("Tm") && numbers(6)) {
            tm_ = tlm_ = lastMatrix();
        } else if (op == operatorCode("Td") && numbers(2)) {
            moveLine(number(operands.size() - 2), number(operands.size() - 1));
        } else if (op == operatorCode("TD") && numbers(2)) {
            state.leading = -number(operands.size() - 1);
            moveLine(number(operands.size() - 2), number(operands.size() - 1));
        } else if (op == operatorCode("T*")) {
            moveLine(0, -state.leading);
        } else if (op == operatorCode("TL") && numbers(1)) {
            state.leading = number(operands.size() - 1);
        } else if (op == operatorCode("Tc") && numbers(1)) {
            state.charSpace = number(operands.size() - 1);
        } else if (op == operatorCode("Tw") && numbers(1)) {
            state.wordSpace = number(operands.size() - 1);
        } else if (op == operatorCode("Tz") && numbers(1)) {
            state.scale = number(operands.size() - 1) / 100;
        } else if (op == operatorCode("Tr") && numbers(1)) {
            state.render = int(std::max(0.0, std::min(8.0, number(operands.size() - 1))));
        } else if (op == operatorCode("Ts") && numbers(1)) {
            state.rise = number(operands.size() - 1);
        } else if (op == operatorCode("Tf") && operands.size() >= 2 && operands[operands.size() - 2].kind == ContentTokens::Kind::Name) {
            state.size = number(operands.size() - 1);
            pdf_obj *dict = nullptr;
            const char *name = operands[operands.size() - 2].text.c_str();
            guarded(ctx_, [&] { dict = pdf_dict_gets(ctx_, pdf_dict_get(ctx_, resources, PDF_NAME(Font)), name); });
            state.font = dict ? fonts_->get(resources, dict) : nullptr;
        } else if (op == operatorCode("gs") && !operands.empty()) {
            pdf_obj *font = nullptr;
            double size = 0;
            const char *name = operands.back().text.c_str();
            guarded(ctx_, [&] {
                pdf_obj *g = pdf_dict_gets(ctx_, pdf_dict_get(ctx_, resources, PDF_NAME(ExtGState)), name);
                pdf_obj *f = pdf_dict_get(ctx_, g, PDF_NAME(Font));
                font = pdf_array_get(ctx_, f, 0);
                size = pdf_array_get_real(ctx_, f, 1);
            });
            if (font) {
                state.font = fonts_->get(resources, font);
                state.size = size;
            }
        } else if (op == operatorCode("Tj") || op == operatorCode("TJ") || op == operatorCode("'") || op == operatorCode("\"")) {
            const Show::Kind kind = op == operatorCode("Tj") ? Show::Tj : op == operatorCode("TJ") ? Show::TJ : op == operatorCode("'") ? Show::Quote : Show::DoubleQuote;
            show(operands, kind, &state, streamIndex, regionStart, t.end);
        } else if (op == operatorCode("g") && numbers(1)) {
            state.fill = {1, true};
            state.color = rgb(number(operands.size() - 1), number(operands.size() - 1), number(operands.size() - 1));
        } else if (op == operatorCode("rg") && numbers(3)) {
            state.fill = {3, true};
            const size_t b = operands.size() - 3;
            state.color = rgb(number(b), number(b + 1), number(b + 2));
        } else if (op == operatorCode("k") && numbers(4)) {
            state.fill = {4, true};
            const size_t b = operands.size() - 4;
            const double c[4] = {number(b), number(b + 1), number(b + 2), number(b + 3)};
            state.color = fromComponents(4, c);
        } else if (op == operatorCode("cs") && !operands.empty()) {
            state.fill = colorSpace(resources, operands.back());
            state.color = 0;   // a new colour space starts at black
        } else if (op == operatorCode("sc") || op == operatorCode("scn")) {
            std::vector<double> values;
            for (const Operand &o : operands)
                if (o.kind == ContentTokens::Kind::Number)
                    values.push_back(o.number);
            if (state.fill.plain && int(values.size()) == state.fill.components)
                state.color = fromComponents(values.size(), values.data());
        } else if (op == operatorCode("BDC") && operands.size() >= 2) {
            beginMarked(operands.back(), &marks);
        } else if (op == operatorCode("BMC")) {
            marks.push_back(false);
        } else if (op == operatorCode("EMC")) {
            if (!marks.empty() && marks.back())
                endActualText();
            if (!marks.empty())
                marks.pop_back();
        } else if (op == operatorCode("Do") && !operands.empty()) {
            drawForm(operands.back().text, streamIndex, state, depth);
        } else if (op == operatorCode("BI") && !skipInlineImage(&tokens, streamIndex)) {
            return;   // its data run to the end: the image is left open
        }
        operands.clear();
        regionStart = tokens.position();
        streams_[size_t(streamIndex)].cleanEnd = regionStart;
    }
}

void PageGlyphs::beginMarked(const Operand &properties, std::vector<bool> *marks)
{
    // Only the properties written in the content count: readers pass
    // over an /ActualText of properties the resources name.
    const bool actual = properties.actual;
    marks->push_back(actual);
    if (!actual)
        return;
    // A span inside another replaces it, as readers take it.
    if (inActualText_)
        endActualText();
    actualText_ = textOf(ctx_, properties.text);
    inActualText_ = true;
    actualTextFirst_ = glyphs_.size();
}

void PageGlyphs::endActualText()
{
    inActualText_ = false;
    if (actualTextFirst_ >= glyphs_.size())
        return;   // it marked no glyph: readers show nothing for it
    // The span's text stands on its first glyph; the others continue it.
    Glyph &first = glyphs_[actualTextFirst_];
    first.text = actualText_;
    first.space = !actualText_.empty() && std::all_of(actualText_.begin(), actualText_.end(), isWhiteSpace);
    for (size_t g = actualTextFirst_ + 1; g < glyphs_.size(); ++g) {
        glyphs_[g].text.clear();
        glyphs_[g].space = false;
        glyphs_[g].continues = true;
    }
}

bool PageGlyphs::skipInlineImage(ContentTokens *tokens, int streamIndex)
{
    // The image's dictionary, up to "ID".
    std::map<std::string, Operand> dict;
    std::string key;
    for (;;) {
        ContentTokens::Token t = tokens->next();
        if (++tokens_ > kTokenLimit)
            throw MupdfError("the page's content is too long to read");
        if (t.kind == ContentTokens::Kind::End)
            return false;
        if (t.kind == ContentTokens::Kind::Keyword && t.text == "ID")
            break;
        if (key.empty() && t.kind == ContentTokens::Kind::Name) {
            key = t.text;
            continue;
        }
        Operand value;
        value.kind = t.kind;
        value.number = t.number;
        value.text = t.text;
        if (t.kind == ContentTokens::Kind::OpenArray) {
            for (ContentTokens::Token item = tokens->next(); item.kind != ContentTokens::Kind::End
                 && item.kind != ContentTokens::Kind::CloseArray; item = tokens->next()) {
                Operand o;
                o.kind = item.kind;
                o.text = item.text;
                value.items.push_back(o);
                if (++tokens_ > kTokenLimit)
                    throw MupdfError("the page's content is too long to read");
            }
        }
        if (!key.empty())
            dict[key] = value;
        key.clear();
    }
    const auto get = [&dict](const char *shortName, const char *longName) -> const Operand * {
        auto it = dict.find(shortName);
        if (it == dict.end())
            it = dict.find(longName);
        return it == dict.end() ? nullptr : &it->second;
    };
    // The data's length when the dictionary tells it: given, or unfiltered
    // samples. Otherwise the data end at the first "EI" between blanks.
    size_t length = 0;
    const Operand *given = get("L", "Length");
    const Operand *width = get("W", "Width"), *height = get("H", "Height");
    const Operand *bits = get("BPC", "BitsPerComponent"), *space = get("CS", "ColorSpace");
    const Operand *mask = get("IM", "ImageMask");
    if (given && given->number > 0 && given->number < 1e12) {
        length = size_t(given->number);
    } else if (!get("F", "Filter") && width && height && width->number > 0 && height->number > 0
               && width->number < 1e6 && height->number < 1e6) {
        const bool isMask = mask && mask->text == "true";
        const int n = isMask ? 1 : space ? colorSpace(streams_[size_t(streamIndex)].resources, *space).components : 0;
        const double bpc = isMask ? 1 : bits ? bits->number : 0;
        if (n > 0 && bpc > 0 && bpc <= 16)
            length = size_t((width->number * n * bpc + 7) / 8) * size_t(height->number);
    }
    return tokens->skipInlineImage(length);
}

void PageGlyphs::drawForm(const std::string &name, int parent, const State &state, int depth)
{
    pdf_obj *resources = streams_[size_t(parent)].resources;
    pdf_obj *form = nullptr, *formResources = nullptr;
    fz_matrix matrix = fz_identity;
    fz_rect bbox = fz_infinite_rect;
    guarded(ctx_, [&] {
        pdf_obj *x = pdf_dict_gets(ctx_, pdf_dict_get(ctx_, resources, PDF_NAME(XObject)), name.c_str());
        if (!pdf_is_stream(ctx_, x) || !pdf_name_eq(ctx_, pdf_dict_get(ctx_, x, PDF_NAME(Subtype)), PDF_NAME(Form)))
            return;
        form = x;
        formResources = pdf_dict_get(ctx_, x, PDF_NAME(Resources));
        matrix = pdf_xobject_matrix(ctx_, x);
        if (pdf_is_array(ctx_, pdf_dict_get(ctx_, x, PDF_NAME(BBox))))
            bbox = pdf_xobject_bbox(ctx_, x);
    });
    if (!form)
        return;
    if (depth >= kFormDepthLimit || formsDrawn_ >= kFormsDrawnLimit) {
        // Its text stays, and no rule finds it.
        if (unread_.size() < kFormsDrawnLimit)
            unread_.push_back(fz_transform_rect(bbox, fz_concat(fz_concat(matrix, state.ctm), toShown_)));
        return;
    }
    ++formsDrawn_;
    if (!formResources)
        formResources = resources;   // old files let forms use their page's
    // The page's streams share one set of resources: a name drawn from any
    // of them is one form of the page.
    const auto key = std::make_pair(streams_[size_t(parent)].parent < 0 ? -1 : parent, name);
    auto known = formStreams_.find(key);
    if (known == formStreams_.end())
        known = formStreams_.emplace(key, addStream(form, formResources, parent, name)).first;
    State inner = state;
    inner.ctm = fz_concat(matrix, state.ctm);
    std::vector<State> saved;
    const fz_matrix tm = tm_, tlm = tlm_;
    run(known->second, &inner, &saved, depth + 1);
    tm_ = tm;
    tlm_ = tlm;
}

void PageGlyphs::show(const std::vector<Operand> &operands, Show::Kind kind, State *state, int streamIndex,
                      size_t start, size_t end)
{
    const Operand *wordSpace = nullptr, *charSpace = nullptr;
    if (kind == Show::DoubleQuote && operands.size() >= 3) {
        wordSpace = &operands[operands.size() - 3];
        charSpace = &operands[operands.size() - 2];
        state->wordSpace = wordSpace->number;
        state->charSpace = charSpace->number;
    }
    if (kind == Show::Quote || kind == Show::DoubleQuote) {
        tlm_ = fz_pre_translate(tlm_, 0, float(-state->leading));
        tm_ = tlm_;
    }
    if (operands.empty() || !state->font)
        return;
    const Operand &last = operands.back();
    if ((kind == Show::TJ) != (last.kind == ContentTokens::Kind::OpenArray) || (kind != Show::TJ && last.kind != ContentTokens::Kind::String))
        return;
    Show s;
    s.kind = kind;
    s.stream = streamIndex;
    s.start = start;
    s.end = end;
    const bool vertical = state->font->desc->wmode == 1;
    // What is no number reads as 0, and is written so.
    const auto bytesOf = [](const Operand *o, size_t *from, size_t *to) {
        if (o && o->kind == ContentTokens::Kind::Number) {
            *from = o->start;
            *to = o->end;
        }
    };
    bytesOf(wordSpace, &s.wordSpaceStart, &s.wordSpaceEnd);
    bytesOf(charSpace, &s.charSpaceStart, &s.charSpaceEnd);
    // A TJ's array is walked where it lies; other shows have the one string.
    const Operand *const items = kind == Show::TJ ? last.items.data() : &last;
    const size_t count = kind == Show::TJ ? last.items.size() : 1;
    s.items.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const Operand &o = items[i];
        Show::Item item;
        if (o.kind == ContentTokens::Kind::Number) {
            item.number = o.number;
            item.start = o.start;
            item.end = o.end;
            const float move = float(-o.number / 1000 * state->size);
            tm_ = vertical ? fz_pre_translate(tm_, 0, move) : fz_pre_translate(tm_, float(move * state->scale), 0);
        } else if (o.kind == ContentTokens::Kind::String) {
            item.isString = true;
            item.first = glyphs_.size();
            showString(o.text, *state);
            item.count = glyphs_.size() - item.first;
        } else {
            continue;
        }
        s.items.push_back(item);
    }
    shows_.push_back(std::move(s));
}

void PageGlyphs::showString(const std::string &bytes, const State &state)
{
    pdf_font_desc *desc = state.font->desc;
    const bool vertical = desc->wmode == 1;
    unsigned char *p = reinterpret_cast<unsigned char *>(const_cast<char *>(bytes.data()));
    unsigned char *const end = p + bytes.size();
    const fz_matrix toShown = fz_concat(state.ctm, toShown_);
    while (p < end) {
        if (glyphs_.size() >= kGlyphLimit)
            throw MupdfError("the page shows more than 1,000,000 glyphs");
        unsigned int cpt = 0;
        const int w = std::max(1, std::min(int(end - p), pdf_decode_cmap(desc->encoding, p, end, &cpt)));
        const int cid = pdf_lookup_cmap(desc->encoding, cpt);
        glyphs_.emplace_back();
        Glyph &g = glyphs_.back();
        g.code.assign(reinterpret_cast<const char *>(p), size_t(w));
        p += w;
        const double wordSpace = cpt == 32 && w == 1 ? state.wordSpace : 0;
        fz_matrix tsm = fz_make_matrix(float(state.size * state.scale), 0, 0, float(state.size), 0, float(state.rise));
        double width = 0;    // of the glyph, in ems
        double length = 0;   // of the glyph along the writing direction, in ems
        double written = 0;  // the same in thousandths, as the font writes it
        double move = 0;     // what the text matrix moves by
        double spacing = wordSpace;   // what the character and word spacing add to it
        if (cid >= 0) {
            int ucs[256];
            int n = desc->to_unicode ? pdf_lookup_cmap_full(desc->to_unicode, unsigned(cid), ucs) : 0;
            if (n <= 0 && size_t(cid) < desc->cid_to_ucs_len) {
                ucs[0] = desc->cid_to_ucs[cid];
                n = 1;
            }
            if (n <= 0 || (n == 1 && ucs[0] == 0)) {
                ucs[0] = 0xFFFD;
                n = 1;
            }
            for (int i = 0; i < std::min(n, 256); ++i)
                if (ucs[i] > 0 && ucs[i] <= 0x10FFFF)
                    g.text += char32_t(ucs[i]);
            written = state.font->width(ctx_, cid);
            width = written / 1000;
            spacing += state.charSpace;
            if (vertical) {
                const pdf_vmtx v = pdf_lookup_vmtx(ctx_, desc, cid);
                tsm.e -= float(v.x * std::fabs(state.size) * 0.001);
                tsm.f -= float(v.y * state.size * 0.001);
                written = v.w;
                length = v.w * 0.001;
                move = length * state.size + state.charSpace + wordSpace;
            } else {
                length = width;
                move = (width * state.size + state.charSpace + wordSpace) * state.scale;
            }
        } else {
            move = vertical ? wordSpace : wordSpace * state.scale;
        }
        const fz_matrix glyphToShown = fz_concat(fz_concat(tsm, tm_), toShown);
        const fz_rect glyphBox = fz_make_rect(0, state.font->descent, float(width), state.font->ascent);
        g.box = fz_transform_rect(glyphBox, glyphToShown);
        g.origin = fz_transform_point(fz_make_point(0, 0), glyphToShown);
        const fz_matrix textToShown = fz_concat(tm_, toShown);
        const fz_point step = fz_transform_vector(vertical ? fz_make_point(0, float(move)) : fz_make_point(float(move), 0),
                                                  textToShown);
        const fz_point along = fz_transform_vector(vertical ? fz_make_point(0, -1) : fz_make_point(1, 0), glyphToShown);
        g.direction = fz_normalize_vector(along);
        g.size = std::sqrt(glyphToShown.c * glyphToShown.c + glyphToShown.d * glyphToShown.d);
        g.advance = std::sqrt(step.x * step.x + step.y * step.y);
        const fz_point own = fz_transform_vector(vertical ? fz_make_point(0, float(length)) : fz_make_point(float(length), 0),
                                                 glyphToShown);
        g.extent = std::sqrt(own.x * own.x + own.y * own.y);
        const double charMove = vertical ? state.charSpace : state.charSpace * state.scale;
        const fz_point spaced = fz_transform_vector(vertical ? fz_make_point(0, float(charMove)) : fz_make_point(float(charMove), 0),
                                                    textToShown);
        g.charSpace = float(std::copysign(std::sqrt(spaced.x * spaced.x + spaced.y * spaced.y), charMove));
        // A TJ number n moves by -n/1000 of the font size (times the
        // horizontal scaling, which the glyph's move has as well).
        const double unitMove = vertical ? state.size : state.size * state.scale;
        g.removable = std::isfinite(move) && std::fabs(unitMove) > 1e-9;
        // Worked out from the widths as written rather than from `move`,
        // so whole and written widths give the number without a rounding.
        g.adjust = g.removable ? -(written + spacing * 1000 / state.size) : 0;
        g.space = !g.text.empty() && std::all_of(g.text.begin(), g.text.end(), isWhiteSpace);
        g.color = state.color;
        // Neither filled nor stroked (the last also clips).
        g.invisible = state.render == 3 || state.render == 7;
        g.bold = state.font->bold;
        g.italic = state.font->italic;
        g.font = state.font;
        tm_ = vertical ? fz_pre_translate(tm_, 0, float(move)) : fz_pre_translate(tm_, float(move), 0);
    }
}
