#include "ui/dialogs/DialogCommands.h"

#include "core/acquisition/MonitorState.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/dialogs/ChannelControlDialog.h"
#include "ui/dialogs/ChannelSettingDialog.h"
#include "ui/dialogs/ExportIntervalDialog.h"
#include "ui/dialogs/LoginDialog.h"

bool runLoginDialog(const MonitorState& state) {
    LoginDialog dlg(state.config);  // no other thread exists yet
    return dlg.exec() == QDialog::Accepted;
}

bool runChannelSettingDialog(MonitorState& state, QWidget* parent) {
    ChannelSettingDialog dlg(
        state.config, state.dataLock,
        [&state] { return saveConfig(state.config, state.clock, &state.dataLock); }, parent);
    return dlg.exec() == QDialog::Accepted;
}

void runChannelControlDialog(MonitorState& state, QWidget* parent) {
    ChannelTable channels;
    {
        std::lock_guard lock(state.dataLock);
        channels = state.config.channels;
    }
    // The link serialises whole exchanges against the poll and reports its own failures
    // through the message sink, which may be called from the exchange thread.
    ChannelControlDialog dlg(
        channels,
        [&state](const std::string& request) { return state.link.switchChannels(request); },
        parent);
    dlg.exec();
}

bool runExportIntervalDialog(MonitorState& state, QWidget* parent) {
    uint32_t interval;
    {
        std::lock_guard lock(state.dataLock);
        interval = state.config.exportInterval;
    }
    ExportIntervalDialog dlg(interval, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    std::lock_guard lock(state.dataLock);
    state.config.exportInterval = dlg.interval();
    return true;
}

void runAboutDialog(const MonitorState& state, QWidget* parent) {
    AboutDialog dlg(state.config.appDir, parent);
    dlg.exec();
}
