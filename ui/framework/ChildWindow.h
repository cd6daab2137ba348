#pragma once

#include <QMdiSubWindow>
#include <QPointer>

#include "ui/framework/CommandTarget.h"

class WindowKind;
class Document;
class View;

// A child window of the main window's MDI area: one document, one or more views (its panes),
// a fixed caption. Third on the command route, after its active view and that view's
// document. The active view follows the keyboard focus: a click into a pane that takes focus,
// or F6, makes it the active one.
class ChildWindow : public QMdiSubWindow, public CommandTarget {
    Q_OBJECT
public:
    explicit ChildWindow(const QString& caption);
    ~ChildWindow() override;

    // Builds the window's content. Default: the kind's first view fills the window and
    // becomes the active view. Frames with several panes create them here, attach each to
    // the document (WindowKind::createView or Document::addView) and set the active
    // view. False fails the window's creation.
    virtual bool createPanes(Document* document, WindowKind& windowKind);

    View* activeView() const;
    void setActiveView(View* view);
    Document* document() const;

    // The window's panes, the views it holds, top to bottom and left to right.
    QList<View*> panes() const;
    // F6 and Shift+F6: the next (previous) pane, round the end, becomes the active view and
    // takes the keyboard.
    void activateNextPane(bool previous);

    // Called after the channel names changed (Channel Setting confirmed). Default: nothing.
    virtual void refreshChannelNames() {}

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class WindowKind;
    QPointer<View> m_activeView;
    QPointer<Document> m_document;
    WindowKind* m_windowKind = nullptr;
};
