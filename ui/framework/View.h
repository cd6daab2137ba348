#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "ui/framework/CommandTarget.h"
#include "ui/framework/Document.h"

class ChildWindow;
class NotifyTarget;
class PostedNotifyTarget;

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

    // Where the core's threads post UM_DATAUPDATED / UM_SAMPLESTORED for this view. Each
    // post arrives as one onNotify call on the GUI thread; after this view is destroyed the
    // target reports exists() == false and drops posts.
    std::shared_ptr<NotifyTarget> notifyTarget();
    virtual void onNotify(unsigned message);

protected:
    void customEvent(QEvent* event) override;

private:
    friend class Document;

    QPointer<Document> m_document;
    std::shared_ptr<PostedNotifyTarget> m_notifyTarget;
};
