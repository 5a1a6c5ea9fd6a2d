#include "pdfreplacer.h"

#include "fontcache.h"
#include "glyphfinder.h"
#include "converterreading.h"
#include "converterruns.h"
#include "glyphremover.h"
#include "inputfile.h"
#include "memorylimit.h"
#include "messagetext.h"
#include "mupdfguard.h"
#include "mupdfmemory.h"
#include "operandcounts.h"
#include "pageglyphs.h"
#include "pagewriter.h"
#include "picturecheck.h"
#include "placeindex.h"
#include "qpdfrepair.h"
#include "replacementfonts.h"
#include "temporaryoutput.h"
#include "unfollowedtext.h"

#include <mupdf/pdf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>

namespace
{
// Pictures are read whole and decoded whole; beyond these they are refused
// before either (a 20,000 x 20,000 picture is 1.6 GB decoded).
const long long kMaxPictureBytes = 64LL << 20;
const long long kMaxPicturePixels = 40LL * 1000 * 1000;
const char *const kHidden = "its words may be drawn again where forms nest too deeply to be read, and could not"
                             " all be removed";
const char *const kShownElsewhere = "an annotation or a Type3 glyph shows its words there too, and is kept as it is";
const char *const kUnreadElsewhere = "the annotations or Type3 glyphs of its page could not all be read, and may"
                                     " show its words again";
// What the library could not take of the input as it stands: the run is
// tried again on the input as repaired.
class InputFault : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

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
void dropImage(fz_context *ctx, fz_image *i) { fz_drop_image(ctx, i); }
void dropBuffer(fz_context *ctx, fz_buffer *b) { fz_drop_buffer(ctx, b); }
// Held on a document whose page lookup table is loaded: gives the table back.
void dropPageTable(fz_context *ctx, pdf_document *d)
{
    if (d)
        pdf_drop_page_tree(ctx, d);
}

using Document = Held<pdf_document, dropDocument>;
using Page = Held<pdf_page, dropPage>;
using Image = Held<fz_image, dropImage>;
using Bytes = Held<fz_buffer, dropBuffer>;
using PageTable = Held<pdf_document, dropPageTable>;

// The library's errors and warnings, counted: each tells of damage it met
// and read past, where poppler may read otherwise.
void countMessage(void *count, const char *)
{
    ++*static_cast<int *>(count);
}

std::string quoted(const std::string &s)
{
    return "\"" + s + "\"";
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
    error = PictureCheck::damage(bytes);
    if (!error.empty())
        throw std::runtime_error("it is damaged (" + error + ")");
    // Decoding the whole picture now finds damaged data.
    guarded(ctx, [&] {
        fz_drop_pixmap(ctx, fz_get_pixmap_from_image(ctx, *slot, nullptr, nullptr, nullptr, nullptr));
    });
}

// The find text as the page prints it: the text layer writes "&", "<" and
// ">" as references, and the rule editor hands the text on as the layer
// holds it; the window's reading decodes the named references below and
// numeric ones.
std::string decodedLayerText(const std::string &text)
{
    static const struct { const char *name; const char *value; } named[] = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t semi = text[i] == '&' ? text.find(';', i + 1) : std::string::npos;
        if (semi != std::string::npos && semi - i <= 10) {
            const std::string name = text.substr(i + 1, semi - i - 1);
            std::string value;
            for (const auto &n : named)
                if (name == n.name)
                    value = n.value;
            if (value.empty() && name.size() >= 2 && name[0] == '#') {
                const bool isHex = name[1] == 'x' || name[1] == 'X';
                const std::string digits = name.substr(isHex ? 2 : 1);
                char *end = nullptr;
                const unsigned long code = digits.empty() ? 0 : std::strtoul(digits.c_str(), &end, isHex ? 16 : 10);
                if (end && *end == 0 && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                    char bytes[8];
                    value.assign(bytes, size_t(fz_runetochar(bytes, int(code))));
                }
            }
            if (!value.empty()) {
                out += value;
                i = semi;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The texts a text rule may name, and the reading each comes from.
struct Candidates
{
    std::vector<std::string> finds;
    std::vector<std::string> replaces;   // the replacement of each find
};

// Only readings whose replacement some font can draw: a word is never
// taken out for a text that would come back as empty boxes.
Candidates candidatesOf(const std::vector<TextRule::Reading> &readings, PageWriter *writer)
{
    Candidates c;
    for (size_t r = 0; r < readings.size(); ++r) {
        if (!writer->canDraw(readings[r].replace))
            continue;
        c.finds.push_back(readings[r].find);
        c.replaces.push_back(readings[r].replace);
        const std::string decoded = decodedLayerText(readings[r].find);
        if (decoded != readings[r].find) {
            c.finds.push_back(decoded);
            c.replaces.push_back(readings[r].replace);
        }
    }
    return c;
}

// `page` as the rule file writes it, so a number beyond any document is
// named as the user wrote it.
std::string skippedLine(int line, const std::string &page, const std::string &what, const std::string &why)
{
    const size_t shown = MessageText::kShownCharacters;
    return "line " + std::to_string(line) + ", page " + (page.size() > shown ? page.substr(0, shown) + "..." : page)
        + ", " + what + ": " + why + "; rule skipped";
}

std::string skippedLine(int line, int64_t page, const std::string &what, const std::string &why)
{
    return skippedLine(line, std::to_string(page), what, why);
}

// A rule that was applied, to be checked again in the written file.
struct Applied
{
    int64_t page;
    fz_rect box;
    std::string find;
    int line;
    std::string what;          // the rule as its skipped line names it
    std::string replace;       // the text that must be read back; empty for a picture
    GlyphRemover::Removed at;  // where the replacement was drawn
};

// What a reader meets walking a document from its catalog through the page
// tree and everything its pages refer to.
struct Walk
{
    int pages = 0;            // leaves of the page tree
    int misnumbered = 0;      // an object referred to with another generation than it has; 0 for none
    size_t dangling = 0;      // references to objects the document does not hold
};

// Each object once, without recursion, so any depth and any cycle take
// time linear in the objects. With `mend`, an object whose generation the
// library had to guess (its references name another) takes the generation
// its references name, so it is written the way they name it.
Walk walk(fz_context *ctx, pdf_document *doc, bool mend)
{
    Walk w;
    int length = 0;
    guarded(ctx, [&] { length = pdf_xref_len(ctx, doc); });
    // Outside the guarded part: an error of the library jumps past it.
    std::vector<char> seen(size_t(std::max(length, 0)), 0);
    std::vector<pdf_obj *> todo, nodes;
    guarded(ctx, [&] {
        // A reference counts when the object it names is there; the object is then read once.
        const auto follow = [&](pdf_obj *ref) -> pdf_obj * {
            const int num = pdf_to_num(ctx, ref), gen = pdf_to_gen(ctx, ref);
            pdf_xref_entry *entry = num > 0 && num < length ? pdf_get_xref_entry(ctx, doc, num) : nullptr;
            if (!entry || (entry->type != 'n' && entry->type != 'o')) {
                ++w.dangling;
                return nullptr;
            }
            if (entry->type == 'n' && entry->gen != gen) {
                if (mend && !seen[size_t(num)])
                    entry->gen = (unsigned short)gen;
                else if (!w.misnumbered)
                    w.misnumbered = num;
            }
            if (seen[size_t(num)])
                return nullptr;
            seen[size_t(num)] = 1;
            return pdf_resolve_indirect(ctx, ref);
        };
        pdf_obj *root = pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root));
        pdf_obj *catalog = pdf_is_indirect(ctx, root) ? follow(root) : root;
        pdf_obj *tree = pdf_dict_get(ctx, catalog, PDF_NAME(Pages));
        // The page tree first: its leaves are the pages a reader finds.
        if (pdf_is_indirect(ctx, tree)) {
            if (pdf_obj *top = follow(tree))
                nodes.push_back(top);
        }
        while (!nodes.empty()) {
            pdf_obj *node = nodes.back();
            nodes.pop_back();
            todo.push_back(node);
            pdf_obj *kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
            if (!pdf_is_array(ctx, kids)) {
                w.pages += pdf_name_eq(ctx, pdf_dict_get(ctx, node, PDF_NAME(Type)), PDF_NAME(Page));
                continue;
            }
            for (int i = pdf_array_len(ctx, kids); i-- > 0;) {
                pdf_obj *kid = pdf_array_get(ctx, kids, i);
                if (pdf_is_indirect(ctx, kid)) {
                    if (pdf_obj *k = follow(kid))
                        nodes.push_back(k);
                }
            }
        }
        // Then everything the tree and its pages refer to.
        while (!todo.empty()) {
            pdf_obj *o = todo.back();
            todo.pop_back();
            const bool isDict = pdf_is_dict(ctx, o);
            const int n = isDict ? pdf_dict_len(ctx, o) : pdf_is_array(ctx, o) ? pdf_array_len(ctx, o) : 0;
            for (int i = 0; i < n; ++i) {
                pdf_obj *v = isDict ? pdf_dict_get_val(ctx, o, i) : pdf_array_get(ctx, o, i);
                if (pdf_is_indirect(ctx, v)) {
                    if (isDict && pdf_name_eq(ctx, pdf_dict_get_key(ctx, o, i), PDF_NAME(Kids)))
                        continue;   // walked above
                    v = follow(v);
                }
                if (v && (pdf_is_dict(ctx, v) || pdf_is_array(ctx, v)))
                    todo.push_back(v);
            }
        }
    });
    return w;
}

// Whether the characters of `wanted` (UTF-8, blanks aside) are all among
// those of `read`, each as often: the order is left aside, as text drawn
// right to left or in joined forms is read back in another.
bool holdsCharacters(const std::u32string &read, const std::string &wanted)
{
    std::u32string want;
    for (size_t i = 0; i < wanted.size();) {
        int c = 0;
        const int n = fz_chartorune(&c, wanted.c_str() + i);
        i += size_t(std::max(n, 1));
        if (c > ' ' && c != 0xA0 && c != 0x3000 && !(c >= 0x2000 && c <= 0x200F) && !(c >= 0x202A && c <= 0x202E))
            want += char32_t(c);
    }
    std::u32string have = read;
    std::sort(want.begin(), want.end());
    std::sort(have.begin(), have.end());
    return std::includes(have.begin(), have.end(), want.begin(), want.end());
}

// Where a replacement drawn at `at` may show: from its start along its
// direction over the old words' width (or, unlimited, a generous em per
// character), an em around.
fz_rect replacementArea(const GlyphRemover::Removed &at, size_t characters)
{
    const float size = std::max(at.size, 1.0f);
    const float length = (at.width > 0 ? at.width : size * 1.5f * float(characters)) + size;
    const fz_point end = {at.origin.x + at.direction.x * length, at.origin.y + at.direction.y * length};
    fz_rect r = fz_make_rect(std::min(at.origin.x, end.x), std::min(at.origin.y, end.y), std::max(at.origin.x, end.x),
                             std::max(at.origin.y, end.y));
    return fz_expand_rect(r, size);
}

// The page's content streams decoded and joined, as readers join them.
std::string contentOf(fz_context *ctx, pdf_page *page)
{
    std::string bytes;
    int count = 0;
    pdf_obj *contents = nullptr;
    guarded(ctx, [&] {
        contents = pdf_page_contents(ctx, page);
        count = pdf_is_array(ctx, contents) ? pdf_array_len(ctx, contents) : 1;
    });
    for (int i = 0; i < count; ++i) {
        Bytes buffer(ctx);
        fz_buffer **slot = buffer.slot();
        guarded(ctx, [&] {
            pdf_obj *stream = pdf_is_array(ctx, contents) ? pdf_array_get(ctx, contents, i) : contents;
            if (pdf_is_stream(ctx, stream))
                *slot = pdf_load_stream(ctx, stream);
        });
        if (!buffer.get())
            continue;
        unsigned char *data = nullptr;
        const size_t length = fz_buffer_storage(ctx, buffer.get(), &data);
        bytes.append(reinterpret_cast<const char *>(data), length);
        bytes += '\n';
    }
    return bytes;
}

// Reads the written file back as a reader would: every page through the
// page tree, every reference of the tree and its pages resolved by the
// generation it names, every page's content and resources loaded. Returns
// what makes the whole file unusable; rules whose words are still shown at
// their place, or whose replacement is not read where it was drawn, land
// in `unread`.
std::string verifyWritten(fz_context *ctx, const std::string &path, int pageCount, size_t danglingBefore,
                          bool repaired, const int *libraryMessages, const std::vector<Applied> &applied,
                          std::map<int, std::string> *unread)
{
    Document doc(ctx);
    pdf_document **slot = doc.slot();
    const char *p = path.c_str();
    int count = 0, damaged = 0;
    try {
        guarded(ctx, [&] {
            *slot = pdf_open_document(ctx, p);
            count = pdf_count_pages(ctx, *slot);
            damaged = pdf_was_repaired(ctx, *slot);
        });
    } catch (const MupdfError &e) {
        return std::string("the written document cannot be read back: ") + e.what();
    }
    if (damaged || count != pageCount)
        return "the written document is damaged";
    Walk w;
    try {
        w = walk(ctx, doc.get(), false);
    } catch (const MupdfError &e) {
        return std::string("the written document cannot be read back: ") + e.what();
    }
    if (w.pages != pageCount)
        return "a reader finds " + std::to_string(w.pages) + " of the " + std::to_string(pageCount)
            + " pages in the written document";
    if (w.misnumbered)
        return "the written document refers to its object " + std::to_string(w.misnumbered)
            + " by another number than it bears";
    if (w.dangling > danglingBefore)
        return "the written document refers to objects it does not hold";
    FontCache fonts(ctx, doc.get());
    UnfollowedText unfollowed(ctx);
    std::unique_ptr<ConverterReading> converter;   // made when a replacement text is to be read
    std::map<int64_t, std::vector<const Applied *>> byPage;
    for (const Applied &a : applied)
        byPage[a.page].push_back(&a);
    for (int i = 0; i < count; ++i) {
        // The walk above resolved what every page refers to; a repaired
        // input's pages are loaded whole as well.
        const auto rules = byPage.find(i + 1);
        if (rules == byPage.end() && !repaired)
            continue;
        Page page(ctx);
        pdf_page **pageSlot = page.slot();
        fz_rect box;
        fz_matrix toShown;
        int good = 1;
        try {
            pdf_document *d = doc.get();
            guarded(ctx, [&] {
                *pageSlot = pdf_load_page(ctx, d, i);
                pdf_page_transform(ctx, *pageSlot, &box, &toShown);
                good = pdf_is_dict(ctx, pdf_page_resources(ctx, *pageSlot));
                pdf_obj *contents = pdf_page_contents(ctx, *pageSlot);
                const int n = pdf_is_array(ctx, contents) ? pdf_array_len(ctx, contents) : 1;
                for (int k = 0; k < n && good; ++k) {
                    pdf_obj *stream = pdf_is_array(ctx, contents) ? pdf_array_get(ctx, contents, k) : contents;
                    good = pdf_is_stream(ctx, stream);
                    // After a repair the library may have left behind data the output needs.
                    if (good && repaired)
                        fz_drop_buffer(ctx, pdf_load_stream(ctx, stream));
                }
            });
            if (!good)
                return "page " + std::to_string(i + 1) + " of the written document lost its content or resources";
            if (rules == byPage.end())
                continue;
            // What was drawn is the page's last stream, read from the state
            // the page starts in (the content before it is wrapped to restore
            // it); the removal made sure nothing before it is left open.
            const PageGlyphs drawing(ctx, page.get(), toShown, &fonts, true);
            const std::vector<PageGlyphs::Glyph> &drawn = drawing.glyphs();
            std::vector<fz_rect> middles;
            middles.reserve(drawn.size());
            for (const PageGlyphs::Glyph &g : drawn) {
                const float x = (g.box.x0 + g.box.x1) / 2, y = (g.box.y0 + g.box.y1) / 2;
                middles.push_back(fz_make_rect(x, y, x, y));
            }
            const PlaceIndex places(std::move(middles));
            // After a repair the words are looked for again in the whole page.
            std::unique_ptr<PageGlyphs> whole;
            std::unique_ptr<GlyphFinder> finder;
            if (repaired) {
                whole.reset(new PageGlyphs(ctx, page.get(), toShown, &fonts));
                finder.reset(new GlyphFinder(whole->glyphs(), rules->second.size()));
            }
            // What annotations and Type3 glyphs show, where the rewrite did
            // not reach: the words must not be shown there again either.
            const UnfollowedText::Paths paths = unfollowed.of(page.get());
            std::vector<PageGlyphs::Glyph> others;
            bool othersComplete = true;
            std::unique_ptr<GlyphFinder> elsewhere;
            if (paths.annotations || paths.type3) {
                // What the library cannot run there, a reader may still show.
                try {
                    others = unfollowed.glyphs(page.get(), paths, &othersComplete);
                } catch (const MupdfError &) {
                    othersComplete = false;
                }
                elsewhere.reset(new GlyphFinder(others, rules->second.size()));
            }
            // Poppler reads a page as the library does but where the library
            // met damage (it told of an error or a warning, or repaired the
            // file) or where an operator lacks operands: only then is the
            // page read again as the converter reads it.
            int shortOperands = -1;
            const auto popplerMayDiffer = [&] {
                if (repaired || *libraryMessages > 0)
                    return true;
                if (shortOperands < 0)
                    shortOperands = OperandCounts::anyShort(contentOf(ctx, page.get())) ? 1 : 0;
                return shortOperands == 1;
            };
            for (const Applied *a : rules->second) {
                std::string why;
                if (finder && !finder->find(a->find, a->box).glyphs.empty())
                    why = "its words are still shown at their place";
                if (why.empty() && !othersComplete)
                    why = kUnreadElsewhere;
                if (why.empty() && elsewhere
                    && !elsewhere->find(a->find, fz_is_empty_rect(a->at.ink) ? a->box : a->at.ink).glyphs.empty())
                    why = kShownElsewhere;
                if (why.empty() && !a->replace.empty()) {
                    const fz_rect area = replacementArea(a->at, a->replace.size());
                    std::u32string read;
                    for (const size_t g : places.meeting(area))
                        read += drawn[g].text;
                    if (!holdsCharacters(read, a->replace)) {
                        why = "its replacement is not read back at its place";
                    } else if (popplerMayDiffer()) {
                        // The converter reads the page as poppler does, which
                        // may stop short where the content is damaged.
                        if (!converter)
                            converter.reset(new ConverterReading(path));
                        if (!holdsCharacters(converter->textIn(a->page, area), a->replace))
                            why = "the converter does not read its replacement at its place (its page's content may be"
                                  " damaged there)";
                    }
                }
                if (!why.empty())
                    (*unread)[a->line] = skippedLine(a->line, a->page, a->what, why);
            }
        } catch (const MupdfError &e) {
            return "page " + std::to_string(i + 1) + " of the written document cannot be read: " + e.what();
        }
    }
    return std::string();
}

using Pictures = std::map<std::string, std::unique_ptr<Image>>;

// Pictures first: one that cannot be read refuses the run.
Pictures loadPictures(fz_context *ctx, const RuleLines &rules)
{
    Pictures pictures;
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
    return pictures;
}

// The input as the library opened it.
struct OpenedInput
{
    explicit OpenedInput(fz_context *ctx) : doc(ctx) {}
    Document doc;
    int pageCount = 0;
    bool repaired = false;   // the library had to rebuild its object table
};

// Opens the input, from its `repaired` bytes when there are any, and reads
// every object, so a repair the damage calls for happens before anything is
// changed; refuses a document without pages or with a page count it cannot
// hold.
void openInput(fz_context *ctx, const std::string &input, const std::string &repaired, OpenedInput *opened)
{
    bool locked = false;
    try {
        pdf_document **slot = opened->doc.slot();
        try {
            guarded(ctx, [&] {
                if (repaired.empty()) {
                    *slot = pdf_open_document(ctx, input.c_str());
                    return;
                }
                fz_stream *stream =
                    fz_open_memory(ctx, reinterpret_cast<const unsigned char *>(repaired.data()), repaired.size());
                fz_try(ctx)
                    *slot = pdf_open_document_with_stream(ctx, stream);
                fz_always(ctx)
                    fz_drop_stream(ctx, stream);
                fz_catch(ctx)
                    fz_rethrow(ctx);
            });
        } catch (const MupdfError &e) {
            throw std::runtime_error(std::string("not a PDF document, or damaged beyond repair (") + e.what()
                                     + ")");
        }
        locked = pdf_needs_password(ctx, opened->doc.get());
        if (locked)
            throw std::runtime_error("the document needs a password");
        // Every object is read now, so a repair the damage calls for
        // happens before anything is changed: a repair later would
        // rebuild the object table without the objects made meanwhile.
        int pageCount = 0, wasRepaired = 0, objects = 0;
        guarded(ctx, [&] {
            pageCount = pdf_count_pages(ctx, *slot);
            objects = pdf_xref_len(ctx, *slot);
            // A page tree claiming more pages than the file holds
            // objects is refused below, before any page is looked at.
            for (int i = 1; pageCount <= objects && i < objects; ++i) {
                fz_try(ctx)
                    pdf_cache_object(ctx, *slot, i);
                fz_catch(ctx) {
                    // an object beyond repair is one no page may need
                }
            }
            pageCount = pdf_count_pages(ctx, *slot);
            objects = pdf_xref_len(ctx, *slot);
            wasRepaired = pdf_was_repaired(ctx, *slot);
        });
        opened->pageCount = pageCount;
        opened->repaired = wasRepaired != 0 || !repaired.empty();
        if (pageCount < 1)
            throw std::runtime_error("the document has no pages");
        // Every page is an object: a larger count is a claim the file
        // cannot hold, and the library would make room for every page.
        if (pageCount > objects)
            throw std::runtime_error("the page tree claims " + std::to_string(pageCount)
                                     + " pages, more than the file holds objects");
    } catch (const std::exception &e) {
        // Without its password no library of ours reads it.
        if (locked)
            throw std::runtime_error("cannot open " + quoted(input) + ": " + e.what());
        throw InputFault("cannot open " + quoted(input) + ": " + e.what());
    }
}

// The rules of one pass by page, in file order within a page.
struct Plan
{
    std::map<int64_t, std::vector<const TextRule *>> textByPage;
    std::map<int64_t, std::vector<const ImageRule *>> imagesByPage;
    std::vector<int64_t> pages;   // ascending, each once
};

// Every rule but those of `left`; a rule naming a page the document lacks
// is skipped.
Plan planRules(const RuleLines &rules, const std::map<int, std::string> &left, int pageCount,
               std::vector<std::string> *skipped)
{
    Plan plan;
    const auto pageExists = [&](int64_t page, const std::string &written, int line, const std::string &what) {
        if (page >= 1 && page <= pageCount)
            return true;
        skipped->push_back(skippedLine(line, written, what, "the document has no such page (it has "
                                                                + std::to_string(pageCount) + ")"));
        return false;
    };
    for (const TextRule &rule : rules.textRules()) {
        if (!left.count(rule.line) && pageExists(rule.page, rule.pageText, rule.line, MessageText::quoted(rule.text)))
            plan.textByPage[rule.page].push_back(&rule);
    }
    for (const ImageRule &rule : rules.imageRules()) {
        if (!left.count(rule.line) && pageExists(rule.page, rule.pageText, rule.line, "picture " + quoted(rule.path)))
            plan.imagesByPage[rule.page].push_back(&rule);
    }
    for (const auto &entry : plan.textByPage)
        plan.pages.push_back(entry.first);
    for (const auto &entry : plan.imagesByPage)
        plan.pages.push_back(entry.first);
    std::sort(plan.pages.begin(), plan.pages.end());
    plan.pages.erase(std::unique(plan.pages.begin(), plan.pages.end()), plan.pages.end());
    return plan;
}

// One lookup table for all pages, instead of a walk of the page tree per
// page; a page the repair could not find refuses the document.
void loadPageTable(fz_context *ctx, const std::string &input, const OpenedInput &opened, PageTable *table)
{
    pdf_document *d = opened.doc.get();
    const int pageCount = opened.pageCount;
    int missing = 0;
    pdf_document **tableSlot = table->slot();
    try {
        guarded(ctx, [&] {
            pdf_load_page_tree(ctx, d);
            *tableSlot = d;
            for (int i = 0; i < pageCount && !missing; ++i) {
                if (!pdf_is_dict(ctx, pdf_lookup_page_obj(ctx, d, i)))
                    missing = i + 1;
            }
        });
    } catch (const MupdfError &e) {
        throw InputFault("cannot open " + quoted(input) + ": its page tree is damaged (" + e.what() + ")");
    }
    if (missing)
        throw InputFault("cannot open " + quoted(input) + ": the document is damaged, page "
                                 + std::to_string(missing) + " is lost");
}

// What changing the pages of one pass shares.
struct Editing
{
    fz_context *ctx;
    pdf_document *doc;
    const std::string &input;
    PageWriter *writer;
    FontCache *pageFonts;
    std::unique_ptr<ConverterRuns> *runs;   // the converter's reading, made when first needed
    const Pictures &pictures;
    std::vector<Applied> *applied;
    std::vector<std::string> *skipped;
};

// Applies the rules of page `number`: takes their words out and draws what
// replaces them; what was applied is noted for the read-back.
void changePage(const Editing &e, int64_t number, const std::vector<const TextRule *> &pageTextRules,
                const std::vector<const ImageRule *> &pageImageRules)
{
    fz_context *ctx = e.ctx;
    Page page(ctx);
    fz_rect box = fz_empty_rect;
    fz_matrix toShown = fz_identity;
    pdf_page **pageSlot = page.slot();
    pdf_document *d = e.doc;
    try {
        guarded(ctx, [&] {
            *pageSlot = pdf_load_page(ctx, d, int(number - 1));
            pdf_page_transform(ctx, *pageSlot, &box, &toShown);
        });
    } catch (const MupdfError &err) {
        throw InputFault("cannot open " + quoted(e.input) + ": its page " + std::to_string(number) + " cannot be read ("
                         + err.what() + ")");
    }
    // Text rules name their words by box and find text; a picture
    // rule by the converter's run starting at its left and top.
    std::vector<GlyphRemover::Request> requests;
    std::vector<Candidates> textCandidates;
    std::vector<const TextRule *> textRules;
    for (const TextRule *rule : pageTextRules) {
        Candidates candidates = candidatesOf(rule->readings(), e.writer);
        if (candidates.finds.empty()) {
            e.skipped->push_back(skippedLine(rule->line, number, MessageText::quoted(rule->text),
                                             "no installed font can draw its replacement"));
            continue;
        }
        textRules.push_back(rule);
        textCandidates.push_back(std::move(candidates));
        requests.push_back({fz_make_rect(float(rule->left), float(rule->top), float(rule->left + rule->width),
                                         float(rule->top + rule->height)),
                            textCandidates.back().finds, false, textCandidates.back().replaces});
    }
    std::vector<const ImageRule *> imageRules;
    for (const ImageRule *rule : pageImageRules) {
        const ConverterRuns::Run run = (*e.runs)->at(number, rule->left, rule->top);
        if (run.text.empty()) {
            e.skipped->push_back(skippedLine(rule->line, number, "picture " + quoted(rule->path), run.missing));
            continue;
        }
        imageRules.push_back(rule);
        requests.push_back({run.box, {run.text}, true, {}});
    }
    if (requests.empty())
        return;
    try {
        std::vector<GlyphRemover::Removed> removed =
            GlyphRemover::remove(ctx, d, page.get(), toShown, e.pageFonts, requests);
        // A text rule's box is its run's: the word's line's top and
        // height, which for a word running down the page may miss
        // the word. Those found nowhere try again in the box joined
        // with their word's own, as the converter's library tells it.
        std::vector<size_t> again;
        std::vector<GlyphRemover::Request> widened;
        for (size_t i = 0; i < textRules.size(); ++i) {
            if (removed[i].found >= 0)
                continue;
            if (!*e.runs)
                e.runs->reset(new ConverterRuns(e.input));
            GlyphRemover::Request request = requests[i];
            for (const std::string &find : request.finds)
                request.box = (*e.runs)->wordBox(number, find, request.box);
            const fz_rect &was = requests[i].box;
            if (request.box.y0 < was.y0 || request.box.y1 > was.y1 || request.box.x0 < was.x0
                || request.box.x1 > was.x1) {
                again.push_back(i);
                widened.push_back(request);
            }
        }
        if (!widened.empty()) {
            const std::vector<GlyphRemover::Removed> second =
                GlyphRemover::remove(ctx, d, page.get(), toShown, e.pageFonts, widened);
            for (size_t k = 0; k < again.size(); ++k) {
                removed[again[k]] = second[k];
                requests[again[k]] = widened[k];
            }
        }
        std::vector<PageWriter::Text> drawnTexts;
        for (size_t i = 0; i < textRules.size(); ++i) {
            if (removed[i].found < 0) {
                e.skipped->push_back(skippedLine(textRules[i]->line, number, MessageText::quoted(textRules[i]->text),
                                                 !removed[i].refusal.empty() ? removed[i].refusal
                                                 : removed[i].hiddenShowing  ? kHidden
                                                                             : "its find text is not in its box"));
                continue;
            }
            const std::string &replace = textCandidates[i].replaces[size_t(removed[i].found)];
            drawnTexts.push_back({removed[i], replace});
            e.applied->push_back({number, requests[i].box, textCandidates[i].finds[size_t(removed[i].found)],
                                  textRules[i]->line, MessageText::quoted(textRules[i]->text), replace, removed[i]});
        }
        std::vector<PageWriter::Picture> drawnPictures;
        for (size_t k = 0; k < imageRules.size(); ++k) {
            const size_t i = textRules.size() + k;
            const ImageRule *rule = imageRules[k];
            if (removed[i].found < 0) {
                e.skipped->push_back(skippedLine(rule->line, number, "picture " + quoted(rule->path),
                                                 removed[i].hiddenShowing ? std::string(kHidden)
                                                     : "the words of the run at " + std::to_string(rule->left)
                                                         + "," + std::to_string(rule->top) + " are not found"));
                continue;
            }
            const float left = float(rule->left), top = float(rule->top);
            drawnPictures.push_back({e.pictures.at(rule->path)->get(),
                                     fz_make_rect(left, top, left + float(rule->width), top + float(rule->height))});
            e.applied->push_back({number, requests[i].box, requests[i].finds[0], rule->line,
                                  "picture " + quoted(rule->path), std::string(), removed[i]});
        }
        e.writer->draw(page.get(), toShown, drawnTexts, drawnPictures);
    } catch (const MupdfError &err) {
        throw InputFault("cannot change page " + std::to_string(number) + " of " + quoted(e.input) + ": "
                                 + err.what());
    }
}

// Writes the changed document into `file`, the temporary file of the output.
void writeOutput(fz_context *ctx, const std::string &input, pdf_document *d, TemporaryOutput *file)
{
    std::string why;
    if (!file->create(&why))
        throw std::runtime_error("cannot write " + quoted(file->target()) + ": " + why);
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
                out = fz_new_output(ctx, 1 << 16, file, writeTo, nullptr, nullptr);
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
        why = file->writeFailure();
        // The library reads every object again as it writes: one it cannot read is the input's fault.
        if (why.empty())
            throw InputFault("cannot rewrite " + quoted(input) + ": it is damaged (" + e.what() + ")");
        throw std::runtime_error("cannot write " + quoted(file->target()) + ": " + why);
    }
}

// Reads the written file back and puts it at the output path when it is
// usable and every applied rule reads back as asked; rules that do not land
// in `unread` and nothing is put there.
void verifyAndCommit(fz_context *ctx, const std::string &input, const OpenedInput &opened, size_t danglingBefore,
                     const int *libraryMessages, const std::vector<Applied> &applied, TemporaryOutput *file,
                     std::map<int, std::string> *unread)
{
    // Read back on every input: a library may accept what readers do not.
    const std::string problem = verifyWritten(ctx, file->path(), opened.pageCount, danglingBefore, opened.repaired,
                                              libraryMessages, applied, unread);
    if (!problem.empty())
        throw InputFault("cannot rewrite " + quoted(input)
                         + (opened.repaired ? ", which is damaged and had to be repaired" : std::string()) + ": " + problem);
    if (!unread->empty())
        return;
    // A library that failed to allocate may have left out part of what it
    // read or wrote, and only told of it in a warning.
    if (MemoryLimit::exhausted())
        throw std::bad_alloc();
    std::string why;
    if (!file->commit(&why))
        throw std::runtime_error("cannot write " + quoted(file->target()) + ": " + why);
}
}

PdfReplacer::PdfReplacer()
    : ctx_(fz_new_context(MupdfMemory::allocator(), nullptr, kStoreBytes))
{
    if (ctx_) {
        // Our one line on failure says what went wrong; the library's own
        // messages (repairs, warnings) would only bury it.
        fz_set_error_callback(ctx_, countMessage, &libraryMessages_);
        fz_set_warning_callback(ctx_, countMessage, &libraryMessages_);
    }
}

PdfReplacer::~PdfReplacer()
{
    fz_drop_context(ctx_);
}

bool PdfReplacer::run(const std::string &input, const std::string &output, const RuleLines &rules,
                      QpdfRepair *repair, std::string *error)
{
    if (!ctx_) {
        *error = "out of memory";
        return false;
    }
    repaired_.clear();
    try {
        try {
            passes(input, output, rules);
        } catch (const InputFault &e) {
            // Out of memory, a repair would only fail the same way, later.
            if (!repair || MemoryLimit::exhausted())
                throw;
            std::string why;
            if (!repair->rewrite(&repaired_, &why))
                throw std::runtime_error(std::string(e.what()) + "; it cannot be repaired either: " + why);
            try {
                passes(input, output, rules);
            } catch (const InputFault &again) {
                throw std::runtime_error(std::string(again.what()) + " (also once repaired)");
            }
        }
        return true;
    } catch (const std::bad_alloc &) {
        throw;   // the caller tells of the memory share
    } catch (const std::exception &e) {
        *error = e.what();
        return false;
    }
}

void PdfReplacer::passes(const std::string &input, const std::string &output, const RuleLines &rules)
{
    // A rule not read back from the written file is left out, and the file
    // written again without it; one more pass is allowed for what that
    // changes, then the run gives up rather than loop.
    const int kPasses = 3;
    std::map<int, std::string> left;
    for (int pass = 1;; ++pass) {
        std::map<int, std::string> unread;
        attempt(input, output, rules, left, &unread);
        if (unread.empty())
            return;
        if (pass == kPasses)
            throw std::runtime_error("cannot write " + quoted(output) + ": " + unread.begin()->second);
        left.insert(unread.begin(), unread.end());
    }
}

void PdfReplacer::attempt(const std::string &input, const std::string &output, const RuleLines &rules,
                          const std::map<int, std::string> &left, std::map<int, std::string> *unread)
{
    fz_context *ctx = ctx_;
    libraryMessages_ = 0;
    skipped_.clear();
    for (const auto &entry : left)
        skipped_.push_back(entry.second);
    const Pictures pictures = loadPictures(ctx, rules);

    OpenedInput opened(ctx);
    openInput(ctx, input, repaired_, &opened);
    Walk before;
    try {
        before = walk(ctx, opened.doc.get(), true);
    } catch (const MupdfError &e) {
        throw InputFault("cannot open " + quoted(input) + ": " + e.what());
    }

    ReplacementFonts fonts(ctx);
    std::vector<std::string> ruleTexts;
    for (const TextRule &rule : rules.textRules())
        for (const TextRule::Reading &r : rule.readings())
            ruleTexts.push_back(r.replace);
    fonts.prepare(ruleTexts);

    Plan plan = planRules(rules, left, opened.pageCount, &skipped_);
    pdf_document *d = opened.doc.get();
    PageWriter writer(ctx, d, &fonts);
    FontCache pageFonts(ctx, d);
    std::unique_ptr<ConverterRuns> runs;
    if (!plan.imagesByPage.empty())
        runs.reset(new ConverterRuns(input));
    std::vector<Applied> applied;
    PageTable pageTable(ctx);
    loadPageTable(ctx, input, opened, &pageTable);
    const Editing editing = {ctx, d, input, &writer, &pageFonts, &runs, pictures, &applied, &skipped_};
    for (const int64_t number : plan.pages)
        changePage(editing, number, plan.textByPage[number], plan.imagesByPage[number]);

    TemporaryOutput file(output);
    writeOutput(ctx, input, d, &file);
    verifyAndCommit(ctx, input, opened, before.dangling, &libraryMessages_, applied, &file, unread);
}
