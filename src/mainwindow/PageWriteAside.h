#pragma once
// A page's blocks written into its document on a job's thread. The calling
// (GUI) thread waits however long the write and its after-edit check take
// (the check waits for its renders, which a busy machine makes late): the
// window stays painted and its timers run, and once the write lasts, a
// prompt tells of it with "Отмена", which stops it.

#include "TextBlock.h"

#include <memory>
#include <vector>

class PdfDocument;
class QString;
class QWidget;

// WrittenThenStopped: the user stopped the write after it could no longer
// stop (its last step had passed): the blocks are in the page, and what was
// to follow the write must not.
enum class PageWriteEnd { Written, WrittenThenStopped, Failed, Stopped };

// Writes blocks into page (a page without blocks left loses its old
// invisible text) behind a prompt of title and text over parent. Failed
// leaves the document's error; Stopped, the user's stop, leaves the
// document as it was. Failed at once while another such write waits: a
// write asked for from inside the wait (a close, a timer) would write the
// same edits twice.
PageWriteEnd writePageAside(QWidget* parent, const std::shared_ptr<PdfDocument>& document, int page,
                            const std::vector<TextBlock>& blocks, const QString& title, const QString& text);

// Whether a write is waiting on this thread.
bool pageWriteAsideRunning();
