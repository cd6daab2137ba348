#include "ui/framework/WindowKind.h"

#include <QMdiArea>

#include "ui/framework/ChildWindow.h"
#include "ui/framework/Document.h"
#include "ui/framework/View.h"

WindowKind::WindowKind(DocumentFactory document, WindowFactory window, ViewFactory firstView,
                       QObject* parent)
    : QObject(parent),
      m_makeDocument(std::move(document)),
      m_makeWindow(std::move(window)),
      m_makeView(std::move(firstView)) {}

WindowKind::~WindowKind() {
    for (Document* document : m_documents) document->m_windowKind = nullptr;
}

View* WindowKind::createView(Document* document, const ViewFactory& factory) {
    View* view = factory ? factory() : nullptr;
    if (view && document) document->addView(view);
    return view;
}

View* WindowKind::createFirstView(Document* document) const {
    return createView(document, m_makeView);
}

QList<ChildWindow*> WindowKind::windowsOf(const Document* document) {
    QList<ChildWindow*> frames;
    if (!document) return frames;
    for (View* view : document->views()) {
        ChildWindow* frame = view->childWindow();
        if (frame && !frames.contains(frame)) frames.append(frame);
    }
    return frames;
}

Document* WindowKind::openDocument(QMdiArea* area) {
    Document* document = m_makeDocument ? m_makeDocument() : nullptr;
    if (!document) return nullptr;
    document->m_windowKind = this;
    if (!document->onNewDocument()) {
        delete document;
        return nullptr;
    }
    ChildWindow* frame = m_makeWindow ? m_makeWindow() : nullptr;
    if (frame) {
        frame->m_windowKind = this;
        frame->m_document = document;
        if (area) area->addSubWindow(frame);
    }
    if (!frame || !frame->createPanes(document, *this)) {
        // The document already ran its new-document step: let it undo that (flags, current
        // document) before it goes, so nothing keeps pointing at it.
        delete frame;
        document->onCloseDocument();
        delete document;
        return nullptr;
    }
    m_documents.append(document);
    emit documentsChanged();

    frame->show();
    // A window that opens while no other is maximized takes a default place and size, the
    // upper left three quarters of the area, instead of its contents' smallest size (a bare
    // title bar).
    if (area && !frame->isMaximized()) {
        const QSize room = area->viewport()->size();
        frame->setGeometry(0, 0, std::max(room.width() * 3 / 4, frame->minimumSizeHint().width()),
                           std::max(room.height() * 3 / 4, frame->minimumSizeHint().height()));
    }
    for (View* view : document->views()) {
        if (view->childWindow() == frame) view->onInitialUpdate();
    }
    if (area) area->setActiveSubWindow(frame);
    if (View* active = frame->activeView()) active->setFocus();
    return document;
}

void WindowKind::releaseDocument(Document* document) {
    if (!m_documents.removeOne(document)) return;
    emit documentsChanged();
    document->deleteLater();
}

bool WindowKind::closeAllDocuments() {
    bool all = true;
    const QList<Document*> documents = m_documents;
    for (Document* document : documents) {
        if (!document->onCloseDocument()) {
            all = false;
            continue;
        }
        m_documents.removeOne(document);
        emit documentsChanged();
        for (ChildWindow* frame : windowsOf(document)) delete frame;
        delete document;
    }
    return all;
}
