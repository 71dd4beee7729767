#include "LayoutDetector.h"

#include "StableSort.h"

#include <algorithm>
#include <array>

namespace {

// Candidate tensors beyond this many values are refused as malformed.
constexpr long kMaxTensorValues = 64L * 1024 * 1024;

QRectF clampedUnitRect(double x1, double y1, double x2, double y2)
{
    x1 = std::clamp(x1, 0.0, 1.0);
    y1 = std::clamp(y1, 0.0, 1.0);
    x2 = std::clamp(x2, 0.0, 1.0);
    y2 = std::clamp(y2, 0.0, 1.0);
    return QRectF(QPointF(x1, y1), QPointF(x2, y2));
}

bool isEmptyBox(const QRectF &r)
{
    return !(r.width() > 0) || !(r.height() > 0);
}

} // namespace

bool LayoutDetector::load(const QString &modelPath)
{
    Q_UNUSED(modelPath);
    model.reset();
    lastErrorText = QStringLiteral("No inference backend for layout models");
    return false;
}

std::vector<LayoutBlock> LayoutDetector::detect(const QImage &page, float confThreshold, float iouThreshold) const
{
    Q_UNUSED(page);
    Q_UNUSED(confThreshold);
    Q_UNUSED(iouThreshold);
    return {};
}

std::vector<float> LayoutDetector::preprocess(const QImage &image, int width, int height)
{
    if (image.isNull() || width <= 0 || height <= 0 || qint64(width) * height > kMaxTensorValues / 3)
        return {};
    const QImage rgb = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_RGB888);
    const size_t plane = size_t(width) * size_t(height);
    std::vector<float> tensor(3 * plane);
    for (int y = 0; y < height; ++y) {
        const uchar *row = rgb.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(y) * size_t(width) + size_t(x);
            tensor[i] = row[3 * x] / 255.0f;
            tensor[plane + i] = row[3 * x + 1] / 255.0f;
            tensor[2 * plane + i] = row[3 * x + 2] / 255.0f;
        }
    }
    return tensor;
}

std::vector<LayoutBlock> LayoutDetector::decodeYolo(const float *data, long dim1, long dim2, int classCount,
                                                    float confThreshold)
{
    std::vector<LayoutBlock> blocks;
    const long values = long(classCount) + 4;
    if (!data || dim1 <= 0 || dim2 <= 0 || classCount <= 0 || dim1 > kMaxTensorValues / dim2)
        return blocks;
    const bool channelFirst = dim1 == values;
    // Candidate-first rows must hold the box and every class score.
    if (!channelFirst && dim2 < values)
        return blocks;
    const long candidates = channelFirst ? dim2 : dim1;
    const auto value = [&](long candidate, long k) {
        return channelFirst ? data[k * dim2 + candidate] : data[candidate * dim2 + k];
    };
    for (long i = 0; i < candidates; ++i) {
        int bestClass = 0;
        float bestScore = value(i, 4);
        for (int c = 1; c < classCount; ++c) {
            const float s = value(i, 4 + c);
            if (s > bestScore) {
                bestScore = s;
                bestClass = c;
            }
        }
        if (!(bestScore >= confThreshold))
            continue;
        const double cx = value(i, 0), cy = value(i, 1), w = value(i, 2), h = value(i, 3);
        const QRectF box = clampedUnitRect(cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2);
        if (isEmptyBox(box))
            continue;
        blocks.push_back({box, bestClass, bestScore});
    }
    return blocks;
}

std::vector<LayoutBlock> LayoutDetector::decodePostNMS(const float *data, long rows, int inputWidth, int inputHeight,
                                                       float confThreshold)
{
    constexpr long kRowValues = 6;
    std::vector<LayoutBlock> blocks;
    if (!data || inputWidth <= 0 || inputHeight <= 0 || rows < 1 || rows > kMaxTensorValues / kRowValues)
        return blocks;
    for (long r = 0; r < rows; ++r) {
        const float *row = data + r * kRowValues;
        const float score = row[4];
        if (!(score >= confThreshold))
            continue;
        const QRectF box = clampedUnitRect(double(row[0]) / inputWidth, double(row[1]) / inputHeight,
                                           double(row[2]) / inputWidth, double(row[3]) / inputHeight);
        if (isEmptyBox(box))
            continue;
        const float cls = std::clamp(row[5], -1e9f, 1e9f);
        blocks.push_back({box, int(cls == cls ? cls : -1.0f), score});
    }
    return blocks;
}

float LayoutDetector::iou(const QRectF &a, const QRectF &b)
{
    if (isEmptyBox(a) || isEmptyBox(b))
        return 0.0f;
    const QRectF overlap = a.intersected(b);
    const double intersection = isEmptyBox(overlap) ? 0.0 : overlap.width() * overlap.height();
    const double unionArea = a.width() * a.height() + b.width() * b.height() - intersection;
    return unionArea > 0 ? float(intersection / unionArea) : 0.0f;
}

void LayoutDetector::nms(std::vector<LayoutBlock> &blocks, float iouThreshold)
{
    vorn::safeStableSort(blocks, [](const LayoutBlock &a, const LayoutBlock &b) { return a.score > b.score; });
    std::vector<bool> suppressed(blocks.size(), false);
    std::vector<LayoutBlock> kept;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (suppressed[i])
            continue;
        kept.push_back(blocks[i]);
        for (size_t j = i + 1; j < blocks.size(); ++j) {
            if (!suppressed[j] && iou(blocks[i].rect, blocks[j].rect) > iouThreshold)
                suppressed[j] = true;
        }
    }
    blocks = std::move(kept);
}

LayoutClass LayoutDetector::mapClass(int modelClass) const
{
    using C = LayoutClass;
    static constexpr std::array<C, 5> fewClasses = {C::Text, C::Title, C::List, C::Table, C::Figure};
    static constexpr std::array<C, 11> manyClasses = {C::Caption, C::Footnote, C::Formula, C::List,
                                                      C::Footer,  C::Header,   C::Figure,  C::Title,
                                                      C::Table,   C::Text,     C::Title};
    static constexpr std::array<C, 10> alternative = {C::Title,   C::Text,     C::Unknown, C::Figure,  C::Caption,
                                                      C::Table,   C::Caption,  C::Footnote, C::Formula, C::Caption};
    const auto pick = [modelClass](const auto &table) {
        return modelClass >= 0 && size_t(modelClass) < table.size() ? table[size_t(modelClass)] : C::Unknown;
    };
    if (alternativeScheme)
        return pick(alternative);
    return classCount < 6 ? pick(fewClasses) : pick(manyClasses);
}

QString LayoutDetector::className(LayoutClass layoutClass)
{
    switch (layoutClass) {
    case LayoutClass::Text: return QStringLiteral("text");
    case LayoutClass::Title: return QStringLiteral("title");
    case LayoutClass::List: return QStringLiteral("list");
    case LayoutClass::Table: return QStringLiteral("table");
    case LayoutClass::Figure: return QStringLiteral("figure");
    case LayoutClass::Caption: return QStringLiteral("caption");
    case LayoutClass::Footnote: return QStringLiteral("footnote");
    case LayoutClass::Formula: return QStringLiteral("formula");
    case LayoutClass::Header: return QStringLiteral("header");
    case LayoutClass::Footer: return QStringLiteral("footer");
    case LayoutClass::Unknown: break;
    }
    return QStringLiteral("unknown");
}
