#include "BusyRing.h"

#include <QPainter>

namespace {

constexpr int kSize = 54;
constexpr qreal kInset = 7;
constexpr qreal kPenWidth = 5;
constexpr int kArcSpanDegrees = 115;
constexpr int kQtAngleUnitsPerDegree = 16;
constexpr int kFullCircleDegrees = 360;
const QColor kTrackColor(203, 213, 225, 150);
const QColor kArcColor(0x25, 0x63, 0xeb);

QPen ringPen(const QColor& color)
{
    QPen pen(color, kPenWidth, Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin);
    return pen;
}

} // namespace

BusyRing::BusyRing(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(kSize, kSize);
    QObject::connect(&timer, &QTimer::timeout, this, [this] { tick(); });
}

BusyRing::~BusyRing() = default;

void BusyRing::tick()
{
    angle = (angle + kDegreesPerTick) % kFullCircleDegrees;
    update();
}

void BusyRing::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF ring(kInset, kInset, width() - 2 * kInset, height() - 2 * kInset);

    painter.setPen(ringPen(kTrackColor));
    painter.drawArc(ring, 0, kFullCircleDegrees * kQtAngleUnitsPerDegree);

    painter.setPen(ringPen(kArcColor));
    painter.drawArc(ring, angle * kQtAngleUnitsPerDegree, kArcSpanDegrees * kQtAngleUnitsPerDegree);
}
