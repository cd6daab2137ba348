#include "ui/framework/ChildWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>

#include "ui/framework/Command.h"
#include "ui/framework/Document.h"
#include "ui/framework/View.h"
#include "ui/framework/WindowKind.h"

ChildWindow::ChildWindow(const QString& caption) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption);
    // Ctrl+F4 is the main window's key for closing the child window in front; the system
    // menu's own binding of it answered in some windows and not in others, and clashed with
    // that key where it did.
    if (QMenu* menu = systemMenu()) {
        for (QAction* action : menu->actions()) {
            if (action->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_F4)))
                action->setShortcuts({});
        }
    }
    onCommand(Command::NextPane, [this] { activateNextPane(false); });
    onCommand(Command::PreviousPane, [this] { activateNextPane(true); });
    for (Command command : {Command::NextPane, Command::PreviousPane})
        onUpdate(command, [this](CommandState& ui) { ui.enabled = panes().size() > 1; });
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

bool ChildWindow::createPanes(Document* document, WindowKind& windowKind) {
    View* view = windowKind.createFirstView(document);
    if (!view) return false;
    setWidget(view);
    setActiveView(view);
    return true;
}

void ChildWindow::setActiveView(View* view) { m_activeView = view; }

View* ChildWindow::activeView() const { return m_activeView.data(); }

Document* ChildWindow::document() const { return m_document.data(); }

QList<View*> ChildWindow::panes() const {
    // The panes were added to their splitter in pane order, and children keep that order.
    QList<View*> views;
    for (View* view : findChildren<View*>()) {
        if (view->childWindow() == this) views.append(view);
    }
    return views;
}

void ChildWindow::activateNextPane(bool previous) {
    const QList<View*> views = panes();
    if (views.size() < 2) return;
    const qsizetype count = views.size();
    const qsizetype current = views.indexOf(activeView());
    const qsizetype next = current < 0 ? 0 : (current + (previous ? count - 1 : 1)) % count;
    setActiveView(views[next]);
    views[next]->setFocus(Qt::OtherFocusReason);
}

void ChildWindow::closeEvent(QCloseEvent* event) {
    Document* document = m_document;
    // The document goes with its last window. A window whose views are already gone still
    // counts as the last one, or the kind could never be opened again.
    const QList<ChildWindow*> frames = WindowKind::windowsOf(document);
    const bool lastWindow = frames.isEmpty() || frames == QList<ChildWindow*>{this};
    if (document && m_windowKind && lastWindow) {
        if (!document->onCloseDocument()) {
            event->ignore();
            return;
        }
        m_windowKind->releaseDocument(document);
    }
    QMdiSubWindow::closeEvent(event);
}
