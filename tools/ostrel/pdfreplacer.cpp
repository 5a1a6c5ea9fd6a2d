#include "pdfreplacer.h"

#include "glyphremover.h"
#include "mupdfguard.h"
#include "pagewriter.h"
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

using Document = Held<pdf_document, dropDocument>;
using Page = Held<pdf_page, dropPage>;
using PageText = Held<fz_stext_page, dropText>;
using Image = Held<fz_image, dropImage>;

void ignoreMessage(void *, const char *)
{
}

std::string quoted(const std::string &s)
{
    return "\"" + s + "\"";
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

        PageWriter writer(ctx, doc.get(), &fonts);

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
            // Text rules name their box; an image rule names where a word
            // starts, which only the page's text can tell.
            std::vector<fz_rect> boxes;
            for (const TextRule *rule : textByPage[number])
                boxes.push_back(fz_make_rect(float(rule->left), float(rule->top), float(rule->left + rule->width),
                                             float(rule->top + rule->height)));
            std::vector<PageWriter::Picture> drawnPictures;
            if (!imagesByPage[number].empty()) {
                PageText text(ctx);
                readPageText(ctx, page.get(), fz_transform_rect(box, toShown), &text);
                for (const ImageRule *rule : imagesByPage[number]) {
                    fz_rect word;
                    if (!wordAt(text.get(), double(rule->left), double(rule->top), &word)) {
                        notes_.push_back("line " + std::to_string(rule->line) + ": no text starts at "
                                         + std::to_string(rule->left) + "," + std::to_string(rule->top)
                                         + " of page " + std::to_string(number) + "; rule skipped");
                        continue;
                    }
                    boxes.push_back(word);
                    const float left = float(rule->left), top = float(rule->top);
                    drawnPictures.push_back({pictures[rule->path]->get(),
                                             fz_make_rect(left, top, left + float(rule->width),
                                                          top + float(rule->height))});
                }
            }
            if (boxes.empty())
                continue;
            try {
                const std::vector<GlyphRemover::Removed> removed =
                    GlyphRemover::remove(ctx, d, page.get(), toShown, boxes);
                std::vector<PageWriter::Text> drawnTexts;
                const std::vector<const TextRule *> &textRules = textByPage[number];
                for (size_t i = 0; i < textRules.size(); ++i) {
                    if (removed[i].text.empty()) {
                        notes_.push_back("line " + std::to_string(textRules[i]->line)
                                         + ": no text at that place of page " + std::to_string(number)
                                         + "; rule skipped");
                        continue;
                    }
                    drawnTexts.push_back({removed[i], textRules[i]->reading(removed[i].text).replace});
                }
                writer.draw(page.get(), toShown, drawnTexts, drawnPictures);
            } catch (const MupdfError &e) {
                throw std::runtime_error("cannot change page " + std::to_string(number) + " of " + quoted(input)
                                         + ": " + e.what());
            }
        }

        temporary = temporaryBeside(output);
        pdf_write_options options = pdf_default_write_options;
        // Streams keep their bytes (the new content is compressed already);
        // the embedded fonts are compressed.
        options.do_compress = 0;
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
