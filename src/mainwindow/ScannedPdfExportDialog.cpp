#include "ScannedPdfExportDialog.h"

#include "DialogKit.h"
#include "OutputPaths.h"
#include "UiTranslate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QSize kDialogSize(760, 560);
const QSize kPreviewSize(320, 455);
constexpr int kPreviewCardWidth = 344;
constexpr int kDefaultsNoticeMs = 1400;
constexpr int kDefaultDpi = 200;
const QList<int> kDpis{100, 150, 200, 300, 400, 600};

enum Slider { Darkness, Contrast, Noise, Stripes, VerticalStreaks, EdgeShadow, FoldedCorner };

} // namespace

ScannedPdfExportDialog::ScannedPdfExportDialog(const ScannedPdfExportOptions& initial,
                                               std::function<QImage(const ScannedPdfExportOptions&)> preview,
                                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint), m_preview(std::move(preview)), m_lastRead(initial)
{
    setObjectName(QStringLiteral("AppDialog"));
    setWindowTitle(tr("Сохранить как сканированный PDF"));
    setModal(true);
    resize(kDialogSize);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(12);
    layout->addWidget(label(tr("Сканированный PDF"), QStringLiteral("DialogTitle")));
    QLabel* subtitle = label(tr("Создайте растровую копию документа с эффектом сканирования: наклон, затемнение, "
                                "шум и полосы сканера."),
                             QStringLiteral("DialogSubtitle"));
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);
    auto* body = new QHBoxLayout;
    body->setSpacing(16);
    body->addWidget(buildSettingsColumn(initial), 1);
    body->addWidget(buildPreviewCard());
    layout->addLayout(body, 1);

    auto* buttons = new QHBoxLayout;
    m_defaultsButton = dialogButton(tr("Сохранить как дефолтные"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* save = dialogButton(tr("Сохранить"), QStringLiteral("PrimaryDialogButton"));
    save->setDefault(true);
    buttons->addWidget(m_defaultsButton);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(save);
    layout->addLayout(buttons);
    connect(m_defaultsButton, &QPushButton::clicked, this, &ScannedPdfExportDialog::saveDefaults);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(save, &QPushButton::clicked, this, &QDialog::accept);

    const auto refresh = [this] { refreshPreview(); };
    connect(m_dpi, &QComboBox::currentIndexChanged, this, refresh);
    connect(m_rotation, &QComboBox::currentIndexChanged, this, refresh);
    connect(m_margin, &QDoubleSpinBox::valueChanged, this, refresh);
    connect(m_skew, &QDoubleSpinBox::valueChanged, this, refresh);
    connect(m_randomize, &QCheckBox::toggled, this, refresh);
    connect(m_grayscale, &QCheckBox::toggled, this, refresh);
    for (QSlider* slider : m_sliders)
        connect(slider, &QSlider::valueChanged, this, refresh);
    QTimer::singleShot(0, this, refresh);
}

QWidget* ScannedPdfExportDialog::buildSettingsColumn(const ScannedPdfExportOptions& initial)
{
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(label(tr("Файл результата:"), QStringLiteral("DialogHint")));
    auto* fileRow = new QHBoxLayout;
    m_file = dialogLineEdit(initial.outputPath);
    QPushButton* browseButton = dialogButton(tr("Обзор..."), QStringLiteral("SecondaryDialogButton"));
    connect(browseButton, &QPushButton::clicked, this, &ScannedPdfExportDialog::browse);
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browseButton);
    layout->addLayout(fileRow);

    auto* pageBox = new QGroupBox(tr("Страница"));
    pageBox->setObjectName(QStringLiteral("ScanGroupBox"));
    auto* pageForm = new QFormLayout(pageBox);
    pageForm->setLabelAlignment(Qt::AlignLeft);
    m_dpi = new QComboBox;
    m_dpi->setObjectName(QStringLiteral("ScanCombo"));
    for (int dpi : kDpis)
        m_dpi->addItem(tr("%1 dpi").arg(dpi), dpi);
    const int dpiIndex = m_dpi->findData(initial.dpi);
    m_dpi->setCurrentIndex(dpiIndex >= 0 ? dpiIndex : m_dpi->findData(kDefaultDpi));
    m_rotation = new QComboBox;
    m_rotation->setObjectName(QStringLiteral("ScanCombo"));
    m_rotation->addItem(tr("Без поворота"), 0);
    m_rotation->addItem(tr("90° вправо"), 90);
    m_rotation->addItem(tr("180°"), 180);
    m_rotation->addItem(tr("90° влево"), 270);
    m_rotation->setCurrentIndex(std::max(0, m_rotation->findData(initial.rotation)));
    m_margin = new QDoubleSpinBox;
    m_margin->setObjectName(QStringLiteral("ScanSpin"));
    m_margin->setRange(0, 12);
    m_margin->setDecimals(1);
    m_margin->setSingleStep(0.2);
    m_margin->setSuffix(tr(" мм"));
    m_margin->setValue(initial.marginMm);
    m_skew = new QDoubleSpinBox;
    m_skew->setObjectName(QStringLiteral("ScanSpin"));
    m_skew->setRange(0, 4);
    m_skew->setDecimals(2);
    m_skew->setSingleStep(0.05);
    m_skew->setSuffix(QStringLiteral("°"));
    m_skew->setValue(initial.maxSkewDegrees);
    m_randomize = new QCheckBox(tr("Случайный наклон для каждой страницы"));
    m_randomize->setObjectName(QStringLiteral("ScanCheckBox"));
    m_randomize->setChecked(initial.randomize);
    pageForm->addRow(tr("Разрешение:"), m_dpi);
    pageForm->addRow(tr("Поворот:"), m_rotation);
    pageForm->addRow(tr("Белые поля:"), m_margin);
    pageForm->addRow(tr("Наклон ±:"), m_skew);
    pageForm->addRow(QString(), m_randomize);
    layout->addWidget(pageBox);

    auto* effectBox = new QGroupBox(tr("Эффект сканирования"));
    effectBox->setObjectName(QStringLiteral("ScanGroupBox"));
    auto* effectForm = new QFormLayout(effectBox);
    effectForm->setLabelAlignment(Qt::AlignLeft);
    m_sliders[Darkness] = addSlider(effectForm, tr("Затемнение:"), 50, initial.darkness);
    m_sliders[Contrast] = addSlider(effectForm, tr("Контраст:"), 60, initial.contrast);
    m_sliders[Noise] = addSlider(effectForm, tr("Шум бумаги:"), 40, initial.noise);
    m_sliders[Stripes] = addSlider(effectForm, tr("Горизонтальные полосы:"), 80, initial.stripes);
    m_sliders[VerticalStreaks] = addSlider(effectForm, tr("Вертикальные полосы:"), 80, initial.verticalStreaks);
    m_sliders[EdgeShadow] = addSlider(effectForm, tr("Тень по краям:"), 60, initial.edgeShadow);
    m_sliders[FoldedCorner] = addSlider(effectForm, tr("Загнутый уголок:"), 80, initial.foldedCorner);
    m_grayscale = new QCheckBox(tr("Чёрно-белый/серый скан"));
    m_grayscale->setObjectName(QStringLiteral("ScanCheckBox"));
    m_grayscale->setChecked(initial.grayscale);
    effectForm->addRow(QString(), m_grayscale);
    layout->addWidget(effectBox);
    layout->addStretch();
    return column;
}

QSlider* ScannedPdfExportDialog::addSlider(QFormLayout* form, const QString& text, int maximum, int value)
{
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(QStringLiteral("ScanSlider"));
    slider->setRange(0, maximum);
    slider->setTickPosition(QSlider::NoTicks);
    slider->setValue(value);
    form->addRow(text, slider);
    return slider;
}

QWidget* ScannedPdfExportDialog::buildPreviewCard()
{
    auto* card = new QFrame;
    card->setObjectName(QStringLiteral("PreviewCard"));
    card->setFixedWidth(kPreviewCardWidth);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    layout->addWidget(label(tr("Предпросмотр текущей страницы"), QStringLiteral("DialogHint")));
    m_previewLabel = new QLabel;
    m_previewLabel->setObjectName(QStringLiteral("ScanPreview"));
    m_previewLabel->setFixedSize(kPreviewSize);
    m_previewLabel->setAlignment(Qt::AlignCenter);
    m_previewLabel->setScaledContents(false);
    layout->addWidget(m_previewLabel, 1);
    return card;
}

ScannedPdfExportOptions ScannedPdfExportDialog::options() const
{
    ScannedPdfExportOptions o;
    o.outputPath = m_file->text().trimmed();
    o.dpi = m_dpi->currentData().toInt();
    o.rotation = m_rotation->currentData().toInt();
    o.marginMm = m_margin->value();
    o.maxSkewDegrees = m_skew->value();
    o.randomize = m_randomize->isChecked();
    o.darkness = m_sliders[Darkness]->value();
    o.contrast = m_sliders[Contrast]->value();
    o.noise = m_sliders[Noise]->value();
    o.stripes = m_sliders[Stripes]->value();
    o.verticalStreaks = m_sliders[VerticalStreaks]->value();
    o.edgeShadow = m_sliders[EdgeShadow]->value();
    o.foldedCorner = m_sliders[FoldedCorner]->value();
    o.grayscale = m_grayscale->isChecked();
    return o;
}

void ScannedPdfExportDialog::refreshPreview()
{
    m_lastRead = options();
    const QImage image = m_preview ? m_preview(m_lastRead) : QImage();
    if (image.isNull()) {
        m_previewLabel->clear();
        return;
    }
    m_previewLabel->setPixmap(
        QPixmap::fromImage(image).scaled(m_previewLabel->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void ScannedPdfExportDialog::browse()
{
    QString start = m_file->text().trimmed();
    if (start.isEmpty())
        start = m_lastRead.outputPath;
    QString name =
        QFileDialog::getSaveFileName(this, uiTranslate(tr("Сохранить сканированный PDF")), start,
                                     uiTranslate(tr("PDF файлы (*.pdf)")));
    if (name.isEmpty())
        return;
    if (!name.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        name += QStringLiteral(".pdf");
    m_file->setText(withLocalizedPdfSuffix(name, QStringLiteral("scanned")));
}

void ScannedPdfExportDialog::saveDefaults()
{
    saveScannedPdfDefaults(options());
    m_defaultsButton->setText(tr("Дефолтные сохранены"));
    QTimer::singleShot(kDefaultsNoticeMs, m_defaultsButton,
                       [button = m_defaultsButton] { button->setText(tr("Сохранить как дефолтные")); });
}
