#pragma once
// The pending edits of one page, without a widget: its blocks, their groups,
// the old places of deleted and merged blocks, the page they belong to, the
// dirty flag and the next group id, with the block operations and their undo
// history. A view shows one PageEdits and adds the live editor's typing,
// its selection and its active block through a snapshot source.
//
// Kept in the view library, not the engine: its operations use the view's
// text helpers (a block's clipboard text, word splitting).

#include "TextBlock.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUndoStack>

#include <functional>
#include <vector>

class PdfDocument;
class QImage;

class PageEdits : public QObject {
    Q_OBJECT
public:
    // One undo state: the whole page's blocks, and the selection and active
    // block of the view that showed them.
    struct Snapshot {
        std::vector<TextBlock> blocks;
        std::vector<int> groupIds;
        QSet<int> selection;
        QString label;
        int page = -1;
        int activeBlock = -1;
        int nextGroupId = 1;
        bool dirty = false;
        std::vector<TextBlock> removedPlaces;
    };
    using SnapshotSource = std::function<Snapshot(const QString& label)>;

    static constexpr int kMaxUndoSteps = 100;

    explicit PageEdits(QObject* parent = nullptr);
    ~PageEdits() override;

    const std::vector<TextBlock>& blocks() const { return m_blocks; }
    // The view writes its editor and frame drags straight into the blocks.
    std::vector<TextBlock>& blocks() { return m_blocks; }
    const std::vector<int>& groupIds() const { return m_groupIds; }
    const std::vector<TextBlock>& removedPlaces() const { return m_removedPlaces; }
    int page() const { return m_page; }
    bool isDirty() const { return m_dirty; }
    bool isEmpty() const { return m_blocks.empty(); }
    int nextGroupId() const { return m_nextGroupId; }
    bool validBlock(int index) const { return index >= 0 && index < int(m_blocks.size()); }

    // Loading. show: blocks as given (removed ones become removed places),
    // group ids parallel to them. load: a page's blocks for editing, ungrouped,
    // `edited` marking them changed; both empty the history.
    void show(int page, const std::vector<TextBlock>& blocks, const std::vector<int>& groupIds);
    void load(const std::vector<TextBlock>& blocks, int page, bool edited);
    void clear();
    // Empties the model for another page's blocks (the old ones handed out).
    void startPage(int page);
    // True when the blocks just became changed.
    bool markDirty();
    void rememberRemovedPlace(const TextBlock& block);

    // Block operations. Indexes are positions in blocks(); each marks the
    // model changed. The caller records the undo step before.
    void removeBlocks(const QSet<int>& indexes);
    // Text blocks only, at least two; pageHeight (points, 0 = unknown) orders
    // the merged lines top to bottom. Returns the merged block's index or -1.
    static bool canGroup(const std::vector<TextBlock>& blocks, const QSet<int>& indexes);
    int groupBlocks(const QSet<int>& indexes, double pageHeight);
    void ungroupToWords(const QSet<int>& indexes);
    // 0 forward, 1 backward, 2 to the front, 3 to the back; returns the moved
    // blocks' new indexes.
    QSet<int> reorderBlocks(const QSet<int>& indexes, int mode);
    // A new text block at a PDF rectangle; returns its index.
    int appendTextBlock(int page, const QRectF& pdfRect, const QString& text, const QString& family,
                        float pointSize, const QColor& color);
    // New image blocks at PDF rectangles (parallel lists), grouped when more
    // than one; returns their indexes.
    QSet<int> appendImageBlocks(int page, const QList<QRectF>& pdfRects, const QList<QImage>& images);
    bool replaceImage(int index, const QImage& image);
    static QRectF ungroupedWordBlockRect(const QRectF& wordRect, const QRectF& lineRect, double fontSize);

    // The blocks as they would be written now: removed places first (their
    // white-outs lie under anything new), the view's unsaved typing included.
    std::vector<TextBlock> blocksWithEdits() const;
    // Writes the blocks into their page of document and empties the model;
    // false (model kept) when the page is missing or the write fails.
    bool commit(PdfDocument& document);

    // Undo history: one command per recorded step, at most kMaxUndoSteps.
    void setSnapshotSource(SnapshotSource source);
    Snapshot snapshot(const QString& label) const;
    void pushStep(Snapshot before);
    void restore(const Snapshot& snapshot);
    void undo();
    void redo();
    void clearHistory();
    bool canUndo() const { return m_history.canUndo(); }
    bool canRedo() const { return m_history.canRedo(); }
    QUndoStack* undoStack() { return &m_history; }
    // The states the undoable steps go back to, oldest first.
    std::vector<Snapshot> undoSnapshots() const;

signals:
    // Blocks of `page` changed (an operation, a load, an undo step, a commit).
    void changed(int page);
    // Around an undo or redo restore: the view leaves its editor before, and
    // takes the snapshot's selection and active block after.
    void aboutToRestore();
    void restored(const PageEdits::Snapshot& snapshot);

private:
    Snapshot current(const QString& label) const;

    std::vector<TextBlock> m_blocks;
    std::vector<int> m_groupIds;
    std::vector<TextBlock> m_removedPlaces;
    int m_page = -1;
    int m_nextGroupId = 1;
    bool m_dirty = false;
    QUndoStack m_history;
    SnapshotSource m_snapshotSource;

    friend class PageEditStep;
};
