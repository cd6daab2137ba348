#include <QApplication>
#include <filesystem>
#include <system_error>

#include "core/base/Clock.h"
#include "core/device/posix/PosixSerialPorts.h"
#include "ui/shell/Application.h"
#include "ui/shell/ExitRequest.h"
#include "ui/shell/QtArguments.h"
#include "ui/shell/TerminationSignals.h"

int main(int, char** argv) {
    QtArguments qtArguments(argv);
    QApplication application(qtArguments.argc(), qtArguments.argv());
    // The main window's close ends the run; message boxes and the login closing do not.
    application.setQuitOnLastWindowClosed(false);

    // Every file of the program lives in the working directory, the "Com<n>" links too.
    std::error_code error;
    std::filesystem::path workingDirectory = std::filesystem::current_path(error);
    if (error) workingDirectory = ".";
    PosixSerialPorts ports(workingDirectory);
    Application app(ports, SystemClock::instance());
    QObject::connect(&app, &Application::mainWindowClosed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    TerminationSignals terminationSignals([&](int) { endRunOnRequest(app); });

    int exitCode = 0;
    if (app.startUp()) exitCode = application.exec();
    return app.shutDown(exitCode);
}
