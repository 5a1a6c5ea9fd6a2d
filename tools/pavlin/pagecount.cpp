#include "pagecount.h"

#include "mupdfmemory.h"

#include <mupdf/pdf.h>

#include <new>

long PageCount::engine(const std::string &bytes)
{
    // A small store: nothing is drawn, only the file's table and root read.
    // The library repairs around a failed allocation and may then count no
    // pages: the allocator tells MemoryLimit, so that is said as memory.
    fz_context *ctx = MupdfMemory::newQuietContext(8 << 20);
    fz_stream *stream = nullptr;
    pdf_document *doc = nullptr;
    long pages = 0;
    bool memory = false;
    fz_var(stream);
    fz_var(doc);
    fz_try(ctx) {
        stream = fz_open_memory(ctx, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
        doc = pdf_open_document_with_stream(ctx, stream);
        pages = pdf_needs_password(ctx, doc) ? 0 : pdf_count_pages(ctx, doc);
    }
    fz_catch(ctx) {
        pages = 0;
        memory = fz_caught(ctx) == FZ_ERROR_MEMORY;
    }
    pdf_drop_document(ctx, doc);
    fz_drop_stream(ctx, stream);
    fz_drop_context(ctx);
    if (memory)
        throw std::bad_alloc();
    return pages < 0 ? 0 : pages;
}
