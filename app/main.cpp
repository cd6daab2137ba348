#include <QApplication>
#include <filesystem>
#include <system_error>

#include "app/CVornApp.h"
#include "app/Clock.h"
#include "device/posix/PortResolver.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The main window's close ends the run; message boxes and the login closing do not.
    application.setQuitOnLastWindowClosed(false);

    // Every file of the program lives in the working directory, the "Com<n>" links too.
    std::error_code error;
    std::filesystem::path workingDirectory = std::filesystem::current_path(error);
    if (error) workingDirectory = ".";
    PortResolver ports(workingDirectory);
    CVornApp app(ports, SystemClock::instance());
    QObject::connect(&app, &CVornApp::mainWindowClosed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    int exitCode = 0;
    if (app.InitInstance()) exitCode = application.exec();
    return app.ExitInstance(exitCode);
}
