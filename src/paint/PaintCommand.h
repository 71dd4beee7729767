#pragma once

#include <QImage>
#include <QUndoCommand>

namespace paint {

class Document;

// One layer's pixels before and after a change. It is pushed after the layer
// was painted, so its first redo changes nothing.
class PaintCommand : public QUndoCommand {
public:
    PaintCommand(Document* document, int layerIndex, QImage before, QImage after, const QString& text);

    void undo() override;
    void redo() override;

private:
    void assign(const QImage& image);

    Document* m_document;
    int m_layerIndex;
    QImage m_before;
    QImage m_after;
};

} // namespace paint
