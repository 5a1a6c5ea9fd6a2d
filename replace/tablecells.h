#ifndef TABLECELLS_H
#define TABLECELLS_H

#include <QList>
#include <QString>

class QTableWidget;

// Reading and removing rows of the rule and file tables of the replacement
// window and the rule editor. A missing cell reads as empty text.
namespace TableCells
{
QString itemText(const QTableWidget *table, int row, int column);
QString lineEditText(const QTableWidget *table, int row, int column);
QString buttonText(const QTableWidget *table, int row, int column);

// The distinct rows that hold a selected cell, highest first, so removing
// them in this order keeps the numbers still to remove valid.
QList<int> selectedRowsDescending(const QTableWidget *table);
void removeSelectedRows(QTableWidget *table);
// From the last row to row 0.
void removeAllRows(QTableWidget *table);
}

#endif
