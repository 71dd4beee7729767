// Page operations on the active document: rotate, insert, delete, duplicate,
// clear and move, from the ribbon and from the thumbnail strip.
#include "MainWindow.h"

#include "PdfDocument.h"
#include "PdfView.h"

#include <QMessageBox>
#include <QTemporaryDir>

namespace {

const QSizeF kBlankPageSize(595, 842);

} // namespace

// Unwritten block edits go into their page before the page sequence
// changes; false when that failed (the write showed why), and while a
// whole-document recognition run works through the pages by their index.
bool MainWindow::pagesMayChange()
{
    return !refuseWhileOcrRuns() && applyPendingOcrEdits();
}

bool MainWindow::readyForPageChange()
{
    return isDocumentLoaded() && pagesMayChange();
}

// The view and the rest follow the document by themselves; this only shows
// the page an operation ends on.
void MainWindow::refreshAfterPageChange(int page)
{
    clampedSetCurrentPage(page);
}

void MainWindow::reportPageFailure(const QString& what)
{
    const QString reason = document->lastError().trimmed();
    setStatusText(what);
    QMessageBox::warning(this, tr("Ошибка"), reason.isEmpty() ? what : what + QStringLiteral("\n\n") + reason);
}

void MainWindow::onRotateCW()
{
    rotateCurrentPage(90);
}

void MainWindow::onRotateCCW()
{
    rotateCurrentPage(-90);
}

// Outside edit mode only the view turns and the document stays as it is.
void MainWindow::rotateCurrentPage(int degrees)
{
    if (!isDocumentLoaded())
        return;
    if (!pdfView->editMode()) {
        pdfView->rotateCurrentPageView(degrees);
        return;
    }
    if (!pagesMayChange())
        return;
    const int page = pdfView->currentPage();
    if (!document->rotatePage(page, degrees))
        reportPageFailure(tr("Не удалось повернуть страницу."));
}

void MainWindow::onInsertBlankPage()
{
    if (m_allowPageEditing)
        insertBlankPageAt(pdfView->currentPage());
}

void MainWindow::onInsertPageRequested(int index)
{
    if (m_allowPageEditing)
        insertBlankPageAt(index);
}

void MainWindow::insertBlankPageAt(int index)
{
    if (!readyForPageChange())
        return;
    if (!document->insertBlankPage(index, kBlankPageSize))
        reportPageFailure(tr("Не удалось вставить страницу."));
}

void MainWindow::onDeleteCurrentPage()
{
    if (!m_allowPageEditing || !isDocumentLoaded() || document->pageCount() < 2)
        return;
    const int page = pdfView->currentPage();
    if (QMessageBox::question(this, tr("Удаление страницы"), tr("Удалить страницу %1?").arg(page + 1),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    deletePageAt(page);
}

void MainWindow::onDeletePageRequested(int index)
{
    if (m_allowPageEditing && isDocumentLoaded() && document->pageCount() >= 2)
        deletePageAt(index);
}

void MainWindow::deletePageAt(int index)
{
    if (!readyForPageChange())
        return;
    if (!document->deletePage(index))
        reportPageFailure(tr("Не удалось удалить страницу."));
}

void MainWindow::onDuplicatePage()
{
    if (!m_allowPageEditing || !readyForPageChange())
        return;
    const int page = pdfView->currentPage();
    // A folder of this call's own: no other instance, and no link planted
    // beforehand, can meet the copy's file.
    const QTemporaryDir folder;
    const QString copyPath = folder.filePath(QStringLiteral("page.pdf"));
    if (!folder.isValid() || !document->extractPageSubset({page}, copyPath)) {
        reportPageFailure(tr("Ошибка дублирования страницы"));
        return;
    }
    QString reason;
    {
        PageChangeBatch batch(*this);
        if (!document->appendPage(copyPath, 0)) {
            reportPageFailure(tr("Ошибка вставки дубля"));
            return;
        }
        const int last = document->pageCount() - 1;
        if (page + 1 != last && !document->movePage(last, page + 1)) {
            // The copy that could not be put in place goes again, with the reason kept.
            reason = document->lastError();
            document->deletePage(last);
            batch.show(page);
        }
    }
    if (!reason.isNull()) {
        QMessageBox::warning(this, tr("Ошибка"), tr("Не удалось переместить страницу.") + QStringLiteral("\n\n") + reason);
        setStatusText(tr("Не удалось переместить страницу."));
        return;
    }
    setStatusText(tr("Страница %1 дублирована").arg(page + 1));
}

// The blank page goes in before the old one goes, so a failed call never
// leaves the document a page short.
void MainWindow::onClearPage()
{
    if (!m_allowPageEditing || !isDocumentLoaded())
        return;
    const int page = pdfView->currentPage();
    if (QMessageBox::question(this, tr("Очистить страницу"),
                              tr("Удалить содержимое страницы %1 и заменить пустой?").arg(page + 1),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    if (!readyForPageChange())
        return;
    const QSizeF size = document->pageSize(page);
    bool deleted = false;
    {
        PageChangeBatch batch(*this);
        batch.show(page);
        if (!document->insertBlankPage(page, size)) {
            reportPageFailure(tr("Не удалось очистить страницу."));
            return;
        }
        deleted = document->deletePage(page + 1);
    }
    if (!deleted) {
        reportPageFailure(tr("Не удалось очистить страницу."));
        return;
    }
    setStatusText(tr("Страница %1 очищена").arg(page + 1));
}

void MainWindow::onMovePageRequested(int from, int to)
{
    if (!m_allowPageEditing || !readyForPageChange())
        return;
    if (!document->movePage(from, to))
        reportPageFailure(tr("Не удалось переместить страницу."));
}
