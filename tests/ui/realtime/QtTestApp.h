#pragma once

#include <QApplication>

// One QApplication for the whole test program (offscreen platform under ctest).
inline QApplication& qtTestApp() {
    static int argc = 1;
    static char name[] = "realtime_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}
