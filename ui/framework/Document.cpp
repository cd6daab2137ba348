#include "ui/framework/Document.h"

#include "ui/framework/View.h"

Document::Document() = default;

Document::~Document() {
    for (View* view : m_views) view->m_document = nullptr;
}

void Document::updateAllViews(View* sender) {
    // A copy: an update may create or destroy views.
    const QList<View*> views = m_views;
    for (View* view : views) {
        if (view != sender && m_views.contains(view)) view->onDocumentChanged(sender);
    }
}

void Document::addView(View* view) {
    if (!view || m_views.contains(view)) return;
    if (view->m_document) view->m_document->removeView(view);
    m_views.append(view);
    view->m_document = this;
}

void Document::removeView(View* view) {
    if (m_views.removeOne(view)) view->m_document = nullptr;
}
