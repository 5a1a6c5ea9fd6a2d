#ifndef GRIDMOLT_URLCATCHER_H
#define GRIDMOLT_URLCATCHER_H

#include <QList>
#include <QObject>
#include <QUrl>

// Collects the URLs that would have been handed to the desktop; install it
// with QDesktopServices::setUrlHandler(scheme, &catcher, "open").
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

#endif
