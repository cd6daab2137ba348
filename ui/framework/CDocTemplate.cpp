#include "ui/framework/CDocTemplate.h"

#include <QMdiArea>

#include "ui/framework/CChildFrame.h"
#include "ui/framework/CDocument.h"
#include "ui/framework/CView.h"

CDocTemplate::CDocTemplate(DocumentFactory document, FrameFactory frame, ViewFactory firstView,
                           QObject* parent)
    : QObject(parent),
      m_makeDocument(std::move(document)),
      m_makeFrame(std::move(frame)),
      m_makeView(std::move(firstView)) {}

CDocTemplate::~CDocTemplate() {
    for (CDocument* document : m_documents) document->m_template = nullptr;
}

CView* CDocTemplate::createView(CDocument* document, const ViewFactory& factory) {
    CView* view = factory ? factory() : nullptr;
    if (view && document) document->AddView(view);
    return view;
}

CView* CDocTemplate::createFirstView(CDocument* document) const {
    return createView(document, m_makeView);
}

QList<CChildFrame*> CDocTemplate::framesOf(const CDocument* document) {
    QList<CChildFrame*> frames;
    if (!document) return frames;
    for (CView* view : document->views()) {
        CChildFrame* frame = view->GetParentFrame();
        if (frame && !frames.contains(frame)) frames.append(frame);
    }
    return frames;
}

CDocument* CDocTemplate::OpenDocumentFile(QMdiArea* area) {
    CDocument* document = m_makeDocument ? m_makeDocument() : nullptr;
    if (!document) return nullptr;
    document->m_template = this;
    if (!document->OnNewDocument()) {
        delete document;
        return nullptr;
    }
    CChildFrame* frame = m_makeFrame ? m_makeFrame() : nullptr;
    if (frame) {
        frame->m_template = this;
        frame->m_document = document;
        if (area) area->addSubWindow(frame);
    }
    if (!frame || !frame->OnCreateClient(document, *this)) {
        // The document already ran its new-document step: let it undo that (flags, current
        // document) before it goes, so nothing keeps pointing at it.
        delete frame;
        document->OnCloseDocument();
        delete document;
        return nullptr;
    }
    m_documents.append(document);
    emit documentsChanged();

    frame->show();
    for (CView* view : document->views()) {
        if (view->GetParentFrame() == frame) view->OnInitialUpdate();
    }
    if (area) area->setActiveSubWindow(frame);
    if (CView* active = frame->GetActiveView()) active->setFocus();
    return document;
}

void CDocTemplate::releaseDocument(CDocument* document) {
    if (!m_documents.removeOne(document)) return;
    emit documentsChanged();
    document->deleteLater();
}

bool CDocTemplate::CloseAllDocuments() {
    bool all = true;
    const QList<CDocument*> documents = m_documents;
    for (CDocument* document : documents) {
        if (!document->OnCloseDocument()) {
            all = false;
            continue;
        }
        m_documents.removeOne(document);
        emit documentsChanged();
        for (CChildFrame* frame : framesOf(document)) delete frame;
        delete document;
    }
    return all;
}
