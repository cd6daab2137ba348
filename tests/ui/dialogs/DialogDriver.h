#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <vector>

class QWidget;

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

// Runs `act` once from the event loop as soon as `ready` holds (polled every 5 ms). Actions
// that a user takes on a dialog which blocks the caller go through here; they must not wait
// themselves, since timers do not fire while one timer's action runs.
void when(std::function<bool()> ready, std::function<void()> act);

// Runs `act` once on the first modal widget of type T that shows up from now on.
template <typename T>
void onModal(std::function<void(T&)> act) {
    when([] { return dynamic_cast<T*>(QApplication::activeModalWidget()) != nullptr; },
         [act] { act(*dynamic_cast<T*>(QApplication::activeModalWidget())); });
}
