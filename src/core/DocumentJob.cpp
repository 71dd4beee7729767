#include "DocumentJob.h"

#include "PdfDocument.h"
#include "WorkStop.h"

#include <QMetaObject>
#include <QThread>

#include <utility>

bool DocumentJob::Control::report(int done, int total)
{
    // Read before posting: a cancel answering this very report reaches the
    // work at its next report, not as the answer to this one.
    const bool goOn = !isCancelled();
    m_job.m_done.store(done);
    m_job.m_total.store(total);
    // One update in the queue at a time: it reads the newest figures.
    if (!m_job.m_progressPosted.exchange(true))
        QMetaObject::invokeMethod(&m_job, &DocumentJob::deliverProgress, Qt::QueuedConnection);
    return goOn;
}

bool DocumentJob::Control::isCancelled() const
{
    return m_job.m_cancelled.load();
}

DocumentJob::DocumentJob(std::shared_ptr<PdfDocument> document, QObject* parent)
    : QObject(parent)
    , m_document(std::move(document))
{
}

DocumentJob::~DocumentJob()
{
    if (!m_thread)
        return;
    cancel();
    m_thread->disconnect(this);
    m_thread->wait();
    delete m_thread;
}

bool DocumentJob::start(Work work)
{
    if (m_started || !work)
        return false;
    m_started = true;
    m_thread = QThread::create([this, work = std::move(work)] {
        Control control(*this);
        // Waits deep inside the work (a check's render) end when the job is cancelled.
        const WorkStop stop([this] { return m_cancelled.load(); });
        work(control);
    });
    m_thread->setObjectName(QStringLiteral("DocumentJob"));
    connect(m_thread, &QThread::finished, this, &DocumentJob::end, Qt::QueuedConnection);
    m_thread->start();
    return true;
}

void DocumentJob::cancel()
{
    m_cancelled.store(true);
}

bool DocumentJob::isRunning() const
{
    return m_thread && !m_thread->isFinished();
}

void DocumentJob::wait()
{
    if (m_thread)
        m_thread->wait();
}

void DocumentJob::deliverProgress()
{
    if (!m_progressPosted.exchange(false))
        return;
    emit progress(m_done.load(), m_total.load());
}

void DocumentJob::end()
{
    m_thread->wait();
    // The work's captures go here, not on the worker thread.
    delete std::exchange(m_thread, nullptr);
    // A report posted last may still be queued behind this: it comes first.
    if (m_progressPosted.exchange(false))
        emit progress(m_done.load(), m_total.load());
    emit finished(m_cancelled.load());
}
