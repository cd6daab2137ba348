#include "ui/framework/ChildWindow.h"

#include <QApplication>
#include <QCloseEvent>

#include "ui/framework/WindowKind.h"
#include "ui/framework/Document.h"
#include "ui/framework/View.h"

ChildWindow::ChildWindow(const QString& caption) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption);
    // The active view follows the keyboard focus among this window's panes.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (QWidget* w = now; w; w = w->parentWidget()) {
            if (auto* view = qobject_cast<View*>(w)) {
                if (view->childWindow() == this) setActiveView(view);
                return;
            }
        }
    });
}

ChildWindow::~ChildWindow() = default;

bool ChildWindow::createPanes(Document* document, WindowKind& docTemplate) {
    View* view = docTemplate.createFirstView(document);
    if (!view) return false;
    setWidget(view);
    setActiveView(view);
    return true;
}

void ChildWindow::setActiveView(View* view) { m_activeView = view; }

View* ChildWindow::activeView() const { return m_activeView.data(); }

Document* ChildWindow::document() const { return m_document.data(); }

void ChildWindow::closeEvent(QCloseEvent* event) {
    Document* document = m_document;
    // The document goes with its last window. A window whose views are already gone still
    // counts as the last one, or the kind could never be opened again.
    const QList<ChildWindow*> frames = WindowKind::framesOf(document);
    const bool lastWindow = frames.isEmpty() || frames == QList<ChildWindow*>{this};
    if (document && m_template && lastWindow) {
        if (!document->onCloseDocument()) {
            event->ignore();
            return;
        }
        m_template->releaseDocument(document);
    }
    QMdiSubWindow::closeEvent(event);
}
