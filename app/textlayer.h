#ifndef TEXTLAYER_H
#define TEXTLAYER_H

#include "subtext.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

// The one reader of a page's text layer (the converter's HTML file: one text
// run per line). Every window that reads text layers uses these; they keep
// no state and depend on QtCore only, so a test or fuzzer can call them
// without a display.
namespace TextLayer
{
// The value of the position key `key` ("left", "top", "width", "height") in
// one line: the first occurrence of the key counts, even inside a longer
// word; one character after it is skipped; the value runs to the first ";",
// double quote or the end of the line. Anything that is not a decimal 32-bit
// integer of at least 1 gives 0, as does a missing key.
int getpos(QStringView key, QStringView line);

// The text of one line: the characters between the last ">" before the first
// "</span>" and that "</span>" (the search stops at the line's second
// character), taken literally. No "</span>": empty.
QString gettext(QStringView line);

// One run from one line: left, top, width, height and text.
Subtext getSubtextInfo(QStringView line);

// The text of a page file: its bytes up to the first NUL, decoded as UTF-8.
QString decodePage(const QByteArray &fileBytes);

// The lines of a page's text: split at "\n", empty parts dropped ("\r" stays).
QStringList splitLines(const QString &pageText);

// All runs of a page's text, one per non-empty line, in line order.
Alltext parseText(QStringView pageText);

// All runs of a page file's bytes (decodePage followed by parseText).
Alltext parsePage(const QByteArray &fileBytes);

// The same for callers holding QStrings (also lets "left" be passed as a
// plain string literal).
inline int getpos(const QString &key, const QString &line)
{
    return getpos(QStringView(key), QStringView(line));
}
inline QString gettext(const QString &line) { return gettext(QStringView(line)); }
inline Subtext getSubtextInfo(const QString &line) { return getSubtextInfo(QStringView(line)); }
inline Alltext parseText(const QString &pageText) { return parseText(QStringView(pageText)); }
}

#endif
