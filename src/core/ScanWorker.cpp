#include "ScanWorker.h"

#include <utility>

ScanWorker::ScanWorker(ScanBackend* backend, const ScanParams& params, bool preview)
    : m_backend(backend), m_params(params), m_preview(preview)
{
}

void ScanWorker::run()
{
    if (!m_backend) {
        emit error(QStringLiteral("No backend"));
        return;
    }
    emit progress(5);
    if (!m_backend->isDeviceOpen()) {
        emit error(tr("Устройство не открыто"));
        return;
    }
    emit progress(20);
    QImage image = m_preview ? m_backend->doPreview(m_params) : m_backend->doScan(m_params);
    emit progress(70);
    // A frame that can be no page is refused before the clean-up spends time
    // on it, and a cleaned page once more (a crop makes it smaller).
    QString refusal = pageRefusal(image);
    if (!image.isNull() && refusal.isEmpty())
        refusal = scanFrameRefusal(image.size(), m_params);
    if (!image.isNull() && refusal.isEmpty()) {
        image = applyPostProcess(std::move(image), m_params);
        refusal = pageRefusal(image);
    }
    emit progress(90);
    if (!refusal.isEmpty()) {
        emit error(refusal);
    } else if (image.isNull()) {
        const QString reason = m_backend->lastError();
        emit error(reason.isEmpty() ? tr("Сканирование не вернуло изображение") : reason);
    } else {
        emit finished(image, m_preview);
    }
    emit progress(100);
}

QString ScanWorker::pageRefusal(const QImage& image) const
{
    return m_preview ? QString() : scanPageRefusal(image);
}
