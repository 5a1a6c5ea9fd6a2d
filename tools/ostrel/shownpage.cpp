#include "shownpage.h"

void ShownPage::transform(fz_context *ctx, pdf_page *page, fz_rect *box, fz_matrix *toShown)
{
    pdf_page_transform(ctx, page, box, toShown);
    *toShown = fz_concat(*toShown, unitUndone(*toShown));
}

fz_matrix ShownPage::unitUndone(fz_context *ctx, pdf_page *page)
{
    fz_rect box;
    fz_matrix toShown;
    pdf_page_transform(ctx, page, &box, &toShown);
    return unitUndone(toShown);
}

fz_matrix ShownPage::unitUndone(const fz_matrix &libraryShown)
{
    // Without the unit the matrix only turns, flips and moves the page, so
    // whatever it scales by is the unit the library applied, to the page's
    // origin as well: dividing by it gives the page in points.
    const float unit = fz_matrix_expansion(libraryShown);
    return unit > 0 && unit != 1 ? fz_scale(1 / unit, 1 / unit) : fz_identity;
}
