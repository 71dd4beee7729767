#include "FreeTextDialog.h"

#include "DialogKit.h"
#include "MainWindow.h"
#include "PdfDocument.h"
#include "UiTranslate.h"

#include <QBoxLayout>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>

namespace {

constexpr int kWidth = 460;
constexpr int kHeight = 320;
constexpr int kMargin = 16;
constexpr int kSpacing = 10;
constexpr int kEditorMinimumHeight = 100;
constexpr int kMinimumSize = 6;
constexpr int kMaximumSize = 96;
constexpr int kDefaultSize = 12;

} // namespace

FreeTextDialog::FreeTextDialog(MainWindow& window, const std::shared_ptr<PdfDocument>& document, int page,
                               const QRectF& rect)
    : QDialog(&window)
    , m_window(window)
    , m_document(document)
    , m_page(page)
    , m_rect(rect)
{
    setObjectName(QStringLiteral("AppDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(tr("Текстовая аннотация"));
    resize(kWidth, kHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(kSpacing);
    layout->addWidget(label(tr("Текст на странице"), QStringLiteral("DialogTitle")));
    m_editor = new QTextEdit;
    m_editor->setObjectName(QStringLiteral("DialogLineEdit"));
    m_editor->setPlaceholderText(tr("Введите текст..."));
    m_editor->setMinimumHeight(kEditorMinimumHeight);
    m_editor->setAcceptRichText(false);
    layout->addWidget(m_editor);

    auto* fontRow = new QHBoxLayout;
    m_family = new QComboBox;
    m_family->setProperty("_vorn_i18n_skip_items", true);
    m_family->addItems({QStringLiteral("Helvetica"), QStringLiteral("Times-Roman"), QStringLiteral("Courier")});
    m_size = new QSpinBox;
    m_size->setRange(kMinimumSize, kMaximumSize);
    m_size->setValue(kDefaultSize);
    m_colorButton = dialogButton(tr("Цвет..."), QStringLiteral("SecondaryDialogButton"));
    fontRow->addWidget(new QLabel(tr("Шрифт:")));
    fontRow->addWidget(m_family);
    fontRow->addWidget(new QLabel(tr("Размер:")));
    fontRow->addWidget(m_size);
    fontRow->addWidget(m_colorButton);
    fontRow->addStretch(1);
    layout->addLayout(fontRow);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* insertButton = dialogButton(tr("Вставить"), QStringLiteral("PrimaryDialogButton"));
    setTextContext(insertButton, QStringLiteral("insert"));
    insertButton->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(insertButton);
    layout->addLayout(buttons);

    setTextColor(m_color);
    connect(m_colorButton, &QPushButton::clicked, this, &FreeTextDialog::chooseColor);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(insertButton, &QPushButton::clicked, this, &FreeTextDialog::insert);
    move(window.frameGeometry().center() - QWidget::rect().center());
}

void FreeTextDialog::setTextColor(const QColor& color)
{
    m_color = color;
    m_colorButton->setStyleSheet(QStringLiteral("background:%1").arg(color.name(QColor::HexRgb)));
}

void FreeTextDialog::chooseColor()
{
    const QColor chosen = QColorDialog::getColor(m_color, this);
    if (chosen.isValid())
        setTextColor(chosen);
}

// Written into the document the window was opened for, if the window still
// holds it open; never into the one shown now.
void FreeTextDialog::insert()
{
    const QString text = m_editor->toPlainText().trimmed();
    std::shared_ptr<PdfDocument> target = m_document.lock();
    if (!text.isEmpty() && target)
        m_window.writeFreeText(target, m_page, m_rect, text, m_family->currentText(), float(m_size->value()), m_color);
    close();
}
