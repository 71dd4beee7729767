#pragma once

#include <QImage>
#include <QRect>
#include <QUndoCommand>

namespace paint {

class Document;

// One layer's change, kept as the pixels before and after inside the
// rectangle where they differ. It is pushed after the layer was painted, so
// its first redo changes nothing.
class PaintCommand : public QUndoCommand {
public:
    PaintCommand(Document* document, int layerIndex, QImage before, QImage after, const QString& text);
    // `region` is where before and after differ (changedRect).
    PaintCommand(Document* document, int layerIndex, const QRect& region, QImage before, QImage after,
                 const QString& text);

    void undo() override;
    void redo() override;

    // The bounding rectangle of the pixels that differ; null when none does.
    // Images of different sizes differ everywhere.
    static QRect changedRect(const QImage& a, const QImage& b);

    QRect region() const { return m_region; }
    // The pixels this command keeps.
    QList<QImage> images() const { return {m_before, m_after}; }
    // Lets go of the pixels; the command then changes nothing and is dropped
    // when the stack reaches it.
    void release();

private:
    void assign(const QImage& part);

    Document* m_document;
    int m_layerIndex;
    QRect m_region;
    bool m_whole = false;  // before and after are whole layer images
    QImage m_before;
    QImage m_after;
};

} // namespace paint
