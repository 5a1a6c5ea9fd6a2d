#include "pageconverter.h"

#include "invisibleglyphs.h"
#include "memorybudget.h"
#include "pageruns.h"
#include "textlayerwriter.h"

#include <poppler-qt5.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <cmath>
#include <memory>
#include <new>

namespace
{
// Fast PNG compression: the images are temporary files read right after.
const int kPngQuality = 80;
const qint64 kMegabyte = 1024 * 1024;

bool stopRequested(const QVariant &stop)
{
    return static_cast<const std::atomic<bool> *>(stop.value<void *>())->load();
}

bool encodePng(const QImage &image, QByteArray *png)
{
    png->clear();
    QBuffer buffer(png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(kPngQuality);
    return writer.write(image);
}

// A page that cannot be read keeps the page count right as a blank letter
// page; one bit per pixel keeps it small.
QImage blankPage()
{
    QImage image(QSize(612, 792), QImage::Format_Mono);
    image.setColorCount(1);
    image.setColor(0, qRgb(255, 255, 255));
    image.fill(0);
    return image;
}
}

PageConverter::PageConverter(Poppler::Document *document, PDFDoc *core, MemoryBudget *budget,
                             const std::atomic<bool> *stop)
    : document_(document), core_(core), budget_(budget), stop_(stop)
{
}

bool PageConverter::convert(int index, bool invisible, PageContent *content, QString *error) const
{
    const int number = index + 1;
    try {
        std::unique_ptr<Poppler::Page> page(document_->page(index));
        if (!page) {
            content->textLayer.clear();
            if (!encodePng(blankPage(), &content->png)) {
                *error = QStringLiteral("page %1 could not be encoded").arg(number);
                return false;
            }
            return true;
        }
        // 72 dpi: the library makes a pixel of every point begun.
        const QSizeF points = page->pageSizeF();
        if (!(points.width() > 0 && points.height() > 0)) {
            *error = QStringLiteral("page %1 has no usable size").arg(number);
            return false;
        }
        if (points.width() > maxSide || points.height() > maxSide) {
            *error = QStringLiteral("page %1 is %2 x %3 points; its image would be larger than %4 pixels a side")
                         .arg(number)
                         .arg(std::ceil(points.width()), 0, 'f', 0)
                         .arg(std::ceil(points.height()), 0, 'f', 0)
                         .arg(maxSide);
            return false;
        }
        const QSize pixels(int(std::ceil(points.width())), int(std::ceil(points.height())));
        const qint64 bytes = MemoryBudget::imageBytes(pixels);
        if (bytes > budget_->imageShare()) {
            *error = QStringLiteral("page %1 (%2 x %3 points) needs %4 MB for its image, more than the %5 MB "
                                    "this run allows for page images")
                         .arg(number).arg(pixels.width()).arg(pixels.height())
                         .arg((bytes + kMegabyte - 1) / kMegabyte).arg(budget_->imageShare() / kMegabyte);
            return false;
        }
        if (!budget_->reserve(bytes, *stop_)) {
            *error = QStringLiteral("page %1: the run was stopped").arg(number);
            return false;
        }
        struct Reserved
        {
            MemoryBudget *budget;
            qint64 bytes;
            ~Reserved() { budget->release(bytes); }
        } reserved{budget_, bytes};
        return render(*page, number, invisible, pixels, content, error);
    } catch (const std::bad_alloc &) {
        *error = QStringLiteral("page %1 needs more memory than this run may use (%2 MB)")
                     .arg(number).arg(budget_->share() / kMegabyte);
        return false;
    }
}

bool PageConverter::render(const Poppler::Page &page, int number, bool invisible, const QSize &pixels,
                           PageContent *content, QString *error) const
{
    const QVariant stop = QVariant::fromValue(static_cast<void *>(const_cast<std::atomic<bool> *>(stop_)));
    QImage image = page.renderToImage(72.0, 72.0, -1, -1, -1, -1, Poppler::Page::Rotate0, nullptr, nullptr,
                                      stopRequested, stop);
    if (stop_->load()) {
        *error = QStringLiteral("page %1: the run was stopped").arg(number);
        return false;
    }
    // When the library cannot make the page's bitmap it hands back a tiny
    // image instead of failing; that is no picture of the page.
    if (image.isNull() || qAbs(image.width() - pixels.width()) > 1 || qAbs(image.height() - pixels.height()) > 1) {
        *error = QStringLiteral("page %1 could not be rendered: its image is %2 x %3 pixels, the page %4 x %5 points")
                     .arg(number).arg(image.width()).arg(image.height()).arg(pixels.width()).arg(pixels.height());
        return false;
    }
    if (image.hasAlphaChannel())
        image = image.convertToFormat(QImage::Format_RGB32);
    if (!encodePng(image, &content->png)) {
        *error = QStringLiteral("page %1 could not be encoded").arg(number);
        return false;
    }
    image = QImage();

    const std::vector<TrailingSpace> spaces =
        invisible && core_ ? InvisibleGlyphs::of(core_, number - 1, stop_) : std::vector<TrailingSpace>();
    content->textLayer = formatTextLayer(pageRuns(page, stopRequested, stop, spaces));
    return true;
}
