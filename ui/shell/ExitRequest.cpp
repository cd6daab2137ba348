#include "ui/shell/ExitRequest.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include "ui/archive/ArchiveRangeExport.h"
#include "ui/shell/Application.h"
#include "ui/shell/MainWindow.h"

namespace {

// Closing the windows from inside another loop would destroy what that loop's owner still
// uses (a range export's window and progress dialog): each is asked to end, and the close is
// tried again a moment later.
void closeWhenFree(Application& app) {
    auto again = [&app] { QTimer::singleShot(50, &app, [&app] { closeWhenFree(app); }); };
    if (rangeExportRunning()) {
        cancelRangeExports();
        again();
        return;
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        again();
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
