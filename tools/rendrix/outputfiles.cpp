#include "outputfiles.h"

#include "outputpath.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace
{
QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
}

OutputFiles::OutputFiles(const QString &folder, const QString &base) : folder_(folder), base_(base)
{
}

OutputFiles::~OutputFiles()
{
    discard();
}

QString OutputFiles::pageName(const QString &base, int number)
{
    return base + QStringLiteral("_pg_%1").arg(number, 4, 10, QLatin1Char('0'));
}

QString OutputFiles::finalPath(int number, const char *suffix) const
{
    return folder_ + QLatin1Char('/') + pageName(base_, number) + QLatin1Char('.') + QLatin1String(suffix);
}

QString OutputFiles::partialPath(int number, const char *suffix) const
{
    return partial_->filePath(pageName(base_, number) + QLatin1Char('.') + QLatin1String(suffix));
}

QString OutputFiles::partialPrefix() const
{
    return QStringLiteral(".") + base_ + QStringLiteral("-partial-");
}

void OutputFiles::removeAbandoned() const
{
    const QString prefix = partialPrefix();
    const QStringList entries = QDir(folder_).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (!entry.startsWith(prefix))
            continue;
        bool ok = false;
        const pid_t pid = pid_t(entry.mid(prefix.size()).section(QLatin1Char('-'), 0, 0).toLongLong(&ok));
        if (ok && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            QDir(folder_ + QLatin1Char('/') + entry).removeRecursively();
    }
}

bool OutputFiles::checkTargets(int count, const QString &pdf, QString *error) const
{
    const std::vector<std::string> inputs{QFile::encodeName(pdf).toStdString()};
    for (int number = 1; number <= count; ++number) {
        for (const char *suffix : {"png", "htm"}) {
            const QString target = finalPath(number, suffix);
            const std::string refusal = OutputPath::refusal(QFile::encodeName(target).toStdString(), inputs);
            if (!refusal.empty()) {
                *error = QStringLiteral("cannot write \"%1\": %2").arg(target, QString::fromStdString(refusal));
                return false;
            }
        }
    }
    return true;
}

bool OutputFiles::open(QString *error)
{
    removeAbandoned();
    partial_.reset(new QTemporaryDir(folder_ + QLatin1Char('/') + partialPrefix()
                                     + QString::number(::getpid()) + QStringLiteral("-XXXXXX")));
    if (!partial_->isValid()) {
        *error = QStringLiteral("cannot write in \"%1\": %2").arg(folder_, partial_->errorString());
        partial_.reset();
        return false;
    }
    return true;
}

bool OutputFiles::write(int number, const char *suffix, const QByteArray &bytes, QString *error)
{
    const QString target = finalPath(number, suffix);
    const QByteArray path = QFile::encodeName(partialPath(number, suffix));
    int fd = -1;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (discarded_) {
            *error = QStringLiteral("cannot write \"%1\": the run was stopped").arg(target);
            return false;
        }
        fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    bool written = fd >= 0;
    for (qint64 done = 0; written && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        written = n > 0;
        done += n;
    }
    if (!written)
        *error = QStringLiteral("cannot write \"%1\": %2").arg(target, systemReason());
    if (fd >= 0)
        ::close(fd);
    return written;
}

bool OutputFiles::commit(int count, QString *error)
{
    for (int number = 1; number <= count; ++number) {
        for (const char *suffix : {"png", "htm"}) {
            const QByteArray from = QFile::encodeName(partialPath(number, suffix));
            const QString to = finalPath(number, suffix);
            // The system call itself: it replaces what stands at the name,
            // a symbolic link included, without following it.
            if (std::rename(from.constData(), QFile::encodeName(to).constData()) != 0) {
                *error = QStringLiteral("cannot write \"%1\": %2").arg(to, systemReason());
                return false;
            }
            placed_.append(to);
        }
    }
    placed_.clear();
    removeEarlierPages(count);
    return true;
}

void OutputFiles::removeEarlierPages(int count) const
{
    // Exactly the names pageName() gives, past this run's last page.
    const QString prefix = base_ + QStringLiteral("_pg_");
    const QStringList entries = QDir(folder_).entryList(QDir::Files | QDir::System | QDir::Hidden);
    for (const QString &entry : entries) {
        if (!entry.startsWith(prefix) || !(entry.endsWith(QLatin1String(".png")) || entry.endsWith(QLatin1String(".htm"))))
            continue;
        const QString digits = entry.mid(prefix.size(), entry.size() - prefix.size() - 4);
        bool ok = false;
        const int number = digits.toInt(&ok);
        if (ok && number > count && pageName(base_, number) + entry.right(4) == entry)
            QFile::remove(folder_ + QLatin1Char('/') + entry);
    }
}

void OutputFiles::discard()
{
    std::lock_guard<std::mutex> guard(lock_);
    discarded_ = true;
    for (const QString &path : placed_)
        QFile::remove(path);
    placed_.clear();
    if (partial_)
        partial_->remove();
}
