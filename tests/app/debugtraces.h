#ifndef DEBUGTRACES_H
#define DEBUGTRACES_H

// The debug traces a window writes to the log while one of these lives; the
// other messages go on to the handler that was there before.

#include <QString>
#include <QStringList>
#include <QtGlobal>

class DebugTraces
{
public:
    DebugTraces() { kept().clear(); before() = qInstallMessageHandler(&DebugTraces::keep); }
    ~DebugTraces() { qInstallMessageHandler(before()); }
    DebugTraces(const DebugTraces &) = delete;
    DebugTraces &operator=(const DebugTraces &) = delete;

    QStringList lines() const { return kept(); }
    // How many traces are `line` exactly.
    int count(const QString &line) const { return kept().count(line); }
    void clear() { kept().clear(); }

private:
    static QStringList &kept() { static QStringList lines; return lines; }
    static QtMessageHandler &before() { static QtMessageHandler handler = nullptr; return handler; }
    static void keep(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (type == QtDebugMsg)
            kept() << text;
        else if (before())
            before()(type, context, text);
    }
};

#endif
