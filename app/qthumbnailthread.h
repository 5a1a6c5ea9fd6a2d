#ifndef QTHUMBNAILTHREAD_H
#define QTHUMBNAILTHREAD_H

#include <QString>
#include <QThread>

// Held by the main window and never started: run() only stores its argument.
class QThumbnailThread : public QThread
{
public:
    QThumbnailThread() = default;

    void run(QString s) { runArgument = s; }
    const QString &argument() const { return runArgument; }

private:
    using QThread::run;
    QString runArgument;
};

#endif
