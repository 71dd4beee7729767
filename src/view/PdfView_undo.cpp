// Undo and redo of the block model: whole-page snapshots, at most 100 steps.
#include "BlockEditorFrame.h"
#include "PdfView.h"

PdfView::EditSnapshot PdfView::makeEditSnapshot(const QString& label, bool includeLiveEditor) const
{
    EditSnapshot snapshot;
    snapshot.blocks = m_blocks;
    if (includeLiveEditor && validBlock(m_activeBlock) && m_blockFrame && !m_blocks[size_t(m_activeBlock)].isImage)
        applyEditorToBlock(snapshot.blocks[size_t(m_activeBlock)], m_blocks[size_t(m_activeBlock)].textEdited);
    snapshot.removedPlaces = m_removedPlaces;
    snapshot.groupIds = m_blockGroupIds;
    snapshot.selection = m_selectedBlocks;
    snapshot.label = label;
    snapshot.page = m_blockPage;
    snapshot.activeBlock = m_activeBlock;
    snapshot.nextGroupId = m_nextGroupId;
    snapshot.dirty = m_blocksDirty;
    return snapshot;
}

void PdfView::pushUndoSnapshot(const QString& label, bool includeLiveEditor)
{
    if (m_restoringSnapshot)
        return;
    m_undoStack.push_back(makeEditSnapshot(label, includeLiveEditor));
    if (int(m_undoStack.size()) > kMaxUndoSteps)
        m_undoStack.erase(m_undoStack.begin());
    m_redoStack.clear();
    emit undoRedoAvailabilityChanged(!m_undoStack.empty(), false);
}

void PdfView::captureActiveEditorUndoIfNeeded(const QString& label, bool includeLiveEditor)
{
    if (m_restoringSnapshot || m_applyingEditorChange || !validBlock(m_activeBlock))
        return;
    if (m_editorUndoCaptured && m_editorUndoBlock == m_activeBlock)
        return;
    pushUndoSnapshot(label, includeLiveEditor);
    m_editorUndoCaptured = true;
    m_editorUndoBlock = m_activeBlock;
}

void PdfView::captureBlockInteractionUndoIfNeeded(const QString& label)
{
    if (m_restoringSnapshot || m_interactionUndoCaptured || !validBlock(m_activeBlock))
        return;
    pushUndoSnapshot(label, true);
    m_interactionUndoCaptured = true;
}

void PdfView::restoreEditSnapshot(const EditSnapshot& snapshot)
{
    m_restoringSnapshot = true;
    deactivateOcrBlock();
    m_restoringSnapshot = false;

    m_blocks = snapshot.blocks;
    m_removedPlaces = snapshot.removedPlaces;
    m_blockGroupIds = snapshot.groupIds;
    if (m_blockGroupIds.size() != m_blocks.size())
        m_blockGroupIds.assign(m_blocks.size(), 0);
    m_selectedBlocks.clear();
    for (int index : snapshot.selection) {
        if (validBlock(index))
            m_selectedBlocks.insert(index);
    }
    m_blockPage = snapshot.page;
    m_nextGroupId = std::max(snapshot.nextGroupId, 1);
    m_blocksDirty = snapshot.dirty;
    m_editorUndoCaptured = false;
    m_interactionUndoCaptured = false;
    m_editorUndoBlock = -1;
    if (m_editMode && validBlock(snapshot.activeBlock)) {
        activateOcrBlock(snapshot.activeBlock);
    } else {
        m_activeBlock = -1;
        emit activeTextEditorAvailable(false);
    }
    viewport()->update();
}

void PdfView::undo()
{
    if (m_undoStack.empty())
        return;
    EditSnapshot current = makeEditSnapshot(QStringLiteral("Повторить"), true);
    const EditSnapshot previous = std::move(m_undoStack.back());
    m_undoStack.pop_back();
    m_redoStack.push_back(std::move(current));
    restoreEditSnapshot(previous);
    emitUndoRedoAvailability();
    emit ocrBlocksEdited();
}

void PdfView::redo()
{
    if (m_redoStack.empty())
        return;
    EditSnapshot current = makeEditSnapshot(QStringLiteral("Отменить"), true);
    const EditSnapshot next = std::move(m_redoStack.back());
    m_redoStack.pop_back();
    m_undoStack.push_back(std::move(current));
    restoreEditSnapshot(next);
    emitUndoRedoAvailability();
    emit ocrBlocksEdited();
}

void PdfView::clearUndoHistory()
{
    m_undoStack.clear();
    m_redoStack.clear();
    m_editorUndoCaptured = false;
    m_interactionUndoCaptured = false;
    m_editorUndoBlock = -1;
    emit undoRedoAvailabilityChanged(false, false);
}

void PdfView::emitUndoRedoAvailability()
{
    emit undoRedoAvailabilityChanged(canUndo(), canRedo());
}
