// The page's edits on show, and undo and redo of the block model: whole-page
// snapshots, at most 100 steps, taken with the live editor's typing.
#include "BlockEditorFrame.h"
#include "PdfView.h"

void PdfView::setEdits(PageEdits* edits)
{
    if (!edits)
        edits = &m_ownEdits;
    if (edits == m_edits)
        return;
    deactivateOcrBlock();
    disconnect(m_edits, nullptr, this, nullptr);
    m_edits->setSnapshotSource({});
    showEdits(edits);
}

void PdfView::showEdits(PageEdits* edits)
{
    m_edits = edits;
    m_selectedBlocks.clear();
    m_activeBlock = -1;
    m_hoveredBlock = -1;
    m_editorUndoCaptured = false;
    m_interactionUndoCaptured = false;
    m_editorUndoBlock = -1;
    m_edits->setSnapshotSource([this](const QString& label) { return makeEditSnapshot(label, true); });
    // After an undo restore the editor holds the state being left: it is not
    // written back.
    connect(m_edits, &PageEdits::aboutToRestore, this, [this] {
        m_restoringSnapshot = true;
        deactivateOcrBlock();
        m_restoringSnapshot = false;
    });
    connect(m_edits, &PageEdits::restored, this, [this](const PageEdits::Snapshot& snapshot) {
        m_selectedBlocks.clear();
        for (int index : snapshot.selection) {
            if (validBlock(index))
                m_selectedBlocks.insert(index);
        }
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
    });
    connect(m_edits, &PageEdits::changed, viewport(), qOverload<>(&QWidget::update));
    if (m_edits != &m_ownEdits) {
        // The owner went first: nothing of it is touched again.
        connect(m_edits, &QObject::destroyed, this, [this] {
            m_edits = &m_ownEdits;
            m_activeBlock = -1;
            deactivateOcrBlock();
            showEdits(&m_ownEdits);
        });
    }
    emitUndoRedoAvailability();
    viewport()->update();
}

PdfView::EditSnapshot PdfView::makeEditSnapshot(const QString& label, bool includeLiveEditor) const
{
    EditSnapshot snapshot = m_edits->snapshot(label);
    const std::vector<TextBlock>& blocks = m_edits->blocks();
    if (includeLiveEditor && validBlock(m_activeBlock) && m_blockFrame && !blocks[size_t(m_activeBlock)].isImage)
        applyEditorToBlock(snapshot.blocks[size_t(m_activeBlock)], blocks[size_t(m_activeBlock)].textEdited);
    snapshot.selection = m_selectedBlocks;
    snapshot.activeBlock = m_activeBlock;
    return snapshot;
}

void PdfView::pushUndoSnapshot(const QString& label, bool includeLiveEditor)
{
    if (m_restoringSnapshot)
        return;
    m_edits->pushStep(makeEditSnapshot(label, includeLiveEditor));
    emit undoRedoAvailabilityChanged(canUndo(), false);
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

void PdfView::undo()
{
    if (!canUndo())
        return;
    m_edits->undo();
    emitUndoRedoAvailability();
    emit ocrBlocksEdited();
}

void PdfView::redo()
{
    if (!canRedo())
        return;
    m_edits->redo();
    emitUndoRedoAvailability();
    emit ocrBlocksEdited();
}

void PdfView::clearUndoHistory()
{
    m_edits->clearHistory();
    m_editorUndoCaptured = false;
    m_interactionUndoCaptured = false;
    m_editorUndoBlock = -1;
    emit undoRedoAvailabilityChanged(false, false);
}

void PdfView::emitUndoRedoAvailability()
{
    emit undoRedoAvailabilityChanged(canUndo(), canRedo());
}
