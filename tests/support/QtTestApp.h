#pragma once

#include <QApplication>

// One QApplication for the whole test program, on the offscreen platform when the
// environment names none. Never deleted: destroying it from the exit handlers would run
// after Qt's own globals are gone.
inline QApplication& qtTestApp() {
    static int argc = 1;
    static char name[] = "kelvo_tests";
    static char* argv[] = {name, nullptr};
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return *new QApplication(argc, argv);
}
