#include "MergeCommand.h"

#include "Document.h"
#include "Layer.h"

namespace paint {

MergeCommand::MergeCommand(Document* document, const QList<LayerSnap>& before, int activeBefore,
                           const QList<LayerSnap>& after, int activeAfter, const QString& text)
    : QUndoCommand(text)
    , m_document(document)
    , m_before(before)
    , m_after(after)
    , m_activeBefore(activeBefore)
    , m_activeAfter(activeAfter)
{
}

void MergeCommand::undo()
{
    apply(m_before, m_activeBefore);
}

void MergeCommand::redo()
{
    apply(m_after, m_activeAfter);
}

void MergeCommand::apply(const QList<LayerSnap>& snaps, int activeIndex) const
{
    // A stack is never left empty.
    if (!m_document || snaps.isEmpty() || isObsolete())
        return;
    m_document->layers.clear();
    for (const LayerSnap& snap : snaps) {
        // The snapshot's pixels replace the new layer's at once, so none are allocated.
        auto layer = std::make_shared<Layer>(snap.name, QSize(), true);
        layer->image = snap.image;
        layer->visible = snap.visible;
        m_document->layers.append(std::move(layer));
    }
    m_document->activeIndex = activeIndex;
}

QList<QImage> MergeCommand::images() const
{
    QList<QImage> all;
    for (const QList<LayerSnap>* snaps : {&m_before, &m_after})
        for (const LayerSnap& snap : *snaps)
            all.append(snap.image);
    return all;
}

void MergeCommand::release()
{
    m_before.clear();
    m_after.clear();
    setObsolete(true);
}

QList<MergeCommand::LayerSnap> snapLayers(const Document* document)
{
    QList<MergeCommand::LayerSnap> snaps;
    if (!document)
        return snaps;
    snaps.reserve(document->layers.size());
    for (const auto& layer : document->layers)
        snaps.append({layer->name, layer->image, layer->visible});
    return snaps;
}

} // namespace paint
