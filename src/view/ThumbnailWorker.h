#pragma once
// Renders page miniatures on the thumbnail thread. Requests are queued from
// the GUI thread (urgent ones before the rest) and taken one at a time, so
// the rows in view come first and a quitting thread stops between renders.
// The document is reached only through its engine calls, which take the
// process-wide pdfium lock.

#include <QImage>
#include <QMutex>
#include <QObject>

#include <deque>
#include <memory>

class PdfDocument;

class ThumbnailWorker : public QObject {
    Q_OBJECT
public:
    // Scale of a miniature: an A4 page gives 108 x 152 pixels.
    static constexpr double kThumbnailScale = 0.18;

    explicit ThumbnailWorker(PdfDocument* document, QObject* parent = nullptr);
    // Holds the document for as long as the worker lives.
    explicit ThumbnailWorker(std::shared_ptr<PdfDocument> document, QObject* parent = nullptr);

    // Any thread. The request id comes back with the answer; a page already
    // queued is moved (urgent) or left in place, and takes the new id.
    void request(int page, quint64 requestId, bool urgent);
    void clearQueue();

public slots:
    // Worker thread: renders the next queued page, if any.
    void processNext();
    void render(int page, quint64 requestId);

signals:
    void thumbnailReady(int pageIndex, QImage image, quint64 requestId);

private:
    struct Request {
        int page;
        quint64 id;
    };
    PdfDocument* m_document;
    std::shared_ptr<PdfDocument> m_hold;
    QMutex m_queueMutex;
    std::deque<Request> m_queue;
};
