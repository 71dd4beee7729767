#pragma once
// Renders the page view's page images on the view's render thread, so that
// painting never waits on the engine lock. The view hands over the renders
// its last paint wanted (the newest list replaces the queue, so pages
// scrolled past are never rendered) and acknowledges every answer; a render
// that is running, or answered but not yet acknowledged, is not queued again.
// Page sizes of a changed document are read here when the GUI thread could
// not take the engine lock at once, and a page's text for selection (after
// the renders: the pages come first). A page as a save would write the
// view's pending blocks on it comes after the renders too, the newest
// request replacing the one before.

#include "PdfDocument.h"
#include "TextBlock.h"

#include <QImage>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QSizeF>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

// One page image as the view asks for it: page, zoom, effective rotation,
// layer, background and the document revision it belongs to.
struct PageRenderKey {
    int page = -1;
    double zoom = 0;
    int rotation = 0;
    PdfRenderLayer layer = PdfRenderAll;
    bool transparentBackground = false;
    quint64 revision = 0;

    bool sameImage(const PageRenderKey& other) const;
};
Q_DECLARE_METATYPE(PageRenderKey)

// A page image with the view's pending blocks written on it: the render's
// key and the blocks' fingerprint.
struct WrittenPageKey {
    PageRenderKey render;
    QByteArray blocks;

    bool sameImage(const WrittenPageKey& other) const
    {
        return render.sameImage(other.render) && blocks == other.blocks;
    }
};
Q_DECLARE_METATYPE(WrittenPageKey)

class PageRenderWorker : public QObject {
    Q_OBJECT
public:
    explicit PageRenderWorker(PdfDocument* document, QObject* parent = nullptr);
    // Holds the document for as long as the worker lives.
    explicit PageRenderWorker(std::shared_ptr<PdfDocument> document, QObject* parent = nullptr);

    // Any thread.
    void setWanted(const QList<PageRenderKey>& keys);
    void add(const PageRenderKey& key);
    void acknowledge(const PageRenderKey& key);
    void requestPageSizes();
    void requestPageText(int page, quint64 revision);
    void requestWrittenPage(const WrittenPageKey& key, const std::vector<TextBlock>& blocks);
    void clearQueue();

public slots:
    // Render thread: page sizes first when asked for, else the next render.
    void processNext();

signals:
    void pageRendered(PageRenderKey key, QImage image);
    void pageSizesRead(QList<QSizeF> sizes, quint64 revision);
    void pageTextRead(int page, quint64 revision, std::vector<TextBlock> blocks);
    // Null when the write failed: a save would refuse it.
    void writtenPageRendered(WrittenPageKey key, QImage image);

private:
    bool outstandingOrQueued(const PageRenderKey& key) const;
    void schedule();

    PdfDocument* m_document;
    std::shared_ptr<PdfDocument> m_hold;
    QMutex m_mutex;
    QList<PageRenderKey> m_queue;
    QList<PageRenderKey> m_outstanding;
    bool m_sizesWanted = false;
    QList<QPair<int, quint64>> m_texts; // page and the revision it was asked at
    std::optional<std::pair<WrittenPageKey, std::vector<TextBlock>>> m_written;
};
