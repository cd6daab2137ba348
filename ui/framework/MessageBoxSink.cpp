#include "ui/framework/MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "core/base/KeptTexts.h"

void showMessageBox(const QString& text, QWidget* parent) {
    if (!parent) parent = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kept::kMessageBoxCaption), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

void MessageBoxSink::show(const std::string& text) {
    QCoreApplication* app = QCoreApplication::instance();
    const QString message = QString::fromStdString(text);
    if (!app) return;
    if (QThread::currentThread() == app->thread()) {
        showMessageBox(message);
        return;
    }
    std::lock_guard order(m_order);
    std::shared_ptr<Progress> progress = m_progress;
    unsigned long ticket;
    {
        std::lock_guard lock(progress->lock);
        if (progress->released) return;
        ticket = progress->shown + 1;
    }
    QMetaObject::invokeMethod(
        app,
        [progress, message] {
            showMessageBox(message);
            std::lock_guard lock(progress->lock);
            ++progress->shown;
            progress->dismissed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(progress->lock);
    progress->dismissed.wait(lock, [&] { return progress->released || progress->shown >= ticket; });
}

void MessageBoxSink::release() {
    std::lock_guard lock(m_progress->lock);
    m_progress->released = true;
    m_progress->dismissed.notify_all();
}
