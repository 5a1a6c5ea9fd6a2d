#include "tablecells.h"

#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>

#include <algorithm>
#include <functional>

namespace TableCells
{
QString itemText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

QString lineEditText(const QTableWidget *table, int row, int column)
{
    const auto *edit = qobject_cast<const QLineEdit *>(table->cellWidget(row, column));
    return edit ? edit->text() : QString();
}

QString buttonText(const QTableWidget *table, int row, int column)
{
    const auto *button = qobject_cast<const QPushButton *>(table->cellWidget(row, column));
    return button ? button->text() : QString();
}

QList<int> selectedRowsDescending(const QTableWidget *table)
{
    QSet<int> set;
    for (const QModelIndex &index : table->selectionModel()->selectedIndexes())
        set.insert(index.row());
    QList<int> rows = set.values();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    return rows;
}

void removeSelectedRows(QTableWidget *table)
{
    for (int row : selectedRowsDescending(table))
        table->removeRow(row);
}

void removeAllRows(QTableWidget *table)
{
    for (int row = table->rowCount() - 1; row >= 0; --row)
        table->removeRow(row);
}
}
