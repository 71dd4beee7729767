#pragma once
// The engine's side of DocumentChanges: made at the start of a changing
// operation, before its engine lock, so that it asks before the change and
// announces after the lock has gone. It announces only when the document's
// revision moved, and only as the outermost operation of its thread.

#include "DocumentChanges.h"
#include "PdfDocument.h"

class PdfDocument::ChangeNotice {
public:
    enum Kind { Inserted, Removed, Moved, Rotated, ContentChanged };

    // first: the page inserted at (-1: at the end), removed, moved from,
    // rotated or written; second: the page moved to. Only changes of the
    // page sequence and turns ask first: a content write (the write-back of
    // edits among them) keeps every page where it was.
    ChangeNotice(PdfDocument& document, Kind kind, int first = -1, int second = -1);
    ~ChangeNotice();
    ChangeNotice(const ChangeNotice&) = delete;
    ChangeNotice& operator=(const ChangeNotice&) = delete;

    // A listener refused the change: the operation returns false at once
    // (lastError holds the reason).
    bool refused() const { return m_refused; }

private:
    PdfDocument& m_document;
    Kind m_kind;
    int m_first;
    int m_second;
    bool m_outermost = false;
    bool m_refused = false;
    quint64 m_revision = 0;
    int m_pages = 0;
};
