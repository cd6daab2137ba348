#pragma once

#include <QString>

class QWidget;

// The one modal box the dialogs show: caption "vorn", exclamation icon, one OK button.
// Returns when the user has dismissed it. GUI thread only.
void showVornMessage(QWidget* parent, const QString& text);
