#include "ui/framework/CChildFrame.h"

#include <QApplication>
#include <QCloseEvent>

#include "ui/framework/CDocTemplate.h"
#include "ui/framework/CDocument.h"
#include "ui/framework/CView.h"

CChildFrame::CChildFrame(const QString& caption) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption);
    // The active view follows the keyboard focus among this window's panes.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (QWidget* w = now; w; w = w->parentWidget()) {
            if (auto* view = qobject_cast<CView*>(w)) {
                if (view->GetParentFrame() == this) SetActiveView(view);
                return;
            }
        }
    });
}

CChildFrame::~CChildFrame() = default;

bool CChildFrame::OnCreateClient(CDocument* document, CDocTemplate& docTemplate) {
    CView* view = docTemplate.createFirstView(document);
    if (!view) return false;
    setWidget(view);
    SetActiveView(view);
    return true;
}

void CChildFrame::SetActiveView(CView* view) { m_activeView = view; }

CView* CChildFrame::GetActiveView() const { return m_activeView.data(); }

CDocument* CChildFrame::GetDocument() const { return m_document.data(); }

void CChildFrame::closeEvent(QCloseEvent* event) {
    CDocument* document = m_document;
    // The document goes with its last window. A window whose views are already gone still
    // counts as the last one, or the kind could never be opened again.
    const QList<CChildFrame*> frames = CDocTemplate::framesOf(document);
    const bool lastWindow = frames.isEmpty() || frames == QList<CChildFrame*>{this};
    if (document && m_template && lastWindow) {
        if (!document->OnCloseDocument()) {
            event->ignore();
            return;
        }
        m_template->releaseDocument(document);
    }
    QMdiSubWindow::closeEvent(event);
}
