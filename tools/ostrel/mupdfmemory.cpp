#include "mupdfmemory.h"

#include "memorylimit.h"

#include <cstdlib>

namespace MupdfMemory
{
namespace
{
void *allocate(void *, size_t size)
{
    void *p = std::malloc(size);
    if (!p)
        MemoryLimit::noteExhaustion();
    return p;
}

void *reallocate(void *, void *old, size_t size)
{
    void *p = std::realloc(old, size);
    if (!p && size > 0)
        MemoryLimit::noteExhaustion();
    return p;
}

void release(void *, void *p)
{
    std::free(p);
}

const fz_alloc_context kAllocator = {nullptr, allocate, reallocate, release};
}

const fz_alloc_context *allocator()
{
    return &kAllocator;
}
}
