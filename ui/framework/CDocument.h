#pragma once

#include <QList>
#include <QObject>

#include "ui/framework/CommandTarget.h"

class CDocTemplate;
class CView;

// A document: what its views show. Views attach themselves through the template that
// creates them; the document never owns its views (their frame does).
class CDocument : public QObject, public CommandTarget {
    Q_OBJECT
public:
    CDocument();
    ~CDocument() override;

    // New-document step, run once right after construction; false abandons the document.
    virtual bool OnNewDocument() { return true; }
    // Asked before the document's last window closes: false refuses, the window stays.
    // True: the framework destroys the windows and then the document.
    virtual bool OnCloseDocument() { return true; }

    // Calls OnUpdate of every view but the sender (null: all of them).
    void UpdateAllViews(CView* sender);

    const QList<CView*>& views() const { return m_views; }
    CView* GetFirstView() const { return m_views.isEmpty() ? nullptr : m_views.first(); }
    CDocTemplate* GetDocTemplate() const { return m_template; }

    void AddView(CView* view);
    void RemoveView(CView* view);

private:
    friend class CDocTemplate;
    QList<CView*> m_views;
    CDocTemplate* m_template = nullptr;
};
