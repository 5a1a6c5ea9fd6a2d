#include "pageglyphs.h"

#include "contenttokens.h"
#include "fontcache.h"
#include "markedtexts.h"
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
    const std::string utf8 = MarkedTexts::utf8Of(ctx, written);
    std::u32string text;
    for (const char *p = utf8.c_str(); *p;) {
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
    int mcid = -1;               // a dictionary's /MCID
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

// What one run of a content stream keeps between operators.
struct PageGlyphs::Reading
{
    Reading(const std::string &bytes, int stream, State *state, std::vector<State> *saved, int depth)
        : tokens(bytes), stream(stream), state(*state), saved(*saved), depth(depth)
    {
    }
    ContentTokens tokens;
    int stream;
    State &state;
    std::vector<State> &saved;
    int depth;
    std::vector<Operand> operands;
    // Per open marked-content sequence: its span in marked_, or npos for
    // one without properties, and whether it gave an /ActualText.
    std::vector<std::pair<size_t, bool>> marks;

    double number(size_t i) const
    {
        return i < operands.size() && operands[i].kind == ContentTokens::Kind::Number ? operands[i].number : 0.0;
    }
    // The operand `back` places before the operator (0 the last).
    double last(size_t back = 0) const { return operands.size() > back ? number(operands.size() - 1 - back) : 0.0; }
    // Whether the last `n` operands are numbers.
    bool numbers(size_t n) const
    {
        if (operands.size() < n)
            return false;
        for (size_t i = operands.size() - n; i < operands.size(); ++i)
            if (operands[i].kind != ContentTokens::Kind::Number)
                return false;
        return true;
    }
    fz_matrix lastMatrix() const
    {
        const size_t b = operands.size() - 6;
        return fz_make_matrix(float(number(b)), float(number(b + 1)), float(number(b + 2)), float(number(b + 3)),
                              float(number(b + 4)), float(number(b + 5)));
    }
};

ContentTokens::Token PageGlyphs::nextToken(ContentTokens *tokens)
{
    if (++tokens_ > kTokenLimit)
        throw MupdfError("the page's content is too long to read");
    return tokens->next();
}

void PageGlyphs::fill(Operand *o, ContentTokens::Token *t)
{
    o->kind = t->kind;
    o->number = t->number;
    o->start = t->start;
    o->end = t->end;
    o->text = std::move(t->text);
}

PageGlyphs::Operand PageGlyphs::readArray(ContentTokens *tokens, size_t start)
{
    Operand array;
    array.kind = ContentTokens::Kind::OpenArray;
    array.start = start;
    for (int nesting = 1; nesting > 0;) {
        ContentTokens::Token item = nextToken(tokens);
        array.end = item.end;
        if (item.kind == ContentTokens::Kind::End)
            break;
        if (item.kind == ContentTokens::Kind::OpenArray)
            ++nesting;
        else if (item.kind == ContentTokens::Kind::CloseArray)
            --nesting;
        else if (nesting == 1 && (item.kind == ContentTokens::Kind::Number || item.kind == ContentTokens::Kind::String
                                  || item.kind == ContentTokens::Kind::Name)) {
            array.items.emplace_back();
            fill(&array.items.back(), &item);
        }
    }
    return array;
}

PageGlyphs::Operand PageGlyphs::readDictionary(ContentTokens *tokens, size_t start)
{
    // Marked-content properties: of them the text the marked glyphs stand
    // for, /ActualText, makes a difference to glyphs; its /MCID ties it to
    // the document's structure.
    Operand o;
    o.kind = ContentTokens::Kind::OpenDict;
    o.start = start;
    std::string key;
    for (int nesting = 1; nesting > 0;) {
        ContentTokens::Token item = nextToken(tokens);
        o.end = item.end;
        if (item.kind == ContentTokens::Kind::End)
            break;
        nesting += item.kind == ContentTokens::Kind::OpenDict ? 1 : item.kind == ContentTokens::Kind::CloseDict ? -1 : 0;
        if (nesting != 1) {
            key.clear();
            continue;
        }
        if (key == "ActualText" && item.kind == ContentTokens::Kind::String) {
            o.actual = true;
            o.text = std::move(item.text);
        } else if (key == "MCID" && item.kind == ContentTokens::Kind::Number) {
            o.mcid = item.number >= 0 && item.number < 1e9 ? int(item.number) : -1;
        }
        key = key.empty() && item.kind == ContentTokens::Kind::Name ? item.text : std::string();
    }
    return o;
}

void PageGlyphs::run(int streamIndex, State *state, std::vector<State> *saved, int depth)
{
    Reading r(streams_[size_t(streamIndex)].bytes, streamIndex, state, saved, depth);
    size_t regionStart = 0;
    for (;;) {
        ContentTokens::Token t = nextToken(&r.tokens);
        switch (t.kind) {
        case ContentTokens::Kind::End:
            closeSpans(r);
            return;
        case ContentTokens::Kind::Number:
        case ContentTokens::Kind::String:
        case ContentTokens::Kind::Name:
            fill(newOperand(&r), &t);
            continue;
        case ContentTokens::Kind::OpenArray:
            *newOperand(&r) = readArray(&r.tokens, t.start);
            continue;
        case ContentTokens::Kind::OpenDict:
            *newOperand(&r) = readDictionary(&r.tokens, t.start);
            continue;
        case ContentTokens::Kind::Keyword:
            break;
        default:
            continue;
        }
        if (!operate(&r, operatorCode(t.text), regionStart, t.end)) {
            closeSpans(r);
            return;   // an inline image's data run to the end: the image is left open
        }
        r.operands.clear();
        regionStart = r.tokens.position();
        streams_[size_t(streamIndex)].cleanEnd = regionStart;
    }
}

void PageGlyphs::closeSpans(const Reading &r)
{
    // A span left open holds what the stream shows to its end.
    for (const auto &m : r.marks)
        if (m.first != std::string::npos)
            marked_[m.first].end = glyphs_.size();
}

PageGlyphs::Operand *PageGlyphs::newOperand(Reading *r)
{
    if (r->operands.size() >= kOperandLimit)
        r->operands.erase(r->operands.begin());
    r->operands.emplace_back();
    return &r->operands.back();
}

bool PageGlyphs::operate(Reading *r, uint32_t op, size_t start, size_t end)
{
    if (textOperator(r, op, start, end) || colourOperator(r, op) || markedOperator(r, op))
        return true;
    State &state = r->state;
    if (op == operatorCode("q")) {
        if (r->saved.size() >= kSavedStatesLimit)
            throw MupdfError("the content saves more than 4096 graphics states");
        r->saved.push_back(state);
    } else if (op == operatorCode("Q")) {
        if (!r->saved.empty()) {
            state = r->saved.back();
            r->saved.pop_back();
        } else if (r->depth == 0) {
            restoredTooMany_ = true;
        }
    } else if (op == operatorCode("cm") && r->numbers(6)) {
        state.ctm = fz_concat(r->lastMatrix(), state.ctm);
    } else if (op == operatorCode("gs") && !r->operands.empty()) {
        pdf_obj *font = nullptr;
        double size = 0;
        const char *name = r->operands.back().text.c_str();
        pdf_obj *resources = streams_[size_t(r->stream)].resources;
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
    } else if (op == operatorCode("Do") && !r->operands.empty()) {
        drawForm(r->operands.back().text, r->stream, state, r->depth);
    } else if (op == operatorCode("BI")) {
        return skipInlineImage(&r->tokens, r->stream);
    }
    return true;
}

bool PageGlyphs::textOperator(Reading *r, uint32_t op, size_t start, size_t end)
{
    State &state = r->state;
    const auto moveLine = [this](double tx, double ty) {
        tlm_ = fz_pre_translate(tlm_, float(tx), float(ty));
        tm_ = tlm_;
    };
    if (op == operatorCode("BT")) {
        tm_ = tlm_ = fz_identity;
    } else if (op == operatorCode("Tm") && r->numbers(6)) {
        tm_ = tlm_ = r->lastMatrix();
    } else if (op == operatorCode("Td") && r->numbers(2)) {
        moveLine(r->last(1), r->last());
    } else if (op == operatorCode("TD") && r->numbers(2)) {
        state.leading = -r->last();
        moveLine(r->last(1), r->last());
    } else if (op == operatorCode("T*")) {
        moveLine(0, -state.leading);
    } else if (op == operatorCode("TL") && r->numbers(1)) {
        state.leading = r->last();
    } else if (op == operatorCode("Tc") && r->numbers(1)) {
        state.charSpace = r->last();
    } else if (op == operatorCode("Tw") && r->numbers(1)) {
        state.wordSpace = r->last();
    } else if (op == operatorCode("Tz") && r->numbers(1)) {
        state.scale = r->last() / 100;
    } else if (op == operatorCode("Tr") && r->numbers(1)) {
        state.render = int(std::max(0.0, std::min(8.0, r->last())));
    } else if (op == operatorCode("Ts") && r->numbers(1)) {
        state.rise = r->last();
    } else if (op == operatorCode("Tf") && r->operands.size() >= 2
               && r->operands[r->operands.size() - 2].kind == ContentTokens::Kind::Name) {
        state.size = r->last();
        pdf_obj *dict = nullptr;
        const char *name = r->operands[r->operands.size() - 2].text.c_str();
        pdf_obj *resources = streams_[size_t(r->stream)].resources;
        guarded(ctx_, [&] { dict = pdf_dict_gets(ctx_, pdf_dict_get(ctx_, resources, PDF_NAME(Font)), name); });
        state.font = dict ? fonts_->get(resources, dict) : nullptr;
    } else if (op == operatorCode("Tj") || op == operatorCode("TJ") || op == operatorCode("'") || op == operatorCode("\"")) {
        const Show::Kind kind = op == operatorCode("Tj") ? Show::Tj
            : op == operatorCode("TJ")                   ? Show::TJ
            : op == operatorCode("'")                    ? Show::Quote
                                                         : Show::DoubleQuote;
        show(r->operands, kind, &state, r->stream, start, end);
    } else {
        return false;
    }
    return true;
}

bool PageGlyphs::colourOperator(Reading *r, uint32_t op)
{
    State &state = r->state;
    if (op == operatorCode("g") && r->numbers(1)) {
        state.fill = {1, true};
        state.color = rgb(r->last(), r->last(), r->last());
    } else if (op == operatorCode("rg") && r->numbers(3)) {
        state.fill = {3, true};
        state.color = rgb(r->last(2), r->last(1), r->last());
    } else if (op == operatorCode("k") && r->numbers(4)) {
        state.fill = {4, true};
        const double c[4] = {r->last(3), r->last(2), r->last(1), r->last()};
        state.color = fromComponents(4, c);
    } else if (op == operatorCode("cs") && !r->operands.empty()) {
        state.fill = colorSpace(streams_[size_t(r->stream)].resources, r->operands.back());
        state.color = 0;   // a new colour space starts at black
    } else if (op == operatorCode("sc") || op == operatorCode("scn")) {
        std::vector<double> values;
        for (const Operand &o : r->operands)
            if (o.kind == ContentTokens::Kind::Number)
                values.push_back(o.number);
        if (state.fill.plain && int(values.size()) == state.fill.components)
            state.color = fromComponents(values.size(), values.data());
    } else {
        return false;
    }
    return true;
}

bool PageGlyphs::markedOperator(Reading *r, uint32_t op)
{
    if (op == operatorCode("BDC") && r->operands.size() >= 2) {
        beginMarked(r, r->operands.back());
    } else if (op == operatorCode("BMC")) {
        r->marks.emplace_back(std::string::npos, false);
    } else if (op == operatorCode("EMC")) {
        if (r->marks.empty())
            return true;
        if (r->marks.back().second)
            endActualText();
        if (r->marks.back().first != std::string::npos)
            marked_[r->marks.back().first].end = glyphs_.size();
        r->marks.pop_back();
    } else {
        return false;
    }
    return true;
}

void PageGlyphs::beginMarked(Reading *r, const Operand &properties)
{
    if (marked_.size() >= kGlyphLimit)
        throw MupdfError("the page marks more than 1,000,000 spans of its content");
    Marked m;
    m.stream = r->stream;
    m.first = m.end = glyphs_.size();
    m.mcid = properties.mcid;
    if (properties.kind == ContentTokens::Kind::OpenDict) {
        m.start = properties.start;
        m.stop = properties.end;
    } else if (properties.kind == ContentTokens::Kind::Name) {
        // Properties the resources name.
        pdf_obj *resources = streams_[size_t(r->stream)].resources;
        const char *name = properties.text.c_str();
        guarded(ctx_, [&] {
            pdf_obj *named = pdf_dict_gets(ctx_, pdf_dict_get(ctx_, resources, PDF_NAME(Properties)), name);
            if (!pdf_is_dict(ctx_, named))
                return;
            m.properties = named;
            pdf_obj *mcid = pdf_dict_get(ctx_, named, PDF_NAME(MCID));
            m.mcid = pdf_is_int(ctx_, mcid) && pdf_to_int(ctx_, mcid) >= 0 ? pdf_to_int(ctx_, mcid) : -1;
        });
    }
    marked_.push_back(m);
    // Only the properties written in the content count for the glyphs'
    // text: readers pass over an /ActualText of properties the resources name.
    r->marks.emplace_back(marked_.size() - 1, properties.actual);
    if (!properties.actual)
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
        // Into the new glyph's empty code: appended, cheaper than an assignment.
        g.code.append(reinterpret_cast<const char *>(p), size_t(w));
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
        // In ems of the font size, as the glyph's em is shown.
        if (state.charSpace != 0 && std::fabs(state.size) > 1e-9)
            g.charSpace = float((vertical ? state.charSpace : state.charSpace * state.scale) / std::fabs(state.size) * g.size);
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
