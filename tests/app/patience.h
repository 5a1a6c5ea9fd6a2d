#ifndef PATIENCE_H
#define PATIENCE_H

// How long a window test waits for a chain of programs: the full time until
// a case of the run has failed, then a few seconds, so that a window that
// never finishes fails its remaining cases quickly instead of each waiting
// its minute.

#include <QtGlobal>
#include <QtTest>

class Patience
{
public:
    static int ms(int full) { return lost() ? qMin(full, 5000) : full; }
    // For each test class's cleanup(): remembers a failed case.
    static void afterCase()
    {
        if (QTest::currentTestFailed())
            lost() = true;
    }

private:
    static bool &lost() { static bool failed = false; return failed; }
};

#endif
