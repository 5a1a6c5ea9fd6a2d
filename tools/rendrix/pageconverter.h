#ifndef PAGECONVERTER_H
#define PAGECONVERTER_H

#include <QByteArray>
#include <QSize>
#include <QString>

#include <atomic>

class MemoryBudget;
class PDFDoc;

namespace Poppler
{
class Document;
class Page;
}

// The two files of one page, made in memory: nothing is written until both
// are complete.
struct PageContent
{
    QByteArray png;         // the page image, 72 dpi: one pixel per point
    QByteArray textLayer;   // formatTextLayer() of the page's words
};

// Renders pages of one document. The PDF library's document objects must not
// be shared between threads, so each worker owns one converter with its own
// document.
class PageConverter
{
public:
    // The image side the canvas and the image library accept at most.
    static const int maxSide = 16384;

    // `core`, when not null, is the same document opened with the library's
    // core, read again for the pages that may draw text invisibly.
    PageConverter(Poppler::Document *document, PDFDoc *core, MemoryBudget *budget, const std::atomic<bool> *stop);

    // Converts page `index` (0-based); with `invisible`, a page that may
    // draw text invisibly, whose words then span the spaces drawn after them
    // so (InvisibleGlyphs). A page the library cannot read at all
    // gets a blank image and an empty text layer. False, with a reason naming
    // the page, for a page too large, one that needs more memory than the
    // run may use, a render that does not give the page's image, and a stop.
    bool convert(int index, bool invisible, PageContent *content, QString *error) const;

private:
    bool render(const Poppler::Page &page, int number, bool invisible, const QSize &pixels, PageContent *content,
                QString *error) const;

    Poppler::Document *document_;
    PDFDoc *core_;
    MemoryBudget *budget_;
    const std::atomic<bool> *stop_;
};

#endif
