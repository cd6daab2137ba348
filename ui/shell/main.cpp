#include <QApplication>
#include <QIcon>
#include <filesystem>
#include <system_error>

#include "core/base/Clock.h"
#include "core/base/DirectoryLock.h"
#include "core/device/posix/PosixSerialPorts.h"
#include "ui/framework/MessageBoxSink.h"
#include "ui/shell/Application.h"
#include "ui/shell/ExitRequest.h"
#include "ui/shell/QtArguments.h"
#include "ui/shell/TerminationSignals.h"

namespace {

// The exit code of kelvo-recorder for the same refusal.
constexpr int kExitDirectoryHeld = 3;

}  // namespace

int main(int, char** argv) {
    QtArguments qtArguments(argv);
    QApplication application(qtArguments.argc(), qtArguments.argv());
    // The main window's close ends the run; message boxes and the login closing do not.
    application.setQuitOnLastWindowClosed(false);

    // Every file of the program lives in the working directory, the "Com<n>" links too.
    std::error_code error;
    std::filesystem::path workingDirectory = std::filesystem::current_path(error);
    if (error) workingDirectory = ".";
    // One Kelvo program per working directory, held for the whole run. Refused before the
    // application exists: its shut-down writes dast.cfg, which belongs to the holder. A
    // directory where the lock file cannot be made (read-only) is used as before.
    DirectoryLock directoryLock;
    if (directoryLock.acquire(workingDirectory.string()) == DirectoryLock::Outcome::Held) {
        Q_INIT_RESOURCE(icons);  // the box carries the program's icon like every window
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kelvo.png")));
        showMessageBox(QString::fromStdString("The working directory " + workingDirectory.string() +
                                              " is in use by " +
                                              describeHolder(directoryLock.holder()) + "."));
        return kExitDirectoryHeld;
    }
    PosixSerialPorts ports(workingDirectory);
    Application app(ports, SystemClock::instance());
    QObject::connect(&app, &Application::mainWindowClosed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    TerminationSignals terminationSignals([&](int) { endRunOnRequest(app); });

    int exitCode = 0;
    if (app.startUp()) exitCode = application.exec();
    return app.shutDown(exitCode);
}
