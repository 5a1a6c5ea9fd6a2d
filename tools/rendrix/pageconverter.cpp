#include "pageconverter.h"

#include "linegrouping.h"
#include "textlayerwriter.h"

#include <poppler-qt5.h>

#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <memory>

namespace
{
// Fast PNG compression: the images are temporary files read right after.
const int kPngQuality = 80;

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()
        || !file.flush()) {
        *error = QStringLiteral("cannot write \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    file.close();
    return true;
}

bool writeImage(const QString &path, const QImage &image, QString *error)
{
    QImageWriter writer(path, "png");
    writer.setQuality(kPngQuality);
    if (!writer.write(image)) {
        *error = QStringLiteral("cannot write \"%1\": %2").arg(path, writer.errorString());
        return false;
    }
    return true;
}

int pixels(double points)
{
    // One point is one pixel; guard against absurd page boxes.
    return qBound(1, qRound(points), 20000);
}
}

PageConverter::PageConverter(Poppler::Document *document, const QString &outputDir)
    : document_(document), outputDir_(outputDir)
{
}

QString PageConverter::pageName(int number)
{
    return QStringLiteral("text_pg_%1").arg(number, 4, 10, QLatin1Char('0'));
}

bool PageConverter::convert(int index, QString *error) const
{
    std::unique_ptr<Poppler::Page> page(document_->page(index));
    QImage image;
    QVector<WordBox> words;
    QSize size(612, 792);   // a letter page when the page has no usable size
    if (page) {
        const QSizeF points = page->pageSizeF();
        if (points.width() > 0 && points.height() > 0)
            size = QSize(pixels(points.width()), pixels(points.height()));
        image = page->renderToImage(72.0, 72.0);
        if (!image.isNull()) {
            const QList<Poppler::TextBox *> boxes = page->textList();
            words.reserve(boxes.size());
            for (const Poppler::TextBox *box : boxes) {
                const QRectF r = box->boundingBox();
                words.append({r.left(), r.top(), r.width(), r.height(), box->text()});
            }
            qDeleteAll(boxes);
        }
    }
    if (image.isNull()) {
        // The page alone failed: keep the page count right with a blank page.
        words.clear();
        // One bit per pixel: a blank page of any size stays small.
        image = QImage(size, QImage::Format_Mono);
        image.setColorCount(1);
        image.setColor(0, qRgb(255, 255, 255));
        image.fill(0);
    } else if (image.hasAlphaChannel()) {
        image = image.convertToFormat(QImage::Format_RGB32);
    }

    const QString base = outputDir_ + QLatin1Char('/') + pageName(index + 1);
    return writeImage(base + QStringLiteral(".png"), image, error)
        && writeFile(base + QStringLiteral(".htm"), formatTextLayer(groupLines(words)), error);
}
