#ifndef SUBTEXT_H
#define SUBTEXT_H

#include <QString>
#include <QVector>

// One positioned piece of text of a page, in page units (one PDF point),
// origin at the top left of the page, y growing downwards.
struct Subtext
{
    int x = 0;       // left edge
    int y = 0;       // top edge
    int width = 0;
    int height = 0;
    QString text;
};
Q_DECLARE_TYPEINFO(Subtext, Q_MOVABLE_TYPE);

// The text runs of one page, in the order of the lines of its text layer.
struct Alltext
{
    int count = 0;   // always subtext.size()
    QVector<Subtext> subtext;
};
Q_DECLARE_TYPEINFO(Alltext, Q_MOVABLE_TYPE);

#endif
