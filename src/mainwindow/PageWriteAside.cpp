#include "PageWriteAside.h"

#include "DocumentJob.h"
#include "PdfDocument.h"

#include <QEventLoop>
#include <QObject>

namespace {

bool waiting = false;  // only the GUI thread writes aside

} // namespace

bool pageWriteAsideRunning()
{
    return waiting;
}

bool writePageAside(const std::shared_ptr<PdfDocument>& document, int page, const std::vector<TextBlock>& blocks)
{
    if (!document || waiting)
        return false;
    waiting = true;
    auto written = std::make_shared<bool>(false);
    bool ended = false;
    QEventLoop loop;
    DocumentJob job(document);
    QObject::connect(&job, &DocumentJob::finished, &loop, [&ended, &loop] {
        ended = true;
        loop.quit();
    });
    job.start([written, page, blocks](DocumentJob::Control& control) {
        PdfDocument& target = *control.document();
        *written = blocks.empty() ? target.removeInvisibleTextLayer(page) : target.overlayOcrText(page, blocks, false);
    });
    // The job's end comes queued, so it cannot pass before the loop runs.
    while (!ended)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    waiting = false;
    return *written;
}
