#include "ui/dialogs/DialogMessage.h"

#include "ui/framework/MessageBoxSink.h"

void showVornMessage(QWidget* parent, const QString& text) {
    MessageBoxSink::showBox(text, parent);
}
