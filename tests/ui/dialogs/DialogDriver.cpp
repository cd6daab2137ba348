#include "ui/dialogs/DialogDriver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

BoxAnswerer::BoxAnswerer() {
    m_poll.setInterval(5);
    QObject::connect(&m_poll, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
    });
    m_poll.start();
}

QStringList BoxAnswerer::texts() const {
    QStringList out;
    for (const SeenBox& box : seen) out << box.text;
    return out;
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limit.count()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void when(std::function<bool()> ready, std::function<void()> act) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, ready, act] {
        if (!ready()) return;
        poll->stop();
        poll->deleteLater();
        act();
    });
    poll->start();
}
