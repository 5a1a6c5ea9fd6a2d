#include "markedtexts.h"

#include "contenttokens.h"
#include "mupdfguard.h"

#include <algorithm>
#include <memory>

namespace
{
// A tagged document holds some hundred thousand elements; a tree of more
// is not walked further. The walk keeps no stack: any depth costs the same.
const size_t kStructureElementLimit = 1000000;

// A text string as content writes it: UTF-16BE with its byte order mark,
// in hex, which any text can be.
std::string textString(const std::string &utf8)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "<FEFF";
    for (const char *p = utf8.c_str(); *p;) {
        int c = 0;
        p += fz_chartorune(&c, p);
        const auto unit = [&out](unsigned u) {
            for (int shift = 12; shift >= 0; shift -= 4)
                out += digits[(u >> shift) & 0xF];
        };
        if (c >= 0x10000) {
            unit(0xD800 + ((unsigned(c) - 0x10000) >> 10));
            unit(0xDC00 + ((unsigned(c) - 0x10000) & 0x3FF));
        } else {
            unit(unsigned(c));
        }
    }
    return out + ">";
}

bool isTextKey(const std::string &key)
{
    return key == "ActualText" || key == "Alt" || key == "E";
}

// What a structure element's kid is: a marked sequence (its MCID and
// page), or an element (its object, and its number when indirect).
struct Kid
{
    int mcid = -1;
    pdf_obj *page = nullptr;
    pdf_obj *element = nullptr;
    int number = 0;
};

Kid kidOf(fz_context *ctx, pdf_obj *kids, int index, pdf_obj *elementPage)
{
    Kid kid;
    guarded(ctx, [&] {
        pdf_obj *k = pdf_is_array(ctx, kids) ? pdf_array_get(ctx, kids, index) : kids;
        if (pdf_is_int(ctx, k)) {
            kid.mcid = pdf_to_int(ctx, k);
            kid.page = elementPage;
        } else if (pdf_is_dict(ctx, k) && pdf_is_int(ctx, pdf_dict_get(ctx, k, PDF_NAME(MCID)))) {
            kid.mcid = pdf_dict_get_int(ctx, k, PDF_NAME(MCID));
            pdf_obj *own = pdf_dict_gets(ctx, k, "Pg");
            kid.page = own ? own : elementPage;
        } else if (pdf_is_dict(ctx, k) && pdf_dict_get(ctx, k, PDF_NAME(S))) {
            kid.element = k;
            kid.number = pdf_is_indirect(ctx, k) ? pdf_to_num(ctx, k) : 0;
        }
    });
    return kid;
}

bool samePage(fz_context *ctx, pdf_obj *a, pdf_obj *b)
{
    return a && b && pdf_resolve_indirect(ctx, a) == pdf_resolve_indirect(ctx, b);
}
}

std::string MarkedTexts::changed(const std::string &text, const std::vector<Change> &changes)
{
    std::vector<const Change *> order;
    for (const Change &c : changes)
        if (!c.old.empty())
            order.push_back(&c);
    std::stable_sort(order.begin(), order.end(), [](const Change *a, const Change *b) { return a->old.size() > b->old.size(); });
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const auto here = std::find_if(order.begin(), order.end(),
                                       [&](const Change *c) { return text.compare(at, c->old.size(), c->old) == 0; });
        if (here == order.end()) {
            out += text[at++];
            continue;
        }
        out += (*here)->replacement;
        at += (*here)->old.size();
    }
    return out;
}

std::string MarkedTexts::changedProperties(fz_context *ctx, const std::string &bytes, const std::vector<Change> &changes)
{
    ContentTokens tokens(bytes);
    std::string out;
    size_t copied = 0;
    int nesting = 0;
    std::string key;
    for (ContentTokens::Token t = tokens.next(); t.kind != ContentTokens::Kind::End; t = tokens.next()) {
        nesting += t.kind == ContentTokens::Kind::OpenDict ? 1 : t.kind == ContentTokens::Kind::CloseDict ? -1 : 0;
        if (nesting == 1 && t.kind == ContentTokens::Kind::String && isTextKey(key)) {
            const std::string was = MarkedTexts::utf8Of(ctx, t.text), now = changed(was, changes);
            if (now != was) {
                out.append(bytes, copied, t.start - copied);
                out += textString(now);
                copied = t.end;
            }
        }
        key = nesting == 1 && key.empty() && t.kind == ContentTokens::Kind::Name ? t.text : std::string();
    }
    return out.append(bytes, copied, std::string::npos);
}

void MarkedTexts::changeDictionary(fz_context *ctx, pdf_obj *dictionary, const std::vector<Change> &changes)
{
    for (pdf_obj *key : {PDF_NAME(ActualText), PDF_NAME(Alt), PDF_NAME(E)}) {
        std::string was;
        guarded(ctx, [&] {
            pdf_obj *value = pdf_dict_get(ctx, dictionary, key);
            if (pdf_is_string(ctx, value))
                was = pdf_to_text_string(ctx, value);
        });
        const std::string now = changed(was, changes);
        if (now != was)
            guarded(ctx, [&] { pdf_dict_put_text_string(ctx, dictionary, key, now.c_str()); });
    }
}

void MarkedTexts::changeStructure(fz_context *ctx, pdf_document *doc, pdf_obj *page, const std::set<int> &mcids,
                                  const std::vector<Change> &changes)
{
    // The elements met, each once, with the one above it and its page.
    struct Element
    {
        pdf_obj *object;
        size_t parent;
        pdf_obj *page;
        bool holds = false;   // a marked sequence of `mcids` on the page
    };
    std::vector<Element> elements;
    std::set<int> seen;
    guarded(ctx, [&] {
        pdf_obj *root = pdf_dict_gets(ctx, pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root)), "StructTreeRoot");
        if (pdf_is_dict(ctx, root))
            elements.push_back({root, size_t(-1), nullptr});
    });
    for (size_t i = 0; i < elements.size(); ++i) {
        const Element e = elements[i];
        pdf_obj *kids = nullptr, *on = e.page;
        int count = 0;
        guarded(ctx, [&] {
            pdf_obj *own = pdf_dict_gets(ctx, e.object, "Pg");
            on = own ? own : e.page;
            kids = pdf_dict_get(ctx, e.object, PDF_NAME(K));
            count = pdf_is_array(ctx, kids) ? pdf_array_len(ctx, kids) : kids ? 1 : 0;
        });
        for (int k = 0; k < count && elements.size() < kStructureElementLimit; ++k) {
            const Kid kid = kidOf(ctx, kids, k, on);
            if (kid.mcid >= 0) {
                elements[i].holds = elements[i].holds || (samePage(ctx, kid.page, page) && mcids.count(kid.mcid));
            } else if (kid.element && (kid.number <= 0 || seen.insert(kid.number).second)) {
                // Each object once, so a cycle ends.
                elements.push_back({kid.element, i, on});
            }
        }
    }
    std::vector<bool> change(elements.size(), false);
    for (size_t i = 0; i < elements.size(); ++i)
        for (size_t at = elements[i].holds ? i : size_t(-1); at != size_t(-1) && !change[at]; at = elements[at].parent)
            change[at] = true;
    for (size_t i = 1; i < elements.size(); ++i)
        if (change[i])
            changeDictionary(ctx, elements[i].object, changes);
}

std::string MarkedTexts::utf8Of(fz_context *ctx, const std::string &written)
{
    char *utf8 = nullptr;
    guarded(ctx, [&] { utf8 = pdf_new_utf8_from_pdf_string(ctx, written.data(), written.size()); });
    // Freed also when copying it runs out of memory.
    struct Freer
    {
        fz_context *ctx;
        void operator()(char *p) const { fz_free(ctx, p); }
    };
    const std::unique_ptr<char, Freer> owned(utf8, Freer{ctx});
    return utf8 ? std::string(utf8) : std::string();
}
