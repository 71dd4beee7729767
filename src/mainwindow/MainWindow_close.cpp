// Closing document tabs and the window, each after the save, discard or
// cancel prompt for unsaved changes; the window's placement is kept on close.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PageThumbnailPanel.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

#include <algorithm>

namespace {

constexpr int kPromptWidth = 460;
constexpr int kPromptHeight = 230;
constexpr int kPromptMargin = 18;

} // namespace

bool MainWindow::confirmSave()
{
    if (!hasUnsavedChanges(document))
        return true;
    switch (appUnsavedChangesQuestion(this)) {
    case UnsavedDiscard:
        return true;
    case UnsavedSave:
        return saveActiveBeforeClose();
    default:
        return false;
    }
}

// A document without a file is saved through the save-as dialog. When its
// own file cannot be written (its folder is gone, it is read-only) the user
// may save it elsewhere; a failed write of the edited blocks, a cancelled
// name or a second failure keeps it open.
bool MainWindow::saveActiveBeforeClose()
{
    if (document->filePath().isEmpty())
        return saveActiveDocumentAs() && !hasUnsavedChanges(document);
    QString error;
    if (writeActiveDocument(&error))
        return finishActiveSave();
    return !error.isEmpty() && offerSaveElsewhere(error) && saveActiveDocumentAs() && !hasUnsavedChanges(document);
}

// Saves a tab that is not shown: no block edits are involved. One that has
// no file yet, or whose file cannot be written, is given one through the
// save-as dialog.
bool MainWindow::saveOtherTab(PdfDocument& doc)
{
    std::shared_ptr<PdfDocument> held;
    for (const OpenDocumentState& entry : openDocuments) {
        if (entry.document.get() == &doc)
            held = entry.document;
    }
    if (!held)
        return false;
    QString path = doc.filePath();
    QString error;
    if (!path.isEmpty()) {
        error = readOnlyReason(path);
        if (error.isEmpty() && saveDocumentFile(held, path, &error))
            return true;
        // An empty reason: the user kept the signatures.
        if (error.isEmpty() || !offerSaveElsewhere(error))
            return false;
    }
    path = askSaveAsTarget(path);
    if (path.isEmpty())
        return false;
    if (saveDocumentFile(held, path, &error))
        return true;
    if (!error.isEmpty())
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось сохранить файл:\n%1").arg(error));
    return false;
}

bool MainWindow::closeDocumentAt(int index)
{
    if (index < 0 || index >= int(openDocuments.size()) || refuseWhileOcrRuns())
        return false;
    // The question is asked over the document it is about: a hidden tab
    // with changes is shown first; the tab shown before comes back after.
    const PdfDocument* shownBefore = activeIndex >= 0 ? document : nullptr;
    const auto indexOfShownBefore = [this, shownBefore] {
        const auto found =
            std::find_if(openDocuments.begin(), openDocuments.end(),
                         [shownBefore](const OpenDocumentState& entry) { return entry.document.get() == shownBefore; });
        return found != openDocuments.end() ? int(found - openDocuments.begin()) : -1;
    };
    if (index != activeIndex && hasUnsavedChanges(openDocuments[size_t(index)].document.get())) {
        activateDocument(index);
        if (index != activeIndex)
            return false;
    }
    const bool wasActive = index == activeIndex;
    if (wasActive && !confirmSave()) {
        if (shownBefore != document)
            activateDocument(indexOfShownBefore());
        return false;
    }

    // The view and the thumbnail thread let go of a shown document before the
    // tab's hold goes at the end of this function; a job still reading it
    // keeps it until it ends.
    std::shared_ptr<PdfDocument> closed = std::move(openDocuments[size_t(index)].document);
    openDocuments.erase(openDocuments.begin() + index);
    closeFreeTextWindowsOf(closed.get());
    if (openDocuments.empty()) {
        showNoDocumentState();
    } else if (wasActive) {
        activeIndex = -1;
        const int before = indexOfShownBefore();
        activateDocument(before >= 0 ? before : qMin(int(openDocuments.size()) - 1, index));
    } else {
        if (activeIndex > index)
            --activeIndex;
        refreshDocumentTabs();
        updateTitle();
    }
    return true;
}

void MainWindow::showNoDocumentState()
{
    activeIndex = -1;
    documentHold = initialDocument;
    document = documentHold.get();
    followShownDocument();
    pdfView->setDocument(nullptr);
    pdfView->setEdits(nullptr);
    thumbnailPanel->setDocument(nullptr);
    pdfView->setEditMode(false);
    resetPerDocumentState();
    refreshDocumentTabs();
    updateEditModeUi();
    updateTitle();
    updatePageControls();
}

bool MainWindow::confirmSaveAllDocuments()
{
    while (!openDocuments.empty()) {
        if (!closeDocumentAt(qMax(activeIndex, 0)))
            return false;
    }
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A print or export reading the document finishes first.
    if (outputJobRunning || !confirmSaveAllDocuments()) {
        event->ignore();
        return;
    }
    storeWindowState();
    event->accept();
}

void MainWindow::storeWindowState()
{
    QSettings settings;
    settings.setValue(QStringLiteral("window/maximized"), isMaximized());
    settings.setValue(QStringLiteral("window/fullscreen"), isFullScreen());
    if (!isMaximized() && !isFullScreen())
        settings.setValue(QStringLiteral("window/normalGeometry"), saveGeometry());
}

// The ribbon's close command: a prompt that does not block the window.
void MainWindow::showUnsavedChangesDialog()
{
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("AppDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Несохранённые изменения"));
    dialog->resize(kPromptWidth, kPromptHeight);
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(kPromptMargin, kPromptMargin, kPromptMargin, kPromptMargin);
    layout->addWidget(label(tr("Сохранить изменения?"), QStringLiteral("DialogTitle")));
    QLabel* subtitle = label(tr("В документе есть несохранённые изменения. Сохранить их перед закрытием?"),
                             QStringLiteral("DialogSubtitle"));
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);
    layout->addStretch(1);

    QPushButton* discard = dialogButton(tr("Не сохранять"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* save = dialogButton(tr("Сохранить"), QStringLiteral("PrimaryDialogButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(discard);
    buttons->addWidget(cancel);
    buttons->addWidget(save);
    layout->addLayout(buttons);

    connect(discard, &QPushButton::clicked, this, [this, dialog] {
        dialog->close();
        if (activeIndex >= 0)
            closeDocumentAt(activeIndex);
    });
    connect(cancel, &QPushButton::clicked, dialog, &QDialog::close);
    connect(save, &QPushButton::clicked, this, [this, dialog] {
        saveOrSaveAs();
        dialog->close();
    });
    save->setDefault(true);
    save->setFocus(Qt::OtherFocusReason);
    dialog->move(frameGeometry().center() - dialog->rect().center());
    dialog->show();
}
