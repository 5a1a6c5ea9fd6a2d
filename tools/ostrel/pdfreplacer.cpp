#include "pdfreplacer.h"

#include "glyphremover.h"
#include "inputfile.h"
#include "mupdfguard.h"
#include "mupdfmemory.h"
#include "pagewriter.h"
#include "replacementfonts.h"
#include "temporaryoutput.h"

#include <mupdf/pdf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

namespace
{
// Pictures are read whole and decoded whole; beyond these they are refused
// before either (a 20,000 x 20,000 picture is 1.6 GB decoded).
const long long kMaxPictureBytes = 64LL << 20;
const long long kMaxPicturePixels = 40LL * 1000 * 1000;
// The library's cache of decoded fonts and images, well within the memory share.
const size_t kStoreBytes = 64 << 20;

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
void dropBuffer(fz_context *ctx, fz_buffer *b) { fz_drop_buffer(ctx, b); }

using Document = Held<pdf_document, dropDocument>;
using Page = Held<pdf_page, dropPage>;
using PageText = Held<fz_stext_page, dropText>;
using Image = Held<fz_image, dropImage>;
using Bytes = Held<fz_buffer, dropBuffer>;

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

// The library's output into our temporary file; a failed write ends the
// library's work with an error, its reason kept by the file.
void writeTo(fz_context *ctx, void *file, const void *data, size_t size)
{
    if (!static_cast<TemporaryOutput *>(file)->write(data, size))
        fz_throw(ctx, FZ_ERROR_GENERIC, "write failed");
}

// The library asks where it is to note the places of objects.
int64_t placeIn(fz_context *, void *file)
{
    return static_cast<TemporaryOutput *>(file)->written();
}

// Reads a picture file whole (a regular file, within the size limit) and
// checks its size in pixels before anything decodes it.
void loadPicture(fz_context *ctx, const std::string &path, fz_image **slot)
{
    std::string bytes, error;
    if (!InputFile::read(path, kMaxPictureBytes, &bytes, &error))
        throw std::runtime_error(error);
    Bytes buffer(ctx);
    fz_buffer **bufferSlot = buffer.slot();
    try {
        guarded(ctx, [&] {
            *bufferSlot = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char *>(bytes.data()),
                                                         bytes.size());
            *slot = fz_new_image_from_buffer(ctx, *bufferSlot);
        });
    } catch (const MupdfError &e) {
        throw std::runtime_error(std::string("it is damaged or not a picture (") + e.what() + ")");
    }
    const long long pixels = (long long)(*slot)->w * (*slot)->h;
    if (pixels > kMaxPicturePixels)
        throw std::runtime_error("it is " + std::to_string((*slot)->w) + " x " + std::to_string((*slot)->h)
                                 + " pixels, more than the " + std::to_string(kMaxPicturePixels / 1000000)
                                 + " million a picture may have");
    // Decoding the whole picture now finds damaged data.
    guarded(ctx, [&] {
        fz_drop_pixmap(ctx, fz_get_pixmap_from_image(ctx, *slot, nullptr, nullptr, nullptr, nullptr));
    });
}
}

PdfReplacer::PdfReplacer()
    : ctx_(fz_new_context(MupdfMemory::allocator(), nullptr, kStoreBytes))
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
    try {
        // Pictures first: one that cannot be read refuses the run.
        std::map<std::string, std::unique_ptr<Image>> pictures;
        for (const ImageRule &rule : rules.imageRules()) {
            std::unique_ptr<Image> &picture = pictures[rule.path];
            if (picture)
                continue;
            picture.reset(new Image(ctx));
            try {
                loadPicture(ctx, rule.path, picture->slot());
            } catch (const std::runtime_error &e) {
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
            int objects = 0;
            guarded(ctx, [&] {
                pageCount = pdf_count_pages(ctx, *slot);
                objects = pdf_xref_len(ctx, *slot);
            });
            if (pageCount < 1)
                throw std::runtime_error("the document has no pages");
            // Every page is an object: a larger count is a claim the file
            // cannot hold, and the library would make room for every page.
            if (pageCount > objects)
                throw std::runtime_error("the page tree claims " + std::to_string(pageCount)
                                         + " pages, more than the file holds objects");
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
        try {
            guarded(ctx, [&] {
                pdf_load_page_tree(ctx, d);
                for (int i = 0; i < pageCount && !missing; ++i) {
                    if (!pdf_is_dict(ctx, pdf_lookup_page_obj(ctx, d, i)))
                        missing = i + 1;
                }
            });
        } catch (const MupdfError &e) {
            throw std::runtime_error("cannot open " + quoted(input) + ": its page tree is damaged (" + e.what() + ")");
        }
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

        TemporaryOutput file(output);
        std::string why;
        if (!file.create(&why))
            throw std::runtime_error("cannot write " + quoted(output) + ": " + why);
        pdf_write_options options = pdf_default_write_options;
        // Streams keep their bytes (the new content is compressed already);
        // the embedded fonts are compressed.
        options.do_compress = 0;
        options.do_compress_images = 1;
        options.do_compress_fonts = 1;
        // Unreferenced objects go: the old content streams held the removed text.
        options.do_garbage = 1;
        try {
            guarded(ctx, [&] {
                fz_output *out = nullptr;
                fz_var(out);
                fz_try(ctx) {
                    out = fz_new_output(ctx, 1 << 16, &file, writeTo, nullptr, nullptr);
                    out->tell = placeIn;
                    pdf_write_document(ctx, d, out, &options);
                    fz_close_output(ctx, out);
                }
                fz_always(ctx)
                    fz_drop_output(ctx, out);
                fz_catch(ctx)
                    fz_rethrow(ctx);
            });
        } catch (const MupdfError &e) {
            why = file.writeFailure();
            throw std::runtime_error("cannot write " + quoted(output) + ": " + (why.empty() ? e.what() : why));
        }
        if (!file.commit(&why))
            throw std::runtime_error("cannot write " + quoted(output) + ": " + why);
        return true;
    } catch (const std::exception &e) {
        *error = e.what();
        return false;
    }
}
