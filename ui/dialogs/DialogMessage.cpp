#include "ui/dialogs/DialogMessage.h"

#include <QMessageBox>

void showVornMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("vorn"), text, QMessageBox::Ok, parent);
    box.exec();
}
