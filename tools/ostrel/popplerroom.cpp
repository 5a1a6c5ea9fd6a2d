#include "popplerroom.h"

#include <new>

#include <sys/mman.h>

namespace PopplerRoom
{
void need()
{
    // Asked of the system, so no allocator keeps the bytes.
    void *p = ::mmap(nullptr, kHeadroom, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    ::munmap(p, kHeadroom);
}
}
