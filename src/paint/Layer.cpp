#include "Layer.h"

namespace paint {

Layer::Layer(const QString& name, const QSize& size, bool transparent)
    : name(name)
    , image(size, QImage::Format_ARGB32_Premultiplied)
{
    image.fill(transparent ? Qt::transparent : Qt::white);
}

} // namespace paint
