// Making a picked background colour transparent, with a live tolerance preview.
#include "FacsimilePaintHost.h"

#include "BackgroundRemoval.h"
#include "CanvasWidget.h"
#include "Document.h"
#include "EditorStyle.h"
#include "Layer.h"
#include "LayersDock.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace paint {

namespace {

constexpr int kDefaultTolerance = 18;
constexpr int kMaxTolerance = 160;

} // namespace

void FacsimilePaintHost::makeBackgroundTransparent()
{
    const Layer* layer = m_document ? m_document->activeLayer() : nullptr;
    if (!layer || layer->image.isNull())
        return;
    const QString previousTool = m_currentToolId;
    selectTool(QStringLiteral("eyedropper"));
    showPickHint();
    // Made after the canvas and palette connections, so the picked colour is
    // already the primary colour when the handler runs.
    disconnect(m_pendingPick);
    m_pendingPick = connect(
        m_canvas, &CanvasWidget::colorPicked, this,
        [this, previousTool](const QColor& color) {
            m_pickHint->hide();
            selectTool(previousTool);
            showBackgroundToleranceDialog(color);
        },
        Qt::SingleShotConnection);
}

void FacsimilePaintHost::showPickHint()
{
    if (!m_pickHint) {
        m_pickHint = new QLabel(m_canvas);
        m_pickHint->setObjectName(QStringLiteral("FacsimilePickHint"));
        m_pickHint->setAlignment(Qt::AlignCenter);
    }
    m_pickHint->setText(QStringLiteral("Кликните по пикселю фона,\nкоторый нужно сделать прозрачным"));
    m_pickHint->adjustSize();
    m_pickHint->move((m_canvas->width() - m_pickHint->width()) / 2, 14);
    m_pickHint->show();
    m_pickHint->raise();
}

void FacsimilePaintHost::previewBackground(const QImage& before, const QColor& key, int tolerance)
{
    Layer* layer = m_document ? m_document->activeLayer() : nullptr;
    if (!layer)
        return;
    layer->image = removeBackground(before, key, tolerance);
    m_layersDock->refresh();
    m_canvas->update();
}

void FacsimilePaintHost::showBackgroundToleranceDialog(const QColor& color)
{
    Layer* layer = m_document ? m_document->activeLayer() : nullptr;
    if (!layer)
        return;
    const QImage before = layer->image;
    if (before.isNull())
        return;

    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Фон в прозрачность"));
    dialog.setModal(true);
    dialog.setStyleSheet(editorStyleSheet());

    auto* title = new QLabel(QStringLiteral("Настройте допуск цвета фона"), &dialog);
    title->setObjectName(QStringLiteral("FacsimileTitle"));
    auto* hint = new QLabel(
        QStringLiteral("Ползунок применяется сразу к предпросмотру. Если результат не подходит, нажмите «Отмена»."),
        &dialog);
    hint->setObjectName(QStringLiteral("FacsimileHint"));
    hint->setWordWrap(true);
    auto* swatch = new QLabel(&dialog);
    swatch->setFixedSize(34, 22);
    swatch->setStyleSheet(
        QStringLiteral("background:%1; border:1px solid #94a3b8; border-radius:5px;").arg(color.name(QColor::HexRgb)));
    auto* valueLabel = new QLabel(QString::number(kDefaultTolerance), &dialog);
    valueLabel->setMinimumWidth(34);
    auto* slider = new QSlider(Qt::Horizontal, &dialog);
    slider->setRange(0, kMaxTolerance);
    slider->setValue(kDefaultTolerance);
    slider->setMinimumWidth(300);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Применить"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Цвет:"), &dialog));
    row->addWidget(swatch);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("Допуск:"), &dialog));
    row->addWidget(slider, 1);
    row->addWidget(valueLabel);
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(title);
    layout->addWidget(hint);
    layout->addLayout(row);
    layout->addWidget(buttons);

    previewBackground(before, color, slider->value());
    connect(slider, &QSlider::valueChanged, &dialog, [&](int value) {
        valueLabel->setText(QString::number(value));
        previewBackground(before, color, value);
    });

    const bool applied = dialog.exec() == QDialog::Accepted;
    // The layer may have gone while the dialog ran; only a live one is touched.
    if (!m_document || m_document->activeLayer() != layer)
        return;
    if (applied) {
        m_canvas->commitLayerSnapshot(before, QStringLiteral("Фон в прозрачность"));
    } else {
        layer->image = before;
        m_layersDock->refresh();
    }
    m_canvas->update();
}

} // namespace paint
