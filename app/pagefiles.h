#ifndef PAGEFILES_H
#define PAGEFILES_H

#include <QString>

// The page files the converter leaves in the temporary folder: for page n
// the image "text_pg_%04d.png" and the text layer "text_pg_%04d.htm".
namespace PageFiles
{
// Pages beyond this are never loaded or counted.
constexpr int maxPages = 1999;

// The program's temporary folder: one folder of this run alone inside the
// system's temporary location, readable by the user only and deleted with
// everything in it when the program ends. The same path on every call;
// empty when it could not be made (the start-up refuses to go on then).
QString tempFolder();
QString pageName(int page);
QString imagePath(const QString &folder, int page);
QString textPath(const QString &folder, int page);

// Number of consecutive page images from page 1 on, at most `limit`.
int countPages(const QString &folder, int limit = maxPages);

// Deletes the page files of pages 1 to maxPages, and of any consecutive pages
// after that, so an earlier longer document leaves nothing behind.
void deletePageFiles(const QString &folder);

// Moves the page files of `folder` (same pages as deletePageFiles) into
// `stash`, emptied first; restoreStash moves them back after deleting
// whatever page files `folder` holds by then. Lets a failed import give the
// earlier document back. Returns false when a file could not be moved.
bool stashPageFiles(const QString &folder, const QString &stash);
bool restoreStash(const QString &stash, const QString &folder);
void dropStash(const QString &stash);
}

#endif
