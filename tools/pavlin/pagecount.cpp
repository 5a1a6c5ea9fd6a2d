#include "pagecount.h"

#include <mupdf/pdf.h>

#include <new>

namespace
{
// The document's messages would only reach the error output; ours say it.
void ignoreMessage(void *, const char *)
{
}

// The objects of the library the count needs; errors are caught by the caller.
long countIn(fz_context *ctx, pdf_document *doc)
{
    if (pdf_needs_password(ctx, doc) || pdf_was_repaired(ctx, doc))
        return 0;
    pdf_obj *root = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/Pages");
    pdf_obj *count = pdf_dict_get(ctx, root, PDF_NAME(Count));
    pdf_obj *kids = pdf_dict_get(ctx, root, PDF_NAME(Kids));
    if (!pdf_is_int(ctx, count) || !pdf_is_array(ctx, kids))
        return 0;
    const long claimed = pdf_to_int(ctx, count);
    const long children = pdf_array_len(ctx, kids);
    if (children < 1 || claimed < children || claimed > pdf_xref_len(ctx, doc))
        return 0;
    return claimed;
}
}

long PageCount::quick(const std::string &path)
{
    // A small store: nothing is drawn, only the file's table and root read.
    fz_context *ctx = fz_new_context(nullptr, nullptr, 8 << 20);
    if (!ctx)
        throw std::bad_alloc();
    fz_set_error_callback(ctx, ignoreMessage, nullptr);
    fz_set_warning_callback(ctx, ignoreMessage, nullptr);
    pdf_document *doc = nullptr;
    long pages = 0;
    bool memory = false;
    fz_var(doc);
    fz_try(ctx) {
        doc = pdf_open_document(ctx, path.c_str());
        pages = countIn(ctx, doc);
    }
    fz_catch(ctx) {
        pages = 0;
        memory = fz_caught(ctx) == FZ_ERROR_MEMORY;
    }
    pdf_drop_document(ctx, doc);
    fz_drop_context(ctx);
    if (memory)
        throw std::bad_alloc();
    return pages;
}
