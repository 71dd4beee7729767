#pragma once

#include <QImage>
#include <QString>

namespace paint {

// One raster layer of the picture; its image always has the document's size.
class Layer {
public:
    Layer(const QString& name, const QSize& size, bool transparent);

    QString name;
    QImage image; // Format_ARGB32_Premultiplied
    bool visible = true;
    double opacity = 1.0;
};

} // namespace paint
