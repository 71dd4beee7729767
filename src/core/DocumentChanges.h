#pragma once
// What a document tells about its changes. Every operation that inserts,
// removes, moves or turns pages asks aboutToChange first (on the changing
// thread, before the engine lock is taken), and a listener may refuse the
// change; after any change, content writes included, the signal that names
// it is emitted, outside the engine lock. Operations that call other
// operations announce once, as the outermost one.

#include <QObject>
#include <QString>

class DocumentChanges : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // From a slot of aboutToChange: the change does not happen, and the
    // operation fails with reason as its error.
    void refuse(const QString& reason);

    // The engine's question before a change: emits aboutToChange unless it
    // is being emitted already; false, with the reason, when a listener
    // refused.
    bool mayChange(QString* reason);

signals:
    void aboutToChange();
    void pagesInserted(int first, int count);
    void pagesRemoved(int first, int count);
    void pageMoved(int from, int to);
    void pageRotated(int page);
    void pageContentChanged(int page);
    void saved(const QString& path);

private:
    bool m_asking = false;
    bool m_refused = false;
    QString m_refusal;
};
