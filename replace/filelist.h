#ifndef FILELIST_H
#define FILELIST_H

#include <QByteArray>
#include <QString>

// What the replacement window shows and decides about the files of its list,
// without a display: the size text, the page count read from the information
// tool's file, the output name and the time a program may take for a file.
namespace FileList
{
// "%14.3f MB" of bytes / 1000000 above 1048576 bytes, else "%14.3f KB" of
// bytes / 1000; empty for 0 bytes or less (the row then has no size cell).
// Takes 64-bit sizes, so files of 2 GiB and more show right.
QString sizeText(qint64 bytes);

// The decimal digits right after the first "NumberOfPages: " of the
// information file, as they stand; empty when the key is missing or no digit
// follows it. Reads any bytes.
QString pageCountText(const QByteArray &infoFile);

// The page count of a "Page" cell: its text as a decimal number, 0 when empty
// or not a number.
int pageCount(const QString &cellText);

// The output PDF for `input` in `folder`: the input's base name (its file
// name up to the first ".") with ".pdf", or, when that exists, the first of
// base-0.pdf, base-1.pdf, ... that does not exist, so no earlier result is
// overwritten.
QString outputPath(const QString &folder, const QString &input);

// Milliseconds a program may run on a file of `pages` pages before it is
// ended: a base for starting and opening, and more for every page. The
// defaults are generous, so a slow machine under load loses no good work.
constexpr int defaultBaseMs = 60000;
constexpr int defaultPerPageMs = 5000;
int timeLimitMs(int pages, int baseMs = defaultBaseMs, int perPageMs = defaultPerPageMs);
}

#endif
