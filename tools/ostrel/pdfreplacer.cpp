#include "pdfreplacer.h"

#include "mupdfguard.h"
#include "replacementfonts.h"

#include <mupdf/pdf.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Owns one object of the library and drops it with its own function.
template <typename T, void (*Drop)(fz_context *, T *)>
class Held
{
public:
    explicit Held(fz_context *ctx, T *p = nullptr) : ctx_(ctx), p_(p) {}
    ~Held() { Drop(ctx_, p_); }
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
    T *get() const { return p_; }
    T **slot() { return &p_; }

private:
    fz_context *ctx_;
    T *p_;
};

void dropDocument(fz_context *ctx, pdf_document *d) { pdf_drop_document(ctx, d); }
void dropPage(fz_context *ctx, pdf_page *p) { fz_drop_page(ctx, p ? &p->super : nullptr); }
void dropText(fz_context *ctx, fz_stext_page *t) { fz_drop_stext_page(ctx, t); }
void dropImage(fz_context *ctx, fz_image *i) { fz_drop_image(ctx, i); }
void dropObject(fz_context *ctx, pdf_obj *o) { pdf_drop_obj(ctx, o); }

using Document = Held<pdf_document, dropDocument>;
using Page = Held<pdf_page, dropPage>;
using PageText = Held<fz_stext_page, dropText>;
using Image = Held<fz_image, dropImage>;
using Object = Held<pdf_obj, dropObject>;

void ignoreMessage(void *, const char *)
{
}

std::string quoted(const std::string &s)
{
    return "\"" + s + "\"";
}

fz_point centre(const fz_quad &q)
{
    return fz_make_point((q.ll.x + q.lr.x + q.ul.x + q.ur.x) / 4, (q.ll.y + q.lr.y + q.ul.y + q.ur.y) / 4);
}

bool holds(const fz_rect &box, fz_point p)
{
    return p.x >= box.x0 && p.x <= box.x1 && p.y >= box.y0 && p.y <= box.y1;
}

void appendUtf8(std::string *out, int c)
{
    char bytes[8];
    const int n = fz_runetochar(bytes, c);
    out->append(bytes, size_t(n));
}

// The text in a box of a page, and where and how its first glyph was drawn.
struct FoundText
{
    std::string text;   // white space collapsed, trimmed
    fz_point origin = {0, 0};
    fz_point direction = {1, 0};
    float size = 0;
    int color = 0;
};

// What the page shows in `box` (glyph centres inside); empty text when none.
FoundText textIn(fz_stext_page *page, const fz_rect &box)
{
    FoundText found;
    const fz_stext_line *anchorLine = nullptr;
    const fz_stext_char *anchor = nullptr;
    bool space = false;
    for (fz_stext_block *b = page->first_block; b; b = b->next) {
        if (b->type != FZ_STEXT_BLOCK_TEXT)
            continue;
        for (fz_stext_line *line = b->u.t.first_line; line; line = line->next) {
            bool inLine = false;
            for (fz_stext_char *ch = line->first_char; ch; ch = ch->next) {
                if (!holds(box, centre(ch->quad)))
                    continue;
                const bool blank = ch->c == ' ' || ch->c == '\t' || ch->c == 0xA0;
                if (blank) {
                    space = true;
                    continue;
                }
                if ((space || (!inLine && anchor)) && !found.text.empty())
                    found.text += ' ';
                space = false;
                inLine = true;
                appendUtf8(&found.text, ch->c);
                // The replacement starts where the first line's text starts.
                if (!anchorLine)
                    anchorLine = line;
                if (line == anchorLine) {
                    const fz_point d = line->dir;
                    if (!anchor || ch->origin.x * d.x + ch->origin.y * d.y < anchor->origin.x * d.x + anchor->origin.y * d.y)
                        anchor = ch;
                }
            }
        }
    }
    if (anchor) {
        found.origin = anchor->origin;
        found.direction = anchorLine->dir;
        found.size = anchor->size;
        found.color = anchor->color;
    }
    return found;
}

// The box of the word that starts at (left, top). The rule's numbers come
// from another library's text layer, rounded: the left edges agree within a
// unit, but word heights differ with the font metrics each library reads, so
// a word qualifies when `top` lies in its box or up to half its height above,
// and the word whose top is nearest wins.
bool wordAt(fz_stext_page *page, double left, double top, fz_rect *found)
{
    double best = -1;
    const auto consider = [&](const fz_rect &r) {
        if (r.x1 < r.x0 || std::fabs(r.x0 - left) > 1)
            return;
        const double slack = 0.5 * (r.y1 - r.y0) + 1;
        if (top < r.y0 - slack || top > r.y1)
            return;
        const double distance = std::fabs(r.y0 - top);
        if (best < 0 || distance < best) {
            best = distance;
            *found = r;
        }
    };
    for (fz_stext_block *b = page->first_block; b; b = b->next) {
        if (b->type != FZ_STEXT_BLOCK_TEXT)
            continue;
        for (fz_stext_line *line = b->u.t.first_line; line; line = line->next) {
            fz_rect word = fz_empty_rect;
            for (fz_stext_char *ch = line->first_char; ch; ch = ch->next) {
                if (ch->c == ' ' || ch->c == '\t' || ch->c == 0xA0) {
                    consider(word);
                    word = fz_empty_rect;
                } else {
                    word = fz_union_rect(word, fz_rect_from_quad(ch->quad));
                }
            }
            consider(word);
        }
    }
    return best >= 0;
}

// Glyph removal: the library's content filter asks about every glyph shown,
// including those inside form objects, and drops those we answer 1 for.
struct RemovalBoxes
{
    fz_matrix toShown;   // page space to the page as shown
    const std::vector<fz_rect> *boxes;
};

int removesGlyph(fz_context *, void *opaque, int *, int, fz_matrix trm, fz_matrix ctm, fz_rect bbox)
{
    const RemovalBoxes *r = static_cast<const RemovalBoxes *>(opaque);
    const fz_rect shown = fz_transform_rect(bbox, fz_concat(fz_concat(trm, ctm), r->toShown));
    const fz_point c = fz_make_point((shown.x0 + shown.x1) / 2, (shown.y0 + shown.y1) / 2);
    for (const fz_rect &box : *r->boxes) {
        if (holds(box, c))
            return 1;
    }
    return 0;
}

// The library's filter sets the text matrices when it writes the first kept
// glyph of a text object, so after an object whose glyphs were all removed it
// carries that object's position into the next one, whose relative moves
// then land elsewhere. Setting the matrix at every BT (which BT implies
// anyway) leaves every kept glyph where it was.
using BeginText = void (*)(fz_context *, pdf_processor *);
BeginText &libraryBeginText()
{
    static BeginText handler = nullptr;   // the same function for every filter
    return handler;
}

void beginTextAtOrigin(fz_context *ctx, pdf_processor *proc)
{
    libraryBeginText()(ctx, proc);
    proc->op_Tm(ctx, proc, 1, 0, 0, 1, 0, 0);
}

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

// What one page gets: the boxes whose glyphs go, then the drawings.
struct PagePlan
{
    std::vector<fz_rect> removals;
    struct Text
    {
        FoundText at;
        std::string replacement;
    };
    std::vector<Text> texts;
    struct Picture
    {
        fz_image *image;
        fz_rect box;   // as shown
    };
    std::vector<Picture> pictures;
};

class PageWriter
{
public:
    PageWriter(fz_context *ctx, pdf_document *doc, ReplacementFonts *fonts,
               std::map<fz_image *, pdf_obj *> *imageObjects)
        : ctx_(ctx), doc_(doc), fonts_(fonts), imageObjects_(imageObjects)
    {
    }

    void apply(pdf_page *page, const fz_matrix &toShown, const PagePlan &plan)
    {
        removeGlyphs(page, toShown, plan.removals);
        const fz_matrix toPage = fz_invert_matrix(toShown);
        std::string content;
        for (const PagePlan::Text &t : plan.texts)
            content += textOperators(page, t, toPage);
        for (const PagePlan::Picture &p : plan.pictures)
            content += pictureOperators(page, p, toPage);
        if (!content.empty())
            appendContent(page, content);
    }

private:
    // The page's content, rewritten without the glyphs whose centre lies in
    // one of `boxes`, replaces the old content, with the resources it uses.
    void removeGlyphs(pdf_page *page, const fz_matrix &toShown, const std::vector<fz_rect> &boxes)
    {
        RemovalBoxes removal{toShown, &boxes};
        pdf_filter_options options;
        std::memset(&options, 0, sizeof options);
        options.opaque = &removal;
        options.text_filter = removesGlyph;
        options.recurse = 1;
        options.instance_forms = 1;
        options.sanitize = 1;
        pdf_document *doc = doc_;
        guarded(ctx_, [&] {
            fz_buffer *buffer = nullptr;
            pdf_processor *writer = nullptr, *filter = nullptr;
            pdf_obj *resources = nullptr, *stream = nullptr;
            fz_var(buffer);
            fz_var(writer);
            fz_var(filter);
            fz_var(resources);
            fz_var(stream);
            fz_try(ctx_) {
                buffer = fz_new_buffer(ctx_, 4096);
                writer = pdf_new_buffer_processor(ctx_, buffer, 0);
                resources = pdf_new_dict(ctx_, doc, 4);
                const int structParents = pdf_dict_get_int(ctx_, page->obj, PDF_NAME(StructParents));
                const int hasStructParents = pdf_dict_get(ctx_, page->obj, PDF_NAME(StructParents)) != nullptr;
                filter = pdf_new_filter_processor(ctx_, doc, writer, pdf_page_resources(ctx_, page), resources,
                                                  hasStructParents ? structParents : -1, fz_identity, &options);
                libraryBeginText() = filter->op_BT;
                filter->op_BT = beginTextAtOrigin;
                pdf_process_contents(ctx_, filter, doc, pdf_page_resources(ctx_, page), pdf_page_contents(ctx_, page),
                                     nullptr);
                pdf_close_processor(ctx_, filter);
                pdf_close_processor(ctx_, writer);
                stream = pdf_add_stream(ctx_, doc, buffer, nullptr, 0);
                pdf_dict_put(ctx_, page->obj, PDF_NAME(Contents), stream);
                pdf_dict_put(ctx_, page->obj, PDF_NAME(Resources), resources);
            }
            fz_always(ctx_) {
                pdf_drop_obj(ctx_, stream);
                pdf_drop_obj(ctx_, resources);
                pdf_drop_processor(ctx_, filter);
                pdf_drop_processor(ctx_, writer);
                fz_drop_buffer(ctx_, buffer);
            }
            fz_catch(ctx_)
                fz_rethrow(ctx_);
        });
    }

    // A name not yet used in the page's resources of `kind`, bound to `value`.
    std::string bind(pdf_page *page, pdf_obj *kind, const char *prefix, pdf_obj *value)
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

    std::string textOperators(pdf_page *page, const PagePlan::Text &t, const fz_matrix &toPage)
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

    std::string pictureOperators(pdf_page *page, const PagePlan::Picture &p, const fz_matrix &toPage)
    {
        pdf_obj *&object = (*imageObjects_)[p.image];
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
    void appendContent(pdf_page *page, const std::string &content)
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

    fz_context *ctx_;
    pdf_document *doc_;
    ReplacementFonts *fonts_;
    std::map<fz_image *, pdf_obj *> *imageObjects_;
};

// The page's text as shown, from its content only (annotations keep theirs).
// The library runs the content in the page as shown by itself.
void readPageText(fz_context *ctx, pdf_page *page, const fz_rect &bounds, PageText *text)
{
    fz_stext_page **slot = text->slot();
    guarded(ctx, [&] {
        *slot = fz_new_stext_page(ctx, bounds);
        fz_device *device = nullptr;
        fz_var(device);
        fz_try(ctx) {
            fz_stext_options options;
            std::memset(&options, 0, sizeof options);
            device = fz_new_stext_device(ctx, *slot, &options);
            pdf_run_page_contents(ctx, page, device, fz_identity, nullptr);
            fz_close_device(ctx, device);
        }
        fz_always(ctx)
            fz_drop_device(ctx, device);
        fz_catch(ctx)
            fz_rethrow(ctx);
    });
}

// A file in the folder of `target` that nobody else uses, made with the
// permissions a new file there would get.
std::string temporaryBeside(const std::string &target)
{
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    std::string name = folder + (folder.back() == '/' ? "" : "/") + ".ostrel-XXXXXX";
    const int fd = mkstemp(&name[0]);
    if (fd < 0)
        throw std::runtime_error("cannot write " + quoted(target) + ": " + std::strerror(errno));
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    return name;
}
}

PdfReplacer::PdfReplacer()
    : ctx_(fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT))
{
    if (ctx_) {
        // Our one line on failure says what went wrong; the library's own
        // messages (repairs, warnings) would only bury it.
        fz_set_error_callback(ctx_, ignoreMessage, nullptr);
        fz_set_warning_callback(ctx_, ignoreMessage, nullptr);
    }
}

PdfReplacer::~PdfReplacer()
{
    fz_drop_context(ctx_);
}

bool PdfReplacer::run(const std::string &input, const std::string &output, const RuleLines &rules,
                      std::string *error)
{
    fz_context *ctx = ctx_;
    if (!ctx) {
        *error = "out of memory";
        return false;
    }
    notes_.clear();
    std::string temporary;
    try {
        // Pictures first: one that cannot be read refuses the run.
        std::map<std::string, std::unique_ptr<Image>> pictures;
        for (const ImageRule &rule : rules.imageRules()) {
            std::unique_ptr<Image> &picture = pictures[rule.path];
            if (picture)
                continue;
            picture.reset(new Image(ctx));
            fz_image **slot = picture->slot();
            const char *path = rule.path.c_str();
            try {
                guarded(ctx, [&] {
                    *slot = fz_new_image_from_file(ctx, path);
                    // Decoding the whole picture now finds damaged data.
                    fz_drop_pixmap(ctx, fz_get_pixmap_from_image(ctx, *slot, nullptr, nullptr, nullptr, nullptr));
                });
            } catch (const MupdfError &e) {
                throw std::runtime_error("cannot read the picture " + quoted(rule.path) + " (line "
                                         + std::to_string(rule.line) + "): " + e.what());
            }
        }

        Document doc(ctx);
        int pageCount = 0;
        try {
            pdf_document **slot = doc.slot();
            const char *path = input.c_str();
            try {
                guarded(ctx, [&] { *slot = pdf_open_document(ctx, path); });
            } catch (const MupdfError &e) {
                throw std::runtime_error(std::string("not a PDF document, or damaged beyond repair (") + e.what()
                                         + ")");
            }
            if (pdf_needs_password(ctx, doc.get()))
                throw std::runtime_error("the document needs a password");
            guarded(ctx, [&] { pageCount = pdf_count_pages(ctx, *slot); });
            if (pageCount < 1)
                throw std::runtime_error("the document has no pages");
        } catch (const std::exception &e) {
            throw std::runtime_error("cannot open " + quoted(input) + ": " + e.what());
        }

        ReplacementFonts fonts(ctx);
        std::vector<std::string> ruleTexts;
        for (const TextRule &rule : rules.textRules())
            ruleTexts.push_back(rule.text);
        fonts.prepare(ruleTexts);

        // Rules by page, in file order within a page.
        std::map<int64_t, std::vector<const TextRule *>> textByPage;
        std::map<int64_t, std::vector<const ImageRule *>> imagesByPage;
        const auto pageExists = [&](int64_t page, int line) {
            if (page >= 1 && page <= pageCount)
                return true;
            notes_.push_back("line " + std::to_string(line) + ": the document has no page "
                             + std::to_string(page) + "; rule skipped");
            return false;
        };
        for (const TextRule &rule : rules.textRules()) {
            if (pageExists(rule.page, rule.line))
                textByPage[rule.page].push_back(&rule);
        }
        for (const ImageRule &rule : rules.imageRules()) {
            if (pageExists(rule.page, rule.line))
                imagesByPage[rule.page].push_back(&rule);
        }
        std::vector<int64_t> pages;
        for (const auto &entry : textByPage)
            pages.push_back(entry.first);
        for (const auto &entry : imagesByPage)
            pages.push_back(entry.first);
        std::sort(pages.begin(), pages.end());
        pages.erase(std::unique(pages.begin(), pages.end()), pages.end());

        std::map<fz_image *, pdf_obj *> imageObjects;
        struct ImageObjects
        {
            fz_context *ctx;
            std::map<fz_image *, pdf_obj *> *objects;
            ~ImageObjects()
            {
                for (const auto &entry : *objects)
                    pdf_drop_obj(ctx, entry.second);
            }
        } releaseImageObjects{ctx, &imageObjects};
        PageWriter writer(ctx, doc.get(), &fonts, &imageObjects);

        pdf_document *d = doc.get();
        // One lookup table for all pages, instead of a walk of the page tree
        // per page; a page the repair could not find refuses the document.
        int missing = 0;
        guarded(ctx, [&] {
            pdf_load_page_tree(ctx, d);
            for (int i = 0; i < pageCount && !missing; ++i) {
                if (!pdf_is_dict(ctx, pdf_lookup_page_obj(ctx, d, i)))
                    missing = i + 1;
            }
        });
        if (missing)
            throw std::runtime_error("cannot open " + quoted(input) + ": the document is damaged, page "
                                     + std::to_string(missing) + " is lost");
        for (const int64_t number : pages) {
            Page page(ctx);
            fz_rect box = fz_empty_rect;
            fz_matrix toShown = fz_identity;
            pdf_page **pageSlot = page.slot();
            guarded(ctx, [&] {
                *pageSlot = pdf_load_page(ctx, d, int(number - 1));
                pdf_page_transform(ctx, *pageSlot, &box, &toShown);
            });
            PageText text(ctx);
            readPageText(ctx, page.get(), fz_transform_rect(box, toShown), &text);

            PagePlan plan;
            for (const TextRule *rule : textByPage[number]) {
                const fz_rect area = fz_make_rect(float(rule->left), float(rule->top),
                                                  float(rule->left + rule->width), float(rule->top + rule->height));
                const FoundText found = textIn(text.get(), area);
                if (found.text.empty()) {
                    notes_.push_back("line " + std::to_string(rule->line) + ": no text at that place of page "
                                     + std::to_string(number) + "; rule skipped");
                    continue;
                }
                plan.removals.push_back(area);
                plan.texts.push_back({found, rule->reading(found.text).replace});
            }
            for (const ImageRule *rule : imagesByPage[number]) {
                fz_rect word;
                if (!wordAt(text.get(), double(rule->left), double(rule->top), &word)) {
                    notes_.push_back("line " + std::to_string(rule->line) + ": no text starts at "
                                     + std::to_string(rule->left) + "," + std::to_string(rule->top) + " of page "
                                     + std::to_string(number) + "; rule skipped");
                    continue;
                }
                plan.removals.push_back(word);
                const float left = float(rule->left), top = float(rule->top);
                plan.pictures.push_back({pictures[rule->path]->get(),
                                         fz_make_rect(left, top, left + float(rule->width), top + float(rule->height))});
            }
            if (plan.removals.empty())
                continue;
            try {
                writer.apply(page.get(), toShown, plan);
            } catch (const MupdfError &e) {
                throw std::runtime_error("cannot change page " + std::to_string(number) + " of " + quoted(input)
                                         + ": " + e.what());
            }
        }

        temporary = temporaryBeside(output);
        pdf_write_options options = pdf_default_write_options;
        options.do_compress = 1;
        options.do_compress_images = 1;
        options.do_compress_fonts = 1;
        // Unreferenced objects go: the old content streams held the removed text.
        options.do_garbage = 1;
        const char *path = temporary.c_str();
        try {
            guarded(ctx, [&] { pdf_save_document(ctx, d, path, &options); });
        } catch (const MupdfError &e) {
            throw std::runtime_error("cannot write " + quoted(output) + ": " + e.what());
        }
        if (std::rename(path, output.c_str()) != 0)
            throw std::runtime_error("cannot write " + quoted(output) + ": " + std::strerror(errno));
        return true;
    } catch (const std::exception &e) {
        if (!temporary.empty())
            std::remove(temporary.c_str());
        *error = e.what();
        return false;
    }
}
