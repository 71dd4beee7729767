// Saving under a new name and exporting in the other formats from one file
// dialog; the text export.
#include "MainWindow.h"

#include "DialogKit.h"
#include "OutputPaths.h"
#include "PdfDocument.h"
#include "UiTranslate.h"
#include "WorkProgressDialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

#include <algorithm>

namespace {

struct FmtEntry {
    QString filter;
    QString suffix;
    QString id;
    bool perPageImage = false;
};

const QList<FmtEntry>& formats()
{
    static const QList<FmtEntry> FMTS{
        {QStringLiteral("PDF документ (*.pdf)"), QStringLiteral("pdf"), QStringLiteral("pdf"), false},
        {QStringLiteral("Сжатый PDF (*.pdf)"), QStringLiteral("pdf"), QStringLiteral("compressed-pdf"), false},
        {QStringLiteral("Сканированный PDF (*.pdf)"), QStringLiteral("pdf"), QStringLiteral("scanned-pdf"), false},
        {QStringLiteral("HTML страница (*.html)"), QStringLiteral("html"), QStringLiteral("html"), false},
        {QStringLiteral("XHTML страница (*.xhtml)"), QStringLiteral("xhtml"), QStringLiteral("xhtml"), false},
        {QStringLiteral("Текст TXT (*.txt)"), QStringLiteral("txt"), QStringLiteral("txt"), false},
        {QStringLiteral("Изображение PNG (*.png)"), QStringLiteral("png"), QStringLiteral("png"), true},
        {QStringLiteral("Изображение JPEG (*.jpg)"), QStringLiteral("jpg"), QStringLiteral("jpg"), true},
        {QStringLiteral("Изображение BMP (*.bmp)"), QStringLiteral("bmp"), QStringLiteral("bmp"), true},
    };
    return FMTS;
}

// The row of the type the user chose, by its place in the list: the list is
// shown translated, so its texts say nothing about the choice. Without a
// chosen type the name's extension decides, else the first row.
const FmtEntry& chosenFormat(int typeRow, const QString& path)
{
    const QList<FmtEntry>& rows = formats();
    if (typeRow >= 0 && typeRow < rows.size())
        return rows[typeRow];
    const QString extension = QFileInfo(path).suffix().toLower();
    auto bySuffix = std::find_if(rows.begin(), rows.end(), [&](const FmtEntry& e) { return e.suffix == extension; });
    return bySuffix != rows.end() ? *bySuffix : rows.first();
}

// The place of the chosen type in the dialog's list: the toolkit's own
// dialog shows it in its type box (translated); a native one reports the
// type as it was given.
int selectedTypeRow(const QFileDialog& dialog)
{
    if (const auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
        return types->currentIndex();
    return int(dialog.nameFilters().indexOf(dialog.selectedNameFilter()));
}

constexpr int kDefaultDpi = 150;
constexpr int kMinDpi = 72;
constexpr int kMaxDpi = 600;
constexpr int kPageNumberDigits = 3;

// The numbered files a picture export of pageCount pages writes beside path.
QStringList numberedPictures(const QString& path, int pageCount)
{
    const QFileInfo target(path);
    QStringList paths;
    for (int k = 1; k <= pageCount; ++k)
        paths << target.dir().filePath(QStringLiteral("%1_%2.%3").arg(
                     target.completeBaseName(), QString::number(k).rightJustified(kPageNumberDigits, QLatin1Char('0')),
                     target.suffix()));
    return paths;
}

} // namespace

// A derived file never goes over a document open here (its tab would lose
// its file); an existing one is replaced only when the user says so.
bool MainWindow::confirmOutputTarget(const QString& title, const QString& target)
{
    return !refuseOpenDocumentTarget(title, target) && (!QFileInfo::exists(target) || appOverwriteQuestion(this, title));
}

// Two tabs never show one file: a document is written over no other tab's
// file, whichever road (save as, the close prompt, a save elsewhere after a
// failure) chose it.
bool MainWindow::refuseOtherTabsFile(const PdfDocument* writer, const QString& path)
{
    const int openAt = openDocumentIndexForPath(path);
    if (openAt < 0 || openDocuments[size_t(openAt)].document.get() == writer)
        return false;
    appInfo(this, tr("Сохранить как"),
            tr("Файл %1 открыт в программе. Укажите другой файл.").arg(QFileInfo(path).fileName()));
    return true;
}

void MainWindow::showSaveExportDialog()
{
    if (!isDocumentLoaded()) {
        appInfo(this, tr("Сохранить как"), tr("Нет открытого документа."));
        return;
    }
    QStringList filters;
    for (const FmtEntry& row : formats())
        filters << row.filter;
    const QString source = document->filePath();
    const QString proposed = source.isEmpty()
                                 ? QDir(QDir::homePath()).filePath(QStringLiteral("document.pdf"))
                                 : QDir(QFileInfo(source).absolutePath()).filePath(QFileInfo(source).fileName());
    QFileDialog dialog(this, tr("Сохранить как / Экспорт"), proposed, filters.join(QStringLiteral(";;")));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The name typed is not always the file written: the question comes
    // once the name that is written is known.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString path = dialog.selectedFiles().constFirst();
    if (path.isEmpty())
        return;
    const FmtEntry& row = chosenFormat(selectedTypeRow(dialog), path);
    // The scanned and compressed copies and numbered pictures write other
    // names, asked about when they are written.
    const bool writesTypedName = row.id != QLatin1String("scanned-pdf") &&
                                 row.id != QLatin1String("compressed-pdf") &&
                                 !(row.perPageImage && document->pageCount() > 1);
    path = withExtension(path, row.suffix);
    if (writesTypedName && QFileInfo::exists(path) && !appOverwriteQuestion(this, tr("Сохранить как")))
        return;

    if (row.id == QLatin1String("scanned-pdf")) {
        showScannedPdfExportDialog(withLocalizedPdfSuffix(path, QStringLiteral("scanned")));
        return;
    }
    if (row.id == QLatin1String("compressed-pdf")) {
        showCompressedPdfExportDialog(withLocalizedPdfSuffix(path, QStringLiteral("compressed")), false);
        return;
    }
    int dpi = kDefaultDpi;
    if (row.perPageImage) {
        bool accepted = false;
        dpi = QInputDialog::getInt(this, tr("Разрешение"), tr("DPI (72–600):"), kDefaultDpi, kMinDpi, kMaxDpi, 1,
                                   &accepted);
        if (!accepted)
            return;
    }
    if (row.id == QLatin1String("pdf"))
        saveExportAsPdf(path);
    else
        exportInFormat(path, row.id, row.suffix, dpi);
}

void MainWindow::saveExportAsPdf(const QString& path)
{
    if (refuseWhileOcrRuns() || refuseOtherTabsFile(document, path))
        return;
    QString error;
    if (!saveActiveDocumentTo(path, &error)) {
        if (!error.isEmpty())
            QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось сохранить:\n%1").arg(error), QMessageBox::Ok);
        return;
    }
    updatePageControls();
    setStatusText(tr("Сохранено: %1").arg(QFileInfo(path).fileName()));
}

void MainWindow::exportInFormat(const QString& path, const QString& format, const QString& suffix, int dpi)
{
    static const QStringList perPage{QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                     QStringLiteral("bmp")};
    const int pageCount = document->pageCount();
    const bool numbered = perPage.contains(format) && pageCount > 1;
    if (numbered) {
        const QStringList targets = numberedPictures(path, pageCount);
        if (std::any_of(targets.begin(), targets.end(), [](const QString& p) { return QFileInfo::exists(p); }) &&
            !appOverwriteQuestion(this, tr("Сохранить как")))
            return;
    }
    // The exported pages and text hold the edits made in the page view.
    const std::shared_ptr<PdfDocument> source = documentForReading();
    if (!source)
        return;
    const OutputJobScope job(this);
    WorkProgressDialog progress(tr("Экспорт"), tr("Экспорт страниц..."), this);
    auto error = std::make_shared<QString>();
    const bool exported = progress.run([source, format, path, dpi, error](const WorkProgressDialog::Report& report) {
        const bool done = source->exportDocument(format, path, dpi, report);
        *error = source->lastError();
        return done;
    });
    if (!exported) {
        if (progress.wasCancelled()) {
            setStatusText(tr("Экспорт отменён."));
            return;
        }
        QMessageBox::critical(this, tr("Ошибка экспорта"), tr("Не удалось экспортировать:\n%1").arg(*error),
                              QMessageBox::Ok);
        return;
    }
    QString name = QFileInfo(path).fileName();
    if (numbered)
        name += tr(" (страницы пронумерованы: %1_N.%2)").arg(QFileInfo(path).completeBaseName(), suffix);
    setStatusText(tr("Экспортировано: %1").arg(name));
}

void MainWindow::onExportOcrText()
{
    if (!isDocumentLoaded())
        return;
    const QString chosen = QFileDialog::getSaveFileName(this, uiTranslate(tr("Экспорт текста")), QString(),
                                                        uiTranslate(tr("Текст (*.txt)")));
    if (chosen.isEmpty())
        return;
    const QString path = withExtensionAsked(this, tr("Экспорт текста"), chosen, QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    const std::shared_ptr<PdfDocument> source = documentForReading();
    if (!source)
        return;
    // UTF-8 without a byte-order mark, replacing the file only when written.
    const OutputJobScope job(this);
    WorkProgressDialog progress(tr("Экспорт текста"), tr("Экспорт страниц..."), this);
    const bool exported = progress.run([source, path](const WorkProgressDialog::Report& report) {
        return source->exportDocument(QStringLiteral("txt"), path, kDefaultDpi, report);
    });
    if (!exported) {
        if (progress.wasCancelled())
            setStatusText(tr("Экспорт отменён."));
        else
            QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось записать файл"), QMessageBox::Ok);
        return;
    }
    setStatusText(tr("Текст экспортирован в %1").arg(QFileInfo(path).fileName()));
}
