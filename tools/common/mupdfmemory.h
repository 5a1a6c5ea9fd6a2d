#ifndef GRIDMOLT_MUPDFMEMORY_H
#define GRIDMOLT_MUPDFMEMORY_H

#include <mupdf/fitz.h>

// The allocator the PDF library gets: the system's, telling MemoryLimit of
// every failure. The library turns a failed allocation into an error that
// some of its steps only warn about and skip (part of a page's content is
// left out), so a run after one is not to be trusted.
namespace MupdfMemory
{
const fz_alloc_context *allocator();

// A context on this allocator, with a store of `storeBytes`, whose
// library's own messages go nowhere (the program's one line says what
// failed); throws std::bad_alloc when there is no memory for it.
fz_context *newQuietContext(size_t storeBytes);
}

#endif
