// The window frame: construction, the left panel, the workspace, the hidden
// status row, and the window state restored from the settings.
#include "MainWindow.h"

#include "ButtonKit.h"
#include "DialogKit.h"
#include "OcrEngine.h"
#include "PageThumbnailPanel.h"
#include "PaintTexts.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "QtTranslations.h"
#include "RecentFiles.h"
#include "ShowLocalizer.h"
#include "UiTranslate.h"
#include "VornResources.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace {

constexpr int kLeftPanelWidth = 248;
constexpr int kDocumentTabsHeight = 36;
constexpr int kStatusProgressWidth = 150;
constexpr int kStatusSpacing = 8;
const QMargins kPanelHeaderMargins(16, 12, 16, 10);
const QMargins kStatusMargins(8, 0, 8, 0);

QVBoxLayout* bareVerticalLayout(QWidget* owner)
{
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

} // namespace

MainWindow::MainWindow(AppProduct edition, QWidget* parent)
    : QMainWindow(parent)
    , initialDocument(std::make_shared<PdfDocument>())
    , product(edition)
{
    initVornResources();
    // Before any widget: key names in tool tips come from Qt's catalogue.
    applyQtTranslations(QSettings().value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString());
    documentHold = initialDocument;
    document = documentHold.get();
    setCapabilitiesFor(edition);
    setWindowIcon(QIcon(I(QStringLiteral("vorn-app"))));  // its own colours in both themes

    thumbnailPanel = new PageThumbnailPanel(this);
    thumbnailPanel->setObjectName(QStringLiteral("ThumbScroll"));
    // The strip labels its pages itself, in the interface language.
    thumbnailPanel->setProperty("_vorn_i18n_skip_items", true);
    thumbnailPanel->setTextTranslator([](const QString& source) { return uiTranslate(source); });
    paint::setTextTranslator([](const QString& source) { return uiTranslate(source); });
    pdfView = new PdfView(this);
    if (m_allowOcr)
        setupOcrBar();

    auto* central = new QWidget(this);
    QVBoxLayout* centralLayout = bareVerticalLayout(central);
    centralLayout->addWidget(buildRibbon(), 0);
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(buildLeftPanel(), 0);
    body->addWidget(buildWorkspace(), 1);
    centralLayout->addLayout(body, 1);
    buildStatusRow(central);
    setCentralWidget(central);

    connectViewAndThumbnails();
    followShownDocument();
    setAcceptDrops(true);
    autoSaveTimer = new QTimer(this);
    autoSaveTimer->setObjectName(QStringLiteral("AutoSaveTimer"));
    connect(autoSaveTimer, &QTimer::timeout, this, &MainWindow::autoSaveIfNeeded);
    setupShortcuts();
    connectOcrOperations();
    placeFirstWindow();
    updateTitle();
    updatePageControls();
    updateEditModeUi();

    const bool fileManagerAction = qApp->property("vornShellDialogMode").toBool();
    QSettings settings;
    qApp->setProperty("uiLanguage", settings.value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString());
    if (!fileManagerAction)
        restoreWindowState();
    // The window keeps its own title; the translation pass leaves it.
    setProperty("_vorn_i18n_keep_title", true);
    qApp->installEventFilter(new ShowLocalizer(this));
    if (settings.value(QStringLiteral("ui/theme"), QStringLiteral("light")).toString() == QLatin1String("dark"))
        setDarkTheme();
    else
        setLightTheme();
    applyStoredSettings();
    if (!fileManagerAction && product != AppProduct::ecp)
        scheduleLastDocumentRestore();
}

MainWindow::~MainWindow()
{
    // The thumbnail thread may still be rendering the shown document: both
    // views let go of it (the strip waits for its thread) before it is deleted.
    thumbnailPanel->setDocument(nullptr);
    pdfView->setDocument(nullptr);
    documentOcrRun.reset();  // its workers read a document
    dropSearchRun();
    pageOcrJob.reset();      // its worker uses the engine
    openDocuments.clear();
    delete ocrEngine;
    // The widgets below are deleted by the base classes, when this window is
    // no longer one: a signal they send on the way out (an edit losing its
    // focus, a dialog's destroyed, which no block silences) must not reach it
    // or a lambda of it.
    for (QObject* child : findChildren<QObject*>()) {
        child->blockSignals(true);
        disconnect(child, nullptr, this, nullptr);
    }
}

void MainWindow::setCapabilitiesFor(AppProduct edition)
{
    const bool editor = edition == AppProduct::editor;
    m_allowPdfEditing = editor;
    m_allowOcr = editor;
    m_allowSignatures = editor || edition == AppProduct::ecp;
    m_allowPageEditing = editor;
    m_allowImports = editor;
    allowFacsimiles = editor || edition == AppProduct::viewer;
    allowMarkup = editor || edition == AppProduct::viewer;
}

bool MainWindow::isDocumentLoaded() const
{
    return document && document->isOpen();
}

QWidget* MainWindow::buildWorkspace()
{
    auto* workspace = new QWidget;
    workspace->setObjectName(QStringLiteral("Workspace"));
    QVBoxLayout* layout = bareVerticalLayout(workspace);

    documentTabs = new QTabBar;
    documentTabs->setObjectName(QStringLiteral("DocumentTabs"));
    documentTabs->setDocumentMode(true);
    documentTabs->setExpanding(false);
    documentTabs->setUsesScrollButtons(true);
    documentTabs->setFixedHeight(kDocumentTabsHeight);
    documentTabs->setTabsClosable(true);
    documentTabs->hide();
    connect(documentTabs, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0 && index != activeIndex)
            activateDocument(index);
    });
    connect(documentTabs, &QTabBar::tabCloseRequested, this, &MainWindow::closeDocumentAt);
    layout->addWidget(documentTabs, 0);

    pdfView->setObjectName(QStringLiteral("DocumentScroll"));
    pdfView->viewport()->setObjectName(QStringLiteral("DocumentCanvas"));
    layout->addWidget(pdfView, 1);
    floatingBar = buildFloatingBar();
    layout->addWidget(floatingBar, 0, Qt::AlignHCenter);
    return workspace;
}

QWidget* MainWindow::buildLeftPanel()
{
    leftPanel = new QWidget;
    leftPanel->setObjectName(QStringLiteral("LeftPanel"));
    leftPanel->setFixedWidth(kLeftPanelWidth);
    QVBoxLayout* layout = bareVerticalLayout(leftPanel);

    auto* header = new QWidget;
    header->setObjectName(QStringLiteral("PanelHeader"));
    auto* headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(kPanelHeaderMargins);
    headerLayout->setSpacing(1);
    headerLayout->addWidget(label(tr("Страницы"), QStringLiteral("PanelTitle")));
    pageCountLabel = label(tr("0 страниц"), QStringLiteral("PanelMeta"));
    headerLayout->addWidget(pageCountLabel);
    layout->addWidget(header);

    leftPanelTabs = new QTabWidget;
    leftPanelTabs->setObjectName(QStringLiteral("LeftPanelTabs"));
    leftPanelTabs->setDocumentMode(true);
    leftPanelTabs->addTab(thumbnailPanel, tr("Страницы"));

    auto* outlinePage = new QWidget;
    QVBoxLayout* outlineLayout = bareVerticalLayout(outlinePage);
    outlineTree = new QTreeWidget;
    outlineTree->setObjectName(QStringLiteral("OutlineTree"));
    outlineTree->setHeaderHidden(true);
    outlineTree->setRootIsDecorated(true);
    outlineTree->setUniformRowHeights(true);
    outlineTree->setAlternatingRowColors(false);
    outlineTree->setSelectionMode(QAbstractItemView::SingleSelection);
    outlineTree->setTextElideMode(Qt::ElideRight);
    outlineTree->hide();
    QLabel* emptyOutline = label(tr("В документе нет оглавления"), QStringLiteral("PanelMeta"));
    emptyOutline->setAlignment(Qt::AlignCenter);
    emptyOutline->setWordWrap(true);
    emptyOutline->setProperty("outlineEmpty", true);
    outlineTree->setProperty("emptyLabel", QVariant::fromValue<QObject*>(emptyOutline));
    outlineLayout->addWidget(outlineTree, 1);
    outlineLayout->addWidget(emptyOutline, 1);
    leftPanelTabs->addTab(outlinePage, tr("Оглавление"));

    layout->addWidget(leftPanelTabs, 1);
    return leftPanel;
}

// A status row that is never shown: status texts land in statusLabel.
QWidget* MainWindow::buildStatusRow(QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("StatusBar"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(kStatusMargins);
    layout->setSpacing(kStatusSpacing);
    statusLabel = new QLabel(tr("Готово"));
    progressBar = new QProgressBar;
    progressBar->setFixedWidth(kStatusProgressWidth);
    progressBar->setRange(0, 100);
    progressBar->hide();
    layout->addWidget(statusLabel, 1);
    layout->addWidget(progressBar, 0);
    row->hide();
    return row;
}

void MainWindow::connectViewAndThumbnails()
{
    connect(pdfView, &PdfView::pageChanged, thumbnailPanel, &PageThumbnailPanel::setCurrentPage);
    connect(pdfView, &PdfView::pageChanged, this, &MainWindow::onPageChanged);
    connect(pdfView, &PdfView::imageBlockEditRequested, this, &MainWindow::onImageBlockEditRequested);
    followBlockPageOnPress();
    connect(pdfView, &PdfView::zoomChanged, this, &MainWindow::onZoomChanged);
    connect(pdfView, &PdfView::activeTextEditorAvailable, this, &MainWindow::setFontControlsEnabled);
    connect(pdfView, &PdfView::activeTextFormatChanged, this, &MainWindow::onActiveTextFormatChanged);
    connect(pdfView, &PdfView::actionRefused, this, &MainWindow::setStatusText);
    connect(pdfView, &PdfView::undoRedoAvailabilityChanged, this, [this](bool canUndo, bool canRedo) {
        if (undoButton)
            undoButton->setEnabled(canUndo);
        if (redoButton)
            redoButton->setEnabled(canRedo);
    });
    connect(pdfView, &PdfView::ocrBlocksEdited, this, [this] {
        if (!isDocumentLoaded())
            return;
        document->markModified();
        updateTitle();
        setStatusText(tr("Есть несохранённые правки текстовых блоков"));
    });
    connect(pdfView, &PdfView::selectionRectReady, this, [this](int page, QRectF rect) {
        ocrRegionPage = page;
        ocrRegion = rect;
    });
    connect(pdfView, &PdfView::textSelected, this, &MainWindow::onTextSelected);
    connect(pdfView, &PdfView::textInserted, this, &MainWindow::onTextInserted);
    connect(pdfView, &PdfView::imageRectReady, this, &MainWindow::onImageRectReady);
    connect(outlineTree, &QTreeWidget::itemActivated, this, &MainWindow::onOutlineItemActivated);
    connect(outlineTree, &QTreeWidget::itemClicked, this, &MainWindow::onOutlineItemActivated);
    connect(thumbnailPanel, &PageThumbnailPanel::pageSelected, this, &MainWindow::onThumbnailPageSelected);
    thumbnailPanel->setPageRequestsEnabled(m_allowPageEditing);
    connect(thumbnailPanel, &PageThumbnailPanel::insertPageRequested, this, &MainWindow::onInsertPageRequested);
    connect(thumbnailPanel, &PageThumbnailPanel::deletePageRequested, this, &MainWindow::onDeletePageRequested);
    connect(thumbnailPanel, &PageThumbnailPanel::movePageRequested, this, &MainWindow::onMovePageRequested);
    connect(thumbnailPanel, &PageThumbnailPanel::importPageRequested, this, &MainWindow::onImportPageRequested);
}

void MainWindow::restoreWindowState()
{
    QSettings settings;
    const QByteArray geometry = settings.value(QStringLiteral("window/normalGeometry")).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    if (settings.value(QStringLiteral("window/maximized"), false).toBool())
        QTimer::singleShot(0, this, [this] { showMaximized(); });
    else if (settings.value(QStringLiteral("window/fullscreen"), false).toBool())
        QTimer::singleShot(0, this, [this] { showFullScreen(); });
}

void MainWindow::placeFirstWindow()
{
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shown) {
        resize(kFirstWindowSize);
        return;
    }
    const QRect placed = firstWindowGeometry(kFirstWindowSize, shown->availableGeometry(), kWindowFrameAllowance);
    resize(placed.size());
    move(placed.topLeft());
}

void MainWindow::scheduleLastDocumentRestore()
{
    if (!QSettings().value(QStringLiteral("doc/restoreLastDocument"), false).toBool())
        return;
    const QString last = storedRecentFiles().value(0);
    if (last.isEmpty())
        return;
    QTimer::singleShot(0, this, [this, last] {
        if (!isDocumentLoaded() && QFileInfo::exists(last))
            openFile(last);
    });
}

void MainWindow::setStatusText(const QString& text)
{
    // The window's translation pass ran when it was shown, long before.
    statusLabel->setText(uiTranslateSmart(text));
}
