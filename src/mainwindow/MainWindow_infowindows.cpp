// Windows that show information and change nothing: about, password, load
// error, document properties, and the special characters that go into the
// open text block.
#include "MainWindow.h"

#include "AboutDialog.h"
#include "DialogKit.h"
#include "DocumentPropertiesDialog.h"
#include "LoadErrorDialog.h"
#include "PasswordDialog.h"
#include "PdfView.h"
#include "SpecialCharactersDialog.h"

void MainWindow::showAboutDialog()
{
    showCentredOn(new AboutDialog(this), this);
}

void MainWindow::showPasswordDialog()
{
    showCentredOn(new PasswordDialog(this), this);
}

void MainWindow::showLoadErrorDialog()
{
    showCentredOn(new LoadErrorDialog(this), this);
}

void MainWindow::showDocumentPropertiesDialog()
{
    showCentredOn(new DocumentPropertiesDialog(isDocumentLoaded() ? sharedCurrentDocument() : nullptr, this), this);
}

void MainWindow::showSpecialCharactersDialog()
{
    auto* dialog = new SpecialCharactersDialog(this);
    connect(dialog, &SpecialCharactersDialog::symbolChosen, this, [this](const QString& symbol) {
        if (pdfView && pdfView->insertTextIntoActiveEditor(symbol))
            setStatusText(tr("Вставлен символ: %1").arg(symbol));
        else
            setStatusText(tr("Откройте текстовый блок для вставки символа"));
    });
    showCentredOn(dialog, this);
}
