// The ribbon: its tabs by edition, the remembered tab, and the ribbon tool
// button that finds its own command from its icon and text.
#include "MainWindow.h"

#include "ButtonKit.h"
#include "ThemedIcon.h"

#include <QBoxLayout>
#include <QScrollArea>
#include <QIcon>
#include <QSettings>
#include <QTabWidget>
#include <QToolButton>

namespace {

constexpr int kRibbonHeight = 144;
constexpr int kToolIconSide = 32;
constexpr int kToolMinimumWidth = 62;
constexpr int kToolMaximumWidth = 88;
constexpr int kToolMinimumHeight = 62;

const QString kRememberTabKey = QStringLiteral("ui/rememberTab");
const QString kLastTabKey = QStringLiteral("ui/lastRibbonTab");

// A tab whose groups need more width than the window has (a small screen, a
// language of long words) scrolls sideways instead of squeezing its buttons
// over each other. In height it takes the ribbon's, as before.
QWidget* scrolledSideways(QWidget* page)
{
    page->setSizePolicy(page->sizePolicy().horizontalPolicy(), QSizePolicy::Ignored);
    auto* area = new QScrollArea;
    area->setObjectName(QStringLiteral("RibbonScroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->setWidget(page);
    return area;
}

} // namespace

QToolButton* MainWindow::toolButton(const QString& iconName, const QString& text, bool checkable, bool wire)
{
    auto* button = new QToolButton;
    button->setObjectName(QStringLiteral("RibbonToolButton"));
    button->setIcon(themedIcon(iconName));
    button->setIconSize(QSize(kToolIconSide, kToolIconSide));
    button->setText(text);
    button->setToolTip(text);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    if (wire)
        connectToolCommand(button, toolCommandFor(iconName, text));
    button->setCheckable(checkable);
    if (checkable)
        button->setChecked(true);
    button->setMinimumWidth(kToolMinimumWidth);
    button->setMaximumWidth(kToolMaximumWidth);
    button->setMinimumHeight(kToolMinimumHeight);
    return button;
}

void MainWindow::connectToolCommand(QToolButton* button, ToolCommand command)
{
    auto onClick = [this, button](auto slot) { connect(button, &QToolButton::clicked, this, slot); };
    switch (command) {
    case ToolCommand::OpenDialog:
        onClick(&MainWindow::showOpenPdfDialog);
        break;
    case ToolCommand::UnsavedChanges:
        onClick(&MainWindow::showUnsavedChangesDialog);
        break;
    case ToolCommand::ZoomIn:
        onClick(&MainWindow::onZoomIn);
        break;
    case ToolCommand::ZoomOut:
        onClick(&MainWindow::onZoomOut);
        break;
    case ToolCommand::FitWidth:
        onClick(&MainWindow::onZoomFitWidth);
        break;
    case ToolCommand::FullScreen:
        onClick(&MainWindow::toggleFullScreen);
        break;
    case ToolCommand::OcrDocument:
        onClick(&MainWindow::showOcrProgressDialog);
        break;
    case ToolCommand::RotateLeft:
        onClick(&MainWindow::onRotateCCW);
        break;
    case ToolCommand::RotateRight:
        onClick(&MainWindow::onRotateCW);
        break;
    case ToolCommand::Search:
        onClick(&MainWindow::showSearchDialog);
        break;
    case ToolCommand::AnnotationProperties:
        onClick(&MainWindow::showAnnotationPropertiesDialog);
        break;
    case ToolCommand::Settings:
        onClick(&MainWindow::showSettingsDialog);
        break;
    case ToolCommand::PasswordDialog:
        onClick(&MainWindow::showPasswordDialog);
        break;
    case ToolCommand::PageTools:
        connect(button, &QToolButton::clicked, this, [this] { showPageToolsDialog({}, false); });
        break;
    case ToolCommand::DocumentProperties:
        onClick(&MainWindow::showDocumentPropertiesDialog);
        break;
    case ToolCommand::LoadError:
        onClick(&MainWindow::showLoadErrorDialog);
        break;
    case ToolCommand::About:
        onClick(&MainWindow::showAboutDialog);
        break;
    case ToolCommand::Print:
        onClick(&MainWindow::showPrintDialog);
        break;
    case ToolCommand::SaveExportDialog:
        onClick(&MainWindow::showSaveExportDialog);
        break;
    case ToolCommand::None:
        break;
    }
}

QWidget* MainWindow::ribbonGroup(const QString& title, const QList<QWidget*>& widgets)
{
    return ribbonRowGroup(title, widgets);
}

QTabWidget* MainWindow::buildRibbon()
{
    auto* tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("Ribbon"));
    tabs->setMinimumHeight(kRibbonHeight);
    tabs->setMaximumHeight(kRibbonHeight);

    tabs->addTab(scrolledSideways(buildHomeTab()), tr("Главная"));
    if (m_allowImports || allowFacsimiles)
        tabs->addTab(scrolledSideways(buildImportTab()), tr("Вставка"));
    if (m_allowPageEditing)
        tabs->addTab(scrolledSideways(buildPageTab()), tr("Страницы"));
    if (allowMarkup || m_allowSignatures)
        tabs->addTab(scrolledSideways(buildCommentTab()), tr("Разметка"));
    tabs->addTab(scrolledSideways(buildViewTab()), tr("Вид"));

    ribbon = tabs;
    connect(tabs, &QTabWidget::currentChanged, this, [](int index) {
        QSettings settings;
        if (settings.value(kRememberTabKey, false).toBool())
            settings.setValue(kLastTabKey, index);
    });
    return tabs;
}

// The index counts the tabs of the running edition; one beyond them is ignored.
void MainWindow::restoreRibbonTab()
{
    QSettings settings;
    if (!settings.value(kRememberTabKey, false).toBool())
        return;
    const int index = settings.value(kLastTabKey, 0).toInt();
    if (index >= 0 && index < ribbon->count())
        ribbon->setCurrentIndex(index);
}

void MainWindow::toggleFullScreen()
{
    if (isFullScreen())
        showNormal();
    else
        showFullScreen();
}
