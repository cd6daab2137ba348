#include "ui/dialogs/DialogCommands.h"

#include "core/acquisition/Recorder.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/dialogs/ChannelControlDialog.h"
#include "ui/dialogs/ChannelSettingDialog.h"
#include "ui/dialogs/ExportIntervalDialog.h"
#include "ui/dialogs/LoginDialog.h"

bool runLoginDialog(const Recorder& recorder) {
    const DastConfig config = recorder.config();
    LoginDialog dlg(config);
    return dlg.exec() == QDialog::Accepted;
}

bool runChannelSettingDialog(Recorder& recorder, QWidget* parent) {
    ChannelTable channels = recorder.channels();
    ChannelSettingDialog dlg(
        channels,
        [&] {
            recorder.setChannelNames(channels);
            return recorder.saveConfig();
        },
        parent);
    return dlg.exec() == QDialog::Accepted;
}

void runChannelControlDialog(Recorder& recorder, QWidget* parent) {
    // The link serialises whole exchanges against the poll and reports its own failures
    // through the message sink, which may be called from the exchange thread.
    ChannelControlDialog dlg(
        recorder.channels(),
        [&recorder](const std::string& request) { return recorder.switchChannels(request); },
        parent);
    dlg.exec();
}

bool runExportIntervalDialog(Recorder& recorder, QWidget* parent) {
    ExportIntervalDialog dlg(recorder.config().exportInterval, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    recorder.setExportInterval(dlg.interval());
    return true;
}

void runAboutDialog(const Recorder& recorder, QWidget* parent) {
    AboutDialog dlg(recorder.workingDirectory(), parent);
    dlg.exec();
}
