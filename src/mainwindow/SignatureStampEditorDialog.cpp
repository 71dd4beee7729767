#include "SignatureStampEditorDialog.h"

#include "DialogKit.h"
#include "FacsimileEditorDialog.h"
#include "SignatureStampRender.h"
#include "UiTranslate.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QColor kDefaultTextColor(0x0f, 0x17, 0x2a);

QDoubleSpinBox* spin(double minimum, double maximum, const QString& suffix)
{
    auto* box = new QDoubleSpinBox;
    box->setObjectName(QStringLiteral("ScanSpin"));
    box->setRange(minimum, maximum);
    box->setDecimals(1);
    box->setSuffix(suffix);
    return box;
}

QColor pickColor(QWidget* parent, const QColor& start)
{
    return QColorDialog::getColor(start, parent, SignatureStampEditorDialog::tr("Цвет текста"));
}

QImage paintPicture(QWidget* parent, const QImage& picture)
{
    paint::FacsimileEditorDialog editor(parent);
    editor.setWindowTitle(SignatureStampEditorDialog::tr("Редактор картинки штампа"));
    editor.setImage(picture);
    if (editor.exec() != QDialog::Accepted)
        return QImage();
    return editor.image();
}

} // namespace

SignatureStampVariable SignatureStampEditorDialog::presetLine(const QString& text, int n)
{
    SignatureStampVariable line;
    line.text = text;
    line.x = 0.14;
    line.y = std::min(0.82, 0.18 + 0.075 * n);
    line.w = 0.8;
    line.h = 0.07;
    line.font = QStringLiteral("Times New Roman");
    line.fontSizePx = 30;
    line.color = kDefaultTextColor;
    line.alignment = Qt::AlignLeft | Qt::AlignVCenter;
    return line;
}

SignatureStampEditorDialog::SignatureStampEditorDialog(QWidget* parent, const QString& templateId)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint), m_chooseColor(pickColor), m_editPicture(paintPicture)
{
    m_template = loadSignatureStampTemplate(templateId);
    if (m_template.builtIn) {
        m_template.id.clear();
        m_template.name = tr("Мой штамп");
        m_template.builtIn = false;
    }
    if (m_template.image.isNull())
        m_template.image = defaultSignatureStampBase(QSize(kStampPictureWidth, kStampPictureHeight));
    if (m_template.variables.isEmpty())
        m_template.variables = defaultSignatureStampVariables();

    setObjectName(QStringLiteral("AppDialog"));
    setWindowTitle(tr("Настройка штампа подписи"));
    setModal(true);
    resize(980, 700);
    buildLayout();
    wheelOnlyWhenFocused(this);
    rebuildList();
    loadSelection();
    // Told once the editor is up, over it.
    if (const QString refused = m_template.pictureRefused; !refused.isEmpty())
        QTimer::singleShot(0, this, [this, refused] {
            appInfo(this, tr("Штамп подписи"),
                    tr("Картинка шаблона не прочитана: %1. Вместо неё показана стандартная картинка.").arg(refused));
        });
}

void SignatureStampEditorDialog::buildLayout()
{
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(18, 16, 18, 14);
    root->setSpacing(10);
    root->addWidget(label(tr("Настройка штампа подписи"), QStringLiteral("DialogTitle")));
    QLabel* subtitle = label(tr("Картинка штампа редактируется в VornPaint. Переменные хранятся отдельно и "
                                "автоматически заполняются при подписании."),
                             QStringLiteral("DialogSubtitle"));
    subtitle->setWordWrap(true);
    root->addWidget(subtitle);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(label(tr("Имя шаблона:"), QStringLiteral("DialogHint")));
    m_nameEdit = new QLineEdit(stampTemplateDisplayName(m_template));
    m_nameEdit->setObjectName(QStringLiteral("ScanLineEdit"));
    nameRow->addWidget(m_nameEdit, 1);
    root->addLayout(nameRow);

    auto* mainRow = new QHBoxLayout;
    mainRow->setSpacing(12);
    root->addLayout(mainRow, 1);

    auto* left = new QVBoxLayout;
    m_preview = new QLabel;
    m_preview->setObjectName(QStringLiteral("ScanPreview"));
    m_preview->setMinimumSize(520, 260);
    m_preview->setAlignment(Qt::AlignCenter);
    m_preview->setStyleSheet(QStringLiteral("background:#f8fbff; border:1px solid #d6e1ef; border-radius:12px;"));
    left->addWidget(m_preview, 1);
    auto* pictureRow = new QHBoxLayout;
    QPushButton* editPictureButton = dialogButton(tr("Редактировать картинку"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* resetButton = dialogButton(tr("Сбросить шаблон"), QStringLiteral("SecondaryDialogButton"));
    pictureRow->addWidget(editPictureButton);
    pictureRow->addWidget(resetButton);
    pictureRow->addStretch();
    left->addLayout(pictureRow);
    mainRow->addLayout(left, 2);

    auto* right = new QVBoxLayout;
    auto* presetRow = new QHBoxLayout;
    m_presets = new QComboBox;
    m_presets->setObjectName(QStringLiteral("ScanCombo"));
    const QList<std::pair<QString, QString>> presets{
        {tr("Подписант"), tr("Подписант: {{SIGNER}}")},
        {tr("Дата и время"), tr("Дата: {{DATETIME}}")},
        {tr("Сертификат"), tr("Сертификат: {{ALGORITHM}}, до {{VALID_TO}}")},
        {tr("Издатель"), tr("Издатель: {{ISSUER}}")},
        {tr("SHA-256"), tr("SHA-256: {{SHA256}}")},
        {tr("Отпечаток"), tr("Отпечаток: {{THUMBPRINT}}")},
        {tr("Провайдер"), tr("Провайдер: {{PROVIDER}}")},
    };
    for (const auto& [item, text] : presets)
        m_presets->addItem(item, text);
    QPushButton* insertButton = dialogButton(tr("Вставить"), QStringLiteral("SecondaryDialogButton"));
    setTextContext(insertButton, QStringLiteral("insert"));
    presetRow->addWidget(m_presets, 1);
    presetRow->addWidget(insertButton);
    right->addLayout(presetRow);
    m_lines = new QListWidget;
    m_lines->setObjectName(QStringLiteral("OpenRecentList"));
    m_lines->setMinimumHeight(140);
    m_lines->setProperty("_vorn_i18n_skip_items", true);  // the user's own lines
    right->addWidget(m_lines, 1);

    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    auto hint = [](const QString& text) { return label(text, QStringLiteral("DialogHint")); };
    m_textEdit = new QLineEdit;
    m_textEdit->setObjectName(QStringLiteral("ScanLineEdit"));
    m_xSpin = spin(0, 100, QStringLiteral(" %"));
    m_ySpin = spin(0, 100, QStringLiteral(" %"));
    m_widthSpin = spin(1, 100, QStringLiteral(" %"));
    m_heightSpin = spin(1, 100, QStringLiteral(" %"));
    m_fontBox = new QFontComboBox;
    m_fontBox->setObjectName(QStringLiteral("ScanCombo"));
    m_sizeSpin = spin(8, 120, QStringLiteral(" px"));
    m_boldBox = new QCheckBox(tr("Жирный"));
    m_boldBox->setObjectName(QStringLiteral("ScanCheckBox"));
    m_italicBox = new QCheckBox(tr("Курсив"));
    m_italicBox->setObjectName(QStringLiteral("ScanCheckBox"));
    m_colorButton = dialogButton(tr("Цвет"), QStringLiteral("SecondaryDialogButton"));
    m_deleteButton = dialogButton(tr("Удалить"), QStringLiteral("SecondaryDialogButton"));
    grid->addWidget(hint(tr("Текст:")), 0, 0);
    grid->addWidget(m_textEdit, 0, 1, 1, 3);
    grid->addWidget(hint(tr("X:")), 1, 0);
    grid->addWidget(m_xSpin, 1, 1);
    grid->addWidget(hint(tr("Y:")), 1, 2);
    grid->addWidget(m_ySpin, 1, 3);
    grid->addWidget(hint(tr("Ширина:")), 2, 0);
    grid->addWidget(m_widthSpin, 2, 1);
    grid->addWidget(hint(tr("Высота:")), 2, 2);
    grid->addWidget(m_heightSpin, 2, 3);
    grid->addWidget(hint(tr("Шрифт:")), 3, 0);
    grid->addWidget(m_fontBox, 3, 1, 1, 3);
    grid->addWidget(hint(tr("Размер:")), 4, 0);
    grid->addWidget(m_sizeSpin, 4, 1);
    grid->addWidget(m_boldBox, 4, 2);
    grid->addWidget(m_italicBox, 4, 3);
    grid->addWidget(m_colorButton, 5, 0, 1, 2);
    grid->addWidget(m_deleteButton, 5, 2, 1, 2);
    right->addLayout(grid);
    QLabel* keys = hint(tr("Переменные: {{SIGNER}}, {{SUBJECT}}, {{ISSUER}}, {{SERIAL}}, {{THUMBPRINT}}, {{ALGORITHM}}, "
                           "{{VALID_TO}}, {{DATETIME}}, {{SHA256}}, {{PROVIDER}}, {{CONTAINER}}"));
    keys->setWordWrap(true);
    right->addWidget(keys);
    mainRow->addLayout(right, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    QPushButton* cancelButton = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* saveButton = dialogButton(tr("Сохранить"), QStringLiteral("PrimaryDialogButton"));
    saveButton->setDefault(true);
    bottom->addWidget(cancelButton);
    bottom->addWidget(saveButton);
    root->addLayout(bottom);

    connect(m_lines, &QListWidget::currentRowChanged, this, [this] { loadSelection(); });
    connect(m_textEdit, &QLineEdit::textChanged, this, [this] { storeEditors(); });
    for (QDoubleSpinBox* box : {m_xSpin, m_ySpin, m_widthSpin, m_heightSpin, m_sizeSpin})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { storeEditors(); });
    connect(m_fontBox, &QFontComboBox::currentFontChanged, this, [this] { storeEditors(); });
    connect(m_boldBox, &QCheckBox::toggled, this, [this] { storeEditors(); });
    connect(m_italicBox, &QCheckBox::toggled, this, [this] { storeEditors(); });
    connect(insertButton, &QPushButton::clicked, this, [this] { addPresetLine(); });
    connect(m_deleteButton, &QPushButton::clicked, this, [this] { deleteLine(); });
    connect(m_colorButton, &QPushButton::clicked, this, [this] { chooseColor(); });
    connect(editPictureButton, &QPushButton::clicked, this, [this] { editPicture(); });
    connect(resetButton, &QPushButton::clicked, this, [this] { resetTemplate(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

int SignatureStampEditorDialog::selectedLine() const
{
    const int row = m_lines->currentRow();
    return row >= 0 && row < m_template.variables.size() ? row : -1;
}

void SignatureStampEditorDialog::loadSelection()
{
    const int index = selectedLine();
    const bool has = index >= 0;
    for (QWidget* editor : std::initializer_list<QWidget*>{m_textEdit, m_xSpin, m_ySpin, m_widthSpin, m_heightSpin,
                                                           m_fontBox, m_sizeSpin, m_boldBox, m_italicBox,
                                                           m_colorButton, m_deleteButton})
        editor->setEnabled(has);
    if (has) {
        const SignatureStampVariable line = m_template.variables.at(index);
        {
            const QSignalBlocker b1(m_textEdit), b2(m_xSpin), b3(m_ySpin), b4(m_widthSpin), b5(m_heightSpin),
                b6(m_fontBox), b7(m_sizeSpin), b8(m_boldBox), b9(m_italicBox);
            m_textEdit->setText(line.text);
            m_xSpin->setValue(line.x * 100);
            m_ySpin->setValue(line.y * 100);
            m_widthSpin->setValue(line.w * 100);
            m_heightSpin->setValue(line.h * 100);
            m_fontBox->setCurrentFont(QFont(line.font));
            m_sizeSpin->setValue(line.fontSizePx);
            m_boldBox->setChecked(line.bold);
            m_italicBox->setChecked(line.italic);
        }
    }
    restyleColorButton();
    refreshPreview();
}

void SignatureStampEditorDialog::storeEditors()
{
    const int index = selectedLine();
    if (index < 0)
        return;
    SignatureStampVariable& line = m_template.variables[index];
    line.text = m_textEdit->text();
    line.x = m_xSpin->value() / 100;
    line.y = m_ySpin->value() / 100;
    line.w = m_widthSpin->value() / 100;
    line.h = m_heightSpin->value() / 100;
    line.font = m_fontBox->currentFont().family();
    line.fontSizePx = m_sizeSpin->value();
    line.bold = m_boldBox->isChecked();
    line.italic = m_italicBox->isChecked();
    if (QListWidgetItem* item = m_lines->item(index))
        item->setText(line.text);
    refreshPreview();
}

void SignatureStampEditorDialog::addPresetLine()
{
    m_template.variables.append(
        presetLine(m_presets->currentData(Qt::UserRole).toString(), int(m_template.variables.size())));
    rebuildList();
    m_lines->setCurrentRow(m_lines->count() - 1);
    loadSelection();
}

void SignatureStampEditorDialog::deleteLine()
{
    const int index = selectedLine();
    if (index < 0)
        return;
    m_template.variables.removeAt(index);
    rebuildList();
    loadSelection();
}

void SignatureStampEditorDialog::chooseColor()
{
    const int index = selectedLine();
    if (index < 0)
        return;
    const QColor color = m_chooseColor(this, m_template.variables.at(index).color);
    if (!color.isValid())
        return;
    m_template.variables[index].color = color;
    restyleColorButton();
    refreshPreview();
}

void SignatureStampEditorDialog::editPicture()
{
    const QImage edited = m_editPicture(this, m_template.image);
    if (edited.isNull())
        return;
    m_template.image = edited.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    refreshPreview();
}

void SignatureStampEditorDialog::save()
{
    const QString name = m_nameEdit->text().trimmed();
    m_template.name = name;
    if (name.isEmpty()) {
        appInfo(this, tr("Штамп подписи"), tr("Введите имя шаблона."));
        return;
    }
    QString error;
    if (!saveSignatureStampTemplate(m_template, &error)) {
        appInfo(this, tr("Штамп подписи"), error);
        return;
    }
    m_savedId = m_template.id;
    accept();
}

void SignatureStampEditorDialog::resetTemplate()
{
    if (!appQuestion(this, tr("Сбросить штамп"), tr("Вернуть стандартную картинку и переменные штампа?"), tr("Да"),
                     tr("Нет")))
        return;
    const QString kept = m_nameEdit->text().trimmed();
    m_template = defaultSignatureStampTemplate();
    m_template.id.clear();
    m_template.builtIn = false;
    m_template.name = kept.isEmpty() ? tr("Мой штамп") : kept;
    rebuildList();
    loadSelection();
}

void SignatureStampEditorDialog::restyleColorButton()
{
    const int index = selectedLine();
    const QColor color = index >= 0 ? m_template.variables.at(index).color : kDefaultTextColor;
    m_colorButton->setStyleSheet(QStringLiteral("background:%1;").arg(color.name(QColor::HexArgb)));
}

void SignatureStampEditorDialog::refreshPreview()
{
    const QSize size = m_preview->size().expandedTo(m_preview->minimumSize());
    m_preview->setPixmap(stampTemplatePreviewPixmap(m_template, size, selectedLine()));
}

void SignatureStampEditorDialog::rebuildList()
{
    const int remembered = m_lines->currentRow();
    const QSignalBlocker blocker(m_lines);
    m_lines->clear();
    for (const SignatureStampVariable& line : m_template.variables)
        m_lines->addItem(line.text);
    if (m_lines->count() > 0)
        m_lines->setCurrentRow(std::max(0, std::min(remembered, m_lines->count() - 1)));
}

QString editSignatureStampTemplate(QWidget* parent, const QString& templateId)
{
    SignatureStampEditorDialog dialog(parent, templateId);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.savedId();
}
