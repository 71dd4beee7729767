#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QUndoCommand>

namespace paint {

class Document;

// Crops every layer on its first redo; undo puts the old size and images back.
class CropCommand : public QUndoCommand {
public:
    CropCommand(Document* document, const QSize& oldSize, const QList<QImage>& oldImages, const QRect& rect);

    void undo() override;
    void redo() override;

    QList<QImage> images() const { return m_oldImages; }
    // Lets go of the old images; the command then changes nothing and is
    // dropped when the stack reaches it.
    void release();

private:
    Document* m_document;
    QSize m_oldSize;
    QList<QImage> m_oldImages;
    QRect m_rect;
};

} // namespace paint
