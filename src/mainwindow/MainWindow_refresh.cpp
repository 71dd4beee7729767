// The refresh operations every feature calls after it changed the document,
// the page, the edit mode or the active editor.
#include "MainWindow.h"

#include "ButtonKit.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "ThemedIcon.h"
#include "UiTranslate.h"

#include <QComboBox>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>

namespace {

const QString kTitleSeparator = QStringLiteral(" — ");
const QString kModifiedMark = QStringLiteral(" *");

void enableIfPresent(QWidget* widget, bool enabled)
{
    if (widget)
        widget->setEnabled(enabled);
}

} // namespace

QString MainWindow::documentDisplayName(const QString& path)
{
    return path.isEmpty() ? uiTranslate(tr("Безымянный")) : QFileInfo(path).fileName();
}

void MainWindow::updateTitle()
{
    const QString name = productDisplayName(product);
    if (isDocumentLoaded()) {
        const QString modified = hasUnsavedChanges(document) ? kModifiedMark : QString();
        setWindowTitle(documentDisplayName(document->filePath()) + modified + kTitleSeparator + name);
    } else {
        setWindowTitle(name);
    }
    refreshDocumentTabs();
}

void MainWindow::updatePageControls()
{
    const bool loaded = isDocumentLoaded();
    // The view keeps the count per revision; asking the engine would wait
    // for the page its render worker is drawing.
    const int count = loaded ? pdfView->pageCount() : 0;
    const int current = loaded ? pdfView->currentPage() + 1 : 0;

    if (pageSpin) {
        const QSignalBlocker blocker(pageSpin);
        pageSpin->setMaximum(qMax(count, 1));
        pageSpin->setValue(current);
    }
    if (pageTotalLabel)
        pageTotalLabel->setText(QStringLiteral(" / %1 ").arg(count));
    if (pageCountLabel)
        pageCountLabel->setText(uiTranslate(QStringLiteral("%1 страниц")).arg(count));

    const bool canGoBack = loaded && current >= 2;
    const bool canGoForward = loaded && current < count;
    enableIfPresent(firstPageButton, canGoBack);
    enableIfPresent(prevPageButton, canGoBack);
    enableIfPresent(nextPageButton, canGoForward);
    enableIfPresent(lastPageButton, canGoForward);
    for (QToolButton* button : {saveButton, ocrButton, compressButton, insertPageButton, editModeButton})
        enableIfPresent(button, loaded);
    enableIfPresent(removePageButton, loaded && count >= 2);
}

void MainWindow::updateEditModeUi()
{
    if (!editModeButton)
        return;
    const QSignalBlocker blocker(editModeButton);
    const bool editMode = pdfView->editMode();
    editModeButton->setChecked(editMode);
    editModeButton->setIcon(themedIcon(editMode ? QStringLiteral("read-mode") : QStringLiteral("edit-mode")));
    // Set after the window was translated: the texts come translated.
    editModeButton->setText(uiTranslate(editMode ? tr("Чтение") : tr("Редакт.")));
    setShortcutHint(editModeButton,
                    uiTranslate(editMode ? tr("Перейти в режим чтения") : tr("Редактировать документ")),
                    QKeySequence(Qt::Key_F2));
    editModeButton->setEnabled(isDocumentLoaded());
    fitRibbonLabels();
}

void MainWindow::setFontControlsEnabled(bool enabled)
{
    enableIfPresent(fontCombo, enabled);
    enableIfPresent(fontSizeSpin, enabled);
    for (QToolButton* button : formatButtons)
        enableIfPresent(button, enabled);
}
