#pragma once

#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <vector>

class QWidget;

// One QApplication on the offscreen platform for every dialog test.
void ensureApplication();

// A message box as the user saw it.
struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

// While alive, answers every modal message box with OK, as a user would, and records it.
class BoxAnswerer {
public:
    BoxAnswerer();
    std::vector<SeenBox> seen;
    QStringList texts() const;

private:
    QTimer m_poll;
};

// Runs the event loop until `done` holds or the time is up; false on timeout.
bool waitFor(const std::function<bool()>& done,
             std::chrono::milliseconds limit = std::chrono::seconds(5));
