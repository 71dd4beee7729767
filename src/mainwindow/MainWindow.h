#pragma once

#include "AppProduct.h"
#include "LayoutDetector.h"
#include "NativePageCache.h"
#include "PdfDocument.h"
#include "PageEdits.h"
#include "TextFormat.h"
#include "ToolButtonRules.h"
#include "TextBlock.h"

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRectF>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class CompressedPdfExportDialog;
class DocumentJob;
class FreeTextDialog;
class DocumentChanges;
class PrintDevice;
struct ScannedPdfExportOptions;
class OcrEngine;
class OcrProgressDialog;
class PageThumbnailPanel;
class PageToolsDialog;
class PdfDocument;
class PdfView;
enum class PageWriteEnd;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QUrl;
class QComboBox;
class QDialog;
class QFrame;
class QLabel;
class QListWidget;
class QPrinter;
class QProgressBar;
class QSpinBox;
class QTabBar;
class QTabWidget;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class ScanTab;
class TextFormatRequests;
struct UpdateCheckOutcome;

// The one top-level window. Features add their operations to it in files of
// their own (MainWindow_<feature>.cpp); all share this header.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // One document tab. The tab holds its document shared with the jobs that
    // read it; erasing the entry lets go of the tab's hold, and the document
    // goes with the last one.
    struct OpenDocumentState {
        std::shared_ptr<PdfDocument> document;
        QString path;  // absolute; empty for a document that has no file yet
        int page = 0;
        double zoom = 1.0;
        int viewMode = 1;  // a PdfView::ViewMode
        bool editMode = false;  // while another tab is shown; the view holds the shown one's
        std::unique_ptr<PageEdits> edits;
    };

    // One match of the search: its page and its place among the page's matches.
    struct SearchResult {
        int page = 0;
        int index = 0;
    };
    // A page's matches, each with its rectangles (one per line it runs over).
    using PageMatches = QList<QList<QRectF>>;

    static constexpr int kFormatButtonCount = FormatButtonCount;
    static constexpr int kMinAutoSaveMinutes = 1;
    static constexpr int kMaxAutoSaveMinutes = 120;

    explicit MainWindow(AppProduct product, QWidget* parent = nullptr);
    ~MainWindow() override;

    bool allowPdfEditing() const { return m_allowPdfEditing; }
    bool allowOcr() const { return m_allowOcr; }
    bool allowSignatures() const { return m_allowSignatures; }
    bool allowPageEditing() const { return m_allowPageEditing; }
    bool allowImports() const { return m_allowImports; }

    // Refreshes after a change of the document, page, edit mode or editor.
    void updateTitle();
    void updatePageControls();
    void updateEditModeUi();
    void setFontControlsEnabled(bool enabled);

    // Documents in tabs.
    void openFile(const QString& path);
    int openDocumentIndexForPath(const QString& path) const;
    void activateDocument(int index);
    void saveActiveDocumentUiState();
    void refreshDocumentTabs();
    // Pages built while no tab was open go into the initial document; this
    // gives them an untitled tab of their own so closing and saving see them.
    void adoptInitialDocumentAsTab();

    // The active document, or the empty initial one when no tab is open.
    PdfDocument* currentDocument() const { return document; }
    // The same, held: what a job or dialog working on it keeps.
    std::shared_ptr<PdfDocument> sharedCurrentDocument() const { return documentHold; }
    bool isDocumentLoaded() const;
    // Unsaved when modified; for the shown document, edited blocks not yet
    // written into it count too. The title, the tabs and the prompts ask this.
    bool hasUnsavedChanges(const PdfDocument* doc) const;

    // Closing documents, each after the save, discard or cancel prompt.
    bool closeDocumentAt(int index);
    bool confirmSave();
    bool confirmSaveAllDocuments();

    // A parentless ribbon button; with wire, its click runs the command its
    // icon and text name (toolCommandFor). A checkable one starts checked.
    QToolButton* toolButton(const QString& iconName, const QString& text, bool checkable, bool wire);
    QWidget* ribbonGroup(const QString& title, const QList<QWidget*>& widgets);

    // The autosave period in milliseconds for a stored number of minutes.
    static int autoSaveIntervalMs(int minutes);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    void onImageBlockEditRequested(QImage image);
    // Page navigation and zoom.
    void onPageSpinChanged(int value);
    void onFirstPage();
    void onPrevPage();
    void onNextPage();
    void onLastPage();
    void onThumbnailPageSelected(int page);
    void onZoomIn();
    void onZoomOut();
    void onZoomFit();
    void onZoomFitWidth();
    void onZoomChanged(double zoom);
    void onZoomComboChanged(const QString& text);
    void onPageChanged(int page);
    void onToggleThumbnails();
    void onViewModeSingle();
    void onViewModeContinuous();

    // The OCR result bar.
    void onOcrCancel();

    // Saving and closing.
    void onOpen();
    void onSave();
    void onSaveAs();
    void autoSaveIfNeeded();
    void showUnsavedChangesDialog();

    // The Home tab's format controls follow the active in-place editor.
    void onActiveTextFormatChanged(const QString& family, int size, bool bold, bool italic, bool underline,
                                   bool strikeOut, bool superscript, bool subscript, Qt::Alignment alignment);
    void toggleFullScreen();

private:
    // The ribbon, its Home tab and the floating bar.
    void connectToolCommand(QToolButton* button, ToolCommand command);
    QTabWidget* buildRibbon();
    void restoreRibbonTab();
    QWidget* buildHomeTab();
    QWidget* buildFileGroup();
    QWidget* buildToolsGroup();
    QWidget* buildEditGroup();
    QWidget* buildFontGroup();
    QWidget* buildParagraphGroup();
    QToolButton* formatButton(FormatButton which);
    void connectFormatButtons();
    void connectFormatRequestsToView();
    void undoBlockEdit();
    void redoBlockEdit();
    void chooseFormatColor(bool background);
    QWidget* buildFloatingBar();
    using ButtonFactory = QToolButton* (*)(const QString&, const QString&, bool);
    std::pair<QToolButton*, QToolButton*> editToolButtons(ButtonFactory factory);
    void setupShortcuts();

    // Saving.
    bool saveOrSaveAs();
    bool saveActiveDocument();
    bool saveActiveDocumentAs();
    bool writePendingBlockEdits();
    void showBlocksAgainAfterSave();
    bool writeActiveDocument(QString* error);
    bool saveDocumentFile(const std::shared_ptr<PdfDocument>& doc, const QString& path, QString* error);
    bool writeInBackground(const std::shared_ptr<PdfDocument>& doc, const QString& path,
                           PdfDocument::SignedRevisions signedRevisions, bool* stopped);
    bool finishActiveSave();
    bool offerSaveElsewhere(const QString& error);
    static QString readOnlyReason(const QString& path);
    void autoSaveWithShownEdits();
    void runAutoSave(const std::vector<TextBlock>& blocks, int page, const QByteArray& state);
    QByteArray autoSaveFingerprint(int page, const std::vector<TextBlock>& blocks) const;
    void autoSaveSucceeded();
    QString askSaveAsTarget(const QString& startPath);
    bool saveOtherTab(PdfDocument& doc);
    bool saveActiveBeforeClose();
    void setupAutoSaveTimer();
    void reportAutoSaveFailure(const QString& error);
    void showNoDocumentState();
    void storeWindowState();

    void setCapabilitiesFor(AppProduct edition);
    QWidget* buildWorkspace();
    QWidget* buildLeftPanel();
    QWidget* buildStatusRow(QWidget* parent);
    void setupOcrBar();
    void connectViewAndThumbnails();
    void restoreWindowState();
    void scheduleLastDocumentRestore();
    void setStatusText(const QString& text);
    // The file name of a tab's path, or "Безымянный" for a document without a file.
    static QString documentDisplayName(const QString& path);
    void appendAndActivate(std::shared_ptr<PdfDocument> opened, const QString& path);
    void resetPerDocumentState();
    void clampedSetCurrentPage(int page);
    bool keepsOpenEditor(int page) const;
    void showBlocksOfPage(int page);
    void followBlockPageOnPress();

    PageThumbnailPanel* thumbnailPanel = nullptr;
    PdfView* pdfView = nullptr;
    QWidget* leftPanel = nullptr;
    QTabWidget* leftPanelTabs = nullptr;
    QTreeWidget* outlineTree = nullptr;
    QWidget* floatingBar = nullptr;
    QTabBar* documentTabs = nullptr;
    QTabWidget* ribbon = nullptr;
    QDialog* scanDialog = nullptr;
    ScanTab* scanTab = nullptr;
    QTimer* autoSaveTimer = nullptr;
    QLabel* pageCountLabel = nullptr;
    QSpinBox* pageSpin = nullptr;
    QLabel* pageTotalLabel = nullptr;
    QComboBox* fontCombo = nullptr;
    QSpinBox* fontSizeSpin = nullptr;
    std::array<QToolButton*, kFormatButtonCount> formatButtons{};
    bool updatingFormatControls = false;
    TextFormatRequests* formatRequests = nullptr;
    QToolButton* firstPageButton = nullptr;
    QToolButton* prevPageButton = nullptr;
    QToolButton* nextPageButton = nullptr;
    QToolButton* lastPageButton = nullptr;
    QToolButton* saveButton = nullptr;
    QToolButton* undoButton = nullptr;
    QToolButton* redoButton = nullptr;
    QToolButton* ocrButton = nullptr;
    QToolButton* compressButton = nullptr;
    QToolButton* insertPageButton = nullptr;
    QToolButton* removePageButton = nullptr;
    QToolButton* editModeButton = nullptr;
    QLabel* statusLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QFrame* ocrBar = nullptr;
    QLabel* ocrBarLabel = nullptr;
    int lastOcrPage = -1;
    QList<QImage> pendingImages;
    double pendingImageWidth = -1.0;
    double pendingImageHeight = -1.0;
    std::shared_ptr<PdfDocument> initialDocument;
    PdfDocument* document = nullptr;
    std::shared_ptr<PdfDocument> documentHold;  // keeps document alive while it is set
    std::vector<OpenDocumentState> openDocuments;
    int activeIndex = -1;
    OcrEngine* ocrEngine = nullptr;
    LayoutDetector layoutDetector;
    bool busy = false;
    bool autoSaveFailureShown = false;
    QByteArray autoSavedState;  // what the last autosave through a copy wrote
    QPointer<DocumentJob> autoSaveJob;  // while an autosave writes
    SearchResult currentSearchResult;
    QString searchQuery;
    QList<SearchResult> searchResults;
    QString searchSignature;
    int currentSearchIndex = -1;
    int ocrRegionPage = -1;
    QRectF ocrRegion;
    AppProduct product;
    bool m_allowPdfEditing = false;
    bool m_allowOcr = false;
    bool m_allowSignatures = false;
    bool m_allowPageEditing = false;
    bool m_allowImports = false;
    bool allowFacsimiles = false;
    bool allowMarkup = false;

    // OCR runs, the page's own text layer and whole-document OCR
    // (MainWindow_ocr.cpp, MainWindow_textlayer.cpp, MainWindow_ocrdocument.cpp).
public:
    // Writes the view's changed blocks into their page; false when that
    // failed (a warning was shown) and the caller must stop.
    bool applyPendingOcrEdits();
    bool commitShownEdits(const QString& pageError, const QString& writeError);
    void warnWriteFailed(const QString& writeError);
    // Shows the page's own text as editable blocks; false when the page has
    // no usable text layer and needs recognition.
    bool loadNativeTextLayerForPage(int page, bool reportStatus);
    // Offers recognition of a page without text before blocks are inserted.
    bool ensureOcrReady();
    void runOcrPage(bool regionOnly);
    // Starts recognising the pages without text of their own on worker
    // threads; bar and log (may be null) follow it. ocrDocumentRunFinished
    // tells when it ended.
    void runOcrDocument(QProgressBar* bar, QListWidget* log);
    // Drops the recognition engine (its languages changed); during a run it
    // goes when the run ends.
    void discardOcrEngine();

public slots:
    void onRunOcrRegion(int page, QRectF rect);
    void onOcrFinished(std::vector<TextBlock> blocks);
    void onOcrEmbed();
    void onToggleEditMode();
    void showOcrProgressDialog();

private:
    void connectOcrOperations();
    void switchEditModeOn();
    bool ensureOcrEngine();
    void endOcrRun();
    bool writeBlocksIntoPage(int page, const std::vector<TextBlock>& blocks, const QString& pageError,
                             const QString& writeError);
    // The blocks written into page behind the page write's prompt: how that
    // ended, warned with writeError when it failed. Outside a save a stop
    // the write came too far to heed is no stop.
    PageWriteEnd writeShownBlocks(int page, const std::vector<TextBlock>& blocks, const QString& writeError);
    void forgetShownBlocks();
    void onUnsavedBlocksReplaced(int page, const std::vector<TextBlock>& blocks);
    bool writeBackBeforePageChange(int page);
    // True (and the user told why) while a whole-document run holds the
    // window: switching, opening and closing documents wait for it.
    bool refuseWhileOcrRuns();
    // A close of the window while a run lasts: asks, stops the run and closes
    // once it ended; true while the close must wait.
    bool holdCloseForOcrRun();
    void recognisePages(const QList<int>& pages, const QList<int>& skipped);
    void onDocumentPageRecognized(int page, std::vector<TextBlock> blocks);
    bool writeRecognisedPage(PdfDocument& target, int page, const std::vector<TextBlock>& blocks);
    void stopOcrDocumentRun();
    void finishOcrDocumentRun(bool cancelled);
    struct DocumentOcrRun;
    std::shared_ptr<DocumentOcrRun> documentOcrRun;
    void finishPageOcr();
    void closeIfAskedDuringRun();
    struct PageOcrJob;
    std::shared_ptr<PageOcrJob> pageOcrJob;
    bool closeAfterOcrRun = false;
    bool ocrEngineDiscardPending = false;
    QPointer<OcrProgressDialog> ocrProgressDialog;
    NativePageCache nativePages;

    // Page operations (MainWindow_pages.cpp).
public slots:
    void onRotateCW();
    void onRotateCCW();
    void onInsertBlankPage();
    void onDeleteCurrentPage();
    void onDuplicatePage();
    void onClearPage();
    void onInsertPageRequested(int index);
    void onDeletePageRequested(int index);
    void onMovePageRequested(int from, int to);

private:
    bool readyForPageChange();
    bool pagesMayChange();
    void refreshAfterPageChange(int page);
    void reportPageFailure(const QString& what);
    void rotateCurrentPage(int degrees);
    void insertBlankPageAt(int index);
    void deletePageAt(int index);

    // Files imported as pages (MainWindow_import.cpp).
public:
    enum class ImportSource { AnyFiles, Pdf, Images, Document };
    // Adds the file's pages at the end (position 0), after the current page
    // (1) or before it (any other value); the view stays on the current page.
    // The error is the reason a file was not imported.
    bool importFile(const QString& path, int position, QString* error = nullptr);
    // The Insert tab's sources, at one of importFile's positions.
    void importFilesAtPosition(ImportSource source, int position);

public slots:
    void showImportDialog();
    void showOpenPdfDialog();
    void onImportPageRequested(int index);

private:
    static int importStartPage(int position, int currentPage);
    static QString anyFileImportFilter();
    int importFileAt(const QString& path, int start, QString* error);
    int importFilesAt(const QStringList& paths, int start, QStringList* failures);
    // Spreadsheets as pages (MainWindow_spreadsheet.cpp).
    bool importSpreadsheetPages(const QString& path, QString* error, bool* skipped);

public:
    static constexpr int kImportSkipped = -2; // cancelled, or refused with a notice
    // One workbook through its import dialog, its pages appended to target
    // (for the page tools' import too). The pages added; -1 with the reason
    // when none came; kImportSkipped, with nothing added, when the user
    // cancelled or was already told why not.
    int appendSpreadsheetPages(PdfDocument& target, const QString& path, QString* error);

private:
    bool ensureDocumentForImport(bool standardBox);

    // Files dropped on the window (MainWindow_drop.cpp).
    bool dropFile(const QUrl& url);

    // The Insert, Pages and View tabs (MainWindow_tabs.cpp).
    QWidget* buildImportTab();
    QWidget* buildPageTab();
    QWidget* buildViewTab();
    void reportImportFailures(const QString& title, const QString& lead, const QStringList& failures);

    // The compressed-PDF export (MainWindow_compress.cpp).
public:
    // path: the wanted output ("" derives it from the document). True when
    // the compressed file was written.
    bool showCompressedPdfExportDialog(const QString& path = QString(), bool shellMode = false);

private:
    QString proposedCompressedPdfPath(const QString& path) const;
    bool writeCompressedPdf(const CompressedPdfExportDialog& dialog, bool shellMode);

    // The clipboard and new blocks on the page (MainWindow_clipboard.cpp,
    // MainWindow_insert.cpp).
public slots:
    void onEditCopy();
    void onCopySelectedText();
    void onEditPaste();
    void onTextSelected(const QString& text);
    void onEditInsertText();
    void onEditInsertImage();
    void onTextInserted(int page, QRectF rect, QString text);
    void onImageRectReady(int page, QRectF rect);

public:
    // Where a pasted picture of that many pixels goes on a page without a
    // stored region: centred, PDF points from the bottom-left corner.
    static QRectF pastePlacement(const QSizeF& page, const QSize& picture);
    // Where a picture goes whose top-left corner is put at topLeft (page
    // points, origin top-left, as the result): at its own size (its
    // resolution, else 96 dots per inch) and aspect, scaled down only to fit
    // the page and moved back onto it where it would run off.
    static QRectF pictureRectAt(const QSizeF& page, const QPointF& topLeft, const QImage& picture);

private:
    QImage copiedPicture(int page) const;
    void startInsertTool(int tool, const QString& hint);

    // The markup tab (MainWindow_markup.cpp, FreeTextDialog,
    // AnnotationPropertiesDialog).
public slots:
    void showAnnotationPropertiesDialog();
    void addNote();
    FreeTextDialog* openFreeTextWindow();

public:
    // Marks the stored selection (kind 0 highlight, 1 underline, 2 strike-out).
    bool markSelection(int kind, const QString& name, const QColor& color);
    // Free text into target, if this window still holds it open.
    bool writeFreeText(const std::shared_ptr<PdfDocument>& target, int page, const QRectF& rect, const QString& text,
                       const QString& family, float size, const QColor& color);
    bool holdsDocument(const PdfDocument* doc) const;

private:
    QWidget* buildCommentTab();
    bool hasUsableSelection() const;
    QRectF selectionInPdf() const;
    void consumeSelection();
    void reportMarkupOutcome(const QString& title, const QString& text);
    void closeFreeTextWindowsOf(const PdfDocument* doc);

    // The outline panel (MainWindow_outline.cpp).
public:
    void refreshOutlinePanel();

private slots:
    void onOutlineItemActivated(QTreeWidgetItem* item, int column);

private:
    void appendOutlineItems(const QList<PdfDocument::OutlineItem>& items, QTreeWidgetItem* parent);

    // Search over the active document (MainWindow_search.cpp, SearchDialog).
public slots:
    void showSearchDialog();
    void onFindNext(const QString& query, bool matchCase, bool wholeWord, bool useRegex, bool backward);
    // Stops the running search; its callers are told -1.
    void stopSearch();

signals:
    // Pages searched of all while a search runs on its job's thread.
    void searchProgress(int done, int total);
    void searchEnded();

public:
    // Fills the result list for query and options, the pages searched on a
    // job's thread (the same search of the same unchanged document is not
    // searched again). done runs on the GUI thread with the number of
    // entries, or -1 when the search was stopped or its tab left; a search
    // that ends within a moment has run done before this returns.
    void searchDocument(const QString& query, const PdfDocument::FindOptions& options,
                        std::function<void(int)> done);
    bool searchRunning() const;
    int firstSearchResultFromPage(int page, bool backward) const;
    void activateSearchResult(int index, const QString& query, const PdfDocument::FindOptions& options);
    const QList<SearchResult>& searchResultList() const { return searchResults; }
    int currentSearchEntry() const { return currentSearchIndex; }
    SearchResult currentSearchHit() const { return currentSearchResult; }
    QString lastSearchQuery() const { return searchQuery; }
    QString currentSearchSignature() const { return searchSignature; }
    void showStatusText(const QString& text) { setStatusText(text); }

private:
    PageMatches searchPageMatches(int page, const QString& query, const PdfDocument::FindOptions& options);
    void listSearchEntries();
    void startSearchRun(const QString& query, const PdfDocument::FindOptions& options, std::function<void(int)> done);
    void waitForSearchBriefly();
    void finishSearchRun(bool cancelled);
    void dropSearchRun();
    void showFoundEntry(int index, const QString& query, const PdfDocument::FindOptions& options);
    // The matches of the last search, per page, while the document stays the
    // same revision.
    struct SearchPageRects {
        const PdfDocument* document = nullptr;
        quint64 revision = 0;
        QString signature;
        std::vector<PageMatches> pages;
    };
    SearchPageRects searchRectCache;
    struct SearchRun;
    std::shared_ptr<SearchRun> searchRun;  // shared: the type is known in MainWindow_search.cpp only

    // The page tools, the update check, the information windows, document
    // properties and special characters (MainWindow_pagetools.cpp,
    // MainWindow_updates.cpp, MainWindow_infowindows.cpp).
public:
    // In shell mode (the file manager's merge) the dialog is application-
    // modal, and the application ends with it while the window is hidden.
    void showPageToolsDialog(const QList<QString>& files, bool shellMode);

public slots:
    void checkForUpdates();
    void showAboutDialog();
    void showPasswordDialog();
    void showLoadErrorDialog();
    void showDocumentPropertiesDialog();
    void showSpecialCharactersDialog();

private:
    void applyPageTools(PageToolsDialog* dialog);
    bool insertFromPageTools(const PageToolsDialog& dialog);
    bool extractFromPageTools(const PageToolsDialog& dialog);
    bool mergeFromPageTools(const PageToolsDialog& dialog);
    bool saveOpenMergeSources(const QStringList& paths);
    // The save dialog's name with ".pdf" added the way askSaveAsTarget adds it.
    QString askPdfSaveTarget(const QString& title, const QString& startPath, const QString& filter);
    // True (and told) when path is the file of an open document.
    bool refuseOpenDocumentTarget(const QString& title, const QString& path);
    void showUpdateResult(const UpdateCheckOutcome& outcome);

    // Printing, saving in other formats, the scanned-look export and the
    // file-manager actions (MainWindow_print.cpp, MainWindow_export.cpp,
    // MainWindow_scanned.cpp, MainWindow_shell.cpp).
public:
    using PrintDeviceFactory = std::function<std::unique_ptr<PrintDevice>()>;
    // What onPrint prints on; a system printer when none is set.
    void setPrintDeviceFactory(PrintDeviceFactory factory);
    // The page as the view shows it: the render with the view's edited,
    // moved, turned and inserted blocks painted over it. Null without a page.
    QImage renderPageForScannedExport(int pageIndex, double scale) const;
    // path: the proposed output ("" derives it). True when written.
    bool showScannedPdfExportDialog(const QString& path);
    // action: "merge", "compress" or "sign"; with quitOnError every refusal,
    // and a step whose dialog closed while the window is hidden, ends the run.
    void runShellAction(const QString& action, const QList<QString>& files, bool quitOnError);

public slots:
    void showPrintDialog();
    void onPrint();
    void showSaveExportDialog();
    void onExportOcrText();

private:
    // Autosave waits while a job reads the whole document.
    struct OutputJobScope {
        explicit OutputJobScope(MainWindow* owner) : window(owner) { window->outputJobRunning = true; }
        ~OutputJobScope() { window->outputJobRunning = false; }
        OutputJobScope(const OutputJobScope&) = delete;
        OutputJobScope& operator=(const OutputJobScope&) = delete;
        MainWindow* window;
    };
    bool saveActiveDocumentTo(const QString& path, QString* error);
    bool confirmOutputTarget(const QString& title, const QString& target);
    bool confirmPrintTarget(QPrinter& printer, const QString& allowed);
    bool refuseOtherTabsFile(const PdfDocument* writer, const QString& path);
    void saveExportAsPdf(const QString& path);
    void exportInFormat(const QString& path, const QString& format, const QString& suffix, int dpi);
    bool writeScannedPdf(const ScannedPdfExportOptions& options);
    PrintDeviceFactory printDeviceFactory;
    bool outputJobRunning = false;

    // The scanner window and scanned pages (MainWindow_scan.cpp).
public slots:
    void showScanDialog();
    void onPageScanned(QImage image);

public:
    bool ocrDocumentRunning() const;

    // Themes, the interface density, the stored preferences and the settings
    // dialog (MainWindow_appearance.cpp, MainWindow_settings.cpp).
public:
    // Sets the file's text as the application style sheet; a file that
    // cannot be read leaves the sheet in force.
    void applyStyleFile(const QString& path);
    // Sizes the ribbon's buttons and the font boxes; stores the density
    // clamped to 0 (compact) .. 2 (large). A button whose label needs more
    // room than its density gives is made wide enough for it.
    void applyUiDensity(int density);
    // Widens the ribbon's buttons whose labels (translated since) no longer fit.
    void fitRibbonLabels();
    // Pushes the stored interface settings into the window and translates
    // every open window into the stored language.
    void applyStoredSettings();
    // The window at its first size, made to fit the screen's free area and
    // centred on it.
    void placeFirstWindow();

public slots:
    void setLightTheme();
    void setDarkTheme();
    void showSettingsDialog();

private:
    friend class SettingsDialog;

    // The shown document's announcements (MainWindow_changes.cpp). The view,
    // the thumbnails, the text-layer cache, the title and the ribbon follow
    // the document's own signals (DocumentChanges): a command changes the
    // document and refreshes nothing. Before pages are inserted, removed,
    // moved or turned the document asks, and the shown edits are written
    // first (applyPendingOcrEdits); while recognition runs, or when the edits
    // cannot be written, the change is refused and the operation fails.
public:
    // The active document with the shown edits written into it: what every
    // operation that reads the whole document (export, printing, compression,
    // signing, page tools) works on. Null when none is open or the edits
    // could not be written (a warning was shown).
    std::shared_ptr<PdfDocument> documentForReading();
    // While one lives, page changes are followed once, when the last batch
    // ends, showing the page given to show() (or the one the last change
    // named): for a command made of many engine calls (imports, reordering).
    class PageChangeBatch {
    public:
        explicit PageChangeBatch(MainWindow& window) : window(window) { ++window.pageChangeBatches; }
        ~PageChangeBatch() { window.endPageChangeBatch(); }
        PageChangeBatch(const PageChangeBatch&) = delete;
        PageChangeBatch& operator=(const PageChangeBatch&) = delete;
        void show(int page) { window.batchShownPage = page; }

    private:
        MainWindow& window;
    };

private:
    void followShownDocument();
    void beforeDocumentChange();
    void followPageSequence(int page, bool turned = false);
    void followPageContent(int page);
    void followSave(const QString& path);
    void endPageChangeBatch();
    QPointer<DocumentChanges> followedChanges;
    int pageChangeBatches = 0;
    int batchChangedPage = -1;  // the page the last change in a batch named; -1: nothing changed
    int batchShownPage = -1;
    bool committingBeforeChange = false;
    bool savingPageEdits = false;  // the page's edits are written for a save: its prompt tells of the save
    bool quietPageWrites = false;  // a whole-document run writes page after page: the view catches up at its end

signals:
    void ocrDocumentRunFinished();
    // A page or region recognition started by runOcrPage has ended.
    void ocrPageRunFinished();

    // Signing (MainWindow_signing.cpp): the signature dialog and the roads
    // into it. Every signature is made by a child of the program.
public:
    // The program started as the signing child; empty means the program
    // itself. Tests stand a script in.
    void setSigningWorkerProgram(const QString& program) { signingWorkerProgram = program; }
    // What ends the run of the signing edition and of a file-manager signing
    // step; QCoreApplication::quit unless replaced.
    void setSigningQuit(std::function<void()> quit) { signingQuit = std::move(quit); }
    // The signing edition's start: the existing files given, or a choice.
    void showEcpStartup(const QStringList& files);

public slots:
    void showSignatureDialog(bool shellMode, const QStringList& batchPaths, const QStringList& skippedPaths,
                             const QString& inputOverridePath);

private:
    // Existing regular files, absolute, each once, in the given order.
    static QStringList existingFilesOnce(const QStringList& paths);
    void runShellSigning(const QStringList& pdfFiles, const QStringList& rejectedFiles, bool shellMode);
    void quitSigning();
    QString signingWorkerProgram;
    std::function<void()> signingQuit;

    // Facsimiles (MainWindow_facsimile.cpp).
public:
    QString facsimileDir() const;
    QStringList facsimileFiles() const;
    // Places the pending facsimile pictures into rect (page-top points) on
    // page, ends the placement and returns true; false, placing nothing,
    // when none are pending or they were abandoned (edit mode left).
    bool placePendingFacsimile(int page, const QRectF& rect);
    bool hasPendingFacsimile() const;
    // Forgets the pending facsimile pictures and size and the view's preview.
    void clearPendingFacsimile();
    // Chooses a view tool; any tool but placing an image ends a pending placement.
    void chooseEditTool(int tool);

public slots:
    void onFacsimileInsert();
    void onFacsimileAdd();
    void onFacsimileEdit();

private:
};
