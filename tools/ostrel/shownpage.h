#ifndef OSTREL_SHOWNPAGE_H
#define OSTREL_SHOWNPAGE_H

#include <mupdf/pdf.h>

// The page as the converter shows it, the frame every rule's place is
// written in: points, the crop box's top left at the origin, y downwards,
// the page's rotation applied. The converter's library leaves /UserUnit
// aside where the engine's applies it, so it is taken out again here.
class ShownPage
{
public:
    // The page's box (in its own space) and the matrix from its user space
    // to the page as shown. Throws the library's error (call inside guarded()).
    static void transform(fz_context *ctx, pdf_page *page, fz_rect *box, fz_matrix *toShown);

    // What takes the page as the library shows it (what it draws with an
    // identity matrix) to the page as shown here. Throws as above.
    static fz_matrix unitUndone(fz_context *ctx, pdf_page *page);

private:
    static fz_matrix unitUndone(const fz_matrix &libraryShown);
};

#endif
