#ifndef TABLEFILE_H
#define TABLEFILE_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// The table text file of a document, written from the pages' rows of cells
// (never by splitting the table texts, so a cell holding "\",\"" stays one
// cell). Also the workbook's line layout of the same pages.
class TableFile
{
public:
    // Rows of cells of one page, as TableExtraction::Result::rows.
    using PageRows = QVector<QStringList>;

    struct SaveResult
    {
        bool ok = false;
        QString fileName;   // the path that was to be written
        QString reason;     // why it failed; empty on success
        // For a warning box: names the file and the reason.
        QString message() const;
    };

    // The file's bytes: byte-order mark FF FE, then UTF-16LE. Every row is
    // its cells in double quotes separated by a tab and ended by "\n"; the
    // pages' texts are joined by "\n", a page without rows giving nothing.
    // Empty only when the file would not fit one byte array (about 2 GB).
    static QByteArray encode(const QVector<PageRows> &pages);

    // Writes encode(pages) to `path` through a temporary file beside it that
    // replaces the target only once completely written, so a failed save
    // leaves an existing file untouched.
    static SaveResult save(const QString &path, const QVector<PageRows> &pages);

    // The worksheet lines of the pages: for every page its rows, then one
    // empty line (the line ends of the joined text, split at "\n"). An empty
    // QStringList is an empty line.
    static QVector<QStringList> sheetLines(const QVector<PageRows> &pages);
};

#endif // TABLEFILE_H
