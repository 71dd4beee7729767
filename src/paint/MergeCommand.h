#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QUndoCommand>

namespace paint {

class Document;

// Replaces the whole layer stack by snapshots: merge down and flatten. The
// layers it builds are new objects with opacity 1.
class MergeCommand : public QUndoCommand {
public:
    struct LayerSnap {
        QString name;
        QImage image; // shared, not copied
        bool visible = true;
    };

    MergeCommand(Document* document, const QList<LayerSnap>& before, int activeBefore,
                 const QList<LayerSnap>& after, int activeAfter, const QString& text);

    void undo() override;
    void redo() override;

    void apply(const QList<LayerSnap>& snaps, int activeIndex) const;

    // The images of both stacks.
    QList<QImage> images() const;
    // Lets go of the snapshots; the command then changes nothing and is
    // dropped when the stack reaches it.
    void release();

private:
    Document* m_document;
    QList<LayerSnap> m_before;
    QList<LayerSnap> m_after;
    int m_activeBefore;
    int m_activeAfter;
};

// One snapshot per layer, bottom first.
QList<MergeCommand::LayerSnap> snapLayers(const Document* document);

} // namespace paint
