#include "OcrDocumentRunner.h"

#include "OcrBlocks.h"
#include "OcrEngine.h"
#include "PdfDocument.h"

#include <QImage>
#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <thread>

namespace {

constexpr double kWidePageWidth = 800.0;
constexpr double kWidePageScale = 1.5;
constexpr double kPageScale = 2.0;

} // namespace

struct OcrDocumentRunner::Run {
    std::atomic<qsizetype> next{0};
    std::atomic<bool> cancelled{false};
    std::atomic<int> liveWorkers{0};
    std::vector<std::thread> threads;
    int pagesDone = 0; // runner's thread only
};

OcrDocumentRunner::OcrDocumentRunner(PdfDocument *document, QList<int> pages, Options options, QObject *parent)
    : QObject(parent), document(document), pages(std::move(pages)), options(std::move(options))
{
    qRegisterMetaType<std::vector<TextBlock>>();
}

OcrDocumentRunner::~OcrDocumentRunner()
{
    cancel();
    joinWorkers();
}

double OcrDocumentRunner::pageScale(double pageWidth, double configuredScale)
{
    if (configuredScale > 0)
        return configuredScale;
    return pageWidth > kWidePageWidth ? kWidePageScale : kPageScale;
}

int OcrDocumentRunner::workerCount() const
{
    const int wanted = options.threads > 0 ? options.threads : QThread::idealThreadCount();
    return std::max(1, std::min<int>(wanted, int(pages.size())));
}

bool OcrDocumentRunner::isRunning() const
{
    return run != nullptr;
}

void OcrDocumentRunner::start()
{
    if (run)
        return;
    run = std::make_shared<Run>();
    if (pages.isEmpty() || !document) {
        run.reset();
        QMetaObject::invokeMethod(this, [this] { emit finished(false); }, Qt::QueuedConnection);
        return;
    }
    const int workers = workerCount();
    run->liveWorkers = workers;
    for (int i = 0; i < workers; ++i)
        run->threads.emplace_back([this, r = run] { workerLoop(r); });
}

void OcrDocumentRunner::cancel()
{
    if (run)
        run->cancelled = true;
}

void OcrDocumentRunner::joinWorkers()
{
    if (!run)
        return;
    for (std::thread &t : run->threads) {
        if (t.joinable())
            t.join();
    }
    run.reset();
}

// One worker: its own recogniser, then pages until none is left or the run
// is cancelled. Results travel to the runner's thread as queued calls, whose
// order from one worker is kept.
void OcrDocumentRunner::workerLoop(std::shared_ptr<Run> r)
{
    OcrEngine engine;
    const bool ready = engine.init(options.languages);
    const QString initError = engine.lastError();
    const auto post = [this](auto &&call) { QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection); };
    const auto pageDone = [this, r](auto &&emitResult) {
        return [this, r, emitResult = std::move(emitResult)]() mutable {
            emitResult();
            emit progress(++r->pagesDone, int(pages.size()));
        };
    };
    while (!r->cancelled) {
        const qsizetype slot = r->next++;
        if (slot >= pages.size())
            break;
        const int page = pages.at(slot);
        if (!ready) {
            post(pageDone([this, page, initError] { emit pageFailed(page, initError); }));
            continue;
        }
        const QSizeF size = document->pageSize(page);
        const double scale = pageScale(size.width(), options.renderScale);
        const QImage image = size.isEmpty() ? QImage() : document->renderPage(page, scale, 0);
        if (image.isNull()) {
            post(pageDone([this, page] { emit pageFailed(page, tr("Не удалось подготовить изображение страницы")); }));
            continue;
        }
        std::vector<TextBlock> blocks = engine.recognizePage(image, page, scale, size.height());
        const QString reason = engine.lastError();
        if (blocks.empty() && !reason.isEmpty()) {
            post(pageDone([this, page, reason] { emit pageFailed(page, reason); }));
            continue;
        }
        sortReadingOrder(blocks, size.width(), size.height());
        post(pageDone([this, page, b = std::move(blocks)]() mutable { emit pageRecognized(page, std::move(b)); }));
    }
    if (--r->liveWorkers == 0) {
        post([this, r] {
            if (run != r)
                return;
            const bool cancelled = r->cancelled && r->pagesDone < pages.size();
            joinWorkers();
            emit finished(cancelled);
        });
    }
}
