#include "ui/framework/View.h"

#include "ui/framework/ChildWindow.h"
#include "ui/framework/PostedNotifyTarget.h"

View::View(QWidget* parent) : QWidget(parent) {}

View::~View() {
    if (m_notifyTarget) m_notifyTarget->detach();
    if (m_document) m_document->removeView(this);
}

ChildWindow* View::childWindow() const {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* frame = qobject_cast<ChildWindow*>(w)) return frame;
    }
    return nullptr;
}

void View::onInitialUpdate() { onDocumentChanged(nullptr); }

void View::onDocumentChanged(View*) { update(); }

std::shared_ptr<NotifyTarget> View::notifyTarget() {
    if (!m_notifyTarget) m_notifyTarget = std::make_shared<PostedNotifyTarget>(this);
    return m_notifyTarget;
}

void View::onNotify(unsigned) {}

void View::customEvent(QEvent* event) {
    if (event->type() == NotifyEvent::type()) {
        onNotify(static_cast<NotifyEvent*>(event)->message());
        return;
    }
    QWidget::customEvent(event);
}
