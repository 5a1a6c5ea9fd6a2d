#include "converterreading.h"

#include "pageruns.h"
#include "converterdocument.h"
#include "popplerroom.h"

#include <poppler-qt5.h>

ConverterReading::ConverterReading(const std::string &path)
    : doc_(ConverterDocument::open(path))
{
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
        PopplerRoom::need();
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
