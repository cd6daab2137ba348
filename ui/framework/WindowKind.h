#pragma once

#include <QList>
#include <QObject>
#include <functional>

class ChildWindow;
class Document;
class View;
class QMdiArea;

// One window kind: a document class, a child window class and a first view class. Opens
// documents with their window in the main window's MDI area and keeps the list of the
// kind's open documents, oldest first.
class WindowKind : public QObject {
    Q_OBJECT
public:
    using DocumentFactory = std::function<Document*()>;
    using WindowFactory = std::function<ChildWindow*()>;
    using ViewFactory = std::function<View*()>;

    WindowKind(DocumentFactory document, WindowFactory window, ViewFactory firstView,
               QObject* parent = nullptr);
    ~WindowKind() override;

    // A new document (onNewDocument) and its child window in `area`, shown and given its
    // views' first display. Null when any step fails; nothing is left behind then.
    Document* openDocument(QMdiArea* area);

    const QList<Document*>& documents() const { return m_documents; }
    Document* firstDocument() const {
        return m_documents.isEmpty() ? nullptr : m_documents.first();
    }

    // A view of this kind's first view class, attached to `document`.
    View* createFirstView(Document* document) const;
    // Any view, attached to `document`.
    static View* createView(Document* document, const ViewFactory& factory);

    // Closes every document of the kind at once (exit): each is asked onCloseDocument, its
    // windows are destroyed, then the document. False when some document refused; it is
    // left open.
    bool closeAllDocuments();

    // The child windows showing `document`.
    static QList<ChildWindow*> windowsOf(const Document* document);

signals:
    // A document of this kind was opened or is going away.
    void documentsChanged();

private:
    friend class ChildWindow;
    // The document's last window is closing and the document agreed: forget it and
    // destroy it once its windows are gone.
    void releaseDocument(Document* document);

    DocumentFactory m_makeDocument;
    WindowFactory m_makeWindow;
    ViewFactory m_makeView;
    QList<Document*> m_documents;
};
