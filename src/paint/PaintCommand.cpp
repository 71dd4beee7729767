#include "PaintCommand.h"

#include "Document.h"
#include "Layer.h"

#include <algorithm>
#include <cstring>

namespace paint {

namespace {

constexpr QImage::Format kFormat = QImage::Format_ARGB32_Premultiplied;

// Both in the layer format; null when that needs a conversion that fails.
bool sameFormat(QImage& a, QImage& b)
{
    if (a.format() != kFormat)
        a = a.convertToFormat(kFormat);
    if (b.format() != kFormat)
        b = b.convertToFormat(kFormat);
    return !a.isNull() && !b.isNull();
}

} // namespace

QRect PaintCommand::changedRect(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return QRect(QPoint(0, 0), a.size().expandedTo(b.size()));
    if (a.isNull() || a.cacheKey() == b.cacheKey())
        return QRect();
    QImage x = a, y = b;
    if (!sameFormat(x, y))
        return x.rect();
    const int width = x.width();
    const size_t rowBytes = size_t(width) * sizeof(QRgb);
    int left = width, right = -1, top = -1, bottom = -1;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        if (std::memcmp(p, q, rowBytes) == 0)
            continue;
        if (top < 0)
            top = row;
        bottom = row;
        int first = 0;
        while (first < left && p[first] == q[first])
            ++first;
        left = std::min(left, first);
        int last = width - 1;
        while (last > right && p[last] == q[last])
            --last;
        right = std::max(right, last);
    }
    return top < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

PaintCommand::PaintCommand(Document* document, int layerIndex, QImage before, QImage after, const QString& text)
    : PaintCommand(document, layerIndex, changedRect(before, after), std::move(before), std::move(after), text)
{
}

PaintCommand::PaintCommand(Document* document, int layerIndex, const QRect& region, QImage before, QImage after,
                           const QString& text)
    : QUndoCommand(text)
    , m_document(document)
    , m_layerIndex(layerIndex)
    , m_region(region)
{
    m_whole = before.size() != after.size() || region.isNull() || !sameFormat(before, after) ||
              region == before.rect();
    if (m_whole) {
        m_before = std::move(before);
        m_after = std::move(after);
    } else {
        m_before = before.copy(region);
        m_after = after.copy(region);
    }
}

void PaintCommand::undo()
{
    assign(m_before);
}

void PaintCommand::redo()
{
    assign(m_after);
}

void PaintCommand::release()
{
    m_before = QImage();
    m_after = QImage();
    setObsolete(true);
}

void PaintCommand::assign(const QImage& part)
{
    if (!m_document || !m_document->isLayerIndex(m_layerIndex) || isObsolete())
        return;
    QImage& image = m_document->layers[m_layerIndex]->image;
    if (m_whole) {
        image = part;
        return;
    }
    // Only a layer of the size this change was made on takes the pixels back.
    if (!image.rect().contains(m_region) || part.size() != m_region.size())
        return;
    if (image.format() != kFormat)
        image = image.convertToFormat(kFormat);
    const size_t rowBytes = size_t(m_region.width()) * sizeof(QRgb);
    const int left = m_region.left();
    for (int row = 0; row < m_region.height(); ++row) {
        const int y = m_region.top() + row;
        const auto* source = reinterpret_cast<const QRgb*>(part.constScanLine(row));
        // Rows already equal are not written, so a shared layer is not copied for nothing.
        if (std::memcmp(reinterpret_cast<const QRgb*>(image.constScanLine(y)) + left, source, rowBytes) != 0)
            std::memcpy(reinterpret_cast<QRgb*>(image.scanLine(y)) + left, source, rowBytes);
    }
}

} // namespace paint
