#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <system_error>

#include "core/base/Clock.h"
#include "core/device/posix/PortResolver.h"
#include "ui/shell/Application.h"
#include "ui/shell/MainWindow.h"
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
    PortResolver ports(workingDirectory);
    Application app(ports, SystemClock::instance());
    QObject::connect(&app, &Application::mainWindowClosed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // A termination signal ends the run as the close box does, so nothing recorded is lost:
    // open boxes and dialogs give way first (the login answers "Quit"), then the main window
    // closes once no dialog's own loop is running any more.
    std::function<void()> closeWhenFree = [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->reject();
            } else {
                modal->close();
            }
            QTimer::singleShot(50, &application, closeWhenFree);
            return;
        }
        if (MainWindow* frame = app.mainWindow()) frame->close();
    };
    // Both files are written first: when the session ends, the X server may go away before
    // the orderly close has finished waiting for a poll in flight.
    TerminationSignals terminationSignals([&](int) {
        app.saveNow();
        closeWhenFree();
    });

    int exitCode = 0;
    if (app.startUp()) exitCode = application.exec();
    return app.shutDown(exitCode);
}
