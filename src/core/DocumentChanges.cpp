#include "DocumentChanges.h"

#include "PdfChangeNotice.h"

#include <algorithm>

void DocumentChanges::refuse(const QString& reason)
{
    m_refused = true;
    m_refusal = reason;
}

bool DocumentChanges::mayChange(QString* reason)
{
    if (m_asking)
        return true;
    m_asking = true;
    m_refused = false;
    m_refusal.clear();
    emit aboutToChange();
    m_asking = false;
    *reason = m_refusal;
    return !m_refused;
}

// --- the engine's side -------------------------------------------------------

namespace {

thread_local int t_openNotices = 0;

} // namespace

PdfDocument::ChangeNotice::ChangeNotice(PdfDocument& document, Kind kind, int first, int second)
    : m_document(document)
    , m_kind(kind)
    , m_first(first)
    , m_second(second)
    , m_outermost(t_openNotices == 0)
{
    if (m_outermost && kind != ContentChanged) {
        QString reason;
        if (!document.m_changes->mayChange(&reason)) {
            document.setLastError(reason);
            m_refused = true;
            return;
        }
    }
    ++t_openNotices;
    if (!m_outermost)
        return;
    m_revision = document.revision();
    if (kind == Inserted || kind == Removed)
        m_pages = std::max(document.pageCount(), 0);
}

PdfDocument::ChangeNotice::~ChangeNotice()
{
    if (m_refused)
        return;
    --t_openNotices;
    if (!m_outermost || m_document.revision() == m_revision)
        return;
    DocumentChanges& changes = *m_document.m_changes;
    switch (m_kind) {
    case Inserted: {
        const int added = std::max(m_document.pageCount(), 0) - m_pages;
        if (added > 0)
            emit changes.pagesInserted(m_first < 0 ? m_pages : std::min(m_first, m_pages), added);
        break;
    }
    case Removed: {
        const int removed = m_pages - std::max(m_document.pageCount(), 0);
        if (removed > 0)
            emit changes.pagesRemoved(m_first, removed);
        break;
    }
    case Moved:
        emit changes.pageMoved(m_first, m_second);
        break;
    case Rotated:
        emit changes.pageRotated(m_first);
        break;
    case ContentChanged:
        emit changes.pageContentChanged(m_first);
        break;
    }
}
