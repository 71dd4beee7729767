#pragma once

#include <QImage>
#include <QList>
#include <QSize>

#include <memory>

namespace paint {

class Layer;

// The picture being edited: equally sized layers, index 0 at the bottom.
// The model never removes the last layer.
class Document {
public:
    // The size must be at least 1x1; the picture starts as one white layer.
    explicit Document(const QSize& size);

    Layer* activeLayer();
    const Layer* activeLayer() const;
    bool isLayerIndex(int index) const { return index >= 0 && index < layers.size(); }
    // The index of that layer object, or -1 when it is no longer in the stack.
    int indexOf(const Layer* layer) const;

    // Adds a transparent layer on top and makes it active; an empty name is
    // numbered from the count.
    void addLayer(const QString& name);
    void removeLayer(int index);
    void moveLayer(int from, int to);
    // Keeps the part of the picture inside the rectangle; nothing when none is.
    void crop(const QRect& rect);
    // Puts back the size and the first images; the layer count stays.
    void restoreState(const QSize& size, const QList<QImage>& images);

    // The visible layers composed bottom to top, transparent where none covers.
    QImage mergedImage() const;

    int activeIndex = 0;
    QSize size;
    QList<std::shared_ptr<Layer>> layers;
};

} // namespace paint
