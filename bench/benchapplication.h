#ifndef BENCH_BENCHAPPLICATION_H
#define BENCH_BENCHAPPLICATION_H

#include <QCoreApplication>

// The Qt application a benchmark needs (QGuiApplication for painting,
// QApplication for widgets), made once, offscreen unless told otherwise.
template <typename App>
void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "gridmolt_bench";
    static char *argv[] = {name, nullptr};
    static App app(argc, argv);
}

#endif
