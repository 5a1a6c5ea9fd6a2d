#include "converterdocument.h"

#include "converterinput.h"
#include "popplerroom.h"

#include <poppler-qt5.h>

#include <QByteArray>

#include <limits>

namespace
{
void ignoreLibraryMessage(const QString &, const QVariant &)
{
}
}

namespace ConverterDocument
{
std::unique_ptr<Poppler::Document> open(const std::string &path)
{
    ConverterInput input(path);
    std::string why;
    if (!input.prepare(&why))
        return nullptr;
    const std::string &rewrite = input.rewrite();
    if (rewrite.empty())
        return PopplerRoom::open(path);
    if (rewrite.size() > size_t(std::numeric_limits<int>::max()))
        return nullptr;
    // Opened as the room opens a file, its messages silenced the same way;
    // the library keeps its own copy of the bytes.
    PopplerRoom::need();
    Poppler::setDebugErrorFunction(ignoreLibraryMessage, QVariant());
    return std::unique_ptr<Poppler::Document>(
        Poppler::Document::loadFromData(QByteArray(rewrite.data(), int(rewrite.size()))));
}
}
