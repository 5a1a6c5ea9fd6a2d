#ifndef OSTREL_LIBRARYWRITE_H
#define OSTREL_LIBRARYWRITE_H

#include <mupdf/pdf.h>

class TemporaryOutput;

// The whole document written by the engine's library, for the files whose
// objects qpdf reads otherwise, or not at all (OutputAssembly takes all
// others). The library writes every number at single precision and its
// pictures anew.
class LibraryWrite
{
public:
    // Writes `doc` into `file`, created here. Throws MupdfError for what the
    // library cannot read again, std::runtime_error naming the output when
    // it cannot be written.
    static void write(fz_context *ctx, pdf_document *doc, TemporaryOutput *file);
};

#endif
