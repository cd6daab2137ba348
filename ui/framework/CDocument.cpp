#include "ui/framework/CDocument.h"

#include "ui/framework/CView.h"

CDocument::CDocument() = default;

CDocument::~CDocument() {
    for (CView* view : m_views) view->m_document = nullptr;
}

void CDocument::UpdateAllViews(CView* sender) {
    // A copy: an update may create or destroy views.
    const QList<CView*> views = m_views;
    for (CView* view : views) {
        if (view != sender && m_views.contains(view)) view->OnUpdate(sender);
    }
}

void CDocument::AddView(CView* view) {
    if (!view || m_views.contains(view)) return;
    if (view->m_document) view->m_document->RemoveView(view);
    m_views.append(view);
    view->m_document = this;
}

void CDocument::RemoveView(CView* view) {
    if (m_views.removeOne(view)) view->m_document = nullptr;
}
