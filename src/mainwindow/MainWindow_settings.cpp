// Stored preferences pushed into the live window, and the settings dialog.
#include "MainWindow.h"

#include "PageThumbnailPanel.h"
#include "PdfView.h"
#include "QtTranslations.h"
#include "SettingsDialog.h"
#include "UiTranslate.h"

#include <QApplication>
#include <QSettings>
#include <QTabWidget>

void MainWindow::applyStoredSettings()
{
    QSettings settings;
    qApp->setProperty("uiLanguage", settings.value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString());
    applyQtTranslations(currentUiLanguageCode());
    applyUiDensity(settings.value(QStringLiteral("ui/density"), 1).toInt());
    if (floatingBar)
        floatingBar->setVisible(settings.value(QStringLiteral("ui/floatingBar"), true).toBool());
    if (pdfView) {
        pdfView->setOcrDebugLabelsVisible(settings.value(QStringLiteral("ocr/showFontLabels"), false).toBool());
        pdfView->setEmptyPlaceholderText(uiTranslate(QStringLiteral("Откройте PDF файл")));
    }
    if (ribbon)
        restoreRibbonTab();
    setupAutoSaveTimer();
    if (thumbnailPanel)
        thumbnailPanel->relabelPages();
    for (QWidget* window : QApplication::topLevelWidgets())
        localizeWidgetTree(window);
    fitRibbonLabels();
    updatePageControls();
    updateTitle();  // an untitled tab's name is in the interface's language
}

void MainWindow::showSettingsDialog()
{
    auto* dialog = new SettingsDialog(*this);
    dialog->move(frameGeometry().center() - dialog->rect().center());
    dialog->show();
}
