#include "PageWriteAside.h"

#include "PdfDocument.h"
#include "WorkProgressDialog.h"

#include <QScopedValueRollback>

namespace {

bool waiting = false;  // only the GUI thread writes aside

} // namespace

bool pageWriteAsideRunning()
{
    return waiting;
}

PageWriteEnd writePageAside(QWidget* parent, const std::shared_ptr<PdfDocument>& document, int page,
                            const std::vector<TextBlock>& blocks, const QString& title, const QString& text)
{
    if (!document || waiting)
        return PageWriteEnd::Failed;
    const QScopedValueRollback<bool> wait(waiting, true);
    WorkProgressDialog prompt(title, text, parent);
    // The work holds the document: a tab closed meanwhile never frees it under the write.
    const bool written = prompt.run([document, page, blocks](const WorkProgressDialog::Report&) {
        return blocks.empty() ? document->removeInvisibleTextLayer(page) : document->overlayOcrText(page, blocks, false);
    });
    if (written)
        return prompt.stopAsked() ? PageWriteEnd::WrittenThenStopped : PageWriteEnd::Written;
    return prompt.wasCancelled() ? PageWriteEnd::Stopped : PageWriteEnd::Failed;
}
