#include "outputfiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

bool OutputFiles::open(QString *error)
{
    partial_.reset(new QTemporaryDir(folder_ + QStringLiteral("/.") + base_ + QStringLiteral("-partial-XXXXXX")));
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
    QFile file(partial_->filePath(pageName(base_, number) + QLatin1Char('.') + QLatin1String(suffix)));
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (discarded_) {
            *error = QStringLiteral("cannot write \"%1\": the run was stopped").arg(target);
            return false;
        }
        // Unbuffered: a failed write reports the system's reason at once.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            *error = QStringLiteral("cannot write \"%1\": %2").arg(target, file.errorString());
            return false;
        }
    }
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            *error = QStringLiteral("cannot write \"%1\": %2").arg(target, file.errorString());
            return false;
        }
        done += n;
    }
    file.close();
    return true;
}

bool OutputFiles::commit(int count, QString *error)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (int number = 1; number <= count; ++number) {
        for (const char *suffix : {"png", "htm"}) {
            const QByteArray from = QFile::encodeName(
                partial_->filePath(pageName(base_, number) + QLatin1Char('.') + QLatin1String(suffix)));
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
    return true;
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
