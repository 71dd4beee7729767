// The update check: the manifest fetched in the background and its outcome
// in a window of its own.
#include "MainWindow.h"

#include "DialogKit.h"
#include "UpdateCheck.h"
#include "UpdateResultDialog.h"

void MainWindow::checkForUpdates()
{
    auto* check = new UpdateCheck(currentUpdateCheckInputs(product), this);
    setStatusText(tr("Проверяю обновления..."));
    connect(check, &UpdateCheck::finished, this, &MainWindow::showUpdateResult);
    check->start();
}

void MainWindow::showUpdateResult(const UpdateCheckOutcome& outcome)
{
    if (!outcome.status.isEmpty())
        setStatusText(outcome.status);
    showCentredOn(new UpdateResultDialog(outcome.title, outcome.text, outcome.link, this), this);
}
