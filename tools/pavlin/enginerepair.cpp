#include "enginerepair.h"

#include "mupdfmemory.h"

#include <mupdf/pdf.h>

#include <new>

bool EngineRepair::rewrite(const std::string &bytes, std::string *out)
{
    fz_context *ctx = MupdfMemory::newQuietContext(8 << 20);
    fz_stream *stream = nullptr;
    pdf_document *doc = nullptr;
    fz_buffer *buffer = nullptr;
    fz_output *output = nullptr;
    bool written = false, memory = false;
    fz_var(stream);
    fz_var(doc);
    fz_var(buffer);
    fz_var(output);
    fz_var(written);
    fz_try(ctx) {
        stream = fz_open_memory(ctx, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
        doc = pdf_open_document_with_stream(ctx, stream);
        if (!pdf_needs_password(ctx, doc) && pdf_count_pages(ctx, doc) > 0) {
            buffer = fz_new_buffer(ctx, bytes.size() + 1024);
            output = fz_new_output_with_buffer(ctx, buffer);
            pdf_write_options options = pdf_default_write_options;
            options.do_encrypt = PDF_ENCRYPT_KEEP;
            pdf_write_document(ctx, doc, output, &options);
            fz_close_output(ctx, output);
            written = true;
        }
    }
    fz_catch(ctx) {
        written = false;
        memory = fz_caught(ctx) == FZ_ERROR_MEMORY;
    }
    // Copied out of the library's buffer only now: an allocation that
    // fails here throws through no handler of the library's.
    std::string copy;
    unsigned char *data = nullptr;
    const size_t size = written && !memory ? fz_buffer_storage(ctx, buffer, &data) : 0;
    try {
        copy.assign(reinterpret_cast<const char *>(data), size);
    } catch (const std::bad_alloc &) {
        memory = true;
    }
    fz_drop_output(ctx, output);
    fz_drop_buffer(ctx, buffer);
    pdf_drop_document(ctx, doc);
    fz_drop_stream(ctx, stream);
    fz_drop_context(ctx);
    if (memory)
        throw std::bad_alloc();
    if (!written)
        return false;
    out->swap(copy);
    return true;
}
