#pragma once

#include <QApplication>

// One QApplication for the whole test program, on the offscreen platform when the
// environment names none.
inline QApplication& qtTestApp() {
    static int argc = 1;
    static char name[] = "history_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}
