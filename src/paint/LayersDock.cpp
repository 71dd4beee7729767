#include "LayersDock.h"

#include "Document.h"
#include "Layer.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace paint {

namespace {

constexpr QSize kThumbSize(48, 36);

QImage checkerboard()
{
    QImage image(kThumbSize, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, ((x / 4 + y / 4) % 2) ? qRgb(255, 255, 255) : qRgb(204, 204, 204));
    return image;
}

QImage thumbnail(const QImage& board, const QImage& layerImage)
{
    QImage thumb(kThumbSize, QImage::Format_ARGB32);
    QPainter painter(&thumb);
    painter.drawImage(0, 0, board);
    if (!layerImage.isNull()) {
        const QImage scaled = layerImage.scaled(kThumbSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawImage((kThumbSize.width() - scaled.width()) / 2, (kThumbSize.height() - scaled.height()) / 2, scaled);
    }
    return thumb;
}

} // namespace

LayersDock::LayersDock(QWidget* parent)
    : QDockWidget(QStringLiteral("Слои"), parent)
{
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    layerList = new QListWidget(content);
    layerList->setIconSize(kThumbSize);
    layerList->setSpacing(1);
    layout->addWidget(layerList);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    auto addButton = [&](const QString& text, const QString& tip, auto onClick) {
        auto* button = new QPushButton(text, content);
        button->setToolTip(tip);
        button->setFixedHeight(22);
        buttons->addWidget(button);
        connect(button, &QPushButton::clicked, this, onClick);
    };
    addButton(QStringLiteral("+"), QStringLiteral("Добавить слой"), [this] {
        if (!document)
            return;
        document->addLayer(QString());
        refresh();
        emit changed();
    });
    addButton(QStringLiteral("\u2212"), QStringLiteral("Удалить слой"), [this] {
        if (!document)
            return;
        document->removeLayer(currentLayerIndex());
        refresh();
        emit changed();
    });
    addButton(QStringLiteral("\u2191"), QStringLiteral("Переместить вверх"), [this] { moveCurrentLayer(1); });
    addButton(QStringLiteral("\u2193"), QStringLiteral("Переместить вниз"), [this] { moveCurrentLayer(-1); });
    addButton(QStringLiteral("М\u2193"), QStringLiteral("Объединить с нижним слоем"), [this] { emit mergeDownRequested(); });
    addButton(QStringLiteral("М\u2217"), QStringLiteral("Объединить все слои в один"), [this] { emit flattenRequested(); });
    layout->addLayout(buttons);
    setWidget(content);

    connect(layerList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (document && row >= 0 && row < document->layers.size())
            document->activeIndex = int(document->layers.size()) - 1 - row;
    });
    connect(layerList, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!document)
            return;
        const int index = int(document->layers.size()) - 1 - layerList->row(item);
        if (document->isLayerIndex(index))
            document->layers[index]->visible = item->checkState() == Qt::Checked;
        emit changed();
    });
}

void LayersDock::setDocument(Document* newDocument)
{
    document = newDocument;
    refresh();
}

int LayersDock::currentLayerIndex() const
{
    const int row = layerList->currentRow();
    return row < 0 || !document ? -1 : int(document->layers.size()) - 1 - row;
}

void LayersDock::moveCurrentLayer(int step)
{
    if (!document)
        return;
    const int index = currentLayerIndex();
    if (index >= 0)
        document->moveLayer(index, index + step);
    refresh();
    emit changed();
}

void LayersDock::refresh()
{
    const QSignalBlocker blocker(layerList);
    layerList->clear();
    if (!document)
        return;
    const QImage board = checkerboard();
    const int count = int(document->layers.size());
    for (int index = count - 1; index >= 0; --index) {
        const Layer& layer = *document->layers[index];
        auto* item = new QListWidgetItem(layer.name);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(layer.visible ? Qt::Checked : Qt::Unchecked);
        item->setSizeHint(QSize(0, 42));
        item->setIcon(QIcon(QPixmap::fromImage(thumbnail(board, layer.image))));
        layerList->addItem(item);
    }
    layerList->setCurrentRow(count - 1 - document->activeIndex);
}

} // namespace paint
