#include "referencewalk.h"

#include "mupdfguard.h"

#include <algorithm>
#include <vector>

ReferenceWalk ReferenceWalk::of(fz_context *ctx, pdf_document *doc, bool mend)
{
    ReferenceWalk w;
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
