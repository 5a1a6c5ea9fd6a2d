#ifndef OSTREL_REFERENCEWALK_H
#define OSTREL_REFERENCEWALK_H

#include <mupdf/pdf.h>

#include <cstddef>

// What a reader meets walking a document from its catalog through the page
// tree and everything its pages refer to.
class ReferenceWalk
{
public:
    int pages = 0;            // leaves of the page tree
    int misnumbered = 0;      // an object referred to with another generation than it has; 0 for none
    size_t dangling = 0;      // references to objects the document does not hold

    // Each object once, without recursion, so any depth and any cycle take
    // time linear in the objects. With `mend`, an object whose generation
    // the library had to guess (its references name another) takes the
    // generation its references name, so it is found the way they name it.
    // Throws MupdfError.
    static ReferenceWalk of(fz_context *ctx, pdf_document *doc, bool mend);
};

#endif
