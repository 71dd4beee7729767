// The Home tab: the file commands, the view tools and the edit commands; the
// font and paragraph groups are built beside the format logic.
#include "MainWindow.h"

#include "ButtonKit.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QButtonGroup>
#include <QToolButton>

namespace {

QToolButton* hinted(QToolButton* button, const QString& hintText, const QKeySequence& keys)
{
    setShortcutHint(button, hintText, keys);
    return button;
}

QToolButton* smallButton(const QString& iconName, const QString& text, const QString& hintText,
                         const QKeySequence& keys)
{
    return hinted(iconOnlyButton(iconName, text, false), hintText, keys);
}

QKeySequence keys(const char* literal)
{
    return QKeySequence(QString::fromLatin1(literal));
}

} // namespace

QWidget* MainWindow::buildHomeTab()
{
    QList<QWidget*> groups{buildFileGroup(), buildToolsGroup(), buildEditGroup()};
    if (m_allowPdfEditing) {
        formatRequests = new TextFormatRequests(this);
        formatRequests->setObjectName(QStringLiteral("TextFormatRequests"));
        groups << buildFontGroup() << buildParagraphGroup();
        connectFormatButtons();
        setFontControlsEnabled(false);
    }
    return ribbonPage(groups);
}

QWidget* MainWindow::buildFileGroup()
{
    QToolButton* open = hinted(largeIconButton(QStringLiteral("open"), tr("Открыть"), false), tr("Открыть"),
                               QKeySequence::Open);
    connectToolCommand(open, ToolCommand::OpenDialog);
    saveButton = smallButton(QStringLiteral("save"), tr("Сохранить"), tr("Сохранить"), QKeySequence::Save);
    connect(saveButton, &QToolButton::clicked, this, &MainWindow::saveOrSaveAs);
    QToolButton* saveAs = smallButton(QStringLiteral("save-as"), tr("Сохранить как"), tr("Сохранить как / Экспорт"),
                                      saveAsKeys());
    compressButton = smallButton(QStringLiteral("compress-pdf"), tr("Сжать PDF"), tr("Сжать PDF"), keys("Ctrl+Alt+M"));
    connect(compressButton, &QToolButton::clicked, this, [this] { showCompressedPdfExportDialog(QString(), false); });
    QToolButton* import = m_allowImports ? smallButton(QStringLiteral("insert-page"), tr("Импорт"), tr("Импорт"),
                                                       keys("Ctrl+Alt+I"))
                                         : nullptr;
    QToolButton* print = smallButton(QStringLiteral("print"), tr("Печать"), tr("Печать"), QKeySequence::Print);
    if (import)
        connect(import, &QToolButton::clicked, this, &MainWindow::showImportDialog);
    connect(saveAs, &QToolButton::clicked, this, &MainWindow::showSaveExportDialog);
    connect(print, &QToolButton::clicked, this, &MainWindow::showPrintDialog);
    return ribbonLeadGroup(tr("Файл"), open, {{saveButton, saveAs, compressButton}, {import, print}});
}

QWidget* MainWindow::buildToolsGroup()
{
    // Edit mode and OCR are connected with the recognition runs, signing by
    // its own feature.
    if (m_allowPdfEditing)
        editModeButton = hinted(largeIconButton(QStringLiteral("edit-mode"), tr("Редактировать"), true),
                                tr("Редактировать"), keys("F2"));
    auto [handButton, selectButton] = editToolButtons(iconOnlyButton);

    QToolButton* find = smallButton(QStringLiteral("search"), tr("Найти"), tr("Найти"), QKeySequence::Find);
    connect(find, &QToolButton::clicked, this, &MainWindow::showSearchDialog);
    if (m_allowOcr)
        ocrButton = smallButton(QStringLiteral("ocr"), QStringLiteral("OCR"), QStringLiteral("OCR"),
                                keys("Ctrl+Shift+O"));
    QToolButton* sign = m_allowSignatures ? smallButton(QStringLiteral("digital-signature"), tr("Подписать"),
                                                        tr("Подписать файл электронной подписью"),
                                                        keys("Ctrl+Alt+S"))
                                          : nullptr;
    if (sign)
        connect(sign, &QToolButton::clicked, this, [this] { showSignatureDialog(false, {}, {}, QString()); });
    QList<QWidget*> topRow{selectButton};
    QWidget* lead = handButton;
    if (editModeButton) {
        lead = editModeButton;
        topRow.prepend(handButton);
    }
    return ribbonLeadGroup(tr("Инструменты"), lead, {topRow, {find, ocrButton, sign}});
}

QWidget* MainWindow::buildEditGroup()
{
    // Facsimiles are connected by their own feature.
    undoButton = smallButton(QStringLiteral("undo"), tr("Назад"), tr("Отменить"), QKeySequence::Undo);
    redoButton = smallButton(QStringLiteral("redo"), tr("Вперёд"), tr("Повторить"), QKeySequence::Redo);
    undoButton->setEnabled(false);
    redoButton->setEnabled(false);
    connect(undoButton, &QToolButton::clicked, this, &MainWindow::undoBlockEdit);
    connect(redoButton, &QToolButton::clicked, this, &MainWindow::redoBlockEdit);
    QToolButton* copy = smallButton(QStringLiteral("copy"), tr("Копия"), tr("Копировать"), QKeySequence::Copy);
    connect(copy, &QToolButton::clicked, this, &MainWindow::onEditCopy);
    QList<QWidget*> secondRow;
    if (m_allowPdfEditing) {
        QToolButton* paste = smallButton(QStringLiteral("paste"), tr("Вставить"), tr("Вставить изображение/содержимое"),
                                         QKeySequence::Paste);
        QToolButton* text = smallButton(QStringLiteral("edit-text"), tr("Текст"), tr("Добавить текст"), keys("Ctrl+T"));
        QToolButton* image = smallButton(QStringLiteral("edit-image"), tr("Картинка"), tr("Добавить изображение"),
                                         keys("Ctrl+Shift+I"));
        connect(paste, &QToolButton::clicked, this, &MainWindow::onEditPaste);
        connect(text, &QToolButton::clicked, this, &MainWindow::onEditInsertText);
        connect(image, &QToolButton::clicked, this, &MainWindow::onEditInsertImage);
        secondRow << paste << text << image;
    }
    if (allowFacsimiles) {
        QToolButton* facsimile = smallButton(QStringLiteral("signature"), tr("Факсимиле"), tr("Вставить факсимиле"),
                                             keys("Ctrl+Shift+F"));
        connect(facsimile, &QToolButton::clicked, this, &MainWindow::onFacsimileInsert);
        secondRow << facsimile;
    }
    return ribbonMultiRowGroup(tr("Правка"), {{undoButton, redoButton, copy}, secondRow});
}

// The hand and select tools as one exclusive pair, select chosen.
std::pair<QToolButton*, QToolButton*> MainWindow::editToolButtons(ButtonFactory factory)
{
    QToolButton* handButton = factory(QStringLiteral("hand"), tr("Рука"), true);
    setShortcutHint(handButton, tr("Рука"), keys("Ctrl+Alt+H"));
    QToolButton* selectButton = factory(QStringLiteral("select"), tr("Выбор"), true);
    setShortcutHint(selectButton, tr("Выбор"), keys("Ctrl+Alt+V"));
    selectButton->setChecked(true);
    auto* tools = new QButtonGroup(handButton);
    tools->setExclusive(true);
    tools->addButton(handButton);
    tools->addButton(selectButton);
    connect(handButton, &QToolButton::clicked, this, [this] { chooseEditTool(PdfView::Hand); });
    connect(selectButton, &QToolButton::clicked, this, [this] { chooseEditTool(PdfView::Select); });
    return {handButton, selectButton};
}

// Undo and redo of the view's block edits; nothing with an empty history.
void MainWindow::undoBlockEdit()
{
    if (pdfView && pdfView->canUndo())
        pdfView->undo();
}

void MainWindow::redoBlockEdit()
{
    if (pdfView && pdfView->canRedo())
        pdfView->redo();
}

// The save button and the save key: save in place, or save as for a
// document that has no file yet.
bool MainWindow::saveOrSaveAs()
{
    if (!isDocumentLoaded())
        return false;
    return document->filePath().isEmpty() ? saveActiveDocumentAs() : saveActiveDocument();
}
