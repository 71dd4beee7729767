// The signature dialog and its four roads: the Home and Разметка buttons,
// the file manager's sign action and the signing edition's start.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PdfDocument.h"
#include "SignatureDialog.h"
#include "SigningRun.h"
#include "UiTranslate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <memory>

namespace {

// Skipped files: an existing one as its absolute path, others as given;
// blank ones dropped, each once.
QStringList skippedFilesOnce(const QStringList& paths)
{
    QStringList kept;
    for (const QString& path : paths) {
        if (path.trimmed().isEmpty())
            continue;
        const QFileInfo info(path);
        const QString entry = info.exists() ? info.absoluteFilePath() : path;
        if (!kept.contains(entry))
            kept << entry;
    }
    return kept;
}

} // namespace

void MainWindow::quitSigning()
{
    if (signingQuit)
        signingQuit();
    else
        QCoreApplication::quit();
}

void MainWindow::showSignatureDialog(bool shellMode, const QStringList& batchPaths, const QStringList& skippedPaths,
                                     const QString& inputOverridePath)
{
    if (!m_allowSignatures) {
        appInfo(this, tr("Подписание документа"), tr("Подписание ЭЦП недоступно в этой версии программы."));
        return;
    }
    SignatureDialog::Setup setup;
    const QFileInfo given(inputOverridePath.trimmed());
    const bool documentOpen = isDocumentLoaded() && document && document->isOpen();
    if (!inputOverridePath.trimmed().isEmpty() && given.exists() && given.isFile()) {
        setup.sourcePath = given.absoluteFilePath();
        setup.explicitPath = setup.sourcePath;
    } else if (documentOpen && !document->filePath().trimmed().isEmpty()) {
        setup.sourcePath = QFileInfo(document->filePath()).absoluteFilePath();
    } else {
        appInfo(this, tr("Подписание документа"), tr("Откройте документ, который нужно подписать."));
        return;
    }
    for (const QString& path : existingFilesOnce(batchPaths)) {
        if (path != setup.sourcePath)
            setup.remainingFiles << path;
    }
    setup.skippedFiles = skippedFilesOnce(skippedPaths);
    setup.shellMode = shellMode;
    if (documentOpen) {
        setup.openDocumentPath = document->filePath();
        setup.openDocumentPageCount = document->pageCount();
    }
    setup.children.program =
        signingWorkerProgram.isEmpty() ? QCoreApplication::applicationFilePath() : signingWorkerProgram;
    setup.children.editionOption = productOption(product);

    const auto dialog = std::make_unique<SignatureDialog>(setup, this);
    auto* run = new SigningRun(dialog.get(), this, setup.children);
    connect(dialog.get(), &SignatureDialog::runRequested, run, &SigningRun::start);
    dialog->exec();
}

void MainWindow::runShellSigning(const QStringList& pdfFiles, const QStringList& rejectedFiles, bool shellMode)
{
    if (!shellMode)
        openFile(pdfFiles.first());
    if (pdfFiles.size() > 1)
        setStatusText(tr("Подписание PDF 1 из %1").arg(pdfFiles.size()));
    if (shellMode) {
        showSignatureDialog(true, pdfFiles, rejectedFiles, pdfFiles.first());
    } else {
        // A file that did not open leaves another document current: that
        // one was not chosen for signing.
        if (!isDocumentLoaded() || !document
            || QFileInfo(document->filePath()).absoluteFilePath() != QFileInfo(pdfFiles.first()).absoluteFilePath())
            return;
        showSignatureDialog(false, pdfFiles, rejectedFiles, QString());
    }
    if (shellMode && !isVisible())
        quitSigning();
}

void MainWindow::showEcpStartup(const QStringList& files)
{
    QStringList list = existingFilesOnce(files);
    if (list.isEmpty()) {
        list = QFileDialog::getOpenFileNames(this, uiTranslate(tr("Выберите файлы для подписи")), QDir::homePath(),
                                             uiTranslate(tr("Все файлы (*)")));
        if (list.isEmpty()) {
            quitSigning();
            return;
        }
    }
    showSignatureDialog(false, list, {}, list.first());
    quitSigning();
}
