#include "mupdfmemory.h"

#include "memorylimit.h"

#include <cstdlib>
#include <new>

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

void ignoreMessage(void *, const char *)
{
}
}

const fz_alloc_context *allocator()
{
    return &kAllocator;
}

fz_context *newQuietContext(size_t storeBytes)
{
    fz_context *ctx = fz_new_context(&kAllocator, nullptr, storeBytes);
    if (!ctx)
        throw std::bad_alloc();
    fz_set_error_callback(ctx, ignoreMessage, nullptr);
    fz_set_warning_callback(ctx, ignoreMessage, nullptr);
    return ctx;
}
}
