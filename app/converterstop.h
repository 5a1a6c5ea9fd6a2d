#ifndef CONVERTERSTOP_H
#define CONVERTERSTOP_H

#include <QString>

class QProcess;

// What the window does with a converter (rendrix, Dorcet.dll) it stops. The
// converter writes its page files into a private folder beside them,
// ".BASE-partial-PID-XXXXXX" (BASE the pages' base name, PID its process
// id), and removes it itself when it is asked to end; a converter killed,
// or one that does not end in time, leaves it, and the window removes it.
class ConverterStop
{
public:
    // The converter waits two seconds for a page being drawn before it
    // removes its files; this leaves it a second more.
    static constexpr int graceMs = 3000;

    // Ends `process` if it runs (a terminate signal, a kill after the
    // grace) and removes what it left of the pages named after `base` in
    // `folder`.
    static void end(QProcess *process, const QString &folder, const QString &base);

    // Removes the private folders the converter of process id `pid` left in
    // `folder` for the pages named after `base`.
    static void removeLeftovers(const QString &folder, const QString &base, qint64 pid);
};

#endif
