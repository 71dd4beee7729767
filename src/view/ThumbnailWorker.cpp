#include "ThumbnailWorker.h"

#include "PdfDocument.h"

#include <QMutexLocker>

#include <algorithm>

ThumbnailWorker::ThumbnailWorker(PdfDocument* document, QObject* parent)
    : QObject(parent)
    , m_document(document)
{
    setObjectName(QStringLiteral("ThumbnailWorker"));
}

ThumbnailWorker::ThumbnailWorker(std::shared_ptr<PdfDocument> document, QObject* parent)
    : ThumbnailWorker(document.get(), parent)
{
    m_hold = std::move(document);
}

void ThumbnailWorker::request(int page, quint64 requestId, bool urgent)
{
    {
        QMutexLocker lock(&m_queueMutex);
        const auto queued = std::find_if(m_queue.begin(), m_queue.end(),
                                         [page](const Request& r) { return r.page == page; });
        if (queued != m_queue.end() && !urgent) {
            queued->id = requestId;
            return;
        }
        if (queued != m_queue.end())
            m_queue.erase(queued);
        if (urgent)
            m_queue.push_front({page, requestId});
        else
            m_queue.push_back({page, requestId});
    }
    QMetaObject::invokeMethod(this, &ThumbnailWorker::processNext, Qt::QueuedConnection);
}

void ThumbnailWorker::clearQueue()
{
    QMutexLocker lock(&m_queueMutex);
    m_queue.clear();
}

void ThumbnailWorker::processNext()
{
    Request next{};
    {
        QMutexLocker lock(&m_queueMutex);
        if (m_queue.empty())
            return;
        next = m_queue.front();
        m_queue.pop_front();
    }
    render(next.page, next.id);
}

void ThumbnailWorker::render(int page, quint64 requestId)
{
    if (!m_document || !m_document->isOpen())
        return;
    const QImage image = m_document->renderPage(page, kThumbnailScale, 0);
    emit thumbnailReady(page, image, requestId);
}
