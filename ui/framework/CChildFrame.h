#pragma once

#include <QMdiSubWindow>
#include <QPointer>

#include "ui/framework/CommandTarget.h"

class CDocTemplate;
class CDocument;
class CView;

// A child window of the main window's MDI area: one document, one or more views, a fixed
// caption. Third on the command route, after its active view and that view's document.
class CChildFrame : public QMdiSubWindow, public CommandTarget {
    Q_OBJECT
public:
    explicit CChildFrame(const QString& caption);
    ~CChildFrame() override;

    // Builds the window's content. Default: the template's first view fills the window and
    // becomes the active view. Frames with several panes create them here, attach each to
    // the document (CDocTemplate::createView or CDocument::AddView) and set the active
    // view. False fails the window's creation.
    virtual bool OnCreateClient(CDocument* document, CDocTemplate& docTemplate);

    CView* GetActiveView() const;
    void SetActiveView(CView* view);
    CDocument* GetDocument() const;

    // Called after the channel names changed (Channel Setting confirmed). Default: nothing.
    virtual void RefreshChannelNames() {}

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class CDocTemplate;
    QPointer<CView> m_activeView;
    QPointer<CDocument> m_document;
    CDocTemplate* m_template = nullptr;
};
