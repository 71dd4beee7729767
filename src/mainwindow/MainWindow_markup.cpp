// The "Разметка" tab: marking the stored selection, notes, free text on the
// page, and the annotation properties window.
#include "MainWindow.h"

#include "AnnotationPropertiesDialog.h"
#include "ButtonKit.h"
#include "DialogKit.h"
#include "FreeTextDialog.h"
#include "PageThumbnailPanel.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QColorDialog>
#include <QInputDialog>
#include <QToolButton>

namespace {

constexpr double kFreeTextWidthShare = 0.6;
constexpr double kFreeTextHeight = 40.0;

} // namespace

QWidget* MainWindow::buildCommentTab()
{
    // One colour for the three kinds, for the life of the process.
    static QColor s_markupColor(255, 255, 0);
    auto button = [this](const char* icon, const QString& text) {
        return toolButton(QString::fromLatin1(icon), text, false, false);
    };
    auto markup = [this, button](const char* icon, const QString& text, int kind, const QString& name) {
        QToolButton* made = button(icon, text);
        connect(made, &QToolButton::clicked, this, [this, kind, name] { markSelection(kind, name, s_markupColor); });
        return made;
    };

    QToolButton* note = button("comment", tr("Заметка"));
    connect(note, &QToolButton::clicked, this, &MainWindow::addNote);
    QToolButton* highlight = markup("highlight", tr("Маркер"), 0, tr("Маркер"));
    highlight->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(highlight, &QToolButton::customContextMenuRequested, this, [this] {
        const QColor chosen = QColorDialog::getColor(s_markupColor, this, tr("Цвет маркера"));
        if (chosen.isValid())
            s_markupColor = chosen;
    });
    QToolButton* text = button("edit-text", tr("Текст"));
    connect(text, &QToolButton::clicked, this, &MainWindow::openFreeTextWindow);
    QToolButton* underline = markup("format-underline", tr("Подчерк."), 1, tr("Подчёркивание"));
    QToolButton* strike = markup("format-strike", tr("Зачерк."), 2, tr("Зачёркивание"));
    QToolButton* area = toolButton(QStringLiteral("area-select"), tr("Область"), false, true);

    QToolButton* find = button("search", tr("Найти"));
    connect(find, &QToolButton::clicked, this, &MainWindow::showSearchDialog);
    QToolButton* copy = button("copy", tr("Копия"));
    connect(copy, &QToolButton::clicked, this, &MainWindow::onCopySelectedText);
    QToolButton* remove = toolButton(QStringLiteral("delete"), tr("Удалить"), false, true);

    QToolButton* password = button("password", tr("Пароль"));
    connect(password, &QToolButton::clicked, this, &MainWindow::showPasswordDialog);
    QToolButton* properties = button("properties", tr("Свойства"));
    connect(properties, &QToolButton::clicked, this, &MainWindow::showDocumentPropertiesDialog);
    QList<QWidget*> protection{password, button("permissions", tr("Права")), button("redact", tr("Редакция"))};
    if (m_allowSignatures) {
        QToolButton* sign = button("digital-signature", tr("Подпись"));
        connect(sign, &QToolButton::clicked, this, [this] { showSignatureDialog(false, {}, {}, QString()); });
        protection << sign;
    }
    protection << button("verify", tr("Проверить")) << properties;

    return ribbonPage({ribbonGroup(tr("Аннотации"), {note, highlight, text}),
                       ribbonGroup(tr("Разметка"), {underline, strike, area}),
                       ribbonGroup(tr("Работа"), {find, copy, remove}), ribbonGroup(tr("Защита"), protection)});
}

bool MainWindow::hasUsableSelection() const
{
    return ocrRegionPage >= 0 && ocrRegion.width() > 0 && ocrRegion.height() > 0;
}

// The stored selection (top-left origin) in PDF points of its page.
QRectF MainWindow::selectionInPdf() const
{
    const double pageHeight = document->pageSize(ocrRegionPage).height();
    return QRectF(ocrRegion.x(), pageHeight - (ocrRegion.y() + ocrRegion.height()), ocrRegion.width(),
                  ocrRegion.height());
}

// The region is used up: the view stops drawing it too.
void MainWindow::consumeSelection()
{
    ocrRegionPage = -1;
    ocrRegion = QRectF(0, 0, 0, 0);
    pdfView->clearLastRegionSelection();
}

// A failure the user is told of, not only in the status row.
void MainWindow::reportMarkupOutcome(const QString& title, const QString& text)
{
    setStatusText(text);
    appInfo(this, title, text);
}

bool MainWindow::markSelection(int kind, const QString& name, const QColor& color)
{
    if (!isDocumentLoaded())
        return false;
    if (!hasUsableSelection()) {
        reportMarkupOutcome(tr("Разметка"), tr("Выделите текст для разметки"));
        return false;
    }
    if (!applyPendingOcrEdits())
        return false;
    const int page = ocrRegionPage;
    if (!document->addMarkupAnnot(page, selectionInPdf(), color, kind)) {
        reportMarkupOutcome(tr("Разметка"), tr("Ошибка: %1").arg(document->lastError()));
        return false;
    }
    setStatusText(tr("%1 добавлен на стр. %2").arg(name).arg(page + 1));
    consumeSelection();
    return true;
}

void MainWindow::addNote()
{
    if (!isDocumentLoaded())
        return;
    const QString text =
        QInputDialog::getMultiLineText(this, tr("Добавить заметку"), tr("Текст заметки:"), QString());
    if (text.isEmpty())
        return;
    const int page = pdfView->currentPage();
    const QSizeF size = document->pageSize(page);
    if (!document->addStickyNote(page, QPointF(size.width() * 0.5, size.height() * 0.5), text,
                                 QStringLiteral("User"))) {
        reportMarkupOutcome(tr("Заметка"), tr("Ошибка: %1").arg(document->lastError()));
        return;
    }
    setStatusText(tr("Заметка добавлена на стр. ") + QString::number(page + 1));
}

FreeTextDialog* MainWindow::openFreeTextWindow()
{
    if (!isDocumentLoaded())
        return nullptr;
    int page = 0;
    QRectF rect;
    if (hasUsableSelection()) {
        page = ocrRegionPage;
        rect = selectionInPdf();
    } else {
        page = ocrRegionPage >= 0 ? ocrRegionPage : pdfView->currentPage();
        const QSizeF size = document->pageSize(page);
        const double width = kFreeTextWidthShare * size.width();
        rect = QRectF((size.width() - width) * 0.5, size.height() * 0.5 - kFreeTextHeight, width, kFreeTextHeight);
    }
    auto* dialog = new FreeTextDialog(*this, documentHold, page, rect);
    dialog->show();
    return dialog;
}

bool MainWindow::holdsDocument(const PdfDocument* doc) const
{
    if (!doc)
        return false;
    if (doc == document)
        return doc->isOpen();
    return std::any_of(openDocuments.begin(), openDocuments.end(),
                       [doc](const OpenDocumentState& state) { return state.document.get() == doc; });
}

bool MainWindow::writeFreeText(const std::shared_ptr<PdfDocument>& target, int page, const QRectF& rect,
                               const QString& text, const QString& family, float size, const QColor& color)
{
    if (!target || !holdsDocument(target.get()))
        return false;
    const bool shown = target.get() == document;
    if (shown && !applyPendingOcrEdits())
        return false;
    if (!target->addFreeText(page, rect, text, family, size, color)) {
        reportMarkupOutcome(tr("Текст"), tr("Ошибка: %1").arg(target->lastError()));
        return false;
    }
    // The shown document's view follows its own announcement; a tab not on
    // show only needs its modified mark.
    if (shown)
        consumeSelection();
    else
        refreshDocumentTabs();
    setStatusText(tr("Текст добавлен на стр. %1").arg(page + 1));
    return true;
}

// The free-text windows of a closed document close with it.
void MainWindow::closeFreeTextWindowsOf(const PdfDocument* doc)
{
    for (FreeTextDialog* dialog : findChildren<FreeTextDialog*>()) {
        if (!dialog->document() || dialog->document() == doc)
            dialog->close();
    }
}

void MainWindow::showAnnotationPropertiesDialog()
{
    auto* dialog = new AnnotationPropertiesDialog(this);
    dialog->move(frameGeometry().center() - dialog->rect().center());
    dialog->show();
}
