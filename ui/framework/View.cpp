#include "ui/framework/View.h"

#include "ui/framework/ChildWindow.h"

View::View(QWidget* parent) : QWidget(parent) {}

View::~View() {
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
