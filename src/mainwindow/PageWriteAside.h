#pragma once
// A page's blocks written into its document on a job's thread. The calling
// (GUI) thread waits in an event loop that holds the user's input back: the
// window stays painted and its timers run however long the write and its
// after-edit check take.

#include "TextBlock.h"

#include <memory>
#include <vector>

class PdfDocument;

// Writes blocks into page (a page without blocks left loses its old
// invisible text); false with the document's error when that fails. False
// at once while another such write waits: a write asked for from inside the
// wait (a close, a timer) would write the same edits twice.
bool writePageAside(const std::shared_ptr<PdfDocument>& document, int page, const std::vector<TextBlock>& blocks);

// Whether a write is waiting on this thread.
bool pageWriteAsideRunning();
