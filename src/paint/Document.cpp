#include "Document.h"

#include "Layer.h"

#include <QPainter>

#include <algorithm>

namespace paint {

Document::Document(const QSize& size)
    : size(size)
{
    layers.append(std::make_shared<Layer>(QStringLiteral("Фон"), size, false));
}

Layer* Document::activeLayer()
{
    return isLayerIndex(activeIndex) ? layers[activeIndex].get() : nullptr;
}

const Layer* Document::activeLayer() const
{
    return isLayerIndex(activeIndex) ? layers[activeIndex].get() : nullptr;
}

int Document::indexOf(const Layer* layer) const
{
    for (int i = 0; i < layers.size(); ++i) {
        if (layers[i].get() == layer)
            return i;
    }
    return -1;
}

void Document::addLayer(const QString& name)
{
    const QString layerName = name.isEmpty()
        ? QStringLiteral("Слой %1").arg(layers.size() + 1)
        : name;
    layers.append(std::make_shared<Layer>(layerName, size, true));
    activeIndex = int(layers.size()) - 1;
}

void Document::removeLayer(int index)
{
    if (layers.size() < 2 || !isLayerIndex(index))
        return;
    layers.removeAt(index);
    activeIndex = std::clamp(activeIndex, 0, int(layers.size()) - 1);
}

void Document::moveLayer(int from, int to)
{
    if (!isLayerIndex(from) || !isLayerIndex(to) || from == to)
        return;
    layers.move(from, to);
    activeIndex = to;
}

void Document::crop(const QRect& rect)
{
    // A rectangle reaching outside is cut to the picture; an empty one would
    // leave layers without pixels, so it changes nothing.
    const QRect inside = rect.intersected(QRect(QPoint(), size));
    if (inside.isEmpty())
        return;
    size = inside.size();
    for (const auto& layer : layers)
        layer->image = layer->image.copy(inside);
}

void Document::restoreState(const QSize& oldSize, const QList<QImage>& images)
{
    size = oldSize;
    const qsizetype count = std::min(layers.size(), images.size());
    for (qsizetype i = 0; i < count; ++i)
        layers[i]->image = images[i];
}

QImage Document::mergedImage() const
{
    // One visible layer at full opacity drawn over transparency is that layer
    // itself, pixel for pixel: it is shared rather than drawn again.
    const auto visible = std::count_if(layers.begin(), layers.end(), [](const auto& layer) { return layer->visible; });
    if (visible == 1) {
        const Layer& only = **std::find_if(layers.begin(), layers.end(), [](const auto& layer) { return layer->visible; });
        if (only.opacity == 1.0 && only.image.size() == size && only.image.format() == QImage::Format_ARGB32_Premultiplied)
            return only.image;
    }
    QImage result(size, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    for (const auto& layer : layers) {
        if (!layer->visible)
            continue;
        painter.setOpacity(layer->opacity);
        painter.drawImage(0, 0, layer->image);
    }
    return result;
}

} // namespace paint
