#include "librarywrite.h"

#include "mupdfguard.h"
#include "temporaryoutput.h"

namespace
{
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
}

void LibraryWrite::write(fz_context *ctx, pdf_document *doc, TemporaryOutput *file)
{
    std::string why;
    if (!file->create(&why))
        throw std::runtime_error("cannot write \"" + file->target() + "\": " + why);
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
                pdf_write_document(ctx, doc, out, &options);
                fz_close_output(ctx, out);
            }
            fz_always(ctx)
                fz_drop_output(ctx, out);
            fz_catch(ctx)
                fz_rethrow(ctx);
        });
    } catch (const MupdfError &) {
        why = file->writeFailure();
        if (why.empty())
            throw;
        throw std::runtime_error("cannot write \"" + file->target() + "\": " + why);
    }
}
