#pragma once

#include <QList>
#include <QObject>
#include <functional>

class CChildFrame;
class CDocument;
class CView;
class QMdiArea;

// One window kind: a document class, a child frame class and a first view class. Opens
// documents with their window in the main window's MDI area and keeps the list of the
// kind's open documents, oldest first.
class CDocTemplate : public QObject {
    Q_OBJECT
public:
    using DocumentFactory = std::function<CDocument*()>;
    using FrameFactory = std::function<CChildFrame*()>;
    using ViewFactory = std::function<CView*()>;

    CDocTemplate(DocumentFactory document, FrameFactory frame, ViewFactory firstView,
                 QObject* parent = nullptr);
    ~CDocTemplate() override;

    // A new document (OnNewDocument) and its child window in `area`, shown and given its
    // views' first display. Null when any step fails; nothing is left behind then.
    CDocument* OpenDocumentFile(QMdiArea* area);

    const QList<CDocument*>& documents() const { return m_documents; }
    CDocument* GetFirstDoc() const { return m_documents.isEmpty() ? nullptr : m_documents.first(); }

    // A view of this kind's first view class, attached to `document`.
    CView* createFirstView(CDocument* document) const;
    // Any view, attached to `document`.
    static CView* createView(CDocument* document, const ViewFactory& factory);

    // Closes every document of the kind at once (exit): each is asked OnCloseDocument, its
    // windows are destroyed, then the document. False when some document refused; it is
    // left open.
    bool CloseAllDocuments();

    // The child windows showing `document`.
    static QList<CChildFrame*> framesOf(const CDocument* document);

signals:
    // A document of this kind was opened or is going away.
    void documentsChanged();

private:
    friend class CChildFrame;
    // The document's last window is closing and the document agreed: forget it and
    // destroy it once its windows are gone.
    void releaseDocument(CDocument* document);

    DocumentFactory m_makeDocument;
    FrameFactory m_makeFrame;
    ViewFactory m_makeView;
    QList<CDocument*> m_documents;
};
