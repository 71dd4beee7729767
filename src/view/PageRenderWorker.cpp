#include "PageRenderWorker.h"

#include <QMutexLocker>

#include <cmath>
#include <tuple>
#include <vector>

namespace {

constexpr double kZoomEpsilon = 1e-6;

bool contains(const QList<PageRenderKey>& keys, const PageRenderKey& key)
{
    for (const PageRenderKey& k : keys) {
        if (k.sameImage(key))
            return true;
    }
    return false;
}

} // namespace

bool PageRenderKey::sameImage(const PageRenderKey& other) const
{
    return page == other.page && std::abs(zoom - other.zoom) < kZoomEpsilon && rotation == other.rotation
           && layer == other.layer && transparentBackground == other.transparentBackground
           && revision == other.revision;
}

PageRenderWorker::PageRenderWorker(PdfDocument* document, QObject* parent)
    : QObject(parent)
    , m_document(document)
{
    setObjectName(QStringLiteral("PageRenderWorker"));
}

PageRenderWorker::PageRenderWorker(std::shared_ptr<PdfDocument> document, QObject* parent)
    : PageRenderWorker(document.get(), parent)
{
    m_hold = std::move(document);
}

bool PageRenderWorker::outstandingOrQueued(const PageRenderKey& key) const
{
    return contains(m_outstanding, key) || contains(m_queue, key);
}

void PageRenderWorker::schedule()
{
    QMetaObject::invokeMethod(this, &PageRenderWorker::processNext, Qt::QueuedConnection);
}

void PageRenderWorker::setWanted(const QList<PageRenderKey>& keys)
{
    {
        QMutexLocker lock(&m_mutex);
        m_queue.clear();
        for (const PageRenderKey& key : keys) {
            if (!outstandingOrQueued(key))
                m_queue.append(key);
        }
        if (m_queue.isEmpty())
            return;
    }
    schedule();
}

void PageRenderWorker::add(const PageRenderKey& key)
{
    {
        QMutexLocker lock(&m_mutex);
        if (outstandingOrQueued(key))
            return;
        m_queue.append(key);
    }
    schedule();
}

void PageRenderWorker::acknowledge(const PageRenderKey& key)
{
    QMutexLocker lock(&m_mutex);
    for (qsizetype i = 0; i < m_outstanding.size(); ++i) {
        if (m_outstanding[i].sameImage(key)) {
            m_outstanding.removeAt(i);
            return;
        }
    }
}

void PageRenderWorker::requestPageSizes()
{
    {
        QMutexLocker lock(&m_mutex);
        m_sizesWanted = true;
    }
    schedule();
}

void PageRenderWorker::requestPageText(int page, quint64 revision)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_texts.contains(qMakePair(page, revision)))
            return;
        m_texts.append(qMakePair(page, revision));
    }
    schedule();
}

void PageRenderWorker::requestWrittenPage(const WrittenPageKey& key, const std::vector<TextBlock>& blocks)
{
    {
        QMutexLocker lock(&m_mutex);
        m_written.emplace(key, blocks);
    }
    schedule();
}

void PageRenderWorker::clearQueue()
{
    QMutexLocker lock(&m_mutex);
    m_queue.clear();
    m_texts.clear();
    m_written.reset();
    m_sizesWanted = false;
}

void PageRenderWorker::processNext()
{
    bool readSizes = false;
    int textPage = -1;
    quint64 textRevision = 0;
    PageRenderKey key;
    std::optional<std::pair<WrittenPageKey, std::vector<TextBlock>>> written;
    {
        QMutexLocker lock(&m_mutex);
        if (m_sizesWanted) {
            readSizes = true;
            m_sizesWanted = false;
        } else if (!m_queue.isEmpty()) {
            key = m_queue.takeFirst();
            m_outstanding.append(key);
        } else if (m_written) {
            written.swap(m_written);
        } else if (!m_texts.isEmpty()) {
            std::tie(textPage, textRevision) = m_texts.takeFirst();
        } else {
            return;
        }
    }
    if (written) {
        const PageRenderKey& render = written->first.render;
        emit writtenPageRendered(written->first, m_document->renderPageWritten(render.page, written->second,
                                                                               render.zoom, render.rotation));
    } else if (textPage >= 0) {
        emit pageTextRead(textPage, textRevision, m_document->extractText(textPage));
    } else if (readSizes) {
        std::vector<QSizeF> sizes;
        quint64 revision = 0;
        m_document->readPageSizes(&sizes, &revision, -1);
        emit pageSizesRead(QList<QSizeF>(sizes.begin(), sizes.end()), revision);
    } else {
        // A document closed meanwhile renders nothing: the null answer still
        // releases the request.
        const QImage image =
            m_document->renderPageLayer(key.page, key.zoom, key.rotation, key.layer, key.transparentBackground);
        emit pageRendered(key, image);
    }
    bool more = false;
    {
        QMutexLocker lock(&m_mutex);
        more = m_sizesWanted || !m_queue.isEmpty() || m_written || !m_texts.isEmpty();
    }
    if (more)
        schedule();
}
