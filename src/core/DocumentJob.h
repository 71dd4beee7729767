#pragma once
// One piece of background work on a thread of its own. The job holds its
// document shared until the job is deleted, so closing the document's tab
// never frees it under the work, and the receiver of the end can still tell
// which document the result belongs to. Progress and the end come back on the
// thread that made the job as signals. Deleting a running job cancels it and
// waits for the work to notice; its end is then not delivered. Delete a
// finished job with deleteLater from its own slot.

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class PdfDocument;
class QThread;

class DocumentJob : public QObject {
    Q_OBJECT
public:
    // What the work sees on its thread.
    class Control {
    public:
        // The document the job holds; null for a job without one.
        PdfDocument* document() const { return m_job.m_document.get(); }
        // Records done of total; false once the job was cancelled.
        bool report(int done, int total);
        bool isCancelled() const;

    private:
        friend class DocumentJob;
        explicit Control(DocumentJob& job) : m_job(job) {}
        DocumentJob& m_job;
    };
    using Work = std::function<void(Control&)>;

    explicit DocumentJob(std::shared_ptr<PdfDocument> document, QObject* parent = nullptr);
    ~DocumentJob() override;

    // Runs work once; false when the job already ran or runs.
    bool start(Work work);
    // Any thread. The work learns it at its next report, and a wait inside
    // it that asks WorkStop (a check's render) at once.
    void cancel();
    bool isCancelled() const { return m_cancelled.load(); }
    bool isRunning() const;
    // Blocks until the work returned; finished still comes later by the queue.
    void wait();
    const std::shared_ptr<PdfDocument>& document() const { return m_document; }

signals:
    // The newest report; reports that come faster than the thread that made
    // the job takes them are merged.
    void progress(int done, int total);
    // The work returned; cancelled tells whether it was asked to stop.
    void finished(bool cancelled);

private:
    void deliverProgress();
    void end();

    std::shared_ptr<PdfDocument> m_document;
    QThread* m_thread = nullptr;
    bool m_started = false;
    std::atomic<bool> m_cancelled{false};
    std::atomic<int> m_done{0};
    std::atomic<int> m_total{0};
    std::atomic<bool> m_progressPosted{false};
};
