#include "converterreading.h"

#include "pageruns.h"

#include <poppler-qt5.h>

#include <QFile>

#include <new>

#include <sys/mman.h>

namespace
{
// Poppler ends the process when its malloc fails. Reading a page takes it a
// few megabytes; a run with less left of its memory share stops here, as
// out of memory, rather than by a signal.
const size_t kPopplerHeadroom = 4 << 20;

void ignoreLibraryMessage(const QString &, const QVariant &)
{
}

// Whether `bytes` more fit in the process's data limit now, asked of the
// system so no allocator keeps them.
bool roomFor(size_t bytes)
{
    void *p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        return false;
    ::munmap(p, bytes);
    return true;
}

void needRoom()
{
    if (!roomFor(kPopplerHeadroom))
        throw std::bad_alloc();
}
}

ConverterReading::ConverterReading(const std::string &path)
{
    needRoom();
    // As the converter does: our one line on failure, not the library's.
    Poppler::setDebugErrorFunction(ignoreLibraryMessage, QVariant());
    doc_.reset(Poppler::Document::load(QFile::decodeName(path.c_str())));
}

ConverterReading::~ConverterReading() = default;

const ConverterReading::Page &ConverterReading::read(int64_t page)
{
    auto known = pages_.find(page);
    if (known != pages_.end())
        return known->second;
    Page read;
    std::vector<fz_rect> boxes;
    if (doc_ && !doc_->isLocked() && page >= 1 && page <= doc_->numPages()) {
        needRoom();
        const std::unique_ptr<Poppler::Page> p(doc_->page(int(page - 1)));
        if (p) {
            for (const WordBox &w : pageWords(*p)) {
                const QVector<uint> characters = w.text.toUcs4();
                read.texts.emplace_back(characters.begin(), characters.end());
                boxes.push_back(fz_make_rect(float(w.left), float(w.top), float(w.left + w.width), float(w.top + w.height)));
            }
        }
    }
    read.places.reset(new PlaceIndex(std::move(boxes)));
    return pages_.emplace(page, std::move(read)).first->second;
}

std::u32string ConverterReading::textIn(int64_t page, const fz_rect &area)
{
    const Page &p = read(page);
    std::u32string text;
    for (const size_t i : p.places->meeting(area))
        text += p.texts[i];
    return text;
}
