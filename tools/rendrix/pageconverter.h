#ifndef PAGECONVERTER_H
#define PAGECONVERTER_H

#include <QString>

namespace Poppler
{
class Document;
}

// Writes the page image and the text layer of pages of one document into a
// folder. The PDF library's document objects must not be shared between
// threads, so each worker thread owns one converter with its own document.
class PageConverter
{
public:
    PageConverter(Poppler::Document *document, const QString &outputDir);

    // Converts page `index` (0-based) and writes "text_pg_%04d.png" and
    // ".htm" with the page number. A page the library cannot render or read
    // gets a blank image and an empty text layer. Returns false, with a
    // message in `error`, only when a file cannot be written.
    bool convert(int index, QString *error) const;

    // Base name of the files of page `number` (1-based).
    static QString pageName(int number);

private:
    Poppler::Document *document_;
    QString outputDir_;
};

#endif
