#ifndef OSTREL_MUPDFHELD_H
#define OSTREL_MUPDFHELD_H

#include <mupdf/pdf.h>

// Owns one object of the PDF library and drops it with its own function.
template <typename T, void (*Drop)(fz_context *, T *)>
class MupdfHeld
{
public:
    explicit MupdfHeld(fz_context *ctx, T *p = nullptr) : ctx_(ctx), p_(p) {}
    ~MupdfHeld() { Drop(ctx_, p_); }
    MupdfHeld(const MupdfHeld &) = delete;
    MupdfHeld &operator=(const MupdfHeld &) = delete;
    T *get() const { return p_; }
    T **slot() { return &p_; }

private:
    fz_context *ctx_;
    T *p_;
};

namespace MupdfDrop
{
inline void document(fz_context *ctx, pdf_document *d) { pdf_drop_document(ctx, d); }
inline void page(fz_context *ctx, pdf_page *p) { fz_drop_page(ctx, p ? &p->super : nullptr); }
inline void image(fz_context *ctx, fz_image *i) { fz_drop_image(ctx, i); }
inline void buffer(fz_context *ctx, fz_buffer *b) { fz_drop_buffer(ctx, b); }
inline void object(fz_context *ctx, pdf_obj *o) { pdf_drop_obj(ctx, o); }
// Held on a document whose page lookup table is loaded: gives the table back.
inline void pageTable(fz_context *ctx, pdf_document *d)
{
    if (d)
        pdf_drop_page_tree(ctx, d);
}
}

using HeldDocument = MupdfHeld<pdf_document, MupdfDrop::document>;
using HeldPage = MupdfHeld<pdf_page, MupdfDrop::page>;
using HeldImage = MupdfHeld<fz_image, MupdfDrop::image>;
using HeldBuffer = MupdfHeld<fz_buffer, MupdfDrop::buffer>;
using HeldObject = MupdfHeld<pdf_obj, MupdfDrop::object>;
using HeldPageTable = MupdfHeld<pdf_document, MupdfDrop::pageTable>;

#endif
