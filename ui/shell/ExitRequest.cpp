#include "ui/shell/ExitRequest.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include "ui/shell/Application.h"
#include "ui/shell/MainWindow.h"

namespace {

// Open boxes and dialogs give way first (the login answers "Quit"), then the main window
// closes once no dialog's own loop is running any more (it waits for a range export itself).
void closeWhenFree(Application& app) {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        QTimer::singleShot(50, &app, [&app] { closeWhenFree(app); });
        return;
    }
    if (MainWindow* frame = app.mainWindow()) frame->close();
}

}  // namespace

void endRunOnRequest(Application& app) {
    // Both files first: when the session ends, the X server may go away before the orderly
    // close has finished waiting for a poll in flight.
    app.saveNow();
    closeWhenFree(app);
}
