#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/framework/CommandTarget.h"
#include "ui/framework/Document.h"

class ChildWindow;

// A view: one pane of a child window showing its document. First on the command route
// while it is its frame's active view.
class View : public QWidget, public CommandTarget {
    Q_OBJECT
public:
    explicit View(QWidget* parent = nullptr);
    ~View() override;

    Document* document() const { return m_document; }
    // The child window holding this view, or null while it is not placed in one.
    ChildWindow* childWindow() const;

    // First display: after the frame and all its views exist. Default: onDocumentChanged(nullptr).
    virtual void onInitialUpdate();
    // The document changed (updateAllViews). Default: repaint.
    virtual void onDocumentChanged(View* sender);

private:
    friend class Document;

    QPointer<Document> m_document;
};
