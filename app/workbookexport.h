#ifndef WORKBOOKEXPORT_H
#define WORKBOOKEXPORT_H

#include "tablefile.h"

#include <QString>
#include <QStringList>
#include <QVector>

// Writes the pages' tables as a one-sheet workbook: one worksheet row per
// line of the joined page texts (an empty line after every page), one wide
// text cell per table cell.
class WorkbookExport
{
public:
    struct Result
    {
        TableFile::SaveResult save;
        // Lines and columns past the sheet's 65,536 rows / 256 columns,
        // which could not be stored; the rest was written.
        int rowsLeftOut = 0;
        int columnsLeftOut = 0;
        // Cells ("B7") whose text was longer than a cell holds: the file has
        // its first maxCellUnits units.
        QStringList cutCells;
        // For a warning box after a save that succeeded: what the file does
        // not hold of the pages, naming the file; empty when it holds all.
        QString warning() const;
    };

    static Result save(const QString &path, const QVector<TableFile::PageRows> &pages);

    // The longest cell text stored; the workbook cuts longer texts (never
    // inside a surrogate pair) and names their cells.
    static constexpr int maxCellUnits = 32767;
    // The size of a worksheet.
    static constexpr int maxRows = 65536;
    static constexpr int maxColumns = 256;
};

#endif
