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

    // Where and how a save writes. The suffix is compared without regard to
    // case: "csv" gives the text file, any other suffix the workbook, both at
    // the path as chosen. A name without a suffix takes the kind and the
    // suffix of the filter chosen in the save dialog ("CSV File (*.csv)"
    // makes "name" the text file "name.csv"); with a filter of no particular
    // suffix ("*.*") it is a workbook under the name as it stands.
    struct Target
    {
        QString path;
        bool textFile = false;
    };
    static Target saveTarget(const QString &chosenPath, const QString &selectedFilter);

    // A cell as saved: without the blank that ends the last run's text in
    // the cell (the table on screen keeps it), so a number reads as a number.
    static QString savedCell(const QString &cell);

    // The file's bytes: byte-order mark FF FE, then UTF-16LE. Every row is
    // its saved cells in double quotes, each quote inside a cell doubled,
    // separated by a tab and ended by "\n"; the pages' texts are joined by
    // "\n", a page without rows giving nothing. Empty only when the file
    // would not fit one byte array (about 2 GB).
    static QByteArray encode(const QVector<PageRows> &pages);

    // Writes encode(pages) to `path` through a temporary file beside it that
    // replaces the target only once completely written, so a failed save
    // leaves an existing file untouched.
    static SaveResult save(const QString &path, const QVector<PageRows> &pages);

    // The worksheet lines of the pages: for every page its rows of saved
    // cells, then one empty line (the line ends of the joined text, split at
    // "\n"). An empty QStringList is an empty line.
    static QVector<QStringList> sheetLines(const QVector<PageRows> &pages);
};

#endif // TABLEFILE_H
