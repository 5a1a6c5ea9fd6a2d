#ifndef OUTPUTFILES_H
#define OUTPUTFILES_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <mutex>

// The page files of one run, "BASE_pg_%04d.png" and ".htm" in the output
// folder. They are written into a private folder beside them and moved into
// place only when every page is complete, so a run that fails, is stopped or
// dies leaves no page file; a file planted at a page name is replaced, never
// followed. The private folder's name holds the process id, so that a later
// run removes the folder of a run that was killed.
class OutputFiles
{
public:
    OutputFiles(const QString &folder, const QString &base);
    ~OutputFiles();

    // Name of page `number` (1-based) without suffix.
    static QString pageName(const QString &base, int number);

    // Whether pages 1 to `count` may be put in place: false, with a reason,
    // when a page name is held by the input `pdf` (through any link) or by
    // something that is not a regular file.
    bool checkTargets(int count, const QString &pdf, QString *error) const;

    // Removes the private folders of this base that killed runs left, and
    // makes this run's. False, with a reason, when it cannot.
    bool open(QString *error);

    // Writes page `number`'s file with the suffix ("png" or "htm") in full.
    // Safe from several threads; after discard() it writes nothing.
    bool write(int number, const char *suffix, const QByteArray &bytes, QString *error);

    // Moves pages 1 to `count` into place once no writer is busy, and then
    // removes the page files of this base past `count` that an earlier run
    // left, so the folder holds this run's pages alone. On failure removes
    // whatever of them it had moved.
    bool commit(int count, QString *error);

    // Removes every file this run wrote. Safe while writers are busy (a file
    // being written disappears when it is closed), and from the thread whose
    // allocation failed: no lock is held across an allocation.
    void discard();

private:
    QString finalPath(int number, const char *suffix) const;
    QString partialPath(int number, const char *suffix) const;
    QString partialPrefix() const;
    void removeAbandoned() const;
    void removeEarlierPages(int count) const;

    const QString folder_;
    const QString base_;
    std::unique_ptr<QTemporaryDir> partial_;
    std::mutex lock_;
    bool discarded_ = false;
    QStringList placed_;
};

#endif
