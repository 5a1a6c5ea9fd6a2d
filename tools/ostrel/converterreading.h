#ifndef OSTREL_CONVERTERREADING_H
#define OSTREL_CONVERTERREADING_H

#include "placeindex.h"

#include <mupdf/fitz.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Poppler
{
class Document;
}

// A written document's words as the converter reads them (its own reading
// on poppler, of the document it draws: ConverterDocument), to tell whether
// the converter finds a replacement where it was drawn: a page whose content
// is damaged is read by poppler up to the damage only, where the engine's
// own library reads on.
class ConverterReading
{
public:
    explicit ConverterReading(const std::string &path);
    ~ConverterReading();
    ConverterReading(const ConverterReading &) = delete;
    ConverterReading &operator=(const ConverterReading &) = delete;

    // The characters of the words of `page` (1-based) whose boxes meet
    // `area` (page as shown): a replacement read joined to the words beside
    // it is read all the same. Empty where the document or page cannot be read.
    std::u32string textIn(int64_t page, const fz_rect &area);

private:
    struct Page
    {
        std::vector<std::u32string> texts;
        std::unique_ptr<PlaceIndex> places;   // of the words' boxes
    };
    const Page &read(int64_t page);

    std::unique_ptr<Poppler::Document> doc_;
    std::map<int64_t, Page> pages_;
};

#endif
