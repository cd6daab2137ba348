#pragma once

#include <QApplication>

// One QApplication for the whole test program (offscreen platform under ctest). It is never
// destroyed: tearing it down among the exit-time destructors of Qt's own globals crashes.
inline QApplication& qtTestApp() {
    static int argc = 1;
    static char name[] = "realtime_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}
