#pragma once
// The page view: a scroll area whose viewport shows the pages of one borrowed
// PdfDocument, in single-page or continuous layout, with zoom, view-only
// rotation, text and region selection, search hits, links and, in edit mode,
// the blocks of one page drawn over it. GUI thread only.
//
// Coordinate spaces: viewport pixels; content pixels (viewport plus scroll
// values); page-top points (the page as displayed at zoom 1 before the view's
// rotation, origin top-left, y down); PDF points (origin bottom-left, y up).
// Every conversion between a page and the viewport goes through the page's
// effective rotation, so overlays land where the rotated image shows them.

#include "PageEdits.h"
#include "PageLayout.h"
#include "PageRenderWorker.h"
#include "PdfDocument.h"
#include "TextBlock.h"
#include "TurnedBox.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>
#include <vector>

class BlockEditorFrame;
struct PreviewPagePixels;
class QFrame;
class QRubberBand;
class QTextBlockFormat;
class QTextCharFormat;
class QTextEdit;
class QThread;

class PdfView : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum EditTool { Hand = 0, Select = 1, InsertText = 2, PlaceImage = 3 };
    enum ViewMode { SinglePage = 0, Continuous = 1 };

    // One rendered page image: what it was asked for (page, zoom, effective
    // rotation, layer, background, document revision) and the image.
    struct PageCache {
        PageRenderKey key;
        QImage image;
    };

    // One undo state of the block model: the whole page's blocks.
    using EditSnapshot = PageEdits::Snapshot;

    static constexpr int kMaxUndoSteps = PageEdits::kMaxUndoSteps;

    struct SelectableLine {
        QString text;
        QRectF rect; // PDF points, widened for easier hitting; in the line's frame when turned
        float fontSize = 0;
        // Degrees the line is read in (its text turned clockwise on the page).
        // rect is then in the frame of lineFrame(rotation), where it reads
        // left to right; upright lines have rotation 0 and page rectangles.
        double rotation = 0;
    };
    // PDF points to the frame in which text read at rotation runs left to right.
    static QTransform lineFrame(double rotation);

    static constexpr double kMinZoom = 0.1;
    static constexpr double kMaxZoom = 8.0;
    static constexpr int kPageCacheSize = 10;

    explicit PdfView(QWidget* parent = nullptr);
    ~PdfView() override;

    // Document and view state
    void setDocument(PdfDocument* doc);
    // The same, holding the document: it then lives while shown or rendered
    // here. Given the held document again by pointer, the view keeps holding it.
    void setDocument(std::shared_ptr<PdfDocument> doc);
    PdfDocument* document() const { return m_document; }
    int pageCount() const;
    void setViewMode(ViewMode mode);
    ViewMode viewMode() const { return m_viewMode; }
    void setRotation(int degrees);
    int rotation() const { return m_viewRotation; }
    int effectiveRotation(int page) const;
    void setCurrentPage(int index);
    // Goes to page with the point (left, top) of the displayed page (PDF
    // points, origin bottom-left) at the view's top-left corner, where a
    // link or bookmark leads; without a top the page's top shows, without a
    // left the view keeps its horizontal place.
    void showPageSpot(int page, std::optional<double> left, std::optional<double> top);
    int currentPage() const { return m_currentPage; }
    void setCanvasTheme(bool dark);
    void setOcrDebugLabelsVisible(bool visible);
    bool ocrDebugLabelsVisible() const { return m_ocrDebugLabelsVisible; }
    void setEmptyPlaceholderText(const QString& text);
    void invalidatePageCache();
    void invalidateCache();

    // Zoom
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }
    void zoomIn();
    void zoomOut();
    void zoomFit();
    void zoomFitWidth();

    // Geometry
    QPoint pageOffset(int page) const;
    int pageAtPoint(const QPoint& viewportPoint) const;
    int dominantVisiblePage() const;
    QPointF viewToPage(int page, const QPoint& viewportPoint) const;
    QPoint viewportPointForPageTopPoint(int page, const QPointF& pageTopPoint) const;
    QRect viewportRectForPageTopRect(int page, const QRectF& pageTopRect) const;
    QRectF pdfRectToScreenRect(int page, const QRectF& pdfRect) const;
    QRectF selectionPdfRectForViewportRect(int page, const QRect& viewportRect) const;
    QPointF selectionPdfPointForViewportPoint(int page, const QPoint& viewportPoint) const;
    QRectF screenContentRectToPdf(const QRect& viewportRect) const;
    QRectF screenRectToPdf(const QRect& viewportRect) const;

    // Scrolling and visibility
    void ensurePageVisible(int page);
    void updateScrollBars();
    void updateCurrentPageFromViewport();

    // Page images
    QImage cachedPageLayer(int page, PdfRenderLayer layer, bool transparentBackground);
    QImage cachedPage(int page) { return cachedPageLayer(page, PdfRenderAll, false); }
    int pageRenderCount() const { return m_pageRenderCount; }
    // Page images come from the view's render thread: a missing one is asked
    // for and drawn when it arrives. True while the last paint still waits.
    bool pageRendersPending() const;

    // Selection, search and links
    QList<QRectF> collectTextSelectionHighlights(int page, const QPointF& start, const QPointF& end,
                                                 QString* text = nullptr);
    bool selectableTextAtViewportPoint(const QPoint& viewportPoint);
    static bool isDecorativeSelectionText(const QString& text);
    static QString stripSelectionDecorativePadding(const QString& text);
    static QRectF expandedSelectionTextRect(const QRectF& rect, double fontSize);
    static QList<QRectF> selectTextBetweenPoints(std::vector<SelectableLine> lines, const QPointF& start,
                                                 const QPointF& end, QString* text);
    QString selectedText() const { return m_selectedText; }
    QList<QRectF> selectionHighlights() const { return m_selectionHighlights; }
    QRectF currentSelectionPageTopRect() const;
    QRect currentSelectionViewportRect() const;
    bool lastSelectionContainsViewportPoint(const QPoint& viewportPoint) const;
    int lastRegionPage() const { return m_lastRegionPage; }
    QRectF lastRegionRect() const { return m_lastRegionRect; }
    void clearLastRegionSelection();
    void clearSelection();
    // Highlights rects on page; the current hit is currentCount rectangles
    // from current (a phrase over a line end has one per line) and is
    // scrolled into view.
    void setSearchHighlights(int page, const QList<QRectF>& rects, int current, int currentCount = 1);
    void clearSearchHighlights();
    int currentSearchHit() const { return m_currentSearchHit; }
    int currentSearchHitCount() const { return m_currentSearchHit < 0 ? 0 : m_currentSearchHitCount; }
    bool activateLinkAtViewportPoint(const QPoint& viewportPoint);
    void showDocumentContextMenu(const QPoint& viewportPos, const QPoint& globalPos);

    // Edit mode and the blocks of one page. The view shows a page's edits
    // owned elsewhere (null: its own, empty ones); they outlive the view or
    // tell it they go.
    void setEdits(PageEdits* edits);
    PageEdits* edits() const { return m_edits; }
    void setEditMode(bool on);
    bool editMode() const { return m_editMode; }
    void setEditTool(EditTool tool);
    EditTool editTool() const { return m_editTool; }
    // Shows a page's blocks as given: group ids parallel to the blocks (0 =
    // ungrouped, empty = none grouped) and the selected indexes. No font
    // normalisation, no undo, no signals.
    void showBlocks(int page, const std::vector<TextBlock>& blocks, const std::vector<int>& groupIds = {},
                    const QSet<int>& selected = {});
    // Loads a page's blocks for editing; `edited` marks them changed at once.
    void setOcrBlocks(const std::vector<TextBlock>& blocks, int page, bool edited);
    void clearOcrBlocks();
    // The blocks as they would be written now, unsaved typing included.
    std::vector<TextBlock> ocrBlocksWithEdits() const;
    void markOcrBlocksDirty();
    const std::vector<TextBlock>& blocks() const { return m_edits->blocks(); }
    const std::vector<int>& blockGroupIds() const { return m_edits->groupIds(); }
    // Old places of deleted and merged blocks, handed to the writer (first,
    // so their white-outs lie under anything new) as `removed` blocks.
    const std::vector<TextBlock>& removedPlaces() const { return m_edits->removedPlaces(); }
    bool hasOcrBlocks() const { return !m_edits->isEmpty(); }
    int blockPage() const { return m_edits->page(); }
    bool blocksDirty() const { return m_edits->isDirty(); }
    int activeBlock() const { return m_activeBlock; }
    int hoveredOcrBlock(const QPointF& viewportPoint) const;
    int hoveredOcrBlockExcept(const QPointF& viewportPoint, int skipped) const;
    QPointF blockPagePdfPoint(const QPointF& viewportPoint) const;
    QRect ocrBlockScreenRect(int index) const;
    QRectF ocrGroupScreenRect(int groupId) const;
    static void normalizeEditableBlockFontSizes(std::vector<TextBlock>& blocks);

    // Block selection and clipboard
    void selectOcrBlock(int index, bool additive);
    void selectOcrBlocksInRect(const QRect& viewportRect);
    void clearOcrBlockSelection();
    QSet<int> selectedOcrBlocks() const { return m_selectedBlocks; }
    void copySelectedOcrBlocksToClipboard();
    void showOcrBlockContextMenu(const QPoint& viewportPos, const QPoint& globalPos);

    // The block editor
    void activateOcrBlock(int index);
    void deactivateOcrBlock();
    void repositionBlockEditor();
    BlockEditorFrame* blockEditorFrame() const { return m_blockFrame; }
    QTextEdit* activeTextEditor() const;
    bool hasActiveTextEditor() const { return activeTextEditor() != nullptr; }
    bool activeBlockUsesFixedLineLayout() const;
    bool activeBlockKeepsItsLines() const;
    void rescaleActiveBlockEditor(double factor);
    void fitActiveTextBlockToContent();

    // Formatting of the active editor (the Home tab's controls)
    void setActiveTextFontFamily(const QString& family);
    void setActiveTextFontSize(int size);
    void setActiveTextBold(bool on);
    void setActiveTextItalic(bool on);
    void setActiveTextUnderline(bool on);
    void setActiveTextStrikeOut(bool on);
    void setActiveTextSuperscript(bool on);
    void setActiveTextSubscript(bool on);
    void setActiveTextColor(const QColor& color);
    void setActiveTextBackgroundColor(const QColor& color);
    void clearActiveTextFormatting();
    void setActiveTextAlignment(Qt::Alignment alignment);
    void adjustActiveTextIndent(int delta);
    void setActiveTextBulletedList();
    void setActiveTextNumberedList();
    bool insertTextIntoActiveEditor(const QString& text);
    void updateActiveBlockText(const QString& text);
    void emitActiveTextFormat();

    // The inline editor of the insert-text tool
    void showInlineEditor(int page, const QRectF& pageTopRect);
    void commitInlineEditor();
    void hideInlineEditor();
    void repositionInlineEditor();
    QTextEdit* inlineEditor() const { return m_inlineEditor; }

    // Block operations
    void deleteSelectedOcrBlocks();
    void groupSelectedOcrBlocks();
    void ungroupSelectedOcrBlocksToWords();
    void reorderSelectedOcrBlocks(int mode);
    void appendEditableTextBlock(int page, const QRectF& pageTopRect, const QString& text, const QString& family,
                                 float pointSize, const QColor& color);
    void appendEditableImageBlocks(int page, const QRectF& pageTopRect, const QList<QImage>& images);
    void appendEditableImageBlock(int page, const QRectF& pageTopRect, const QImage& image);
    void updateSelectedImageBlock(const QImage& image);
    void setImagePlacementPreview(const QList<QImage>& images, const QSizeF& size);
    void clearImagePlacementPreview();
    bool imagePlacementPreviewActive() const { return m_placementActive; }
    void rotateCurrentPageView(int degrees);
    static QList<QRectF> layoutImageRectsInside(const QRectF& rect, const QList<QImage>& images);
    static QRectF ungroupedWordBlockRect(const QRectF& wordRect, const QRectF& lineRect, double fontSize);

    // Frame drags on the active block
    void onBlockFrameRectChanged(QRect viewportRect);
    // The box the frame shows, in page-top points: what a drag's pixels are measured against.
    QRectF frameRectToPageTop(const QRect& viewportRect) const;
    void onBlockFrameRotationChanged(double degrees);

    // Undo of the block model
    EditSnapshot makeEditSnapshot(const QString& label, bool includeLiveEditor) const;
    void pushUndoSnapshot(const QString& label, bool includeLiveEditor);
    void captureActiveEditorUndoIfNeeded(const QString& label, bool includeLiveEditor);
    void captureBlockInteractionUndoIfNeeded(const QString& label);
    void undo();
    void redo();
    void clearUndoHistory();
    bool canUndo() const { return m_edits->canUndo(); }
    bool canRedo() const { return m_edits->canRedo(); }
    std::vector<EditSnapshot> undoSnapshots() const { return m_edits->undoSnapshots(); }
    void emitUndoRedoAvailability();

signals:
    void pageChanged(int index);
    void zoomChanged(double zoom);
    void textSelected(const QString& text);
    void selectionRectReady(int page, QRectF rect);
    void ocrRegionRequested(int page, QRectF rect);
    void imageBlockActivated(int pageIndex, QRectF pdfRect);
    void imageBlockEditRequested(QImage image);
    void imageRectReady(int page, QRectF pageRect);
    void textInserted(int page, QRectF pageRect, QString text);
    void activeTextEditorAvailable(bool available);
    void activeTextFormatChanged(QString family, int size, bool bold, bool italic, bool underline, bool strikeOut,
                                 bool superscript, bool subscript, Qt::Alignment alignment);
    void ocrBlocksEdited();
    void undoRedoAvailabilityChanged(bool canUndo, bool canRedo);
    // Changed blocks of `page` are about to make room for another page's
    // blocks: the owner writes them into the document now.
    void unsavedBlocksReplaced(int page, const std::vector<TextBlock>& blocks);
    // An edit the user asked for cannot be made; the text says why.
    void actionRefused(const QString& reason);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum SelectionMode { NoSelection = 0, TextSelection = 1, RegionSelection = 2, BlockDrag = 3 };
    enum class BlockMenuEntry { EditImage, Recognise, Cut, Copy, Delete, Forward, Backward, ToFront, ToBack, Group, Ungroup };

    // Geometry helpers
    bool hasPages() const;
    bool syncLayout() const;
    bool syncLayoutWaiting(int waitMs) const;
    QSize pagePixelSize(int page) const;
    QSizeF pagePointSize(int page) const;
    QTransform pageTopToViewport(int page) const;
    QTransform viewportToPageTop(int page) const;
    QRectF pdfToPageTopRect(int page, const QRectF& pdfRect) const;
    QRectF pageTopToPdfRect(int page, const QRectF& pageTopRect) const;
    QRect laidOutPageRect(int page) const;
    QPair<int, int> visiblePageRange() const;
    void dropRenderedState();
    void applyZoomKeepingContentPoint(double zoom, const QPointF& anchor);
    double initialZoomFor(int page) const;

    // Painting
    void paintPages(QPainter& painter);
    void paintBackground(QPainter& painter);
    void paintPage(QPainter& painter, int page);
    void paintPageImage(QPainter& painter, const QImage& image, const QRect& target);
    void paintSearchHits(QPainter& painter, int page);
    void paintTextSelection(QPainter& painter, int page);
    void paintRegionSelection(QPainter& painter, int page);
    void paintBlocks(QPainter& painter, int page, const QImage& pageImage, const QRect& pageRect);
    void eraseChangedBlockInk(QPainter& painter, int page, const QImage& pageImage, const QRect& pageRect);
    // What the page draws over its text, drawn again over the changed
    // blocks' old places: a line shown anew stays under a box laid over it.
    void paintCoversOverChangedInk(QPainter& painter, int page, const QImage& pageImage, const QRect& pageRect);
    const std::vector<pdfengine::GlyphMark>& glyphMarks(int page);
    void paintBlock(QPainter& painter, int index, bool inkLayerPage);
    void paintBlockOutline(QPainter& painter, int index, const QRect& r);
    void paintBlockDebugLabel(QPainter& painter, int index, const QRect& r);
    void paintBlockGroups(QPainter& painter);
    void paintTextBlockPreview(QPainter& painter, int index, const QRect& r);
    void paintActiveTextBlock(QPainter& painter, const QRect& r);
    // The edited page as a save would write its blocks, once the editor holds
    // no typing of its own; null until the render thread has it, or when the
    // write fails (the blocks are then drawn over the page as before).
    QImage writtenPageImage(int page);
    bool editorHoldsTyping() const;
    void onWrittenPageRendered(const WrittenPageKey& key, const QImage& image);
    QRect activeTextBox() const;
    void drawTurnedPreview(QPainter& painter, const TextBlock& block, const QRect& r, QTextEdit* caretEditor,
                           bool withText = true);
    bool activeBlockShowsEdits() const;
    bool erasesOldInk(int index) const;
    void paintInkMasks(QPainter& painter, int page);
    void drawBlockImage(QPainter& painter, const TextBlock& block, const QRectF& r, const QImage& image);
    bool isInkLayerPage(int page) const;
    static bool isInkImageBlock(const TextBlock& block);

    // Rendering on the render thread; the GUI thread never waits on the engine
    // lock for page images or, once a document is shown, for page sizes.
    void startRenderWorker();
    void stopRenderWorker();
    PageRenderKey renderKey(int page, PdfRenderLayer layer, bool transparentBackground) const;
    const PageCache* findCachedPage(const PageRenderKey& key) const;
    QImage pageImageForPaint(int page, PdfRenderLayer layer);
    void requestRender(const PageRenderKey& key);
    void onPageRendered(const PageRenderKey& key, const QImage& image);
    void onPageSizesRead(const QList<QSizeF>& sizes, quint64 revision);
    void applyPageSizes(std::vector<QSizeF> sizes, quint64 revision) const;
    bool layoutIsStale() const;
    // Page sizes read after the owner was answered without them: the pending
    // page is shown, or the current one announced again.
    void followLaidOutPages();
    void retirePageImages();

    // Selection and input helpers
    // The page's lines; without wait a page whose text is not at hand yet is
    // asked of the render thread and gives none meanwhile (pointer moves).
    std::vector<SelectableLine> selectableLines(int page, bool wait = true);
    bool selectableTextAt(const QPoint& viewportPoint, bool wait);
    void prefetchPageText(int page);
    void onPageTextRead(int page, quint64 revision, const std::vector<TextBlock>& blocks);
    static std::vector<SelectableLine> selectableLinesOfBlocks(const std::vector<TextBlock>& blocks);
    void updateInteractiveSelectionPreview();
    void updateSelectionEndFromViewport(const QPoint& viewportPoint);
    void finishDragSelection(const QPoint& position);
    void finishTextSelection();
    void startDragSelection(const QPoint& position);
    void updateHoverCursor(const QPoint& position);
    void updateBlockCursor(const QPoint& position);
    bool goToPage(int page);
    bool openLinkTarget(const PdfDocument::LinkTarget& target);
    bool openExternalUrl(const QUrl& url);
    void scrollRectIntoView(const QRectF& viewportRect, int margin);
    void copyTextToClipboard(const QString& text);
    QPointF pageTopToPdfPoint(int page, const QPointF& pageTopPoint) const;
    bool pressInEditMode(const QPoint& position, const QPoint& global);
    void releaseClickInEditMode(const QPoint& position);
    void placeEditorCursorAt(const QPoint& viewportPos);
    int editorPositionAt(const QPoint& viewportPos, bool character) const;
    std::optional<QPointF> pointOnItsLine(const TextBlock& block, const QPoint& viewportPos, const QRectF& box) const;
    void styleInlineEditorText();
    void rescaleInlineEditor(double factor);
    void selectEditorWordAt(const QPoint& viewportPos);
    void doubleClickInEditMode(const QPoint& viewportPos);
    bool editModeKey(QKeyEvent* event);
    void activateNeighbourBlock(bool backward);
    void runBlockMenuAction(BlockMenuEntry entry);
    void requestOcrOfSelectedImageBlock();

    // Block model helpers
    bool validBlock(int index) const { return m_edits->validBlock(index); }
    void showEdits(PageEdits* edits);
    std::vector<TurnedBox> oldPlacesToErase() const;
    QRectF blockPageTopRect(const TextBlock& block) const;
    QRectF viewportRectToBlockRect(const QRect& viewportRect) const;
    QRectF textOutgrowthPageTopRect(int index, const QRectF& blockPageTop) const;
    QRect blockScreenRect(int index, bool withMinimum) const;
    QRect blockOutlineRect(int index) const;
    void ensureBlockEditorFrame();
    void applyEditorToBlock(TextBlock& block, bool force) const;
    void buildEditorDocument(const TextBlock& block);
    void connectActiveTextEditorSignals(QTextEdit* editor);
    void disconnectActiveTextEditor();
    void onActiveTextChanged();
    void queueFitActiveBlock();
    QRect grownToEditorContent(QRect r, const QRect& bounds) const;
    bool blockEditorActive() const;
    void mergeActiveTextFormat(const QTextCharFormat& format);
    double lineSizeAtCursor(const QTextCharFormat& format, double shown) const;
    void mergeActiveBlockFormat(const QTextBlockFormat& format);
    void writeBackAfterFormat(bool queueFit);
    void makeActiveTextList(const QString& label, int style);
    bool canAdoptBlockPage(int page);
    void adoptBlockPage(int page);
    void paintPlacementPreview(QPainter& painter, int page);
    QRectF placementRectAt(int page, const QPointF& pageTopCentre) const;
    bool placeImageAt(const QPoint& position);
    void scrollActiveBlockIntoView();
    void setUpFrameFor(const TextBlock& block);

    // document
    PdfDocument* m_document = nullptr;
    std::shared_ptr<PdfDocument> m_documentHold;  // empty when shown by a bare pointer
    mutable PageLayout m_layout;
    mutable quint64 m_layoutRevision = 0;
    quint64 m_scrollBarsRevision = 0;

    // view
    double m_zoom = 1.0;
    // The page's picture while its blocks are painted: corrected scan lines draw their kept words from it.
    const PreviewPagePixels* m_previewPixels = nullptr;
    int m_viewRotation = 0;
    QHash<int, int> m_pageViewRotations;
    int m_currentPage = 0;
    ViewMode m_viewMode = Continuous;
    bool m_darkCanvas = false;
    QString m_emptyPlaceholderText;
    bool m_ocrDebugLabelsVisible = false;

    // cache
    QList<PageCache> m_pageCache;
    int m_pageRenderCount = 0;
    struct PageText {
        quint64 revision = 0;
        std::vector<SelectableLine> lines;
    };
    QHash<int, PageText> m_pageTexts;
    // The edited page's glyphs, for its revision.
    struct GlyphMarks {
        int page = -1;
        quint64 revision = 0;
        std::vector<pdfengine::GlyphMark> marks;
    };
    GlyphMarks m_glyphMarks;
    // What the edited page draws over its text, alone, for its revision and size.
    struct Covers {
        int page = -1;
        quint64 revision = 0;
        QSize size;
        QImage image;
    };
    Covers m_covers;
    // The newest written page answered, the one asked for last, and whether
    // the page now painting is that picture (its blocks then draw no text).
    struct WrittenPage {
        WrittenPageKey key;
        QImage image;
    };
    std::optional<WrittenPage> m_writtenPage;
    std::optional<WrittenPageKey> m_writtenAsked;
    bool m_paintWantsWritten = false;
    bool m_pageShownAsWritten = false;

    // render thread
    QThread* m_renderThread = nullptr;
    PageRenderWorker* m_renderWorker = nullptr;
    quint64 m_renderGeneration = 0;
    QList<PageRenderKey> m_paintWanted; // renders the last paint asked for
    bool m_painting = false;
    QList<PageCache> m_staleImages;     // drawn scaled until a page's new image arrives
    mutable bool m_layoutRead = false;  // page sizes of this document read at least once
    mutable bool m_layoutFrozen = false; // during a paint: page sizes stay as they were
    mutable quint64 m_sizesAskedRevision = ~quint64(0);
    bool m_initialZoomPending = false;
    // Asked for before the page sizes of the document's revision were read:
    // the page to show when they come (-1: none).
    int m_pendingPage = -1;
    // While a page asked for is scrolled into view: the scroll does not pick
    // another page (a short last page never reaches the top).
    bool m_placingPage = false;
    mutable bool m_ownerSawStaleCount = false;  // pageCount() answered from sizes of an older revision
    QPair<int, quint64> m_textAsked{-1, 0}; // page text last asked of the render thread, and its revision

    // selection
    QPoint m_pressPoint;
    QPoint m_currentPoint;
    int m_selectionPage = -1;
    QPointF m_selectionStart;
    QPointF m_selectionEnd;
    int m_lastRegionPage = -1;
    QRectF m_lastRegionRect;
    bool m_regionSelectionShown = false;
    bool m_dragSelecting = false;
    QRubberBand* m_rubberBand = nullptr;
    QString m_selectedText;
    SelectionMode m_selectionMode = NoSelection;
    int m_selectionHighlightPage = -1;
    QList<QRectF> m_selectionHighlights;

    // panning
    bool m_panning = false;
    QPoint m_panPressPoint;
    int m_panStartH = 0;
    int m_panStartV = 0;

    // search
    int m_searchPage = -1;
    QList<QRectF> m_searchHits;
    int m_currentSearchHit = -1;
    int m_currentSearchHitCount = 1;

    // the page's edits on show, and the view's selection in them
    PageEdits m_ownEdits;
    PageEdits* m_edits = &m_ownEdits;
    QSet<int> m_selectedBlocks;
    int m_activeBlock = -1;
    int m_hoveredBlock = -1;

    // block editor
    BlockEditorFrame* m_blockFrame = nullptr;
    bool m_applyingEditorChange = false;
    bool m_fittingActiveBlock = false;
    // The active block as it was when the running frame drag began.
    std::optional<TextBlock> m_frameDragStartBlock;

    // inline insertion editor
    QFrame* m_inlineFrame = nullptr;
    QTextEdit* m_inlineEditor = nullptr;
    int m_inlinePage = -1;
    QRectF m_inlineRect;

    // image placement preview
    QList<QImage> m_placementImages;
    QSizeF m_placementSize = QSizeF(-1, -1);
    bool m_placementActive = false;
    QPoint m_placementCursor;

    // undo
    bool m_restoringSnapshot = false;
    bool m_editorUndoCaptured = false;
    int m_editorUndoBlock = -1;
    bool m_interactionUndoCaptured = false;

    // editing
    bool m_editMode = false;
    EditTool m_editTool = Select;
};
