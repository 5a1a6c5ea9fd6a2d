#ifndef TEXTLAYERWRITER_H
#define TEXTLAYERWRITER_H

#include "linegrouping.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Makes a word safe for one text-layer line: "&", "<" and ">" become
// character references (so the reader finds the run's end and the text can
// still be decoded), and every control character (line breaks, tabs, NUL,
// backspace, ...) becomes a blank, so none reaches a line or a saved cell.
QString escapeRunText(const QString &text);

// The text layer of one page: one line per word,
// <span style="left:L;top:T;width:W;height:H;">TEXT</span>, UTF-8 without
// byte-order mark, every line ended by "\n".
QByteArray formatTextLayer(const QVector<PlacedWord> &words);

#endif
