#include "BackgroundPreviewer.h"

#include "BackgroundRemoval.h"

namespace paint {

BackgroundPreviewer::BackgroundPreviewer(const QImage& before, const QColor& key, QObject* parent)
    : QObject(parent)
    , m_before(before)
    , m_key(key)
{
    m_pool.setMaxThreadCount(1);
}

BackgroundPreviewer::~BackgroundPreviewer()
{
    cancel();
}

// The run in progress goes on, so a drag keeps showing previews; a value not
// started yet is replaced.
void BackgroundPreviewer::request(int tolerance)
{
    m_pending = tolerance;
    startNext();
}

void BackgroundPreviewer::startNext()
{
    if (m_running || !m_pending)
        return;
    const int tolerance = *m_pending;
    m_pending.reset();
    const int generation = ++m_shared->generation;
    m_running = true;
    m_runningGeneration = generation;
    // The worker reads its own shallow copy; nobody writes these pixels.
    m_pool.start([this, shared = m_shared, before = m_before, key = m_key, tolerance, generation] {
        const QImage preview = removeBackground(before, key, tolerance,
                                                [&] { return shared->generation.load() != generation; });
        // The destructor waits for this run, so the object is alive here.
        QMetaObject::invokeMethod(
            this, [this, generation, tolerance, preview] { finished(generation, tolerance, preview); },
            Qt::QueuedConnection);
    });
}

void BackgroundPreviewer::finished(int generation, int tolerance, const QImage& preview)
{
    if (generation == m_runningGeneration)
        m_running = false;
    if (generation == m_shared->generation.load() && !preview.isNull()) {
        m_deliveredTolerance = tolerance;
        m_delivered = preview;
        emit ready(tolerance, preview);
    }
    startNext();
}

QImage BackgroundPreviewer::resultFor(int tolerance)
{
    if (m_deliveredTolerance == tolerance && !m_delivered.isNull()) {
        cancel();
        return m_delivered;
    }
    cancel();
    return removeBackground(m_before, m_key, tolerance);
}

void BackgroundPreviewer::cancel()
{
    m_pending.reset();
    ++m_shared->generation;
    m_pool.waitForDone();
    m_running = false;
}

} // namespace paint
