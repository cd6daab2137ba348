#pragma once

class Recorder;
class QWidget;

// The dialogs bound to the recorder, as the start-up and the menu commands run them. Each
// runs its dialog modally and returns when it has closed.

// true when start-up goes on ("Yes" with the right password), false for "Quit".
bool runLoginDialog(const Recorder& recorder);
// true on "OK": the names are in the channel table and dast.cfg has been written.
bool runChannelSettingDialog(Recorder& recorder, QWidget* parent);
void runChannelControlDialog(Recorder& recorder, QWidget* parent);
// true on "OK": the export interval holds the new value (saved with the next configuration
// write).
bool runExportIntervalDialog(Recorder& recorder, QWidget* parent);
void runAboutDialog(const Recorder& recorder, QWidget* parent);
