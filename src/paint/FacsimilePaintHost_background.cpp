// Making a picked background colour transparent, with a live tolerance preview.
#include "FacsimilePaintHost.h"

#include "BackgroundPreviewer.h"
#include "BackgroundToleranceDialog.h"
#include "CanvasWidget.h"
#include "Document.h"
#include "Layer.h"
#include "LayersDock.h"

#include <QLabel>
#include <QSlider>

namespace paint {

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

void FacsimilePaintHost::showBackgroundPreview(Layer* layer, const QImage& image)
{
    // The layer may have gone while the dialog ran; only a live one is touched.
    if (!m_document || m_document->activeLayer() != layer)
        return;
    layer->image = image;
    m_layersDock->refresh();
    m_canvas->update();
}

// Previews are made off the GUI thread, so dragging the slider stays fluid;
// the dialog stands clear of the canvas it previews on.
void FacsimilePaintHost::showBackgroundToleranceDialog(const QColor& color)
{
    Layer* layer = m_document ? m_document->activeLayer() : nullptr;
    if (!layer)
        return;
    const QImage before = layer->image;
    if (before.isNull())
        return;

    BackgroundToleranceDialog dialog(color, this);
    BackgroundPreviewer previewer(before, color);
    connect(&previewer, &BackgroundPreviewer::ready, &dialog,
            [this, layer](int, const QImage& preview) { showBackgroundPreview(layer, preview); });
    connect(dialog.slider(), &QSlider::valueChanged, &previewer, &BackgroundPreviewer::request);
    previewer.request(dialog.tolerance());
    dialog.placeClearOf(m_canvas);

    const bool applied = dialog.exec() == QDialog::Accepted;
    if (!m_document || m_document->activeLayer() != layer) {
        previewer.cancel();
        return;
    }
    if (applied) {
        showBackgroundPreview(layer, previewer.resultFor(dialog.tolerance()));
        m_canvas->commitLayerSnapshot(before, QStringLiteral("Фон в прозрачность"));
    } else {
        previewer.cancel();
        showBackgroundPreview(layer, before);
    }
}

} // namespace paint
