// The window's keyboard commands: shortcuts made once, the optional ones by
// the edition's capabilities; the format keys click the Home tab's buttons.
#include "MainWindow.h"

#include "ButtonKit.h"
#include "PdfView.h"

#include <QShortcut>
#include <QToolButton>

#include <functional>

namespace {

// Format keys in the order they are made; the colour buttons have none.
constexpr std::array<FormatButton, 17> kFormatKeyOrder{
    FormatBold,         FormatItalic,        FormatUnderline,      FormatStrikeOut,      FormatSuperscript,
    FormatSubscript,    FormatSizeUp,        FormatSizeDown,       FormatClear,          FormatAlignLeft,
    FormatAlignCenter,  FormatAlignRight,    FormatJustify,        FormatBulletedList,   FormatNumberedList,
    FormatIndentDecrease, FormatIndentIncrease};

} // namespace

void MainWindow::setupShortcuts()
{
    auto bind = [this](const QKeySequence& keys, std::function<void()> action) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        if (action)
            connect(shortcut, &QShortcut::activated, this, std::move(action));
        return shortcut;
    };
    auto literal = [](const char* keys) { return QKeySequence(QString::fromLatin1(keys)); };
    // A null action keeps a key for a command its own feature connects.
    bind(QKeySequence::Open, [this] { showOpenPdfDialog(); });
    bind(QKeySequence::Save, [this] { saveOrSaveAs(); });
    bind(saveAsKeys(), [this] { showSaveExportDialog(); });
    bind(QKeySequence::Print, [this] { showPrintDialog(); });
    bind(QKeySequence::Find, [this] { showSearchDialog(); });
    bind(QKeySequence::Undo, [this] { undoBlockEdit(); });
    bind(QKeySequence::Redo, [this] { redoBlockEdit(); });
    if (m_allowImports)
        bind(literal("Ctrl+Alt+I"), [this] { showImportDialog(); });
    if (m_allowOcr)
        bind(literal("Ctrl+Shift+O"), [this] { showOcrProgressDialog(); });
    if (m_allowPdfEditing) {
        bind(literal("F2"), [this] { onToggleEditMode(); });
        bind(literal("Ctrl+T"), [this] { onEditInsertText(); });
        bind(literal("Ctrl+Shift+I"), [this] { onEditInsertImage(); });
    }
    // The keys the Home tab's buttons show, where the edition has the button.
    bind(literal("Ctrl+Alt+M"), [this] {
        if (compressButton && compressButton->isEnabled())
            compressButton->click();
    });
    if (m_allowSignatures)
        bind(literal("Ctrl+Alt+S"), [this] { showSignatureDialog(false, {}, {}, QString()); });
    if (allowFacsimiles)
        bind(literal("Ctrl+Shift+F"), [this] { onFacsimileInsert(); });
    bind(literal("Ctrl+Alt+H"), [this] { chooseEditTool(PdfView::Hand); });
    bind(literal("Ctrl+Alt+V"), [this] { chooseEditTool(PdfView::Select); });
    QShortcut* zoomIn = bind(QKeySequence::ZoomIn, [this] { pdfView->zoomIn(); });
    bind(QKeySequence::ZoomOut, [this] { pdfView->zoomOut(); });
    bind(literal("Ctrl+0"), [this] { pdfView->zoomFit(); });
    bind(literal("Ctrl+2"), [this] { pdfView->zoomFitWidth(); });
    auto clickFormatButton = [this](FormatButton which) {
        QToolButton* button = formatButtons[which];
        if (button && button->isEnabled())
            button->click();
    };
    QShortcut* superscript = nullptr;
    for (FormatButton which : kFormatKeyOrder) {
        QShortcut* shortcut = bind(formatButtonSpecs()[which].keys(), [clickFormatButton, which] {
            clickFormatButton(which);
        });
        if (which == FormatSuperscript)
            superscript = shortcut;
    }
    // Where "+" is Shift with "=", Ctrl+plus is also Ctrl+Shift+= and both
    // keys match: superscript while an editor takes formats, else zoom in.
    auto zoomInOrSuperscript = [this, clickFormatButton] {
        QToolButton* button = formatButtons[FormatSuperscript];
        if (button && button->isEnabled())
            clickFormatButton(FormatSuperscript);
        else
            pdfView->zoomIn();
    };
    connect(zoomIn, &QShortcut::activatedAmbiguously, this, zoomInOrSuperscript);
    connect(superscript, &QShortcut::activatedAmbiguously, this, zoomInOrSuperscript);
}
