// Recognition of every page without visible text of its own, each written as
// the page's text layer, with a small progress dialog. The run keeps the GUI
// alive between pages, so while it lasts the window keeps its document.
#include "MainWindow.h"

#include "DialogKit.h"
#include "NativeTextLayer.h"
#include "OcrEngine.h"
#include "OcrRunRules.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kDialogWidth = 520;
constexpr int kDialogHeight = 290;
constexpr int kDialogMargin = 18;
constexpr int kDialogSpacing = 12;
constexpr int kRunDelayMs = 120;
constexpr int kBarPreparing = 8;
constexpr int kBarStarting = 22;
constexpr int kBarFirstPage = 5;
constexpr int kBarPagesSpan = 90;
constexpr int kBarUpdating = 96;
constexpr int kBarDone = 100;
const QString kDefaultLanguages = QStringLiteral("rus+eng");

// Updates of a bar or log that the user may have closed meanwhile.
struct RunProgress {
    QPointer<QProgressBar> bar;
    QPointer<QListWidget> log;

    void setBar(int value, const QString& format = QString()) const
    {
        if (!bar)
            return;
        bar->setValue(value);
        if (!format.isNull())
            bar->setFormat(format);
    }
    void add(const QString& line, bool scroll = false) const
    {
        if (!log)
            return;
        log->addItem(line);
        if (scroll)
            log->scrollToBottom();
    }
};

struct RunCounts {
    int recognised = 0;
    int skipped = 0;
    int withoutText = 0;
};

} // namespace

bool MainWindow::refuseWhileOcrRuns()
{
    if (!busy)
        return false;
    const QString text = tr("Дождитесь окончания распознавания документа");
    setStatusText(text);
    if (ocrProgressDialog) {
        if (auto* log = ocrProgressDialog->findChild<QListWidget*>()) {
            log->addItem(QStringLiteral("  ") + text);
            log->scrollToBottom();
        }
        ocrProgressDialog->show();
        ocrProgressDialog->raise();
        ocrProgressDialog->activateWindow();
    }
    return true;
}

// The run's document was closed, or another one took its place.
bool MainWindow::ocrRunDocumentGone(const PdfDocument* runDocument) const
{
    if (runDocument != document)
        return true;
    const bool listed = runDocument == initialDocument.get()
                        || std::any_of(openDocuments.begin(), openDocuments.end(),
                                       [runDocument](const OpenDocumentState& e) { return e.document.get() == runDocument; });
    return !listed || !runDocument->isOpen();
}

void MainWindow::showOcrProgressDialog()
{
    if (!allowOcr()) {
        setStatusText(tr("OCR недоступен в этой версии программы"));
        return;
    }
    if (refuseWhileOcrRuns())
        return;
    const bool loaded = isDocumentLoaded();
    if (loaded && !editMode)
        switchEditModeOn();

    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("AppDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("OCR"));
    dialog->resize(kDialogWidth, kDialogHeight);
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(kDialogMargin, kDialogMargin, kDialogMargin, kDialogMargin);
    layout->setSpacing(kDialogSpacing);
    layout->addWidget(label(tr("Распознавание текста"), QStringLiteral("DialogTitle")));
    const QString languages = QSettings().value(QStringLiteral("ocr/languages"), kDefaultLanguages).toString();
    layout->addWidget(label(loaded ? tr("Документ: %1 страниц · %2").arg(document->pageCount()).arg(ocrLanguageName(languages))
                                   : tr("Документ не открыт"),
                            QStringLiteral("DialogSubtitle")));
    auto* bar = new QProgressBar;
    bar->setObjectName(QStringLiteral("OcrProgress"));
    bar->setRange(0, kBarDone);
    bar->setValue(loaded ? kBarPreparing : 0);
    bar->setFormat(loaded ? tr("%p% · подготовка страницы") : tr("Откройте PDF перед запуском OCR"));
    layout->addWidget(bar);
    auto* log = new QListWidget;
    if (loaded) {
        log->addItems({tr("• Подготовка документа"), tr("  Страницы с готовым текстовым слоем будут пропущены"),
                       tr("  Сканированные страницы будут распознаны")});
    } else {
        log->addItem(tr("Документ не открыт"));
    }
    layout->addWidget(log, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* pause = dialogButton(tr("Пауза"), QStringLiteral("SecondaryDialogButton"));
    pause->setEnabled(false);
    QPushButton* cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    connect(cancel, &QPushButton::clicked, dialog, &QDialog::close);
    buttons->addWidget(pause);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    const QRect frame = frameGeometry();
    dialog->move(frame.center().x() - dialog->width() / 2, frame.center().y() - dialog->height() / 2);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    ocrProgressDialog = dialog;
    if (loaded)
        startDeferredOcrRun(dialog);
}

void MainWindow::startDeferredOcrRun(QDialog* dialog)
{
    QPointer<QDialog> guardedDialog(dialog);
    QPointer<QProgressBar> bar(dialog->findChild<QProgressBar*>(QStringLiteral("OcrProgress")));
    QPointer<QListWidget> log(dialog->findChild<QListWidget*>());
    QPointer<QPushButton> cancel;
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == tr("Отмена"))
            cancel = button;
    QTimer::singleShot(kRunDelayMs, this, [this, guardedDialog, bar, log, cancel] {
        if (!guardedDialog)
            return;
        const RunProgress progress{bar, log};
        progress.setBar(kBarStarting, tr("%p% · анализ текстовых блоков"));
        progress.add(tr("• Запуск OCR документа"), true);
        QCoreApplication::processEvents();
        runOcrDocument(bar, log);
        if (!guardedDialog)
            return;
        progress.setBar(kBarDone, tr("%p% · OCR завершён"));
        progress.add(tr("✓ OCR завершён"), true);
        if (cancel)
            cancel->setText(tr("Закрыть"));
    });
}

void MainWindow::runOcrDocument(QProgressBar* bar, QListWidget* log)
{
    if (!isDocumentLoaded() || busy)
        return;
    const RunProgress progress{bar, log};
    // Edits on show go into their page first; when they cannot, nothing runs.
    if (!applyPendingOcrEdits()) {
        progress.add(tr("  Не удалось применить текстовые правки — OCR не запущен"), true);
        setStatusText(tr("OCR документа не запущен: не удалось применить текстовые правки"));
        return;
    }
    if (!editMode)
        switchEditModeOn();
    busy = true;
    if (ocrButton)
        ocrButton->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!ensureOcrEngine()) {
        endOcrRun();
        appInfo(this, tr("OCR"), tr("Не удалось инициализировать Tesseract.\nПоложите tessdata рядом с программой."));
        return;
    }
    PdfDocument* const runDocument = document;
    const QSettings settings;
    const double renderZoom = settings.value(QStringLiteral("ocr/renderZoom"), 0.0).toDouble();
    const bool preferNative = settings.value(QStringLiteral("ocr/preferNativeTextLayer"), true).toBool();
    const int n = runDocument->pageCount();
    if (bar)
        bar->setRange(0, kBarDone);
    progress.setBar(kBarFirstPage);

    RunCounts counts;
    bool documentGone = false;
    for (int i = 0; i < n; ++i) {
        progress.setBar(kBarFirstPage + (kBarPagesSpan * i) / n, tr("%p% · страница %1 из %2").arg(i + 1).arg(n));
        progress.add(tr("• Страница %1: проверка").arg(i + 1), true);
        QCoreApplication::processEvents();
        documentGone = ocrRunDocumentGone(runDocument);
        if (documentGone || i >= runDocument->pageCount())
            break;
        if (preferNative && hasVisibleNativeText(runDocument->extractText(i))) {
            progress.add(tr("  Уже есть текстовый слой — пропущено"));
            ++counts.skipped;
            continue;
        }
        const QSizeF size = runDocument->pageSize(i);
        const double zoom = pageOcrZoom(size.width(), renderZoom);
        const QImage image = runDocument->renderPage(i, zoom, 0);
        if (image.isNull()) {
            progress.add(tr("  Не удалось подготовить изображение страницы"));
            ++counts.withoutText;
            continue;
        }
        progress.add(tr("  OCR..."), true);
        std::vector<TextBlock> blocks = ocrEngine->recognizePage(image, i, zoom, size.height());
        sortReadingOrder(blocks, size.width(), size.height());
        if (blocks.empty()) {
            ++counts.withoutText;
            progress.add(tr("  Текст не найден"));
        } else if (runDocument->overlayOcrText(i, blocks, false)) {
            progress.add(tr("  Добавлен текстовый слой: %1 блоков").arg(blocks.size()));
            ++counts.recognised;
        } else {
            progress.add(tr("  Не удалось добавить текстовый слой"));
            ++counts.withoutText;
        }
    }

    if (documentGone) {
        endOcrRun();
        progress.add(tr("  Документ закрыт — распознавание остановлено"), true);
        setStatusText(tr("OCR документа остановлен: документ закрыт"));
        return;
    }
    progress.setBar(kBarUpdating, tr("%p% · обновление документа"));
    // Blocks the user changed while the run went on are written, not dropped.
    if (applyPendingOcrEdits()) {
        forgetShownBlocks();
        pdfView->invalidatePageCache();
        loadNativeTextLayerForPage(pdfView->currentPage(), false);
    }
    updateTitle();
    endOcrRun();
    progress.setBar(kBarDone);
    progress.add(tr("✓ Готово: распознано %1, пропущено %2, без текста %3")
                     .arg(counts.recognised)
                     .arg(counts.skipped)
                     .arg(counts.withoutText),
                 true);
    setStatusText(tr("OCR документа: распознано %1 страниц, пропущено %2").arg(counts.recognised).arg(counts.skipped));
}
