#pragma once

struct MonitorState;
class QWidget;

// The dialogs bound to the application's state, as the start-up and the menu commands run
// them. Each runs its dialog modally and returns when it has closed.

// true when start-up goes on ("Yes" with the right password), false for "Quit".
bool runLoginDialog(const MonitorState& state);
// true on "OK": the names are in the channel table and dast.cfg has been written.
bool runChannelSettingDialog(MonitorState& state, QWidget* parent);
void runChannelControlDialog(MonitorState& state, QWidget* parent);
// true on "OK": exportInterval holds the new value (saved with the next configuration write).
bool runExportIntervalDialog(MonitorState& state, QWidget* parent);
void runAboutDialog(const MonitorState& state, QWidget* parent);
