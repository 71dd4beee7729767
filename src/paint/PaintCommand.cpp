#include "PaintCommand.h"

#include "Document.h"
#include "Layer.h"

namespace paint {

PaintCommand::PaintCommand(Document* document, int layerIndex, QImage before, QImage after, const QString& text)
    : QUndoCommand(text)
    , m_document(document)
    , m_layerIndex(layerIndex)
    , m_before(std::move(before))
    , m_after(std::move(after))
{
}

void PaintCommand::undo()
{
    assign(m_before);
}

void PaintCommand::redo()
{
    assign(m_after);
}

void PaintCommand::assign(const QImage& image)
{
    if (m_document && m_document->isLayerIndex(m_layerIndex))
        m_document->layers[m_layerIndex]->image = image;
}

} // namespace paint
