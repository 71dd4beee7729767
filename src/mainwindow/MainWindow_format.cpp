// The Home tab's font and paragraph groups: each control sends its change to
// the active in-place editor, and the editor's format reports set the
// controls without sending anything back.
#include "MainWindow.h"

#include "ButtonKit.h"
#include "PdfView.h"

#include <QColorDialog>
#include <QComboBox>
#include <QFontDatabase>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>

#include <optional>

namespace {

constexpr int kFontComboWidth = 168;
constexpr int kFontComboMinimumChars = 16;
constexpr int kSizeSpinWidth = 78;
constexpr int kMinFontSize = 6;
constexpr int kMaxFontSize = 160;
constexpr int kDefaultFontSize = 12;
constexpr int kIndentStep = 18;
const QColor kInitialHighlight(255, 230, 70);

const QString kDefaultFamily = QStringLiteral("Times New Roman");

// Families offered first, when installed, in this order.
const QStringList& preferredFamilies()
{
    static const QStringList families{
        kDefaultFamily,         QStringLiteral("Arial"),           QStringLiteral("Calibri"),
        QStringLiteral("Segoe UI"),    QStringLiteral("Liberation Serif"), QStringLiteral("Liberation Sans"),
        QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Serif"),     QStringLiteral("Ubuntu"),
        QStringLiteral("Noto Sans")};
    return families;
}

QStringList orderedFamilies()
{
    const QStringList installed = QFontDatabase::families();
    QStringList ordered;
    for (const QString& family : preferredFamilies()) {
        if (installed.contains(family, Qt::CaseSensitive))
            ordered << family;
    }
    for (const QString& family : installed) {
        if (!ordered.contains(family, Qt::CaseSensitive))
            ordered << family;
    }
    return ordered;
}

// The alignment button a report checks; none for combined or other flags.
std::optional<FormatButton> alignmentButton(Qt::Alignment alignment)
{
    if (alignment == Qt::AlignLeft)
        return FormatAlignLeft;
    if (alignment == Qt::AlignHCenter)
        return FormatAlignCenter;
    if (alignment == Qt::AlignRight)
        return FormatAlignRight;
    if (alignment == Qt::AlignJustify)
        return FormatJustify;
    return std::nullopt;
}

constexpr std::array<FormatButton, 6> kCharacterButtons{FormatBold,        FormatItalic,     FormatUnderline,
                                                        FormatStrikeOut,   FormatSuperscript, FormatSubscript};
constexpr std::array<FormatButton, 4> kAlignmentButtons{FormatAlignLeft, FormatAlignCenter, FormatAlignRight,
                                                        FormatJustify};

} // namespace

QToolButton* MainWindow::formatButton(FormatButton which)
{
    const FormatButtonSpec& buttonSpec = formatButtonSpecs()[size_t(which)];
    const QString text = tr(buttonSpec.text);
    QToolButton* button = iconOnlyButton(QString::fromLatin1(buttonSpec.icon), text, buttonSpec.checkable);
    const QKeySequence keys = buttonSpec.keys();
    if (!keys.isEmpty())
        setShortcutHint(button, text, keys);
    formatButtons[size_t(which)] = button;
    return button;
}

QWidget* MainWindow::buildFontGroup()
{
    fontCombo = new QComboBox;
    fontCombo->setObjectName(QStringLiteral("RibbonCombo"));
    fontCombo->setEditable(false);
    fontCombo->addItems(orderedFamilies());
    fontCombo->setCurrentText(kDefaultFamily);
    fontCombo->setMinimumContentsLength(kFontComboMinimumChars);
    fontCombo->setFixedWidth(kFontComboWidth);

    fontSizeSpin = new QSpinBox;
    fontSizeSpin->setObjectName(QStringLiteral("RibbonSpin"));
    fontSizeSpin->setRange(kMinFontSize, kMaxFontSize);
    fontSizeSpin->setValue(kDefaultFontSize);
    fontSizeSpin->setFixedWidth(kSizeSpinWidth);

    return ribbonMultiRowGroup(
        tr("Шрифт"),
        {{fontCombo, fontSizeSpin, formatButton(FormatSizeUp), formatButton(FormatSizeDown)},
         {formatButton(FormatBold), formatButton(FormatItalic), formatButton(FormatUnderline),
          formatButton(FormatStrikeOut), formatButton(FormatSubscript), formatButton(FormatSuperscript),
          formatButton(FormatHighlightColor), formatButton(FormatTextColor), formatButton(FormatClear)}});
}

QWidget* MainWindow::buildParagraphGroup()
{
    return ribbonMultiRowGroup(tr("Абзац"),
                               {{formatButton(FormatBulletedList), formatButton(FormatNumberedList),
                                 formatButton(FormatIndentDecrease), formatButton(FormatIndentIncrease)},
                                {formatButton(FormatAlignLeft), formatButton(FormatAlignCenter),
                                 formatButton(FormatAlignRight), formatButton(FormatJustify)}});
}

void MainWindow::connectFormatButtons()
{
    TextFormatRequests* requests = formatRequests;
    // Changes made by a format report are the editor's own: nothing goes back.
    auto reportingFormat = [this] { return updatingFormatControls || !pdfView; };
    connect(fontCombo, &QComboBox::currentTextChanged, this, [=, this](const QString& family) {
        if (!reportingFormat())
            emit requests->fontFamily(family);
    });
    connect(fontSizeSpin, &QSpinBox::valueChanged, this, [=, this](int size) {
        if (!reportingFormat())
            emit requests->fontSize(size);
    });
    auto onToggled = [&](FormatButton which, void (TextFormatRequests::*request)(bool)) {
        connect(formatButtons[which], &QToolButton::toggled, this, [=, this](bool on) {
            if (!reportingFormat())
                emit(requests->*request)(on);
        });
    };
    onToggled(FormatBold, &TextFormatRequests::bold);
    onToggled(FormatItalic, &TextFormatRequests::italic);
    onToggled(FormatUnderline, &TextFormatRequests::underline);
    onToggled(FormatStrikeOut, &TextFormatRequests::strikeOut);
    // Superscript and subscript exclude each other; the one turned off is not sent.
    auto exclusive = [=, this](FormatButton which, FormatButton other, void (TextFormatRequests::*request)(bool)) {
        connect(formatButtons[which], &QToolButton::toggled, this, [=, this](bool on) {
            if (reportingFormat())
                return;
            if (on) {
                const QSignalBlocker blocker(formatButtons[other]);
                formatButtons[other]->setChecked(false);
            }
            emit(requests->*request)(on);
        });
    };
    exclusive(FormatSuperscript, FormatSubscript, &TextFormatRequests::superscript);
    exclusive(FormatSubscript, FormatSuperscript, &TextFormatRequests::subscript);

    auto onClicked = [&](FormatButton which, auto send) {
        connect(formatButtons[which], &QToolButton::clicked, this, [this, send] {
            if (pdfView)
                send();
        });
    };
    onClicked(FormatSizeUp, [this] { fontSizeSpin->setValue(qMin(fontSizeSpin->value() + 1, fontSizeSpin->maximum())); });
    onClicked(FormatSizeDown,
              [this] { fontSizeSpin->setValue(qMax(fontSizeSpin->value() - 1, fontSizeSpin->minimum())); });
    onClicked(FormatClear, [requests] { emit requests->clearFormatting(); });
    onClicked(FormatHighlightColor, [this] { chooseFormatColor(true); });
    onClicked(FormatTextColor, [this] { chooseFormatColor(false); });
    onClicked(FormatBulletedList, [requests] { emit requests->bulletedList(); });
    onClicked(FormatNumberedList, [requests] { emit requests->numberedList(); });
    onClicked(FormatIndentDecrease, [requests] { emit requests->indent(-kIndentStep); });
    onClicked(FormatIndentIncrease, [requests] { emit requests->indent(kIndentStep); });
    onClicked(FormatAlignLeft, [requests] { emit requests->alignment(Qt::AlignLeft); });
    onClicked(FormatAlignCenter, [requests] { emit requests->alignment(Qt::AlignHCenter); });
    onClicked(FormatAlignRight, [requests] { emit requests->alignment(Qt::AlignRight); });
    onClicked(FormatJustify, [requests] { emit requests->alignment(Qt::AlignJustify); });
    connectFormatRequestsToView();
}

// Each request reaches the view's active in-place editor, which ignores it
// when no editor is active.
void MainWindow::connectFormatRequestsToView()
{
    using R = TextFormatRequests;
    connect(formatRequests, &R::fontFamily, pdfView, &PdfView::setActiveTextFontFamily);
    connect(formatRequests, &R::fontSize, pdfView, &PdfView::setActiveTextFontSize);
    connect(formatRequests, &R::bold, pdfView, &PdfView::setActiveTextBold);
    connect(formatRequests, &R::italic, pdfView, &PdfView::setActiveTextItalic);
    connect(formatRequests, &R::underline, pdfView, &PdfView::setActiveTextUnderline);
    connect(formatRequests, &R::strikeOut, pdfView, &PdfView::setActiveTextStrikeOut);
    connect(formatRequests, &R::superscript, pdfView, &PdfView::setActiveTextSuperscript);
    connect(formatRequests, &R::subscript, pdfView, &PdfView::setActiveTextSubscript);
    connect(formatRequests, &R::textColor, pdfView, &PdfView::setActiveTextColor);
    connect(formatRequests, &R::backgroundColor, pdfView, &PdfView::setActiveTextBackgroundColor);
    connect(formatRequests, &R::clearFormatting, pdfView, &PdfView::clearActiveTextFormatting);
    connect(formatRequests, &R::bulletedList, pdfView, &PdfView::setActiveTextBulletedList);
    connect(formatRequests, &R::numberedList, pdfView, &PdfView::setActiveTextNumberedList);
    connect(formatRequests, &R::indent, pdfView, &PdfView::adjustActiveTextIndent);
    connect(formatRequests, &R::alignment, pdfView, &PdfView::setActiveTextAlignment);
}

void MainWindow::chooseFormatColor(bool background)
{
    const QColor color = background ? QColorDialog::getColor(kInitialHighlight, this, tr("Цвет выделения"))
                                    : QColorDialog::getColor(Qt::black, this, tr("Цвет текста"));
    if (!color.isValid())
        return;
    if (background)
        emit formatRequests->backgroundColor(color);
    else
        emit formatRequests->textColor(color);
}

void MainWindow::onActiveTextFormatChanged(const QString& family, int size, bool bold, bool italic, bool underline,
                                           bool strikeOut, bool superscript, bool subscript, Qt::Alignment alignment)
{
    if (!fontCombo || !fontSizeSpin)
        return;
    for (FormatButton which : kCharacterButtons) {
        if (!formatButtons[which])
            return;
    }
    updatingFormatControls = true;
    std::vector<std::pair<QObject*, bool>> blocked{{fontCombo, fontCombo->blockSignals(true)},
                                                   {fontSizeSpin, fontSizeSpin->blockSignals(true)}};
    for (FormatButton which : kCharacterButtons)
        blocked.emplace_back(formatButtons[which], formatButtons[which]->blockSignals(true));
    for (FormatButton which : kAlignmentButtons) {
        if (formatButtons[which])
            blocked.emplace_back(formatButtons[which], formatButtons[which]->blockSignals(true));
    }

    if (!family.trimmed().isEmpty()) {
        if (fontCombo->findData(family, Qt::DisplayRole, Qt::MatchFixedString) < 0)
            fontCombo->addItem(family);
        fontCombo->setCurrentText(family);
    }
    fontSizeSpin->setValue(qBound(fontSizeSpin->minimum(), size, fontSizeSpin->maximum()));
    const std::array<bool, kCharacterButtons.size()> states{bold, italic, underline, strikeOut, superscript, subscript};
    for (size_t i = 0; i < kCharacterButtons.size(); ++i)
        formatButtons[kCharacterButtons[i]]->setChecked(states[i]);
    const std::optional<FormatButton> aligned = alignmentButton(alignment);
    for (FormatButton which : kAlignmentButtons) {
        if (formatButtons[which])
            formatButtons[which]->setChecked(aligned == which);
    }
    setFontControlsEnabled(true);

    updatingFormatControls = false;
    for (auto [object, wasBlocked] : blocked)
        object->blockSignals(wasBlocked);
}
