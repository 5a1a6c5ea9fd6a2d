#include "pagerules.h"

#include "converterruns.h"
#include "glyphremover.h"
#include "inputfault.h"
#include "messagetext.h"
#include "mupdfguard.h"
#include "mupdfheld.h"
#include "pagewriter.h"
#include "rulepictures.h"
#include "shownpage.h"
#include "skippedrule.h"

#include <cstdlib>

namespace
{
using Editing = PageRules::Editing;

const char *const kHidden = "its words may be drawn again where forms nest too deeply to be read, and could not"
                             " all be removed";

std::string quoted(const std::string &s)
{
    return "\"" + s + "\"";
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


// What the rules of one page ask to be removed: the text rules' words by
// box and find text, the picture rules' by the converter's run starting at
// their left and top.
struct PageRequests
{
    std::vector<GlyphRemover::Request> requests;   // the text rules', then the picture rules'
    std::vector<Candidates> textCandidates;
    std::vector<const TextRule *> textRules;
    std::vector<const ImageRule *> imageRules;
};

PageRequests requestsOf(const Editing &e, int64_t number, const std::vector<const TextRule *> &pageTextRules,
                        const std::vector<const ImageRule *> &pageImageRules)
{
    PageRequests r;
    for (const TextRule *rule : pageTextRules) {
        Candidates candidates = candidatesOf(rule->readings(), e.writer);
        if (candidates.finds.empty()) {
            e.skipped->push_back(SkippedRule::line(rule->line, number, MessageText::quoted(rule->text),
                                                   "no installed font can draw its replacement"));
            continue;
        }
        r.textRules.push_back(rule);
        r.textCandidates.push_back(std::move(candidates));
        r.requests.push_back({fz_make_rect(float(rule->left), float(rule->top), float(rule->left + rule->width),
                                           float(rule->top + rule->height)),
                              r.textCandidates.back().finds, false, r.textCandidates.back().replaces});
    }
    for (const ImageRule *rule : pageImageRules) {
        const ConverterRuns::Run run = (*e.runs)->at(number, rule->left, rule->top);
        if (run.text.empty()) {
            e.skipped->push_back(SkippedRule::line(rule->line, number, "picture " + quoted(rule->path), run.missing));
            continue;
        }
        r.imageRules.push_back(rule);
        r.requests.push_back({run.box, {run.text}, true, {}});
    }
    return r;
}

// A text rule's box is its run's: the word's line's top and height, which
// for a word running down the page may miss the word. Those found nowhere
// try again in the box joined with their word's own, as the converter's
// library tells it.
void widenUnfound(const Editing &e, int64_t number, pdf_page *page, const fz_matrix &toShown, PageRequests *r,
                  std::vector<GlyphRemover::Removed> *removed)
{
    std::vector<size_t> again;
    std::vector<GlyphRemover::Request> widened;
    for (size_t i = 0; i < r->textRules.size(); ++i) {
        if ((*removed)[i].found >= 0)
            continue;
        if (!*e.runs)
            e.runs->reset(new ConverterRuns(e.input));
        GlyphRemover::Request request = r->requests[i];
        for (const std::string &find : request.finds)
            request.box = (*e.runs)->wordBox(number, find, request.box);
        const fz_rect &was = r->requests[i].box;
        if (request.box.y0 < was.y0 || request.box.y1 > was.y1 || request.box.x0 < was.x0 || request.box.x1 > was.x1) {
            again.push_back(i);
            widened.push_back(request);
        }
    }
    if (widened.empty())
        return;
    const std::vector<GlyphRemover::Removed> second =
        GlyphRemover::remove(e.ctx, e.doc, page, toShown, e.pageFonts, widened);
    for (size_t k = 0; k < again.size(); ++k) {
        (*removed)[again[k]] = second[k];
        r->requests[again[k]] = widened[k];
    }
}

// Draws what replaces the words found; what was applied is noted for the
// read-back, what was not found is skipped.
void drawFound(const Editing &e, int64_t number, pdf_page *page, const fz_matrix &toShown, const PageRequests &r,
               const std::vector<GlyphRemover::Removed> &removed)
{
    std::vector<PageWriter::Text> drawnTexts;
    for (size_t i = 0; i < r.textRules.size(); ++i) {
        const TextRule *rule = r.textRules[i];
        if (removed[i].found < 0) {
            e.skipped->push_back(SkippedRule::line(rule->line, number, MessageText::quoted(rule->text),
                                                   !removed[i].refusal.empty() ? removed[i].refusal
                                                   : removed[i].hiddenShowing  ? kHidden
                                                                               : "its find text is not in its box"));
            continue;
        }
        const std::string &replace = r.textCandidates[i].replaces[size_t(removed[i].found)];
        drawnTexts.push_back({removed[i], replace});
        e.applied->push_back({number, r.requests[i].box, r.textCandidates[i].finds[size_t(removed[i].found)],
                              rule->line, MessageText::quoted(rule->text), replace, removed[i]});
    }
    std::vector<PageWriter::Picture> drawnPictures;
    for (size_t k = 0; k < r.imageRules.size(); ++k) {
        const size_t i = r.textRules.size() + k;
        const ImageRule *rule = r.imageRules[k];
        if (removed[i].found < 0) {
            e.skipped->push_back(SkippedRule::line(rule->line, number, "picture " + quoted(rule->path),
                                                   removed[i].hiddenShowing ? std::string(kHidden)
                                                       : "the words of the run at " + std::to_string(rule->left) + ","
                                                           + std::to_string(rule->top) + " are not found"));
            continue;
        }
        const float left = float(rule->left), top = float(rule->top);
        drawnPictures.push_back({e.pictures.at(rule->path),
                                 fz_make_rect(left, top, left + float(rule->width), top + float(rule->height))});
        e.applied->push_back({number, r.requests[i].box, r.requests[i].finds[0], rule->line,
                              "picture " + quoted(rule->path), std::string(), removed[i]});
    }
    e.writer->draw(page, toShown, drawnTexts, drawnPictures);
}
}

// Takes the words out and draws what replaces them.
void PageRules::apply(const Editing &e, int64_t number, const std::vector<const TextRule *> &pageTextRules,
                      const std::vector<const ImageRule *> &pageImageRules)
{
    fz_context *ctx = e.ctx;
    HeldPage page(ctx);
    fz_rect box = fz_empty_rect;
    fz_matrix toShown = fz_identity;
    pdf_page **pageSlot = page.slot();
    pdf_document *d = e.doc;
    try {
        guarded(ctx, [&] {
            *pageSlot = pdf_load_page(ctx, d, int(number - 1));
            ShownPage::transform(ctx, *pageSlot, &box, &toShown);
        });
    } catch (const MupdfError &err) {
        throw InputFault("cannot open " + quoted(e.input) + ": its page " + std::to_string(number) + " cannot be read ("
                         + err.what() + ")");
    }
    PageRequests r = requestsOf(e, number, pageTextRules, pageImageRules);
    if (r.requests.empty())
        return;
    try {
        std::vector<GlyphRemover::Removed> removed =
            GlyphRemover::remove(ctx, d, page.get(), toShown, e.pageFonts, r.requests);
        widenUnfound(e, number, page.get(), toShown, &r, &removed);
        drawFound(e, number, page.get(), toShown, r, removed);
    } catch (const MupdfError &err) {
        throw InputFault("cannot change page " + std::to_string(number) + " of " + quoted(e.input) + ": " + err.what());
    }
}

