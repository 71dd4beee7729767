#include "CropCommand.h"

#include "Document.h"

namespace paint {

CropCommand::CropCommand(Document* document, const QSize& oldSize, const QList<QImage>& oldImages, const QRect& rect)
    : QUndoCommand(QStringLiteral("Обрезка"))
    , m_document(document)
    , m_oldSize(oldSize)
    , m_oldImages(oldImages)
    , m_rect(rect)
{
}

void CropCommand::undo()
{
    if (m_document && !isObsolete())
        m_document->restoreState(m_oldSize, m_oldImages);
}

void CropCommand::redo()
{
    if (m_document && !isObsolete())
        m_document->crop(m_rect);
}

void CropCommand::release()
{
    m_oldImages.clear();
    setObsolete(true);
}

} // namespace paint
