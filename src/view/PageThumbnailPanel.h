#pragma once
// The strip of page miniatures beside the page view. Miniatures are rendered
// by a ThumbnailWorker on the panel's own thread, the visible rows first; the
// panel never changes the document, it asks for page operations by signals.
// Given a held document, the panel and its worker hold it while shown. Given
// a bare pointer, the owner calls setDocument(nullptr) (or another document)
// before deleting the document shown: that stops and destroys the worker first.

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QListWidget>

#include <functional>
#include <memory>

class PdfDocument;
class QThread;
class ThumbnailWorker;

class PageThumbnailPanel : public QListWidget {
    Q_OBJECT
public:
    explicit PageThumbnailPanel(QWidget* parent = nullptr);
    ~PageThumbnailPanel() override;

    void setDocument(PdfDocument* doc);
    // The same, holding the document; given it again by pointer, the panel
    // keeps holding it.
    void setDocument(std::shared_ptr<PdfDocument> doc);
    void setCurrentPage(int page);
    void refresh();
    void refreshPage(int page);
    // Off where documents are not edited: no page entries in the context
    // menu and no moving by drag.
    void setPageRequestsEnabled(bool enabled);
    // What turns the strip's Russian texts (page labels, menu entries) into
    // the interface language; the texts as written without one.
    void setTextTranslator(std::function<QString(const QString&)> translate);
    // Labels the pages again, after the interface language changed.
    void relabelPages();

    bool hasThumbnail(int page) const { return m_cache.contains(page); }
    bool isPending(int page) const { return m_pending.contains(page); }

signals:
    void pageSelected(int index);
    void movePageRequested(int from, int to);
    void deletePageRequested(int index);
    void insertPageRequested(int beforeIndex);
    void importPageRequested(int beforeIndex);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private slots:
    void onThumbnailReady(int pageIndex, QImage image, quint64 requestId);
    void onItemActivated(QListWidgetItem* item);

private:
    void stopWorker();
    int pageCountWithoutStall() const;
    void enqueueThumbnail(int page, bool urgent = false);
    void enqueueVisibleThumbnails();
    void scheduleVisibleThumbnails();
    void renumberItems();
    int dropTargetRow(const QPoint& position) const;
    bool moveDroppedRow(QDropEvent* event);
    static int draggedRow(const QMimeData* data);
    QIcon thumbnailIcon(int page) const;
    void updateThumbnailIcon(int page);
    QString text(const QString& source) const;
    QString pageLabel(int page) const;

    PdfDocument* m_document = nullptr;
    std::shared_ptr<PdfDocument> m_documentHold;  // empty when shown by a bare pointer
    ThumbnailWorker* m_worker = nullptr;
    QThread* m_thread = nullptr;
    QHash<int, QImage> m_cache;
    QHash<int, quint64> m_pending; // page -> id of the request whose answer is awaited
    quint64 m_nextRequestId = 0;
    int m_currentPage = -1;
    // The current page asked for while the strip did not list it yet (the
    // engine was too busy to count the pages): made current once it does.
    int m_wantedPage = -1;
    bool m_refreshQueued = false;
    bool m_pageRequestsEnabled = true;
    std::function<QString(const QString&)> m_translate;
};
