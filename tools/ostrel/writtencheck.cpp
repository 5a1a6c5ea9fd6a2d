#include "writtencheck.h"

#include "converterreading.h"
#include "glyphfinder.h"
#include "mupdfguard.h"
#include "operandcounts.h"
#include "pageglyphs.h"
#include "placeindex.h"
#include "referencewalk.h"
#include "shownpage.h"
#include "skippedrule.h"

#include <algorithm>

namespace
{
const char *const kShownElsewhere = "an annotation or a Type3 glyph shows its words there too, and is kept as it is";
const char *const kUnreadElsewhere = "the annotations or Type3 glyphs of its page could not all be read, and may"
                                     " show its words again";

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
        HeldBuffer buffer(ctx);
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
}

WrittenCheck::WrittenCheck(fz_context *ctx, std::string path, const Input &input, const int *libraryMessages)
    : ctx_(ctx), path_(std::move(path)), input_(input), libraryMessages_(libraryMessages), doc_(ctx), unfollowed_(ctx)
{
}

WrittenCheck::~WrittenCheck() = default;

bool WrittenCheck::whole(fz_context *ctx, pdf_page *page)
{
    if (!pdf_is_dict(ctx, pdf_page_resources(ctx, page)))
        return false;
    pdf_obj *contents = pdf_page_contents(ctx, page);
    const int n = pdf_is_array(ctx, contents) ? pdf_array_len(ctx, contents) : 1;
    for (int k = 0; k < n; ++k) {
        pdf_obj *stream = pdf_is_array(ctx, contents) ? pdf_array_get(ctx, contents, k) : contents;
        if (!pdf_is_stream(ctx, stream))
            return false;
        fz_drop_buffer(ctx, pdf_load_stream(ctx, stream));
    }
    return true;
}

std::string WrittenCheck::openWritten()
{
    pdf_document **slot = doc_.slot();
    const char *p = path_.c_str();
    int count = 0, damaged = 0;
    try {
        guarded(ctx_, [&] {
            *slot = pdf_open_document(ctx_, p);
            count = pdf_count_pages(ctx_, *slot);
            damaged = pdf_was_repaired(ctx_, *slot);
        });
    } catch (const MupdfError &e) {
        return std::string("the written document cannot be read back: ") + e.what();
    }
    if (damaged || count != input_.pageCount)
        return "the written document is damaged";
    ReferenceWalk w;
    try {
        w = ReferenceWalk::of(ctx_, doc_.get(), false);
    } catch (const MupdfError &e) {
        return std::string("the written document cannot be read back: ") + e.what();
    }
    if (w.pages != input_.pageCount)
        return "a reader finds " + std::to_string(w.pages) + " of the " + std::to_string(input_.pageCount)
            + " pages in the written document";
    if (w.misnumbered)
        return "the written document refers to its object " + std::to_string(w.misnumbered)
            + " by another number than it bears";
    if (w.dangling > input_.dangling)
        return "the written document refers to objects it does not hold";
    fonts_.reset(new FontCache(ctx_, doc_.get()));
    return std::string();
}

std::string WrittenCheck::verify(const std::vector<AppliedRule> &applied, std::map<int, std::string> *unread)
{
    std::string problem = openWritten();
    if (!problem.empty())
        return problem;
    std::map<int64_t, std::vector<const AppliedRule *>> byPage;
    for (const AppliedRule &a : applied)
        byPage[a.page].push_back(&a);
    for (int i = 0; i < input_.pageCount && problem.empty(); ++i) {
        // The walk above resolved what every page refers to; a repaired
        // input's pages are loaded whole as well.
        const auto rules = byPage.find(i + 1);
        if (rules != byPage.end() || input_.repaired)
            problem = checkPage(i, rules == byPage.end() ? nullptr : &rules->second, unread);
    }
    return problem;
}

std::string WrittenCheck::checkPage(int index, const std::vector<const AppliedRule *> *rules,
                                    std::map<int, std::string> *unread)
{
    HeldPage page(ctx_);
    pdf_page **pageSlot = page.slot();
    fz_rect box;
    fz_matrix toShown;
    int good = 1;
    try {
        pdf_document *d = doc_.get();
        const bool loadWhole = input_.repaired && size_t(index) < input_.whole.size() && input_.whole[size_t(index)];
        guarded(ctx_, [&] {
            *pageSlot = pdf_load_page(ctx_, d, index);
            ShownPage::transform(ctx_, *pageSlot, &box, &toShown);
            // After a repair the library may have left behind data the output needs.
            if (loadWhole)
                good = whole(ctx_, *pageSlot);
        });
        if (!good)
            return "page " + std::to_string(index + 1) + " of the written document lost its content or resources";
        if (rules)
            checkRules(page.get(), toShown, *rules, unread);
    } catch (const MupdfError &e) {
        return "page " + std::to_string(index + 1) + " of the written document cannot be read: " + e.what();
    }
    return std::string();
}

// Poppler reads a page as the library does but where the library met
// damage (it told of an error or a warning, or repaired the file) or where
// an operator lacks operands: only then is the page read again as the
// converter reads it.
bool WrittenCheck::popplerMayDiffer(pdf_page *page, int *shortOperands) const
{
    if (input_.repaired || *libraryMessages_ > 0)
        return true;
    if (*shortOperands < 0)
        *shortOperands = OperandCounts::anyShort(contentOf(ctx_, page)) ? 1 : 0;
    return *shortOperands == 1;
}

void WrittenCheck::checkRules(pdf_page *page, const fz_matrix &toShown, const std::vector<const AppliedRule *> &rules,
                              std::map<int, std::string> *unread)
{
    // What was drawn is the page's last stream, read from the state the
    // page starts in (the content before it is wrapped to restore it); the
    // removal made sure nothing before it is left open.
    const PageGlyphs drawing(ctx_, page, toShown, fonts_.get(), true);
    const std::vector<PageGlyphs::Glyph> &drawn = drawing.glyphs();
    std::vector<fz_rect> middles;
    middles.reserve(drawn.size());
    for (const PageGlyphs::Glyph &g : drawn) {
        const float x = (g.box.x0 + g.box.x1) / 2, y = (g.box.y0 + g.box.y1) / 2;
        middles.push_back(fz_make_rect(x, y, x, y));
    }
    const PlaceIndex places(std::move(middles));
    // After a repair the words are looked for again in the whole page.
    std::unique_ptr<PageGlyphs> wholePage;
    std::unique_ptr<GlyphFinder> finder;
    if (input_.repaired) {
        wholePage.reset(new PageGlyphs(ctx_, page, toShown, fonts_.get()));
        finder.reset(new GlyphFinder(wholePage->glyphs(), rules.size()));
    }
    // What annotations and Type3 glyphs show, where the rewrite did not
    // reach: the words must not be shown there again either.
    const UnfollowedText::Paths paths = unfollowed_.of(page);
    std::vector<PageGlyphs::Glyph> others;
    bool othersComplete = true;
    std::unique_ptr<GlyphFinder> elsewhere;
    if (paths.annotations || paths.type3) {
        // What the library cannot run there, a reader may still show.
        try {
            others = unfollowed_.glyphs(page, paths, &othersComplete);
        } catch (const MupdfError &) {
            othersComplete = false;
        }
        elsewhere.reset(new GlyphFinder(others, rules.size()));
    }
    int shortOperands = -1;
    for (const AppliedRule *a : rules) {
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
            } else if (popplerMayDiffer(page, &shortOperands)) {
                // The converter reads the page as poppler does, which may
                // stop short where the content is damaged.
                if (!converter_)
                    converter_.reset(new ConverterReading(path_));
                if (!holdsCharacters(converter_->textIn(a->page, area), a->replace))
                    why = "the converter does not read its replacement at its place (its page's content may be"
                          " damaged there)";
            }
        }
        if (!why.empty())
            (*unread)[a->line] = SkippedRule::line(a->line, a->page, a->what, why);
    }
}
