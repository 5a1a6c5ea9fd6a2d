#include "popplerroom.h"

#include <poppler-qt5.h>

#include <QFile>

#include <new>

#include <sys/mman.h>

namespace
{
void ignoreLibraryMessage(const QString &, const QVariant &)
{
}
}

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

std::unique_ptr<Poppler::Document> open(const std::string &path)
{
    need();
    Poppler::setDebugErrorFunction(ignoreLibraryMessage, QVariant());
    return std::unique_ptr<Poppler::Document>(Poppler::Document::load(QFile::decodeName(path.c_str())));
}
}
