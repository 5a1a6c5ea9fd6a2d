#include "pagefiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace PageFiles
{

QString tempFolder()
{
    // Made once per run under a fresh name with the user's rights only, so
    // neither another copy of the program nor another user can read,
    // replace or plant files in it; removed with its contents at exit.
    static const QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/gridmolt-XXXXXX"));
    return folder.isValid() ? folder.path() : QString();
}

QString pageName(int page)
{
    return QString::asprintf("text_pg_%04d", page);
}

QString imagePath(const QString &folder, int page)
{
    return folder + QLatin1Char('/') + pageName(page) + QStringLiteral(".png");
}

QString textPath(const QString &folder, int page)
{
    return folder + QLatin1Char('/') + pageName(page) + QStringLiteral(".htm");
}

int countPages(const QString &folder, int limit)
{
    int count = 0;
    while (count < limit && QFile::exists(imagePath(folder, count + 1)))
        ++count;
    return count;
}

namespace {

// Calls f(name) for every page file name of pages 1 to maxPages and of the
// consecutive pages after them.
template <typename F>
void forEachPageFile(const QString &folder, F f)
{
    for (int n = 1;; ++n) {
        const QString png = pageName(n) + QStringLiteral(".png");
        const QString htm = pageName(n) + QStringLiteral(".htm");
        const bool anyThere = QFile::exists(folder + QLatin1Char('/') + png)
                              || QFile::exists(folder + QLatin1Char('/') + htm);
        if (n > maxPages && !anyThere)
            break;
        if (anyThere) {
            f(png);
            f(htm);
        }
    }
}

} // namespace

void deletePageFiles(const QString &folder)
{
    forEachPageFile(folder, [&](const QString &name) {
        QFile::remove(folder + QLatin1Char('/') + name);
    });
}

bool stashPageFiles(const QString &folder, const QString &stash)
{
    dropStash(stash);
    if (!QDir().mkpath(stash))
        return false;
    bool ok = true;
    forEachPageFile(folder, [&](const QString &name) {
        const QString from = folder + QLatin1Char('/') + name;
        if (QFile::exists(from) && !QFile::rename(from, stash + QLatin1Char('/') + name)) {
            ok = false;
            QFile::remove(from);
        }
    });
    return ok;
}

bool restoreStash(const QString &stash, const QString &folder)
{
    deletePageFiles(folder);
    bool ok = true;
    const QStringList names = QDir(stash).entryList(QDir::Files);
    for (const QString &name : names) {
        if (!QFile::rename(stash + QLatin1Char('/') + name, folder + QLatin1Char('/') + name))
            ok = false;
    }
    dropStash(stash);
    return ok;
}

void dropStash(const QString &stash)
{
    QDir dir(stash);
    if (dir.exists())
        dir.removeRecursively();
}

} // namespace PageFiles
