#pragma once

#include <QList>
#include <QObject>

#include "ui/framework/CommandTarget.h"

class WindowKind;
class View;

// A document: what its views show. Views attach themselves through the window kind that
// creates them; the document never owns its views (their frame does).
class Document : public QObject, public CommandTarget {
    Q_OBJECT
public:
    Document();
    ~Document() override;

    // New-document step, run once right after construction; false abandons the document.
    virtual bool onNewDocument() { return true; }
    // Asked before the document's last window closes: false refuses, the window stays.
    // True: the framework destroys the windows and then the document.
    virtual bool onCloseDocument() { return true; }

    // Calls onDocumentChanged of every view but the sender (null: all of them).
    void updateAllViews(View* sender);

    const QList<View*>& views() const { return m_views; }
    View* firstView() const { return m_views.isEmpty() ? nullptr : m_views.first(); }
    WindowKind* windowKind() const { return m_windowKind; }

    void addView(View* view);
    void removeView(View* view);

private:
    friend class WindowKind;
    QList<View*> m_views;
    WindowKind* m_windowKind = nullptr;
};
